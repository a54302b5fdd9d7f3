#pragma once
// The request path: a name and options in, values with shape and units out.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/error.hpp"
#include "engine/options.hpp"

namespace wrf {

class WrfFile;

struct VarOutput {
    std::vector<double> data;
    std::vector<std::size_t> shape;  // slowest first
    std::string units;
    std::string description;
};

Result<VarOutput> getvar(WrfFile& file, const std::string& name, std::optional<std::size_t> timeidx,
                         const ComputeOpts& opts);
Result<VarOutput> getvar_all_times(WrfFile& file, const std::string& name, const ComputeOpts& opts);

}  // namespace wrf
