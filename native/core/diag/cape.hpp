#pragma once
#include "diag/common.hpp"

namespace wrf::diag::cape {

Result<std::vector<double>> compute_sbcape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_sbcin(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mlcape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mlcin(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mucape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mucin(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_sb3cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ml3cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mu3cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_sb6cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_ml6cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mu6cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lcl(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lfc(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_el(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cape2d(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cape3d(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cape2d_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mcape_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_mcin_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lcl_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_lfc_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cape3d_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cape3d_only_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cin3d_wrfpython(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cape_generic(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_cin_generic(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_effective_inflow_layer(WrfFile& file, std::size_t t, const ComputeOpts& opts);
Result<std::vector<double>> compute_effective_inflow_cape(WrfFile& file, std::size_t t, const ComputeOpts& opts);

}  // namespace wrf::diag::cape
