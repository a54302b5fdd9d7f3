#pragma once
// The one place engine errors become Python exceptions.
#include <string>

#include "engine/error.hpp"

namespace wrf::py {

// Which exception class an engine error maps to depends on the entry point.
enum class Entry { Open, GlobalAttr, Times, Getvar };

[[noreturn]] void raise(const WrfError& error, Entry entry, const std::string& name = {});
[[noreturn]] void raise_type_error(const std::string& message);
[[noreturn]] void raise_value_error(const std::string& message);
[[noreturn]] void raise_runtime_error(const std::string& message);

}  // namespace wrf::py
