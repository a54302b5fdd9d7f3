#pragma once
#include "diag/common.hpp"

namespace wrf::diag::thermo {

Result<std::vector<double>> compute_t2(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_tv2m(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_temp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_tc(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_theta(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_theta_e(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_tv(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_twb(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_td(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_rh(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::thermo
