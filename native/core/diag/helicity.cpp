#include "diag/helicity.hpp"

namespace wrf::diag::helicity {

Result<std::vector<double>> compute_uhel(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("uhel");
}

}  // namespace wrf::diag::helicity
