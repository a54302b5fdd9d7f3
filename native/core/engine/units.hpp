#pragma once
// Unit parsing and conversion between the 32 units values can carry.
#include <span>
#include <string_view>

#include "engine/error.hpp"

namespace wrf {

enum class WrfUnits {
    Kelvin, Celsius, Fahrenheit, Pascal, Hectopascal, Millibar, InchesOfMercury,
    MetersPerSecond, Knots, Mph, Kph, Meters, Decameters, Feet, Kilometers, Miles,
    KgPerKg, GramsPerKg, Percent, JoulesPerKg, Degrees, Radians, Dbz, PascalPerSecond,
    MicrobarsPerSecond, M2PerS2, PerSecond, TenToMinusFivePerSecond, Dimensionless,
    Millimeters, Centimeters, Inches,
};

// Member name as shown in messages ("Kelvin", "M2PerS2", ...).
std::string_view units_name(WrfUnits u);

Result<WrfUnits> parse_units(std::string_view text);
Result<double> convert_value(WrfUnits from, WrfUnits to, double x);
// Converts in place; on failure no value is changed.
Result<void> convert_array(std::span<double> values, WrfUnits from, WrfUnits to);

}  // namespace wrf
