#pragma once
#include "diag/common.hpp"

namespace wrf::diag::vorticity {

Result<std::vector<double>> compute_avo(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_pvo(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::vorticity
