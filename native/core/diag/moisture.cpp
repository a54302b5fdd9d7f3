#include "diag/moisture.hpp"

namespace wrf::diag::moisture {

Result<std::vector<double>> compute_pw(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("pw");
}

Result<std::vector<double>> compute_rh2m(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("rh2m");
}

Result<std::vector<double>> compute_dp2m(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("dp2m");
}

Result<std::vector<double>> compute_mixing_ratio(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mixing_ratio");
}

Result<std::vector<double>> compute_specific_humidity(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("specific_humidity");
}

}  // namespace wrf::diag::moisture
