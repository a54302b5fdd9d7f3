#pragma once
#include "diag/common.hpp"

namespace wrf::diag::moisture {

Result<std::vector<double>> compute_pw(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_rh2m(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_dp2m(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mixing_ratio(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_specific_humidity(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::moisture
