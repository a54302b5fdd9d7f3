#include "met/thermo.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace wrf::met {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Levels closer than this to a reference pressure count as the same level.
constexpr double kPressureTolerance = 0.01;
// Largest step of the buoyancy integration above the LCL (hPa).
constexpr double kMaxStep = 10.0;
constexpr double kSatliftTolerance = 0.001;
// Theta-e of the most-unstable search.
constexpr double kCpMostUnstable = 1005.7;

inline double pow4(double x) {
    const double x2 = x * x;
    return x2 * x2;
}

inline double pow8(double x) {
    const double x4 = pow4(x);
    return x4 * x4;
}

inline double lerp_frac(double a, double b, double f) { return a + f * (b - a); }

// Index i of the first pair with p[i] >= x >= p[i+1], or n when none.
inline std::size_t bracket(Column p, double x) {
    const std::size_t n = p.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (p[i] >= x && x >= p[i + 1]) return i;
    }
    return n;
}

}  // namespace

double lcl_temperature(double t, double td) {
    const double s = t - td;
    return t - s * (1.2185 + 0.001278 * t + s * (-0.00219 + 1.173e-05 * s - 5.2e-06 * t));
}

double potential_temperature(double p, double t) { return (t + kZeroCelsius) * std::pow(1000.0 / p, kKappa); }

DryLift dry_lift(double p, double t, double td) {
    const double t_lcl = lcl_temperature(t, td);
    const double theta = potential_temperature(p, t);
    const double p_lcl = 1000.0 * std::pow((t_lcl + kZeroCelsius) / theta, kInvKappa);
    return {p_lcl, t_lcl};
}

namespace {

// The two arms of the Wobus fit, in x = t - 20: x <= 0 and x > 0.
inline double wobus_cold(double x) {
    const double n =
        1.0 + x * (-0.0088416605 +
                   x * (0.00014714143 + x * (-9.671989e-07 + x * (-3.2607217e-08 + x * (-3.8598073e-10)))));
    return 15.13 / pow4(n);
}

inline double wobus_warm(double x) {
    const double m =
        1.0 +
        x * (0.0036182989 +
             x * (-1.3603273e-05 +
                  x * (4.9618922e-07 +
                       x * (-6.1059365e-09 + x * (3.9401551e-11 + x * (-1.2588129e-13 + x * 1.668828e-16))))));
    return 29.93 / pow4(m) + 0.96 * x - 14.8;
}

// The moist-adiabat routines run on L independent points side by side
// ("lanes"): every lane goes through exactly the operations of the one-point
// routine, which is the L = 1 case, so results do not depend on L. Several
// lanes let the long chains of dependent arithmetic of different points
// overlap; for that the Wobus fit evaluates both arms and picks one per lane.
template <std::size_t L>
using Lanes = double[L];

template <std::size_t L>
inline void wobus_lanes(const Lanes<L>& t, Lanes<L>& out) {
    for (std::size_t l = 0; l < L; ++l) {
        const double x = t[l] - 20.0;
        if constexpr (L == 1) {
            out[l] = x <= 0.0 ? wobus_cold(x) : wobus_warm(x);
        } else {
            const double cold = wobus_cold(x), warm = wobus_warm(x);
            out[l] = x <= 0.0 ? cold : warm;
        }
    }
}

template <std::size_t L>
void moist_adiabat_label_lanes(const Lanes<L>& p_lcl, const Lanes<L>& t_lcl, Lanes<L>& out) {
    Lanes<L> theta_lcl, w_theta, w_t;
    for (std::size_t l = 0; l < L; ++l) {
        theta_lcl[l] = (t_lcl[l] + kZeroCelsius) * std::pow(1000.0 / p_lcl[l], kKappa) - kZeroCelsius;
    }
    wobus_lanes<L>(theta_lcl, w_theta);
    wobus_lanes<L>(t_lcl, w_t);
    for (std::size_t l = 0; l < L; ++l) out[l] = theta_lcl[l] - w_theta[l] + w_t[l];
}

// Secant iteration on the Wobus function; a lane leaves the iteration when
// the one-point routine would return.
template <std::size_t L>
void satlift_lanes(const Lanes<L>& p, const Lanes<L>& theta_m, Lanes<L>& out) {
    Lanes<L> r, t1, e1, rate, wa, wb;
    bool live[L];
    std::size_t left = 0;
    for (std::size_t l = 0; l < L; ++l) {
        live[l] = !(std::fabs(p[l] - 1000.0) <= kSatliftTolerance);
        left += live[l];
        out[l] = theta_m[l];
        r[l] = live[l] ? std::pow(p[l] / 1000.0, kKappa) : 1.0;
        t1[l] = (theta_m[l] + kZeroCelsius) * r[l] - kZeroCelsius;
        rate[l] = 1.0;
    }
    if (left == 0) return;
    wobus_lanes<L>(t1, wa);
    wobus_lanes<L>(theta_m, wb);
    for (std::size_t l = 0; l < L; ++l) {
        e1[l] = wa[l] - wb[l];
        const bool done = live[l] && std::fabs(e1[l]) < kSatliftTolerance;
        if (done) out[l] = t1[l] - e1[l];
        left -= done;
        live[l] = live[l] && !done;
    }
    for (int k = 0; left > 0; ++k) {
        Lanes<L> t2, x;
        for (std::size_t l = 0; l < L; ++l) {
            t2[l] = t1[l] - e1[l] * rate[l];
            x[l] = (t2[l] + kZeroCelsius) / r[l] - kZeroCelsius;
        }
        wobus_lanes<L>(t2, wa);
        wobus_lanes<L>(x, wb);
        for (std::size_t l = 0; l < L; ++l) {
            const double e2 = x[l] + wa[l] - wb[l] - theta_m[l];
            rate[l] = (t2[l] - t1[l]) / (e2 - e1[l]);
            const bool done = live[l] && (k > 5 || std::fabs(e2) < kSatliftTolerance);
            if (done) out[l] = t2[l] - e2 * rate[l];
            left -= done;
            live[l] = live[l] && !done;
            t1[l] = t2[l];
            e1[l] = e2;
        }
    }
}

}  // namespace

