#pragma once
#include "diag/common.hpp"

namespace wrf::diag::wind {

Result<std::vector<double>> compute_ua(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_va(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wa(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lat(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lon(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wspd(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wdir(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_uvmet(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_uvmet10(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wspd10(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_wdir10(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::wind
