#pragma once
// The catalog of named diagnostics, in the order list_variables() shows them.
#include <cstddef>
#include <string_view>
#include <vector>

#include "engine/error.hpp"
#include "engine/options.hpp"

namespace wrf {

class WrfFile;

// Returns ny*nx values (or nz*ny*nx for a 3-D row), or k times that for a
// result of k components, component slowest.
using ComputeFn = Result<std::vector<double>> (*)(WrfFile& file, std::size_t t, const ComputeOpts& opts);

struct VarDef {
    std::string_view name;
    std::vector<std::string_view> aliases;
    std::string_view description;
    std::string_view units;
    ComputeFn compute;
    bool is_3d;
};

extern const std::vector<VarDef> VARS;

// Case-insensitive lookup by name or alias; nullptr when not in the catalog.
const VarDef* get_var_def(std::string_view name);

}  // namespace wrf