double wobus(double t) {
    Lanes<1> in{t}, out;
    wobus_lanes<1>(in, out);
    return out[0];
}

double moist_adiabat_label(double p_lcl, double t_lcl) {
    Lanes<1> p{p_lcl}, t{t_lcl}, out;
    moist_adiabat_label_lanes<1>(p, t, out);
    return out[0];
}

double vapor_pressure_poly(double t) {
    const double pol =
        0.99999683 +
        t * (-0.009082695 +
             t * (7.8736169e-05 +
                  t * (-6.111796e-07 +
                       t * (4.388418e-09 +
                            t * (-2.988388e-11 +
                                 t * (2.1874425e-13 +
                                      t * (-1.789232e-15 + t * (1.1112018e-17 + t * (-3.0994571e-20)))))))));
    return 6.1078 / pow8(pol);
}

double mixing_ratio_gkg(double p, double t) {
    const double x = 0.02 * (t - 12.5 + 7500.0 / p);
    const double f = 1.0 + 4.5e-06 * p + 0.0014 * (x * x);
    const double e = f * vapor_pressure_poly(t);
    return 621.97 * e / (p - e);
}

double temperature_at_mixing_ratio(double w, double p) {
    const double x = std::log10(w * p / (622.0 + w));
    const double y = std::pow(10.0, 0.0915 * x) - 1.2035;
    return std::pow(10.0, 0.0498646455 * x + 2.4082965) - 7.07475 + 38.9114 * (y * y) - kZeroCelsius;
}

double virtual_temperature(double t, double w) { return (t + kZeroCelsius) * (1.0 + kVirtualFactor * w / 1000.0); }

double satlift(double p, double theta_m) {
    Lanes<1> pp{p}, label{theta_m}, out;
    satlift_lanes<1>(pp, label, out);
    return out[0];
}

double wet_bulb_temperature(double p, double t, double td) {
    const DryLift lcl = dry_lift(p, t, td);
    return satlift(p, moist_adiabat_label(lcl.pressure, lcl.temperature));
}

void wet_bulb_temperatures(const double* p, const double* t, const double* td, double* out, std::size_t n) {
    constexpr std::size_t L = 8;
    for (std::size_t i0 = 0; i0 < n; i0 += L) {
        // A short last batch repeats its last point in the spare lanes.
        Lanes<L> pp, p_lcl, t_lcl, label, wet;
        for (std::size_t l = 0; l < L; ++l) {
            const std::size_t i = std::min(i0 + l, n - 1);
            const DryLift lcl = dry_lift(p[i], t[i], td[i]);
            pp[l] = p[i];
            p_lcl[l] = lcl.pressure;
            t_lcl[l] = lcl.temperature;
        }
        moist_adiabat_label_lanes<L>(p_lcl, t_lcl, label);
        satlift_lanes<L>(pp, label, wet);
        for (std::size_t l = 0; l < L && i0 + l < n; ++l) out[i0 + l] = wet[l];
    }
}

