#include "diag/thermo.hpp"

namespace wrf::diag::thermo {

Result<std::vector<double>> compute_t2(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("t2");
}

Result<std::vector<double>> compute_tv2m(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("tv2m");
}

Result<std::vector<double>> compute_temp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("temp");
}

Result<std::vector<double>> compute_tc(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("tc");
}

Result<std::vector<double>> compute_theta(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("theta");
}

Result<std::vector<double>> compute_theta_e(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("theta_e");
}

Result<std::vector<double>> compute_tv(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("tv");
}

Result<std::vector<double>> compute_twb(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("twb");
}

Result<std::vector<double>> compute_td(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("td");
}

Result<std::vector<double>> compute_rh(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("rh");
}

}  // namespace wrf::diag::thermo
