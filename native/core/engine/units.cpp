// Placeholder: unit conversion is being written.
#include "engine/units.hpp"

namespace wrf {

std::string_view units_name(WrfUnits) { return ""; }
Result<WrfUnits> parse_units(std::string_view text) {
    return fail(ErrorKind::UnitConversion, "unrecognized unit string: '" + std::string(text) + "'");
}
Result<double> convert_value(WrfUnits from, WrfUnits to, double x) {
    if (from == to) return x;
    return fail(ErrorKind::UnitConversion, "cannot convert");
}
Result<void> convert_array(std::span<double>, WrfUnits from, WrfUnits to) {
    if (from == to) return {};
    return fail(ErrorKind::UnitConversion, "cannot convert");
}

}  // namespace wrf
