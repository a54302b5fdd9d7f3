#include "diag/thermo.hpp"

#include <algorithm>
#include <cmath>

#include "diag/humidity.hpp"
#include "engine/buffer.hpp"
#include "grid.hpp"
#include "met/thermo.hpp"
#include "parallel.hpp"

namespace wrf::diag::thermo {

namespace {

using humidity::clip_q;
using humidity::kZeroCelsius;

constexpr double kVirtualFactor = 0.61;
// Theta-e (Bolton 1980).
constexpr double kEpsilonThetaE = 0.62197;
constexpr double kKappaThetaE = 0.28571426;

std::size_t shortest(const SharedField& a, const SharedField& b) { return std::min(a->size(), b->size()); }
std::size_t shortest(const SharedField& a, const SharedField& b, const SharedField& c) {
    return std::min(shortest(a, b), c->size());
}

// Equivalent potential temperature (K) of n <= kLanes points; p in hPa,
// t in degC, q in kg/kg. Every point goes through the formula's steps in
// order; the points run side by side, step by step, so that the seven
// transcendental calls of different points overlap instead of queueing.
constexpr std::size_t kLanes = 8;

void theta_e_points(const double* p, const double* t, const double* q, double* out, std::size_t n) {
    double pp[kLanes], tc[kLanes], es[kLanes], e_sat[kLanes], td[kLanes], tk[kLanes], tl[kLanes], e2[kLanes],
        r[kLanes], theta[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l) {
        const std::size_t i = std::min(l, n - 1);  // spare lanes repeat the last point
        pp[l] = p[i];
        tc[l] = t[i];
        es[l] = humidity::saturation_vapor_pressure(tc[l]);
    }
    for (std::size_t l = 0; l < kLanes; ++l) {
        const double qc = clip_q(q[std::min(l, n - 1)]);
        const double e = pp[l] * qc / (qc + humidity::kEpsilon);
        double rh = 100.0 * e / es[l];
        if (rh < 0.0) rh = 0.0;
        if (rh > 100.0) rh = 100.0;
        // Never above saturation.
        e_sat[l] = es[l] * rh / 100.0;
    }
    for (std::size_t l = 0; l < kLanes; ++l) {
        const double lg = std::log(e_sat[l] / humidity::kMagnusE0);
        td[l] = humidity::kMagnusB * lg / (humidity::kMagnusA - lg);
        tk[l] = tc[l] + kZeroCelsius;
    }
    for (std::size_t l = 0; l < kLanes; ++l) {
        const double tdk = td[l] + kZeroCelsius;
        tl[l] = 56.0 + 1.0 / (1.0 / (tdk - 56.0) + std::log(tk[l] / tdk) / 800.0);
    }
    for (std::size_t l = 0; l < kLanes; ++l) {
        e2[l] = humidity::saturation_vapor_pressure(td[l]);
        r[l] = kEpsilonThetaE * e2[l] / (pp[l] - e2[l]);
    }
    for (std::size_t l = 0; l < kLanes; ++l) theta[l] = tk[l] * std::pow(1000.0 / (pp[l] - e2[l]), kKappaThetaE);
    for (std::size_t l = 0; l < kLanes; ++l) theta[l] = theta[l] * std::pow(tk[l] / tl[l], 0.28 * r[l]);
    for (std::size_t l = 0; l < kLanes; ++l) {
        theta[l] = theta[l] * std::exp((3036.0 / tl[l] - 1.78) * r[l] * (1.0 + 0.448 * r[l]));
    }
    for (std::size_t l = 0; l < n; ++l) out[l] = theta[l];
}

// Full pressure, temperature and mixing ratio, read in that order. The
// rows below take pressure in hPa and temperature in degC, each point once,
// so they convert point by point (the same values as the derived fields)
// instead of deriving those two fields first.
struct MoistInputs {
    SharedField p, tk, q;
    std::size_t size() const { return shortest(p, tk, q); }
};

Result<MoistInputs> moist_inputs(WrfFile& file, std::size_t t) {
    auto p = file.full_pressure(t);
    if (!p) return std::unexpected(p.error());
    auto tk = file.temperature(t);
    if (!tk) return std::unexpected(tk.error());
    auto q = file.qvapor(t);
    if (!q) return std::unexpected(q.error());
    return MoistInputs{*p, *tk, *q};
}

// A fresh result over the moist inputs, filled on the pool run by run:
// run(p_hpa, t_celsius, q, out, count) with at most kRun points.
constexpr std::size_t kRun = 256;

template <class Run>
Result<std::vector<double>> by_runs(WrfFile& file, std::size_t t, Run run) {
    auto in = moist_inputs(file, t);
    if (!in) return std::unexpected(in.error());
    const std::size_t n = in->size();
    const double* p = in->p->data();
    const double* tk = in->tk->data();
    const double* q = in->q->data();
    std::vector<double> out = fresh_doubles(n);
    parallel::for_blocks(n, [&](std::size_t b, std::size_t e) {
        double p_hpa[kRun], t_celsius[kRun];
        for (std::size_t i0 = b; i0 < e; i0 += kRun) {
            const std::size_t m = std::min(kRun, e - i0);
            for (std::size_t i = 0; i < m; ++i) {
                p_hpa[i] = grid::hpa_point(p[i0 + i]);
                t_celsius[i] = grid::celsius_point(tk[i0 + i]);
            }
            run(p_hpa, t_celsius, q + i0, out.data() + i0, m);
        }
    });
    return out;
}

}  // namespace

Result<std::vector<double>> compute_t2(WrfFile& file, std::size_t t, const ComputeOpts& opts) {
    return file.t2_for_opts(t, opts);
}

Result<std::vector<double>> compute_tv2m(WrfFile& file, std::size_t t, const ComputeOpts& opts) {
    auto t2 = file.t2_for_opts(t, opts);
    if (!t2) return t2;
    auto q2 = file.q2_for_opts(t, opts);
    if (!q2) return q2;
    return elementwise(
        std::min(t2->size(), q2->size()), [](double tk, double q) { return tk * (1.0 + kVirtualFactor * clip_q(q)); },
        t2->data(), q2->data());
}

Result<std::vector<double>> compute_temp(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.temperature(t));
}

