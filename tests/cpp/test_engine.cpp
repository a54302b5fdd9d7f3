#include <doctest/doctest.h>

#include <set>
#include <string>

#include "engine/error.hpp"
#include "engine/text.hpp"
#include "engine/variables.hpp"

using namespace wrf;

TEST_CASE("catalog names and aliases are unique and lower case") {
    CHECK(VARS.size() == 125);
    std::set<std::string> seen;
    for (const VarDef& row : VARS) {
        for (std::string_view n : [&] {
                 std::vector<std::string_view> all{row.name};
                 all.insert(all.end(), row.aliases.begin(), row.aliases.end());
                 return all;
             }()) {
            CHECK(seen.insert(std::string(n)).second);
            CHECK(to_lower(n) == n);
        }
    }
}

TEST_CASE("lookup is case-insensitive and does not trim") {
    CHECK(get_var_def("PreSSure") == &VARS[0]);
    CHECK(get_var_def("p") == &VARS[1]);
    CHECK(get_var_def("pressure_pa") == &VARS[1]);
    CHECK(get_var_def(" pressure") == nullptr);
    CHECK(get_var_def("T\xE2\x84\xAA")->name == "temp");  // Kelvin sign lower-cases to k
}

TEST_CASE("error display prefixes") {
    CHECK(WrfError{ErrorKind::NetCdf, "x"}.display() == "NetCDF error: x");
    CHECK(WrfError{ErrorKind::Compute, "x"}.display() == "computation error: x");
    CHECK(WrfError{ErrorKind::InvalidParam, "x"}.display() == "invalid parameter: x");
}

TEST_CASE("utf-8 decoding replaces invalid bytes") {
    const unsigned char ok[] = {'a', 0xC3, 0xA9};
    CHECK(utf8_replace_invalid(ok, 3) == "a\xC3\xA9");
    const unsigned char bad[] = {'a', 0xFF, 'b', 0xE2, 0x84};
    CHECK(utf8_replace_invalid(bad, 5) == "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}
