#pragma once
#include "diag/common.hpp"

namespace wrf::diag::radar {

Result<std::vector<double>> compute_dbz(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_maxdbz(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::radar
