#include "engine/buffer.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

#include "parallel.hpp"

namespace wrf {

std::vector<double> fresh_doubles(std::size_t n) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    std::vector<double> out;
    out.reserve(n);
#ifdef MADV_HUGEPAGE
    // Only whole huge pages inside the array; advisory, nothing changes
    // where it is refused.
    if (n * sizeof(double) >= 2 * kHuge) {
        const auto begin = reinterpret_cast<std::uintptr_t>(out.data());
        const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
        const std::uintptr_t last = (begin + n * sizeof(double)) & ~(kHuge - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#endif
    out.resize(n);
    return out;
}

std::vector<double> fresh_copy(const std::vector<double>& values) {
    std::vector<double> out = fresh_doubles(values.size());
    const double* src = values.data();
    double* dst = out.data();
    parallel::for_blocks(values.size(), [&](std::size_t b, std::size_t e) {
        std::memcpy(dst + b, src + b, (e - b) * sizeof(double));
    });
    return out;
}

}  // namespace wrf
