#include "diag/ecape.hpp"

namespace wrf::diag::ecape {

Result<std::vector<double>> compute_ecape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ecape");
}

Result<std::vector<double>> compute_ncape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ncape");
}

Result<std::vector<double>> compute_ecape_cape(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ecape_cape");
}

Result<std::vector<double>> compute_ecape_cin(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ecape_cin");
}

Result<std::vector<double>> compute_ecape_lfc(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ecape_lfc");
}

Result<std::vector<double>> compute_ecape_el(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ecape_el");
}

}  // namespace wrf::diag::ecape
