#include "engine/units.hpp"

#include <array>
#include <cstddef>
#include <numbers>
#include <string>

#include "engine/text.hpp"

namespace wrf {

namespace {

constexpr std::size_t kUnitCount = 32;

constexpr std::array<std::string_view, kUnitCount> kNames = {
    "Kelvin", "Celsius", "Fahrenheit", "Pascal",
    "Hectopascal", "Millibar", "InchesOfMercury", "MetersPerSecond",
    "Knots", "Mph", "Kph", "Meters",
    "Decameters", "Feet", "Kilometers", "Miles",
    "KgPerKg", "GramsPerKg", "Percent", "JoulesPerKg",
    "Degrees", "Radians", "Dbz", "PascalPerSecond",
    "MicrobarsPerSecond", "M2PerS2", "PerSecond", "TenToMinusFivePerSecond",
    "Dimensionless", "Millimeters", "Centimeters", "Inches",
};

struct Alias {
    std::string_view text;
    WrfUnits unit;
};

using U = WrfUnits;

constexpr Alias kAliases[] = {
    {"k", U::Kelvin},
    {"kelvin", U::Kelvin},
    {"c", U::Celsius},
    {"degc", U::Celsius},
    {"celsius", U::Celsius},
    {"degree_celsius", U::Celsius},
    {"degrees_celsius", U::Celsius},
    {"f", U::Fahrenheit},
    {"degf", U::Fahrenheit},
    {"fahrenheit", U::Fahrenheit},
    {"degrees_fahrenheit", U::Fahrenheit},
    {"pa", U::Pascal},
    {"pascal", U::Pascal},
    {"pascals", U::Pascal},
    {"hpa", U::Hectopascal},
    {"hectopascal", U::Hectopascal},
    {"hectopascals", U::Hectopascal},
    {"mb", U::Millibar},
    {"mbar", U::Millibar},
    {"millibar", U::Millibar},
    {"millibars", U::Millibar},
    {"inhg", U::InchesOfMercury},
    {"incheshg", U::InchesOfMercury},
    {"inches_hg", U::InchesOfMercury},
    {"m/s", U::MetersPerSecond},
    {"mps", U::MetersPerSecond},
    {"ms-1", U::MetersPerSecond},
    {"m s-1", U::MetersPerSecond},
    {"m_s-1", U::MetersPerSecond},
    {"meters_per_second", U::MetersPerSecond},
    {"kt", U::Knots},
    {"kts", U::Knots},
    {"knot", U::Knots},
    {"knots", U::Knots},
    {"mph", U::Mph},
    {"mi/h", U::Mph},
    {"kph", U::Kph},
    {"kmh", U::Kph},
    {"km/h", U::Kph},
    {"m", U::Meters},
    {"meter", U::Meters},
    {"meters", U::Meters},
    {"dam", U::Decameters},
    {"dkm", U::Decameters},
    {"decameter", U::Decameters},
    {"decameters", U::Decameters},
    {"ft", U::Feet},
    {"feet", U::Feet},
    {"foot", U::Feet},
    {"km", U::Kilometers},
    {"kilometers", U::Kilometers},
    {"mi", U::Miles},
    {"miles", U::Miles},
    {"kg/kg", U::KgPerKg},
    {"kg kg-1", U::KgPerKg},
    {"g/kg", U::GramsPerKg},
    {"g kg-1", U::GramsPerKg},
    {"%", U::Percent},
    {"percent", U::Percent},
    {"j/kg", U::JoulesPerKg},
    {"j kg-1", U::JoulesPerKg},
    {"joules_per_kg", U::JoulesPerKg},
    {"deg", U::Degrees},
    {"degree", U::Degrees},
    {"degrees", U::Degrees},
    {"rad", U::Radians},
    {"radians", U::Radians},
    {"dbz", U::Dbz},
    {"pa/s", U::PascalPerSecond},
    {"pa s-1", U::PascalPerSecond},
    {"ub/s", U::MicrobarsPerSecond},
    {"microbar/s", U::MicrobarsPerSecond},
    {"m2/s2", U::M2PerS2},
    {"m2 s-2", U::M2PerS2},
    {"m^2/s^2", U::M2PerS2},
    {"/s", U::PerSecond},
    {"s-1", U::PerSecond},
    {"1/s", U::PerSecond},
    {"10-5 s-1", U::TenToMinusFivePerSecond},
    {"10^-5 s-1", U::TenToMinusFivePerSecond},
    {"10-5 s^-1", U::TenToMinusFivePerSecond},
    {"10^-5 s^-1", U::TenToMinusFivePerSecond},
    {"", U::Dimensionless},
    {"none", U::Dimensionless},
    {"unitless", U::Dimensionless},
    {"dimensionless", U::Dimensionless},
    {"mm", U::Millimeters},
    {"millimeters", U::Millimeters},
    {"cm", U::Centimeters},
    {"centimeter", U::Centimeters},
    {"centimeters", U::Centimeters},
    {"in", U::Inches},
    {"inches", U::Inches},
};

// A conversion is a short chain of arithmetic steps applied left to right.
// Keeping each step separate fixes the rounding of every intermediate result.
enum class Op { Add, Mul, Div };

struct Step {
    Op op;
    double k;
};

struct Rule {
    WrfUnits from;
    WrfUnits to;
    std::array<Step, 4> steps;
    int count;
};

constexpr Step add(double k) { return {Op::Add, k}; }
constexpr Step mul(double k) { return {Op::Mul, k}; }
constexpr Step div(double k) { return {Op::Div, k}; }

template <class... S>
constexpr Rule rule(WrfUnits from, WrfUnits to, S... steps) {
    return Rule{from, to, {steps...}, static_cast<int>(sizeof...(S))};
}

constexpr double kPi = std::numbers::pi;

constexpr Rule kRules[] = {
    // temperature
    rule(U::Kelvin, U::Celsius, add(-273.15)),
    rule(U::Kelvin, U::Fahrenheit, add(-273.15), mul(9), div(5), add(32)),
    rule(U::Celsius, U::Kelvin, add(273.15)),
    rule(U::Celsius, U::Fahrenheit, mul(9), div(5), add(32)),
    rule(U::Fahrenheit, U::Kelvin, add(-32), mul(5), div(9), add(273.15)),
    rule(U::Fahrenheit, U::Celsius, add(-32), mul(5), div(9)),
    // pressure
    rule(U::Pascal, U::Hectopascal, div(100)),
    rule(U::Pascal, U::Millibar, div(100)),
    rule(U::Pascal, U::InchesOfMercury, div(3386.39)),
    rule(U::Hectopascal, U::Pascal, mul(100)),
    rule(U::Millibar, U::Pascal, mul(100)),
    rule(U::Hectopascal, U::Millibar),
    rule(U::Millibar, U::Hectopascal),
    rule(U::Hectopascal, U::InchesOfMercury, mul(100), div(3386.39)),
    rule(U::Millibar, U::InchesOfMercury, mul(100), div(3386.39)),
    rule(U::InchesOfMercury, U::Pascal, mul(3386.39)),
    rule(U::InchesOfMercury, U::Hectopascal, mul(3386.39), div(100)),
    rule(U::InchesOfMercury, U::Millibar, mul(3386.39), div(100)),
    // speed
    rule(U::MetersPerSecond, U::Knots, div(0.514444)),
    rule(U::MetersPerSecond, U::Mph, div(0.44704)),
    rule(U::MetersPerSecond, U::Kph, mul(3.6)),
    rule(U::Knots, U::MetersPerSecond, mul(0.514444)),
    rule(U::Knots, U::Mph, mul(0.514444), div(0.44704)),
    rule(U::Knots, U::Kph, mul(0.514444), mul(3.6)),
    rule(U::Mph, U::MetersPerSecond, mul(0.44704)),
    rule(U::Mph, U::Knots, mul(0.44704), div(0.514444)),
    rule(U::Mph, U::Kph, mul(1.60934)),
    rule(U::Kph, U::MetersPerSecond, div(3.6)),
    rule(U::Kph, U::Knots, div(1.8519984)),
    rule(U::Kph, U::Mph, div(1.60934)),
    // length
    rule(U::Meters, U::Decameters, div(10)),
    rule(U::Meters, U::Feet, div(0.3048)),
    rule(U::Meters, U::Kilometers, div(1000)),
    rule(U::Meters, U::Miles, div(1609.344)),
    rule(U::Meters, U::Millimeters, mul(1000)),
    rule(U::Meters, U::Centimeters, mul(100)),
    rule(U::Decameters, U::Meters, mul(10)),
    rule(U::Decameters, U::Feet, mul(10), div(0.3048)),
    rule(U::Decameters, U::Kilometers, div(100)),
    rule(U::Decameters, U::Miles, mul(10), div(1609.344)),
    rule(U::Feet, U::Meters, mul(0.3048)),
    rule(U::Feet, U::Decameters, mul(0.3048), div(10)),
    rule(U::Feet, U::Kilometers, mul(0.3048), div(1000)),
    rule(U::Feet, U::Miles, div(5280)),
    rule(U::Kilometers, U::Meters, mul(1000)),
    rule(U::Kilometers, U::Decameters, mul(100)),
    rule(U::Kilometers, U::Feet, mul(1000), div(0.3048)),
    rule(U::Kilometers, U::Miles, div(1.60934)),
    rule(U::Miles, U::Meters, mul(1609.344)),
    rule(U::Miles, U::Decameters, mul(1609.344), div(10)),
    rule(U::Miles, U::Feet, mul(5280)),
    rule(U::Miles, U::Kilometers, mul(1.60934)),
    // mixing ratio
    rule(U::KgPerKg, U::GramsPerKg, mul(1000)),
    rule(U::GramsPerKg, U::KgPerKg, div(1000)),
    // angle
    rule(U::Degrees, U::Radians, mul(kPi), div(180)),
    rule(U::Radians, U::Degrees, mul(180), div(kPi)),
    // pressure tendency
    rule(U::PascalPerSecond, U::MicrobarsPerSecond, mul(10)),
    rule(U::MicrobarsPerSecond, U::PascalPerSecond, div(10)),
    // inverse time
    rule(U::PerSecond, U::TenToMinusFivePerSecond, mul(100000)),
    rule(U::TenToMinusFivePerSecond, U::PerSecond, mul(0.00001)),
    // precipitation depth
    rule(U::Millimeters, U::Meters, div(1000)),
    rule(U::Millimeters, U::Centimeters, div(10)),
    rule(U::Millimeters, U::Inches, div(25.4)),
    rule(U::Centimeters, U::Meters, div(100)),
    rule(U::Centimeters, U::Millimeters, mul(10)),
    rule(U::Centimeters, U::Inches, div(2.54)),
    rule(U::Inches, U::Millimeters, mul(25.4)),
    rule(U::Inches, U::Centimeters, mul(2.54)),
};

const Rule* find_rule(WrfUnits from, WrfUnits to) {
    for (const Rule& r : kRules) {
        if (r.from == from && r.to == to) return &r;
    }
    return nullptr;
}

double apply(const Rule& r, double x) {
    for (int i = 0; i < r.count; ++i) {
        const Step& s = r.steps[static_cast<std::size_t>(i)];
        switch (s.op) {
            case Op::Add: x = x + s.k; break;
            case Op::Mul: x = x * s.k; break;
            case Op::Div: x = x / s.k; break;
        }
    }
    return x;
}

std::unexpected<WrfError> cannot_convert(WrfUnits from, WrfUnits to) {
    return fail(ErrorKind::UnitConversion,
                "cannot convert " + std::string(units_name(from)) + " to " + std::string(units_name(to)));
}

}  // namespace

std::string_view units_name(WrfUnits u) {
    const auto i = static_cast<std::size_t>(u);
    return i < kUnitCount ? kNames[i] : std::string_view("Unknown");
}

Result<WrfUnits> parse_units(std::string_view text) {
    const std::string lower = to_lower(text);
    const std::string_view key = trim(lower);
    for (const Alias& a : kAliases) {
        if (a.text == key) return a.unit;
    }
    return fail(ErrorKind::UnitConversion, "unrecognized unit string: '" + std::string(key) + "'");
}

Result<double> convert_value(WrfUnits from, WrfUnits to, double x) {
    if (from == to) return x;
    const Rule* r = find_rule(from, to);
    if (r == nullptr) return cannot_convert(from, to);
    return apply(*r, x);
}

Result<void> convert_array(std::span<double> values, WrfUnits from, WrfUnits to) {
    if (from == to) return {};
    // The rule is resolved once, before any value is touched, so a pair
    // without a rule leaves the values as they were.
    const Rule* r = find_rule(from, to);
    if (r == nullptr) return cannot_convert(from, to);
    for (double& v : values) v = apply(*r, v);
    return {};
}

}  // namespace wrf
