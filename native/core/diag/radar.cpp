#include "diag/radar.hpp"

namespace wrf::diag::radar {

Result<std::vector<double>> compute_dbz(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("dbz");
}

Result<std::vector<double>> compute_maxdbz(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("maxdbz");
}

}  // namespace wrf::diag::radar
