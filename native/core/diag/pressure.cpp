#include "diag/pressure.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "diag/humidity.hpp"
#include "engine/buffer.hpp"
#include "grid.hpp"
#include "parallel.hpp"

namespace wrf::diag::pressure {

namespace {

using humidity::clip_q;

constexpr double kGravity = 9.81;
// Columns per task of the column loops.
constexpr std::size_t kColumnGrain = 256;
// Sea-level pressure.
constexpr double kSlpVirtualFactor = 0.608;
constexpr double kSlpRd = 287.0;
constexpr double kSlpTwoG = 19.62;
constexpr double kLapseRate = 0.0065;
constexpr double kLapseExponent = 0.1901630988786952;  // 0.0065 * 287 / 9.81
constexpr double kSlpLayer = 10000.0;                  // Pa above the lowest level
constexpr double kSlpCriticalT = 290.66;
// Omega.
constexpr double kOmegaRd = 287.058;
constexpr double kOmegaVirtualFactor = 0.61;

}  // namespace

Result<std::vector<double>> compute_pressure_hpa(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return grid::pressure_hpa_copy(file, t);
}

Result<std::vector<double>> compute_pressure(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.full_pressure(t));
}

Result<std::vector<double>> compute_height(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return grid::height_msl_copy(file, t);
}

Result<std::vector<double>> compute_height_agl(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return grid::height_agl_copy(file, t);
}

Result<std::vector<double>> compute_geopt(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.full_geopotential(t));
}

Result<std::vector<double>> compute_terrain(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.terrain(t));
}

// Sea-level pressure reads temperature and height at two or three levels of
// each column, so it takes them point by point rather than deriving every
// level first.
Result<std::vector<double>> compute_slp(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto pf = file.full_pressure(t);
    if (!pf) return std::unexpected(pf.error());
    auto tk = grid::TemperaturePoints::of(file, t);
    if (!tk) return std::unexpected(tk.error());
    auto qf = file.qvapor(t);
    if (!qf) return std::unexpected(qf.error());
    auto z = grid::HeightMslPoints::of(file, t);
    if (!z) return std::unexpected(z.error());
    const std::size_t nz = file.nz();
    const std::size_t plane = file.ny() * file.nx();
    // The level search pairs a level with the one below it.
    if (nz < 2) return fail(ErrorKind::Compute, "slp needs at least two mass levels, the file has " + std::to_string(nz));
    const std::size_t avail = std::min({(*pf)->size(), tk->size(), (*qf)->size(), z->size()});
    if (nz * plane > avail) {
        return fail(ErrorKind::DimMismatch, "slp needs " + std::to_string(nz * plane) +
                                                " values of pressure, temperature, QVAPOR and height, found " +
                                                std::to_string(avail));
    }
    const double* p = (*pf)->data();
    const double* q = (*qf)->data();
    std::vector<double> out(plane);
    parallel::parallel_for(plane, [&](std::size_t c) {
        const double p0 = p[c];
        std::size_t k = nz - 1;
        for (std::size_t kk = 1; kk < nz; ++kk) {
            if (p0 - p[kk * plane + c] >= kSlpLayer) {
                k = kk;
                break;
            }
        }
        const std::size_t above = k * plane + c;
        const std::size_t below = (k - 1) * plane + c;
        const double tv_above = (*tk)[above] * (1.0 + kSlpVirtualFactor * clip_q(q[above]));
        const double tv_below = (*tk)[below] * (1.0 + kSlpVirtualFactor * clip_q(q[below]));
        const double p_star = p0 - kSlpLayer;
        double t_star, z_star;
        if (std::fabs(p[above] - p[below]) < 1.0) {
            t_star = tv_above;
            z_star = (*z)[above];
        } else {
            const double f = std::log(p_star / p[below]) / std::log(p[above] / p[below]);
            t_star = tv_below + f * (tv_above - tv_below);
            z_star = (*z)[below] + f * ((*z)[above] - (*z)[below]);
        }
        const double t_surf = t_star * std::pow(p0 / p_star, kLapseExponent);
        double t_sea = t_star + kLapseRate * z_star;
        if (t_sea >= kSlpCriticalT && t_surf <= kSlpCriticalT) {
            t_sea = kSlpCriticalT;
        } else {
            const double d = t_surf - kSlpCriticalT;
            t_sea = kSlpCriticalT - 0.005 * (d * d);
        }
        out[c] = 0.01 * p0 * std::exp(kSlpTwoG * (*z)[c] / (kSlpRd * (t_surf + t_sea)));
    }, kColumnGrain);
    return out;
}

Result<std::vector<double>> compute_omega(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto wf = file.w_destag(t);
    if (!wf) return std::unexpected(wf.error());
    auto pf = file.full_pressure(t);
    if (!pf) return std::unexpected(pf.error());
    auto tf = file.temperature(t);
    if (!tf) return std::unexpected(tf.error());
    auto qf = file.qvapor(t);
    if (!qf) return std::unexpected(qf.error());
    return elementwise(
        std::min({(*wf)->size(), (*pf)->size(), (*tf)->size(), (*qf)->size()}),
        [](double w, double p, double tk, double q) {
            return -kGravity * w * p / (kOmegaRd * tk * (1.0 + kOmegaVirtualFactor * clip_q(q)));
        },
        (*wf)->data(), (*pf)->data(), (*tf)->data(), (*qf)->data());
}

}  // namespace wrf::diag::pressure
