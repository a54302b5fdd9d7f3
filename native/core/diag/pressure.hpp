#pragma once
#include "diag/common.hpp"

namespace wrf::diag::pressure {

Result<std::vector<double>> compute_pressure_hpa(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_pressure(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_height(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_height_agl(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_geopt(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_terrain(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_slp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_omega(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::pressure
