#pragma once
#include "diag/common.hpp"

namespace wrf::diag::srh {

Result<std::vector<double>> compute_srh1(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_srh3(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_srh(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_srh_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_shear_0_1km(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_shear_0_6km(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_bunkers_rm(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_bunkers_lm(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mean_wind_0_6km(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_effective_srh(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_bulk_shear(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mean_wind(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::srh
