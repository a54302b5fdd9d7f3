#include "diag/pressure.hpp"

namespace wrf::diag::pressure {

Result<std::vector<double>> compute_pressure_hpa(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("pressure");
}

Result<std::vector<double>> compute_pressure(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("pres");
}

Result<std::vector<double>> compute_height(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("height");
}

Result<std::vector<double>> compute_height_agl(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("height_agl");
}

Result<std::vector<double>> compute_geopt(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("geopt");
}

Result<std::vector<double>> compute_terrain(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("terrain");
}

Result<std::vector<double>> compute_slp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("slp");
}

Result<std::vector<double>> compute_omega(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("omega");
}

}  // namespace wrf::diag::pressure
