#pragma once
#include "diag/common.hpp"

namespace wrf::diag::severe {

Result<std::vector<double>> compute_stp_generic(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_stp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_stp_effective(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_scp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ehi(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ecape_scp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ecape_ehi(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_tehi(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_tts(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_vtp_mod(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_critical_angle(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ship(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_bri(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_dcp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wndg(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_esp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mmp(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_effective_bulk_wind_difference(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::severe
