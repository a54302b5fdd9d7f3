#include "parallel.hpp"

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace wrf::parallel {
namespace {

std::mutex g_mutex;
std::unique_ptr<tbb::task_arena> g_arena;
std::size_t g_threads = 0;  // 0 until the pool starts
std::size_t g_requested = 0;
pid_t g_pid = 0;

std::size_t default_threads() {
    if (const char* env = std::getenv("WRF_NUM_THREADS")) {
        char* end = nullptr;
        long v = std::strtol(env, &end, 10);
        if (end != env && v > 0) return static_cast<std::size_t>(v);
    }
    std::size_t hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : hw;
}

void start_locked() {
    g_threads = g_requested != 0 ? g_requested : default_threads();
    g_arena = g_threads > 1 ? std::make_unique<tbb::task_arena>(static_cast<int>(g_threads)) : nullptr;
    g_pid = getpid();
}

}  // namespace

std::size_t num_threads() {
    std::lock_guard lock(g_mutex);
    if (g_threads == 0) start_locked();
    if (g_pid != getpid()) return 1;
    return g_threads;
}

void set_num_threads(std::size_t n) {
    std::lock_guard lock(g_mutex);
    g_requested = n;
    // In a forked child the pool's threads do not exist and the scheduler
    // must not be touched: loops stay on the calling thread there.
    if (g_pid != 0 && g_pid != getpid()) return;
    start_locked();
}

namespace detail {
tbb::task_arena* arena() {
    std::lock_guard lock(g_mutex);
    if (g_threads == 0) start_locked();
    if (g_pid != getpid()) return nullptr;
    return g_arena.get();
}
}  // namespace detail

}  // namespace wrf::parallel
