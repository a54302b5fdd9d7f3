#include <doctest/doctest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "engine/units.hpp"

using namespace wrf;
using U = WrfUnits;

namespace {

constexpr std::array<const char*, 32> kNames = {
    "Kelvin", "Celsius", "Fahrenheit", "Pascal",
    "Hectopascal", "Millibar", "InchesOfMercury", "MetersPerSecond",
    "Knots", "Mph", "Kph", "Meters",
    "Decameters", "Feet", "Kilometers", "Miles",
    "KgPerKg", "GramsPerKg", "Percent", "JoulesPerKg",
    "Degrees", "Radians", "Dbz", "PascalPerSecond",
    "MicrobarsPerSecond", "M2PerS2", "PerSecond", "TenToMinusFivePerSecond",
    "Dimensionless", "Millimeters", "Centimeters", "Inches",
};

struct Conversion {
    U from;
    U to;
    std::function<double(double)> rule;
};

constexpr double pi = std::numbers::pi;

// Every convertible pair, each written in the order its rule is evaluated.
const std::vector<Conversion> kConversions = {
    {U::Kelvin, U::Celsius, [](double x) { return x + (-273.15); }},
    {U::Kelvin, U::Fahrenheit, [](double x) { return (x + (-273.15)) * 9 / 5 + 32; }},
    {U::Celsius, U::Kelvin, [](double x) { return x + 273.15; }},
    {U::Celsius, U::Fahrenheit, [](double x) { return x * 9 / 5 + 32; }},
    {U::Fahrenheit, U::Kelvin, [](double x) { return (x + (-32)) * 5 / 9 + 273.15; }},
    {U::Fahrenheit, U::Celsius, [](double x) { return (x + (-32)) * 5 / 9; }},
    {U::Pascal, U::Hectopascal, [](double x) { return x / 100; }},
    {U::Pascal, U::Millibar, [](double x) { return x / 100; }},
    {U::Pascal, U::InchesOfMercury, [](double x) { return x / 3386.39; }},
    {U::Hectopascal, U::Pascal, [](double x) { return x * 100; }},
    {U::Millibar, U::Pascal, [](double x) { return x * 100; }},
    {U::Hectopascal, U::Millibar, [](double x) { return x; }},
    {U::Millibar, U::Hectopascal, [](double x) { return x; }},
    {U::Hectopascal, U::InchesOfMercury, [](double x) { return x * 100 / 3386.39; }},
    {U::Millibar, U::InchesOfMercury, [](double x) { return x * 100 / 3386.39; }},
    {U::InchesOfMercury, U::Pascal, [](double x) { return x * 3386.39; }},
    {U::InchesOfMercury, U::Hectopascal, [](double x) { return x * 3386.39 / 100; }},
    {U::InchesOfMercury, U::Millibar, [](double x) { return x * 3386.39 / 100; }},
    {U::MetersPerSecond, U::Knots, [](double x) { return x / 0.514444; }},
    {U::MetersPerSecond, U::Mph, [](double x) { return x / 0.44704; }},
    {U::MetersPerSecond, U::Kph, [](double x) { return x * 3.6; }},
    {U::Knots, U::MetersPerSecond, [](double x) { return x * 0.514444; }},
    {U::Knots, U::Mph, [](double x) { return x * 0.514444 / 0.44704; }},
    {U::Knots, U::Kph, [](double x) { return x * 0.514444 * 3.6; }},
    {U::Mph, U::MetersPerSecond, [](double x) { return x * 0.44704; }},
    {U::Mph, U::Knots, [](double x) { return x * 0.44704 / 0.514444; }},
    {U::Mph, U::Kph, [](double x) { return x * 1.60934; }},
    {U::Kph, U::MetersPerSecond, [](double x) { return x / 3.6; }},
    {U::Kph, U::Knots, [](double x) { return x / 1.8519984; }},
    {U::Kph, U::Mph, [](double x) { return x / 1.60934; }},
    {U::Meters, U::Decameters, [](double x) { return x / 10; }},
    {U::Meters, U::Feet, [](double x) { return x / 0.3048; }},
    {U::Meters, U::Kilometers, [](double x) { return x / 1000; }},
    {U::Meters, U::Miles, [](double x) { return x / 1609.344; }},
    {U::Meters, U::Millimeters, [](double x) { return x * 1000; }},
    {U::Meters, U::Centimeters, [](double x) { return x * 100; }},
    {U::Decameters, U::Meters, [](double x) { return x * 10; }},
    {U::Decameters, U::Feet, [](double x) { return x * 10 / 0.3048; }},
    {U::Decameters, U::Kilometers, [](double x) { return x / 100; }},
    {U::Decameters, U::Miles, [](double x) { return x * 10 / 1609.344; }},
    {U::Feet, U::Meters, [](double x) { return x * 0.3048; }},
    {U::Feet, U::Decameters, [](double x) { return x * 0.3048 / 10; }},
    {U::Feet, U::Kilometers, [](double x) { return x * 0.3048 / 1000; }},
    {U::Feet, U::Miles, [](double x) { return x / 5280; }},
    {U::Kilometers, U::Meters, [](double x) { return x * 1000; }},
    {U::Kilometers, U::Decameters, [](double x) { return x * 100; }},
    {U::Kilometers, U::Feet, [](double x) { return x * 1000 / 0.3048; }},
    {U::Kilometers, U::Miles, [](double x) { return x / 1.60934; }},
    {U::Miles, U::Meters, [](double x) { return x * 1609.344; }},
    {U::Miles, U::Decameters, [](double x) { return x * 1609.344 / 10; }},
    {U::Miles, U::Feet, [](double x) { return x * 5280; }},
    {U::Miles, U::Kilometers, [](double x) { return x * 1.60934; }},
    {U::KgPerKg, U::GramsPerKg, [](double x) { return x * 1000; }},
    {U::GramsPerKg, U::KgPerKg, [](double x) { return x / 1000; }},
    {U::Degrees, U::Radians, [](double x) { return x * pi / 180; }},
    {U::Radians, U::Degrees, [](double x) { return x * 180 / pi; }},
    {U::PascalPerSecond, U::MicrobarsPerSecond, [](double x) { return x * 10; }},
    {U::MicrobarsPerSecond, U::PascalPerSecond, [](double x) { return x / 10; }},
    {U::PerSecond, U::TenToMinusFivePerSecond, [](double x) { return x * 100000; }},
    {U::TenToMinusFivePerSecond, U::PerSecond, [](double x) { return x * 0.00001; }},
    {U::Millimeters, U::Meters, [](double x) { return x / 1000; }},
    {U::Millimeters, U::Centimeters, [](double x) { return x / 10; }},
    {U::Millimeters, U::Inches, [](double x) { return x / 25.4; }},
    {U::Centimeters, U::Meters, [](double x) { return x / 100; }},
    {U::Centimeters, U::Millimeters, [](double x) { return x * 10; }},
    {U::Centimeters, U::Inches, [](double x) { return x / 2.54; }},
    {U::Inches, U::Millimeters, [](double x) { return x * 25.4; }},
    {U::Inches, U::Centimeters, [](double x) { return x * 2.54; }},
};

// Chosen so that folding a rule's constants together (x * 1.8 instead of
// x * 9 / 5, x * (pi / 180) instead of x * pi / 180, ...) changes the last bit.
constexpr double kSamples[] = {0.0, 1.1, -40.5, 273.15, 1013.25, 12345.678, 0.3, 7.7, 9.81};

const Conversion* find(U from, U to) {
    for (const Conversion& c : kConversions) {
        if (c.from == from && c.to == to) return &c;
    }
    return nullptr;
}

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

}  // namespace

