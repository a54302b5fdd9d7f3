#include <doctest/doctest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <numeric>
#include <vector>

#include "parallel.hpp"

using namespace wrf;

TEST_CASE("parallel loops visit every index exactly once") {
    for (std::size_t threads : {1u, 2u, 0u}) {
        parallel::set_num_threads(threads);
        for (std::size_t n : {0u, 1u, 7u, 10000u}) {
            std::vector<std::atomic<int>> hits(n);
            parallel::parallel_for(n, [&](std::size_t i) { hits[i].fetch_add(1); });
            for (auto& h : hits) CHECK(h.load() == 1);
        }
    }
}

TEST_CASE("thread cap and per-worker scratch") {
    parallel::set_num_threads(1);
    CHECK(parallel::num_threads() == 1);
    parallel::PerWorker<std::vector<double>> scratch;
    parallel::parallel_for(100, [&](std::size_t) { scratch.local().push_back(1.0); });
    CHECK(scratch.size() == 1);
    parallel::set_num_threads(0);
    CHECK(parallel::num_threads() >= 1);
}

TEST_CASE("a child forked after parallel work computes on its own thread") {
    parallel::set_num_threads(2);
    std::atomic<long> sum{0};
    parallel::parallel_for(1000, [&](std::size_t i) { sum += static_cast<long>(i); });
    REQUIRE(sum == 499500);
    pid_t pid = fork();
    REQUIRE(pid >= 0);
    if (pid == 0) {
        std::atomic<long> child{0};
        parallel::parallel_for(1000, [&](std::size_t i) { child += static_cast<long>(i); });
        _exit(child == 499500 && parallel::num_threads() == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    CHECK(WIFEXITED(status));
    CHECK(WEXITSTATUS(status) == 0);
}
