#pragma once
#include "diag/common.hpp"

namespace wrf::diag::helicity {

Result<std::vector<double>> compute_uhel(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::helicity
