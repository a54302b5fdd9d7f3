#include "diag/cloud.hpp"

namespace wrf::diag::cloud {

Result<std::vector<double>> compute_ctt(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("ctt");
}

Result<std::vector<double>> compute_cloudfrac(WrfFile&, std::size_t, const ComputeOpts&) {
    return not_available("cloudfrac");
}

}  // namespace wrf::diag::cloud