TEST_CASE("member names follow the enumeration order") {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        CHECK(units_name(static_cast<U>(i)) == kNames[i]);
    }
}

TEST_CASE("accepted unit texts") {
    struct Case {
        const char* text;
        U unit;
    };
    const Case cases[] = {
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
        // case and surrounding white space do not matter
        {"  HPA\t", U::Hectopascal},
        {"M S-1", U::MetersPerSecond},
        {"DegC", U::Celsius},
        {" \n ", U::Dimensionless},
        {"\xE2\x84\xAA", U::Kelvin},  // Kelvin sign
    };
    for (const Case& c : cases) {
        CAPTURE(c.text);
        auto parsed = parse_units(c.text);
        REQUIRE(parsed.has_value());
        CHECK(*parsed == c.unit);
    }
}

TEST_CASE("rejected unit texts quote the lower-cased trimmed text") {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"inch", "unrecognized unit string: 'inch'"},
        {"kilometer", "unrecognized unit string: 'kilometer'"},
        {"millimeter", "unrecognized unit string: 'millimeter'"},
        {"PVU", "unrecognized unit string: 'pvu'"},
        {"degC/km", "unrecognized unit string: 'degc/km'"},
        {"  Inch ", "unrecognized unit string: 'inch'"},
        {"m  s-1", "unrecognized unit string: 'm  s-1'"},
        {"W/m2", "unrecognized unit string: 'w/m2'"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.text);
        auto parsed = parse_units(c.text);
        REQUIRE_FALSE(parsed.has_value());
        CHECK(parsed.error().kind == ErrorKind::UnitConversion);
        CHECK(parsed.error().message == c.message);
        CHECK(parsed.error().display() == std::string("unit conversion error: ") + c.message);
    }
}

