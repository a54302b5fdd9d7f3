#include "diag/wind.hpp"

namespace wrf::diag::wind {

Result<std::vector<double>> compute_ua(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ua");
}

Result<std::vector<double>> compute_va(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("va");
}

Result<std::vector<double>> compute_wa(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("wa");
}

Result<std::vector<double>> compute_lat(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lat");
}

Result<std::vector<double>> compute_lon(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("lon");
}

Result<std::vector<double>> compute_wspd(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("wspd");
}

Result<std::vector<double>> compute_wdir(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("wdir");
}

Result<std::vector<double>> compute_uvmet(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("uvmet");
}

Result<std::vector<double>> compute_uvmet10(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("uvmet10");
}

Result<std::vector<double>> compute_wspd10(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("wspd10");
}

Result<std::vector<double>> compute_wdir10(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("wdir10");
}

}  // namespace wrf::diag::wind