Result<std::vector<double>> compute_tc(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return grid::temperature_c_copy(file, t);
}

Result<std::vector<double>> compute_theta(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.full_theta(t));
}

Result<std::vector<double>> compute_theta_e(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return by_runs(file, t, [](const double* p, const double* tc, const double* q, double* out, std::size_t n) {
        for (std::size_t i = 0; i < n; i += kLanes) theta_e_points(p + i, tc + i, q + i, out + i, std::min(kLanes, n - i));
    });
}

Result<std::vector<double>> compute_tv(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto tk = file.temperature(t);
    if (!tk) return std::unexpected(tk.error());
    auto q = file.qvapor(t);
    if (!q) return std::unexpected(q.error());
    return elementwise(
        shortest(*tk, *q), [](double tk, double q) { return tk * (1.0 + kVirtualFactor * clip_q(q)); },
        (*tk)->data(), (*q)->data());
}

Result<std::vector<double>> compute_twb(WrfFile& file, std::size_t t, const ComputeOpts&) {
    // Dewpoints of a run, then the run's wet bulbs in one batch.
    return by_runs(file, t, [](const double* p, const double* tc, const double* q, double* out, std::size_t n) {
        double td[kRun];
        for (std::size_t i = 0; i < n; ++i) td[i] = humidity::dewpoint(p[i], q[i]);
        met::wet_bulb_temperatures(p, tc, td, out, n);
        for (std::size_t i = 0; i < n; ++i) out[i] = out[i] + kZeroCelsius;
    });
}

Result<std::vector<double>> compute_td(WrfFile& file, std::size_t t, const ComputeOpts&) {
    // Pressure converted to hPa point by point, as in by_runs.
    auto p = file.full_pressure(t);
    if (!p) return std::unexpected(p.error());
    auto q = file.qvapor(t);
    if (!q) return std::unexpected(q.error());
    return elementwise(
        shortest(*p, *q), [](double p, double q) { return humidity::dewpoint(grid::hpa_point(p), q); },
        (*p)->data(), (*q)->data());
}

Result<std::vector<double>> compute_rh(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return by_runs(file, t, [](const double* p, const double* tc, const double* q, double* out, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) out[i] = humidity::relative_humidity(p[i], tc[i], q[i]);
    });
}

}  // namespace wrf::diag::thermo
