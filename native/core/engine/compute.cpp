#include "engine/compute.hpp"

#include <array>
#include <string_view>
#include <utility>

#include "engine/text.hpp"
#include "engine/units.hpp"
#include "engine/variables.hpp"
#include "file/wrf_file.hpp"

namespace wrf {

namespace {

struct RawUnits {
    std::string_view name;
    std::string_view units;
};

constexpr std::array<RawUnits, 20> kRawUnits = {{
    {"T2", "K"},         {"TSK", "K"},        {"SST", "K"},       {"LH", "W/m2"},      {"HFX", "W/m2"},
    {"GLW", "W/m2"},     {"OLR", "W/m2"},     {"SWDOWN", "W/m2"}, {"UST", "m/s"},      {"U10", "m/s"},
    {"V10", "m/s"},      {"PSFC", "Pa"},      {"PBLH", "m"},      {"SNOWH", "m"},      {"RAINC", "mm"},
    {"RAINNC", "mm"},    {"RAINSH", "mm"},    {"SNOWNC", "mm"},   {"GRAUPELNC", "mm"}, {"UP_HELI_MAX", "m2/s2"},
}};

std::optional<std::string_view> raw_units(const std::string& upper) {
    for (const RawUnits& r : kRawUnits) {
        if (r.name == upper) return r.units;
    }
    return std::nullopt;
}

Result<void> convert_units(std::vector<double>& values, std::string_view from_text, const std::string& to_text) {
    auto from = parse_units(from_text);
    if (!from) return std::unexpected(from.error());
    auto to = parse_units(to_text);
    if (!to) return std::unexpected(to.error());
    return convert_array(values, *from, *to);
}

Result<VarOutput> raw_variable(WrfFile& file, const std::string& name, std::size_t t, const ComputeOpts& opts) {
    const std::string upper = to_upper_ascii(name);
    auto values = file.read_f64_slice(name, t);
    if (!values) {
        auto retry = file.read_f64_slice(upper, t);
        if (retry) {
            values = std::move(retry);
        } else if (file.has_var(name) || file.has_var(upper)) {
            // The variable is there but unreadable (a damaged file, say): its
            // own error says why, "not found" would mislead.
            return std::unexpected(file.has_var(name) ? values.error() : retry.error());
        } else {
            return fail(ErrorKind::UnknownVar,
                        name + " (not in computed registry and not found as raw variable in file)");
        }
    }

    auto shape = file.dataset_shape(name);
    if (!shape) shape = file.dataset_shape(upper);
    std::vector<std::size_t> out_shape;
    if (shape && !shape->empty()) {
        out_shape = *shape;
        if (out_shape.size() > 1 && out_shape[0] == file.nt()) out_shape.erase(out_shape.begin());
        std::size_t product = 1;
        for (std::size_t s : out_shape) product *= s;
        if (product != values->size()) out_shape.clear();
    }
    if (out_shape.empty()) out_shape = {values->size()};

    const auto known = raw_units(upper);
    std::string units;
    if (opts.units) {
        if (!known) {
            return fail(ErrorKind::UnitConversion, "cannot convert raw variable '" + name + "' to '" + *opts.units +
                                                       "': source units are unknown");
        }
        if (auto r = convert_units(*values, *known, *opts.units); !r) return std::unexpected(r.error());
        units = *opts.units;
    } else if (known) {
        units = std::string(*known);
    }
    return VarOutput{std::move(*values), std::move(out_shape), std::move(units), "Raw WRF variable: " + name};
}

}  // namespace

Result<VarOutput> getvar(WrfFile& file, const std::string& name, std::optional<std::size_t> timeidx,
                         const ComputeOpts& opts) {
    const std::size_t t = timeidx.value_or(0);
    if (t >= file.nt()) {
        return fail(ErrorKind::InvalidParam,
                    "timeidx " + std::to_string(t) + " out of range (file has " + std::to_string(file.nt()) + " times)");
    }
    file.prepare_cache_for_time(t);

    const VarDef* def = get_var_def(name);
    if (def == nullptr) return raw_variable(file, name, t, opts);

    auto values = def->compute(file, t, opts);
    if (!values) return std::unexpected(values.error());

    std::vector<std::size_t> shape;
    if (def->is_3d) shape = {file.nz(), file.ny(), file.nx()};
    else shape = {file.ny(), file.nx()};
    std::size_t plane = 1;
    for (std::size_t s : shape) plane *= s;
    if (plane == 0) {
        return fail(ErrorKind::DimMismatch, "grid has a zero-sized dimension (nz=" + std::to_string(file.nz()) +
                                                ", ny=" + std::to_string(file.ny()) +
                                                ", nx=" + std::to_string(file.nx()) + ")");
    }

    std::string units(def->units);
    if (opts.units) {
        if (auto r = convert_units(*values, def->units, *opts.units); !r) return std::unexpected(r.error());
        units = *opts.units;
    }

    const std::size_t n = values->size();
    if (n != plane && n % plane == 0) shape.insert(shape.begin(), n / plane);
    return VarOutput{std::move(*values), std::move(shape), std::move(units), std::string(def->description)};
}

Result<VarOutput> getvar_all_times(WrfFile& file, const std::string& name, const ComputeOpts& opts) {
    const std::size_t nt = file.nt();
    if (nt == 0) return fail(ErrorKind::InvalidParam, "cannot stack ALL_TIMES for a file with zero timesteps");

    auto first = getvar(file, name, 0, opts);
    if (!first) return first;
    VarOutput out = std::move(*first);
    const std::vector<std::size_t> shape0 = out.shape;
    out.data.reserve(nt * out.data.size());
    for (std::size_t t = 1; t < nt; ++t) {
        auto next = getvar(file, name, t, opts);
        if (!next) return next;
        if (next->shape != shape0) {
            return fail(ErrorKind::DimMismatch, "shape mismatch for ALL_TIMES on '" + name + "': " +
                                                    format_shape(shape0) + " at t=0 vs " + format_shape(next->shape) +
                                                    " at t=" + std::to_string(t));
        }
        out.data.insert(out.data.end(), next->data.begin(), next->data.end());
    }
    out.shape.insert(out.shape.begin(), nt);
    return out;
}

}  // namespace wrf
