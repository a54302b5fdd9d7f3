#include "diag/moisture.hpp"

#include <algorithm>
#include <cmath>

#include "diag/humidity.hpp"
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
    const std::size_t n = std::min({(*psfc)->size(), t2->size(), q2->size()});
    const double* pp = (*psfc)->data();
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = humidity::relative_humidity(pp[i] / 100.0, (*t2)[i] - humidity::kZeroCelsius, (*q2)[i]);
    }
    return out;
}

Result<std::vector<double>> compute_dp2m(WrfFile& file, std::size_t t, const ComputeOpts& opts) {
    auto psfc = file.psfc(t);
    if (!psfc) return std::unexpected(psfc.error());
    auto q2 = file.q2_for_opts(t, opts);
    if (!q2) return q2;
    const std::size_t n = std::min((*psfc)->size(), q2->size());
    const double* pp = (*psfc)->data();
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = humidity::dewpoint(pp[i] / 100.0, (*q2)[i]);
    return out;
}

Result<std::vector<double>> compute_mixing_ratio(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto q = file.qvapor(t);
    if (!q) return std::unexpected(q.error());
    return std::vector<double>((*q)->begin(), (*q)->end());
}

Result<std::vector<double>> compute_specific_humidity(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto q = file.qvapor(t);
    if (!q) return std::unexpected(q.error());
    const std::size_t n = (*q)->size();
    const double* qp = (*q)->data();
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = qp[i] / (1.0 + qp[i]);
    return out;
}

}  // namespace wrf::diag::moisture
