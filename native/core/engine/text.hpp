#pragma once
// Small text helpers shared by name, unit and option matching.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wrf {

// Lower-cases ASCII letters, and the few non-ASCII letters whose lower case
// is ASCII (the Kelvin sign), so that look-ups agree with full Unicode
// lower-casing; other bytes are kept.
std::string to_lower(std::string_view text);
std::string to_upper_ascii(std::string_view text);
std::string to_lower_ascii(std::string_view text);
std::string_view trim(std::string_view text);
// Decodes bytes as UTF-8, replacing each invalid sequence with U+FFFD.
std::string utf8_replace_invalid(const unsigned char* data, std::size_t size);
// "[3, 40, 99, 100]"
std::string format_shape(const std::vector<std::size_t>& shape);
// Shortest decimal form that reads back to the same double ("50", "12.5").
std::string format_shortest(double value);

}  // namespace wrf
