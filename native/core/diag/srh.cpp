#include "diag/srh.hpp"

namespace wrf::diag::srh {

Result<std::vector<double>> compute_srh1(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("srh1");
}

Result<std::vector<double>> compute_srh3(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("srh3");
}

Result<std::vector<double>> compute_srh(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("srh");
}

Result<std::vector<double>> compute_srh_wrfpython(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("srh_wrfpython");
}

Result<std::vector<double>> compute_shear_0_1km(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("shear_0_1km");
}

Result<std::vector<double>> compute_shear_0_6km(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("shear_0_6km");
}

Result<std::vector<double>> compute_bunkers_rm(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("bunkers_rm");
}

Result<std::vector<double>> compute_bunkers_lm(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("bunkers_lm");
}

Result<std::vector<double>> compute_mean_wind_0_6km(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mean_wind_0_6km");
}

Result<std::vector<double>> compute_effective_srh(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("effective_srh");
}

Result<std::vector<double>> compute_bulk_shear(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("bulk_shear");
}

Result<std::vector<double>> compute_mean_wind(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mean_wind");
}

}  // namespace wrf::diag::srh