double wet_bulb_potential_temperature(double p, double t, double td) {
    const DryLift lcl = dry_lift(p, t, td);
    return moist_adiabat_label(lcl.pressure, lcl.temperature) + kZeroCelsius;
}

EnvPoint get_env_at_pres(Column p, Column t, Column td, double x) {
    const std::size_t n = p.size();
    const std::size_t i = bracket(p, x);
    if (i == n) return {t[n - 1], td[n - 1]};
    const double lo = std::log(p[i]);
    const double hi = std::log(p[i + 1]);
    if (lo == hi) return {t[i], td[i]};
    const double f = (std::log(x) - lo) / (hi - lo);
    return {lerp_frac(t[i], t[i + 1], f), lerp_frac(td[i], td[i + 1], f)};
}

double get_height_at_pres(Column p, Column z, double x) {
    const std::size_t n = p.size();
    const std::size_t i = bracket(p, x);
    if (i == n) {
        if (x > p[0]) return z[0];
        if (x < p[n - 1]) return z[n - 1];
        return kNaN;
    }
    const double lo = std::log(p[i]);
    const double hi = std::log(p[i + 1]);
    if (lo == hi) return z[i];
    const double f = (std::log(x) - lo) / (hi - lo);
    return lerp_frac(z[i], z[i + 1], f);
}

Parcel get_mixed_layer_parcel(Column p, Column t, Column td, double depth) {
    const double p0 = p[0];
    const double p_top = p0 - depth;
    const EnvPoint top = get_env_at_pres(p, t, td, p_top);
    double sum_p = p0 + p_top;
    double sum_theta = potential_temperature(p0, t[0]) + potential_temperature(p_top, top.temperature);
    double sum_td = td[0] + top.dewpoint;
    double weight = 2.0;
    for (std::size_t i = 1; i < p.size(); ++i) {
        if (!(p[i] > p_top)) break;
        sum_p += 2.0 * p[i];
        sum_theta += 2.0 * potential_temperature(p[i], t[i]);
        sum_td += 2.0 * td[i];
        weight += 2.0;
    }
    const double w = mixing_ratio_gkg(sum_p / weight, sum_td / weight);
    const double temperature = (sum_theta / weight) * std::pow(p0 / 1000.0, kKappa) - kZeroCelsius;
    return {p0, temperature, temperature_at_mixing_ratio(w, p0)};
}

Parcel get_most_unstable_parcel(Column p, Column t, Column td, double depth) {
    const double p_limit = p[0] - depth;
    double best = -999.0;
    std::size_t best_i = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (!(p[i] >= p_limit)) break;
        const DryLift lcl = dry_lift(p[i], t[i], td[i]);
        const double w = mixing_ratio_gkg(p[i], td[i]);
        const double tk = lcl.temperature + kZeroCelsius;
        const double theta_e = tk * std::pow(1000.0 / lcl.pressure, kKappa) *
                                   std::exp((2500.0 - 2.37 * lcl.temperature) * 1000.0 * (w / 1000.0) /
                                            (kCpMostUnstable * tk)) -
                               kZeroCelsius;
        if (theta_e > best) {
            best = theta_e;
            best_i = i;
        }
    }
    return {p[best_i], t[best_i], td[best_i]};
}

double parcel_temperature_excess(Column p, Column t, Column td, double x, double p_lcl, double theta, double w,
                                 double theta_m) {
    const EnvPoint env = get_env_at_pres(p, t, td, x);
    const double tv_env = virtual_temperature(env.temperature, mixing_ratio_gkg(x, env.dewpoint));
    double tv_parcel;
    if (x > p_lcl) {
        tv_parcel = theta * std::pow(x / 1000.0, kKappa) * (1.0 + kVirtualFactor * w / 1000.0);
    } else {
        const double tp = satlift(x, theta_m);
        tv_parcel = virtual_temperature(tp, mixing_ratio_gkg(x, tp));
    }
    return tv_parcel - tv_env;
}

