#pragma once
#include "diag/common.hpp"

namespace wrf::diag::ecape {

Result<std::vector<double>> compute_ecape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ncape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ecape_cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ecape_cin(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ecape_lfc(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ecape_el(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::ecape