TEST_CASE("every convertible pair gives the exact result of its rule") {
    for (const Conversion& c : kConversions) {
        for (double x : kSamples) {
            CAPTURE(units_name(c.from));
            CAPTURE(units_name(c.to));
            CAPTURE(x);
            auto got = convert_value(c.from, c.to, x);
            REQUIRE(got.has_value());
            CHECK(bits(*got) == bits(c.rule(x)));
        }
    }
}

TEST_CASE("documented values") {
    struct Case {
        U from;
        U to;
        double x;
        double expected;
    };
    const Case cases[] = {
        {U::Kelvin, U::Fahrenheit, 273.15, 32.0},
        {U::Kelvin, U::Celsius, 273.15, 0.0},
        {U::Fahrenheit, U::Celsius, -40.0, -40.0},
        {U::MetersPerSecond, U::Knots, 1.0, 1.0 / 0.514444},
        {U::Knots, U::Kph, 1.0, 0.514444 * 3.6},
        {U::Kilometers, U::Miles, 1.0, 1.0 / 1.60934},
        {U::Meters, U::Miles, 1000.0, 1000.0 / 1609.344},
        {U::Hectopascal, U::Millibar, 1013.25, 1013.25},
        {U::Millimeters, U::Inches, 25.4, 1.0},
        {U::Degrees, U::Radians, 180.0, 3.141592653589793},
    };
    for (const Case& c : cases) {
        CAPTURE(units_name(c.from));
        CAPTURE(units_name(c.to));
        auto got = convert_value(c.from, c.to, c.x);
        REQUIRE(got.has_value());
        CHECK(bits(*got) == bits(c.expected));
    }
    // One length, two routes, two results: the factors are not reconciled.
    CHECK(*convert_value(U::Kilometers, U::Miles, 1.0) != *convert_value(U::Meters, U::Miles, 1000.0));
    // 1 kt to km/h uses the knot factor, not the km/h-to-knot divisor.
    CHECK(*convert_value(U::Knots, U::Kph, 1013.25) != 1013.25 * 1.8519984);
}

TEST_CASE("every other pair fails and leaves the values untouched") {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        for (std::size_t j = 0; j < kNames.size(); ++j) {
            const U from = static_cast<U>(i), to = static_cast<U>(j);
            CAPTURE(kNames[i]);
            CAPTURE(kNames[j]);
            const std::vector<double> before = {1.5, -2.0, nan, 0.0};
            std::vector<double> values = before;
            auto scalar = convert_value(from, to, 1.5);
            auto array = convert_array(values, from, to);

            if (i == j) {
                REQUIRE(scalar.has_value());
                CHECK(*scalar == 1.5);
                REQUIRE(array.has_value());
                for (std::size_t k = 0; k < values.size(); ++k) CHECK(bits(values[k]) == bits(before[k]));
                continue;
            }
            if (find(from, to) != nullptr) {
                REQUIRE(scalar.has_value());
                REQUIRE(array.has_value());
                for (std::size_t k = 0; k < values.size(); ++k) {
                    CHECK(bits(values[k]) == bits(*convert_value(from, to, before[k])));
                }
                continue;
            }
            const std::string message = std::string("cannot convert ") + kNames[i] + " to " + kNames[j];
            REQUIRE_FALSE(scalar.has_value());
            CHECK(scalar.error().kind == ErrorKind::UnitConversion);
            CHECK(scalar.error().message == message);
            REQUIRE_FALSE(array.has_value());
            CHECK(array.error().kind == ErrorKind::UnitConversion);
            CHECK(array.error().message == message);
            for (std::size_t k = 0; k < values.size(); ++k) CHECK(bits(values[k]) == bits(before[k]));
        }
    }
    CHECK(*convert_value(U::Percent, U::Percent, 5.0) == 5.0);
    CHECK(convert_value(U::Percent, U::Kelvin, 5.0).error().message == "cannot convert Percent to Kelvin");
    CHECK(convert_value(U::Meters, U::Inches, 1.0).error().message == "cannot convert Meters to Inches");
}

TEST_CASE("non-finite values follow the arithmetic") {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Conversion& c : kConversions) {
        CAPTURE(units_name(c.from));
        CAPTURE(units_name(c.to));
        CHECK(std::isnan(*convert_value(c.from, c.to, nan)));
        CHECK(*convert_value(c.from, c.to, inf) == c.rule(inf));
        CHECK(*convert_value(c.from, c.to, -inf) == c.rule(-inf));
    }
    CHECK(std::isnan(*convert_value(U::Dbz, U::Dbz, nan)));
}
