#pragma once
#include "diag/common.hpp"

namespace wrf::diag::cloud {

Result<std::vector<double>> compute_ctt(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cloudfrac(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::cloud
