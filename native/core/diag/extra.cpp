#include "diag/extra.hpp"

namespace wrf::diag::extra {

Result<std::vector<double>> compute_dcape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("dcape");
}

Result<std::vector<double>> compute_lapse_rate_700_500(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lapse_rate_700_500");
}

Result<std::vector<double>> compute_lapse_rate_0_3km(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lapse_rate_0_3km");
}

Result<std::vector<double>> compute_freezing_level(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("freezing_level");
}

Result<std::vector<double>> compute_wet_bulb_0(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("wet_bulb_0");
}

Result<std::vector<double>> compute_k_index(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("k_index");
}

Result<std::vector<double>> compute_total_totals(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("total_totals");
}

Result<std::vector<double>> compute_mean_mixr(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mean_mixr");
}

Result<std::vector<double>> compute_low_rh(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("low_rh");
}

Result<std::vector<double>> compute_mid_rh(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mid_rh");
}

Result<std::vector<double>> compute_dgz_rh(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("dgz_rh");
}

Result<std::vector<double>> compute_lcl_temp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lcl_temp");
}

Result<std::vector<double>> compute_convective_temp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("convective_temp");
}

Result<std::vector<double>> compute_max_temp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("max_temp");
}

Result<std::vector<double>> compute_theta_w(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("theta_w");
}

Result<std::vector<double>> compute_fosberg(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("fosberg");
}

Result<std::vector<double>> compute_haines(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("haines");
}

Result<std::vector<double>> compute_hdw(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("hdw");
}

Result<std::vector<double>> compute_lapse_rate(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lapse_rate");
}

}  // namespace wrf::diag::extra
