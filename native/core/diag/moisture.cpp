#include "diag/moisture.hpp"

#include <algorithm>
#include <cmath>

#include "diag/humidity.hpp"
#include "engine/buffer.hpp"
#include "parallel.hpp"

namespace wrf::diag::moisture {

namespace {

using humidity::clip_q;

constexpr double kGravity = 9.81;

}  // namespace

Result<std::vector<double>> compute_pw(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto p = file.full_pressure(t);
    if (!p) return std::unexpected(p.error());
    auto q = file.qvapor(t);
    if (!q) return std::unexpected(q.error());
    const std::size_t nz = file.nz();
    const std::size_t plane = file.ny() * file.nx();
    // Columns are read with stride ny*nx; never past the shorter field.
    const std::size_t avail = std::min((*p)->size(), (*q)->size());
    if (nz * plane > avail) {
        return fail(ErrorKind::DimMismatch, "pw needs " + std::to_string(nz * plane) +
                                                " values of pressure and QVAPOR, found " + std::to_string(avail));
    }
    const double* pp = (*p)->data();
    const double* qp = (*q)->data();
    std::vector<double> out(plane, 0.0);
    parallel::parallel_for_range(
        plane,
        [&](std::size_t b, std::size_t e) {
            for (std::size_t c = b; c < e; ++c) {
                if (nz < 2) continue;
                // Sum from the ground up whichever way the column is stored.
                const bool top_down = pp[c] < pp[(nz - 1) * plane + c];
                double sum = 0.0;
                for (std::size_t k = 0; k + 1 < nz; ++k) {
                    const std::size_t a = (top_down ? nz - 1 - k : k) * plane + c;
                    const std::size_t n = (top_down ? nz - 2 - k : k + 1) * plane + c;
                    sum += std::fabs(pp[a] - pp[n]) * (clip_q(qp[a]) + clip_q(qp[n])) / 2.0;
                }
                out[c] = sum / kGravity;
            }
        },
        256);
    return out;
}

Result<std::vector<double>> compute_rh2m(WrfFile& file, std::size_t t, const ComputeOpts& opts) {
    auto psfc = file.psfc(t);
    if (!psfc) return std::unexpected(psfc.error());
    auto t2 = file.t2_for_opts(t, opts);
    if (!t2) return t2;
    auto q2 = file.q2_for_opts(t, opts);
    if (!q2) return q2;
    return elementwise(
        std::min({(*psfc)->size(), t2->size(), q2->size()}),
        [](double p, double tk, double q) {
            return humidity::relative_humidity(p / 100.0, tk - humidity::kZeroCelsius, q);
        },
        (*psfc)->data(), t2->data(), q2->data());
}

Result<std::vector<double>> compute_dp2m(WrfFile& file, std::size_t t, const ComputeOpts& opts) {
    auto psfc = file.psfc(t);
    if (!psfc) return std::unexpected(psfc.error());
    auto q2 = file.q2_for_opts(t, opts);
    if (!q2) return q2;
    return elementwise(
        std::min((*psfc)->size(), q2->size()), [](double p, double q) { return humidity::dewpoint(p / 100.0, q); },
        (*psfc)->data(), q2->data());
}

Result<std::vector<double>> compute_mixing_ratio(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.qvapor(t));
}

Result<std::vector<double>> compute_specific_humidity(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto q = file.qvapor(t);
    if (!q) return std::unexpected(q.error());
    return elementwise((*q)->size(), [](double q) { return q / (1.0 + q); }, (*q)->data());
}

}  // namespace wrf::diag::moisture