namespace {

struct Lifted {
    Column p, t, td;
    double p_lcl, theta, w, theta_m;
    double excess(double x) const { return parcel_temperature_excess(p, t, td, x, p_lcl, theta, w, theta_m); }
};

void integrate_segment(const Lifted& lp, BuoyancyIntegral& acc, double start, double end) {
    const double depth = start - end;
    if (!(depth > 0.0)) return;
    const std::size_t n = depth <= kMaxStep ? 1 : static_cast<std::size_t>(std::floor(depth / kMaxStep)) + 1;
    const double step = depth / static_cast<double>(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double f = start - static_cast<double>(k) * step;
        const double g = k + 1 == n ? end : start - static_cast<double>(k + 1) * step;
        const double b = lp.excess((f + g) / 2.0);
        acc.total += kRdBuoyancy * b * std::log(f / g);
        if (acc.total < acc.minimum) {
            acc.minimum = acc.total;
            acc.pressure_at_minimum = g;
        }
    }
}

void integrate_range(const Lifted& lp, BuoyancyIntegral& acc, double p_bottom, double p_top) {
    if (p_bottom <= p_top) return;
    const double b1 = lp.excess(p_bottom);
    const double b2 = lp.excess(p_top);
    const double p_cross = b1 * b2 < 0.0 ? p_bottom - (p_top - p_bottom) * b1 / (b2 - b1) : p_top;
    integrate_segment(lp, acc, p_bottom, p_cross);
    integrate_segment(lp, acc, p_cross, p_top);
}

}  // namespace

void integrate_moist_pressure_range(Column p, Column t, Column td, BuoyancyIntegral& acc, double p_bottom,
                                    double p_top, double p_lcl, double theta, double w, double theta_m) {
    integrate_range(Lifted{p, t, td, p_lcl, theta, w, theta_m}, acc, p_bottom, p_top);
}

std::optional<EquilibriumLevel> el(Column p, Column t, Column td) {
    const std::size_t n = p.size();
    const DryLift lcl = dry_lift(p[0], t[0], td[0]);
    const double theta = potential_temperature(p[0], t[0]);
    const double theta_m = moist_adiabat_label(lcl.pressure, lcl.temperature);
    const double w0 = mixing_ratio_gkg(p[0], td[0]);
    const auto excess = [&](std::size_t j) {
        double tv_parcel;
        if (p[j] > lcl.pressure) {
            tv_parcel = (1.0 + kVirtualFactor * w0 / 1000.0) * theta * std::pow(p[j] / 1000.0, kKappa);
        } else {
            const double tp = satlift(p[j], theta_m);
            tv_parcel = virtual_temperature(tp, mixing_ratio_gkg(p[j], tp));
        }
        return tv_parcel - virtual_temperature(t[j], mixing_ratio_gkg(p[j], td[j]));
    };
    std::optional<EquilibriumLevel> found;
    bool positive = false;
    double b_prev = excess(0);
    for (std::size_t j = 1; j < n; ++j) {
        const double b = excess(j);
        if (p[j] <= lcl.pressure) {
            if (b > 0.0) {
                positive = true;
            } else if (positive && b_prev > 0.0) {
                const double f = -b_prev / (b - b_prev);
                found = EquilibriumLevel{lerp_frac(p[j - 1], p[j], f), lerp_frac(t[j - 1], t[j], f)};
            }
        }
        b_prev = b;
    }
    return found;
}

