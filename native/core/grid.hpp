#pragma once
// Derived base fields (WrfFile accessors) and destaggering.
#include <cstddef>
#include <vector>

#include "file/wrf_file.hpp"

namespace wrf::grid {

std::vector<double> destagger_x(const std::vector<double>& values, std::size_t nz, std::size_t ny, std::size_t nxs);
std::vector<double> destagger_y(const std::vector<double>& values, std::size_t nz, std::size_t nys, std::size_t nx);
std::vector<double> destagger_z(const std::vector<double>& values, std::size_t nzs, std::size_t ny, std::size_t nx);
std::vector<double> interpolate_masked_2d(const std::vector<double>& values, const std::vector<bool>& mask,
                                          std::size_t ny, std::size_t nx);

}  // namespace wrf::grid
