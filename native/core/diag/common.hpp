#pragma once
// Shared by the catalog compute functions.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/buffer.hpp"
#include "engine/error.hpp"
#include "engine/options.hpp"
#include "file/wrf_file.hpp"

namespace wrf::diag {

// For catalog rows whose computation has not been built yet: an honest
// error, never made-up values.
inline Result<std::vector<double>> not_available(std::string_view name) {
    return fail(ErrorKind::Compute, "variable '" + std::string(name) + "' is not available yet in this build");
}

// A row that is a cached field as it stands: the result is the caller's own
// copy, so the cache stays immutable.
inline Result<std::vector<double>> copy_field(const Result<SharedField>& field) {
    if (!field) return std::unexpected(field.error());
    return fresh_copy(**field);
}

}  // namespace wrf::diag
