#include "diag/severe.hpp"

namespace wrf::diag::severe {

Result<std::vector<double>> compute_stp_generic(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("stp");
}

Result<std::vector<double>> compute_stp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("stp_fixed");
}

Result<std::vector<double>> compute_stp_effective(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("stp_effective");
}

Result<std::vector<double>> compute_scp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("scp");
}

Result<std::vector<double>> compute_ehi(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ehi");
}

Result<std::vector<double>> compute_ecape_scp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ecape_scp");
}

Result<std::vector<double>> compute_ecape_ehi(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ecape_ehi");
}

Result<std::vector<double>> compute_tehi(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("tehi");
}

Result<std::vector<double>> compute_tts(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("tts");
}

Result<std::vector<double>> compute_vtp_mod(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("vtp_mod");
}

Result<std::vector<double>> compute_critical_angle(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("critical_angle");
}

Result<std::vector<double>> compute_ship(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ship");
}

Result<std::vector<double>> compute_bri(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("bri");
}

Result<std::vector<double>> compute_dcp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("dcp");
}

Result<std::vector<double>> compute_wndg(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("wndg");
}

Result<std::vector<double>> compute_esp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("esp");
}

Result<std::vector<double>> compute_mmp(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("mmp");
}

Result<std::vector<double>> compute_effective_bulk_wind_difference(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ebwd");
}

}  // namespace wrf::diag::severe
