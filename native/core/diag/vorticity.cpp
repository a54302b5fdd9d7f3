#include "diag/vorticity.hpp"

namespace wrf::diag::vorticity {

Result<std::vector<double>> compute_avo(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("avo");
}

Result<std::vector<double>> compute_pvo(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("pvo");
}

}  // namespace wrf::diag::vorticity
