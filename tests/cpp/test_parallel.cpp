#include <doctest/doctest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <numeric>
#include <vector>

#include "engine/buffer.hpp"
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

TEST_CASE("runs over stacked planes cover every point once and stay in one plane") {
    struct Case {
        std::size_t n, plane;
    };
    for (std::size_t threads : {1u, 2u}) {
        parallel::set_num_threads(threads);
        for (Case c : {Case{0, 5}, Case{7, 10}, Case{100000, 300}, Case{100000, 1}, Case{3 * 65536 + 5, 90000}}) {
            std::vector<std::atomic<int>> hits(c.n);
            std::atomic<int> misplaced{0};
            parallel::for_plane_runs(c.n, c.plane, [&](std::size_t p, std::size_t col, std::size_t len) {
                if (col != p % c.plane || col + len > c.plane || len == 0) misplaced.fetch_add(1);
                for (std::size_t m = 0; m < len; ++m) hits[p + m].fetch_add(1);
            });
            CHECK(misplaced.load() == 0);
            std::size_t wrong = 0;
            for (auto& h : hits) wrong += h.load() != 1;
            CHECK(wrong == 0);
        }
    }
    parallel::set_num_threads(0);
}

TEST_CASE("fresh arrays and element-wise passes equal their serial forms") {
    for (std::size_t threads : {1u, 2u}) {
        parallel::set_num_threads(threads);
        for (std::size_t n : {0u, 1u, 32769u, 600000u}) {
            std::vector<double> a(n), b(n);
            for (std::size_t i = 0; i < n; ++i) {
                a[i] = std::sin(static_cast<double>(i));
                b[i] = static_cast<double>(i % 17) - 8.0;
            }
            const std::vector<double> zero = fresh_doubles(n);
            CHECK(zero == std::vector<double>(n, 0.0));
            CHECK(fresh_copy(a) == a);

            const auto op = [](double x, double y) { return std::pow(std::fabs(x), 0.3) * y; };
            std::vector<double> serial(n);
            for (std::size_t i = 0; i < n; ++i) serial[i] = op(a[i], b[i]);
            CHECK(elementwise(n, op, a.data(), b.data()) == serial);

            std::vector<double> updated = a;
            update_elementwise(updated, op, b.data());
            CHECK(updated == serial);
        }
    }
    parallel::set_num_threads(0);
}
