#include "diag/cape.hpp"

namespace wrf::diag::cape {

Result<std::vector<double>> compute_sbcape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("sbcape");
}

Result<std::vector<double>> compute_sbcin(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("sbcin");
}

Result<std::vector<double>> compute_mlcape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mlcape");
}

Result<std::vector<double>> compute_mlcin(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mlcin");
}

Result<std::vector<double>> compute_mucape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mucape");
}

Result<std::vector<double>> compute_mucin(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mucin");
}

Result<std::vector<double>> compute_sb3cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("sb3cape");
}

Result<std::vector<double>> compute_ml3cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ml3cape");
}

Result<std::vector<double>> compute_mu3cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mu3cape");
}

Result<std::vector<double>> compute_sb6cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("sb6cape");
}

Result<std::vector<double>> compute_ml6cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ml6cape");
}

Result<std::vector<double>> compute_mu6cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mu6cape");
}

Result<std::vector<double>> compute_lcl(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lcl");
}

Result<std::vector<double>> compute_lfc(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lfc");
}

Result<std::vector<double>> compute_el(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("el");
}

Result<std::vector<double>> compute_cape2d(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cape2d");
}

Result<std::vector<double>> compute_cape3d(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cape3d");
}

Result<std::vector<double>> compute_cape2d_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cape2d_wrfpython");
}

Result<std::vector<double>> compute_mcape_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mcape_wrfpython");
}

Result<std::vector<double>> compute_mcin_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mcin_wrfpython");
}

Result<std::vector<double>> compute_lcl_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lcl_wrfpython");
}

Result<std::vector<double>> compute_lfc_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lfc_wrfpython");
}

Result<std::vector<double>> compute_cape3d_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cape3d_wrfpython");
}

Result<std::vector<double>> compute_cape3d_only_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cape3d_only_wrfpython");
}

Result<std::vector<double>> compute_cin3d_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cin3d_wrfpython");
}

Result<std::vector<double>> compute_cape_generic(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cape");
}

Result<std::vector<double>> compute_cin_generic(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cin");
}

Result<std::vector<double>> compute_effective_inflow_layer(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("effective_inflow");
}

Result<std::vector<double>> compute_effective_inflow_cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("effective_cape");
}

}  // namespace wrf::diag::cape
