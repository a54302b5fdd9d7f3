#pragma once
#include <utility>

#include "diag/common.hpp"

namespace wrf::diag::wind {

Result<std::vector<double>> compute_ua(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_va(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wa(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lat(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lon(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wspd(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wdir(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_uvmet(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_uvmet10(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wspd10(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wdir10(WrfFile& file, std::size_t t, const ComputeOpts& opts);

// Grid-relative winds (3-D or 2-D) turned to earth-relative ones. The
// rotation fields and latitude hold one value per column (at least
// `columns`); point p uses column p % columns, and sinalpha changes sign
// south of the equator. Results have the length of the shorter of u and v.
std::pair<std::vector<double>, std::vector<double>> rotate_to_earth(const std::vector<double>& u,
                                                                    const std::vector<double>& v,
                                                                    const std::vector<double>& cosalpha,
                                                                    const std::vector<double>& sinalpha,
                                                                    const std::vector<double>& xlat,
                                                                    std::size_t columns);

// The same into caller-provided buffers of n = min(|u|, |v|) values each.
void rotate_to_earth_into(const std::vector<double>& u, const std::vector<double>& v,
                          const std::vector<double>& cosalpha, const std::vector<double>& sinalpha,
                          const std::vector<double>& xlat, std::size_t columns, double* u_earth, double* v_earth);

// Meteorological direction (degrees, where the wind blows from) of an
// earth-relative wind; calm gives 270.
double wind_direction(double u_earth, double v_earth);

}  // namespace wrf::diag::wind