CapeCin cape_cin_core(Column p_in, Column t_in, Column td_in, Column z_in, double psfc, double tsfc, double tdsfc,
                      double ml_depth, double mu_depth, std::optional<double> top_m, std::string_view parcel_type,
                      CapeScratch& s) {
    // Units are judged from the surface values and applied to the whole column.
    const bool pascals = psfc > 2000.0;
    const bool kelvin = tsfc > 150.0;
    if (pascals) psfc /= 100.0;
    if (kelvin) {
        tsfc -= kZeroCelsius;
        tdsfc -= kZeroCelsius;
    }

    // The surface becomes level 0; saturated or undefined dewpoints take the temperature.
    const std::size_t n = std::min({p_in.size(), t_in.size(), td_in.size(), z_in.size()}) + 1;
    s.p.resize(n);
    s.t.resize(n);
    s.td.resize(n);
    s.z.resize(n);
    s.p[0] = psfc;
    s.t[0] = tsfc;
    s.td[0] = tdsfc > tsfc ? tsfc : tdsfc;
    s.z[0] = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
        const double pi = pascals ? p_in[i - 1] / 100.0 : p_in[i - 1];
        const double ti = kelvin ? t_in[i - 1] - kZeroCelsius : t_in[i - 1];
        double tdi = kelvin ? td_in[i - 1] - kZeroCelsius : td_in[i - 1];
        if (!(tdi <= ti)) tdi = ti;
        s.p[i] = pi;
        s.t[i] = ti;
        s.td[i] = tdi;
        s.z[i] = z_in[i - 1];
    }
    const Column p(s.p), t(s.t), td(s.td), z(s.z);

    Parcel parcel{p[0], t[0], td[0]};
    if (parcel_type == "ml") {
        parcel = get_mixed_layer_parcel(p, t, td, ml_depth);
    } else if (parcel_type == "mu") {
        parcel = get_most_unstable_parcel(p, t, td, mu_depth);
    }

    const double t_lcl = lcl_temperature(parcel.temperature, parcel.dewpoint);
    const double theta = potential_temperature(parcel.pressure, parcel.temperature);
    const double p_lcl = 1000.0 * std::pow((t_lcl + kZeroCelsius) / theta, kInvKappa);
    const double lcl_height = get_height_at_pres(p, z, p_lcl);
    const double theta_m = moist_adiabat_label(p_lcl, t_lcl);
    const double w = mixing_ratio_gkg(parcel.pressure, parcel.dewpoint);
    const Lifted lp{p, t, td, p_lcl, theta, w, theta_m};

    // Equilibrium level: top of the highest positively buoyant layer.
    const double b0 = lp.excess(p_lcl);
    double el_p = b0 > 0.0 ? p_lcl : kNaN;
    bool positive = b0 > 0.0;
    double prev_p = p_lcl, prev_b = b0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(p[i] < p_lcl - kPressureTolerance)) continue;
        const double b = lp.excess(p[i]);
        if (b > 0.0) {
            positive = true;
            el_p = p[i];
        } else if (positive) {
            if (b == 0.0) {
                el_p = p[i];
            } else if (b < 0.0 && prev_b > 0.0) {
                el_p = prev_p - (p[i] - prev_p) * prev_b / (b - prev_b);
            }
        }
        prev_p = p[i];
        prev_b = b;
    }
    if (!positive) return {0.0, 0.0, lcl_height, kNaN};

    // Top of integration: the EL, or a lower top height.
    double p_top = el_p;
    if (top_m) {
        const double h = *top_m;
        double p_h = p[n - 1];
        for (std::size_t i = 0; i + 1 < n; ++i) {
            if (z[i] <= h && h <= z[i + 1]) {
                p_h = p[i] + (h - z[i]) / (z[i + 1] - z[i]) * (p[i + 1] - p[i]);
                break;
            }
        }
        if (p_h > el_p) p_top = p_h;
    }

    // Dry layer, one midpoint per model layer.
    double prev = parcel.pressure;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(p[i] < prev - kPressureTolerance)) continue;
        if (p[i] <= p_lcl) break;
        sum += kRdBuoyancy * lp.excess((prev + p[i]) / 2.0) * std::log(prev / p[i]);
        prev = p[i];
    }
    if (prev > p_lcl) sum += kRdBuoyancy * lp.excess((prev + p_lcl) / 2.0) * std::log(prev / p_lcl);

    BuoyancyIntegral acc{sum, sum, p_lcl};
    double snap_total = sum, snap_min = sum;
    bool snapped = p_top >= p_lcl - kPressureTolerance;

    // Moist layers up to the EL; the snapshot freezes CAPE and CIN at p_top.
    const auto layer = [&](double bottom, double top) {
        if (!snapped && top <= p_top && p_top < bottom) {
            integrate_range(lp, acc, bottom, p_top);
            snap_total = acc.total;
            snap_min = acc.minimum;
            snapped = true;
            integrate_range(lp, acc, p_top, top);
        } else {
            integrate_range(lp, acc, bottom, top);
            if (!snapped && std::fabs(top - p_top) <= kPressureTolerance) {
                snap_total = acc.total;
                snap_min = acc.minimum;
                snapped = true;
            }
        }
    };
    double bottom = p_lcl;
    for (std::size_t i = 0; i < n; ++i) {
        if (bottom <= el_p + kPressureTolerance) break;
        if (!(p[i] < bottom - kPressureTolerance)) continue;
        const double top = p[i] > el_p ? p[i] : el_p;
        layer(bottom, top);
        bottom = top;
    }
    if (bottom > el_p) layer(bottom, el_p);

    double cape = snapped ? snap_total - snap_min : acc.total - acc.minimum;
    double cin = snapped ? snap_min : acc.minimum;
    cape = cape > 0.0 ? cape : 0.0;
    cin = cin < 0.0 ? cin : 0.0;
    return {cape, cin, lcl_height, get_height_at_pres(p, z, acc.pressure_at_minimum)};
}

CapeCin cape_cin_core(Column p, Column t, Column td, Column z, double psfc, double tsfc, double tdsfc,
                      double ml_depth, double mu_depth, std::optional<double> top_m, std::string_view parcel_type) {
    CapeScratch scratch;
    return cape_cin_core(p, t, td, z, psfc, tsfc, tdsfc, ml_depth, mu_depth, top_m, parcel_type, scratch);
}

}  // namespace wrf::met
