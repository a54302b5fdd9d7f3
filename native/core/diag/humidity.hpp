#pragma once
// Point formulas of the humidity diagnostics, shared by the 3-D rows and
// their 2-m counterparts. Pressure in hPa, temperature in degC, mixing
// ratio in kg/kg.
#include <cmath>

namespace wrf::diag::humidity {

inline constexpr double kEpsilon = 0.622;
inline constexpr double kOneMinusEpsilon = 0.378;
inline constexpr double kMagnusE0 = 6.112;
inline constexpr double kMagnusA = 17.67;
inline constexpr double kMagnusB = 243.5;
inline constexpr double kZeroCelsius = 273.15;
// Smallest vapour pressure (hPa) a dewpoint is taken of.
inline constexpr double kMinVaporPressure = 0.001;

// Mixing ratio clipped at zero; an undefined value counts as zero.
inline double clip_q(double q) { return q > 0.0 ? q : 0.0; }

// Saturation vapour pressure (hPa), Magnus form.
inline double saturation_vapor_pressure(double t) { return kMagnusE0 * std::exp(kMagnusA * t / (t + kMagnusB)); }

// Relative humidity (%) from the clipped mixing ratio, limited to [0, 100].
inline double relative_humidity(double p, double t, double q) {
    const double es = saturation_vapor_pressure(t);
    const double qs = kEpsilon * es / (p - kOneMinusEpsilon * es);
    double ratio = clip_q(q) / qs;
    if (ratio < 0.0) ratio = 0.0;
    if (ratio > 1.0) ratio = 1.0;
    return 100.0 * ratio;
}

// Dewpoint (degC) from the vapour pressure of the clipped mixing ratio.
inline double dewpoint(double p, double q) {
    const double qc = clip_q(q);
    double e = p * qc / (qc + kEpsilon);
    if (!(e > kMinVaporPressure)) e = kMinVaporPressure;
    const double le = std::log(e);
    return (243.5 * le - 440.8) / (19.48 - le);
}

}  // namespace wrf::diag::humidity
