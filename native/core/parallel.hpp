#pragma once
// The one place that runs work on threads. Loops over independent index
// ranges go through here; nothing else in the code base creates threads.
#include <cstddef>
#include <utility>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

namespace wrf::parallel {

// Worker threads loops may use (at least 1). The cap comes from
// WRF_NUM_THREADS when the pool starts, or from set_num_threads().
std::size_t num_threads();

// Cap the pool at n threads; 0 restores the default (all cores, or
// WRF_NUM_THREADS). Call it between computations, not during one.
void set_num_threads(std::size_t n);

namespace detail {
// The arena loops run in, or nullptr when loops must run on the calling
// thread: one thread, or a child forked after the pool started (the pool's
// threads do not exist there and must not be touched).
tbb::task_arena* arena();
}  // namespace detail

// body(begin, end) over disjoint sub-ranges of [0, n). grain is the smallest
// range handed to one task.
template <class Body>
void parallel_for_range(std::size_t n, Body&& body, std::size_t grain = 1) {
    if (n == 0) return;
    tbb::task_arena* a = detail::arena();
    if (a == nullptr || n <= grain) {
        body(std::size_t{0}, n);
        return;
    }
    a->execute([&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n, grain),
                          [&](const tbb::blocked_range<std::size_t>& r) { body(r.begin(), r.end()); });
    });
}

// body(i) for every i in [0, n).
template <class Body>
void parallel_for(std::size_t n, Body&& body, std::size_t grain = 1) {
    parallel_for_range(
        n,
        [&](std::size_t b, std::size_t e) {
            for (std::size_t i = b; i < e; ++i) body(i);
        },
        grain);
}

// Element-wise passes over whole fields: body(begin, end) over blocks of a
// few tens of thousands of elements, large enough that scheduling costs
// nothing next to the work and small enough to keep both cores busy.
inline constexpr std::size_t kBlockGrain = 32768;

template <class Body>
void for_blocks(std::size_t n, Body&& body) {
    parallel_for_range(n, std::forward<Body>(body), kBlockGrain);
}

// for_blocks over n points of stacked planes of `plane` points each (a 3-D
// field over its 2-D columns): body(p, c, len) for runs of points p .. p+len
// that lie in one plane, c being the index of p within its plane.
template <class Body>
void for_plane_runs(std::size_t n, std::size_t plane, Body&& body) {
    if (plane == 0) return;
    for_blocks(n, [&](std::size_t b, std::size_t e) {
        std::size_t c = b % plane;
        for (std::size_t p = b; p < e; c = 0) {
            const std::size_t len = e - p < plane - c ? e - p : plane - c;
            body(p, c, len);
            p += len;
        }
    });
}

// Scratch space created once per worker thread, on its first use there.
template <class T>
using PerWorker = tbb::enumerable_thread_specific<T>;

}  // namespace wrf::parallel
