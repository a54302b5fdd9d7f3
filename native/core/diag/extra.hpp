#pragma once
#include "diag/common.hpp"

namespace wrf::diag::extra {

Result<std::vector<double>> compute_dcape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lapse_rate_700_500(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lapse_rate_0_3km(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_freezing_level(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wet_bulb_0(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_k_index(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_total_totals(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mean_mixr(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_low_rh(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mid_rh(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_dgz_rh(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lcl_temp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_convective_temp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_max_temp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_theta_w(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_fosberg(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_haines(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_hdw(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lapse_rate(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::extra
