#pragma once
// Keyword options of the getvar entry points → ComputeOpts.
#include <cstddef>

#include <nanobind/nanobind.h>

#include "engine/options.hpp"

namespace wrf::py {

// X(name, kind): kind is Text, Number, Flag or Motion.
#define WRF_OPTION_LIST(X)                                                                                          \
    X(units, Text) X(parcel_type, Text) X(storm_motion, Motion) X(storm_motion_method, Text)                        \
    X(storm_motion_type, Text) X(entrainment_rate, Number) X(pseudoadiabatic, Flag) X(top_m, Number)                \
    X(bottom_m, Number) X(depth_m, Number) X(parcel_pressure, Number) X(parcel_temperature, Number)                 \
    X(parcel_dewpoint, Number) X(bottom_p, Number) X(top_p, Number) X(layer_type, Text) X(use_virtual, Flag)        \
    X(lake_interp, Number) X(use_varint, Flag) X(use_liqskin, Flag) X(ecape_strict, Flag)

struct RawOptions {
#define WRF_OPTION_FIELD(name, kind) nanobind::handle name;
    WRF_OPTION_LIST(WRF_OPTION_FIELD)
#undef WRF_OPTION_FIELD
};

// Raises TypeError (wrong Python type, naming the keyword) or ValueError
// (an invalid storm-motion option). `func` names the entry point in messages.
ComputeOpts build_options(const RawOptions& raw, std::size_t ny, std::size_t nx, const char* func);

// Argument conversions shared by the entry points.
std::string arg_str(nanobind::handle value, const char* func, const char* arg);

}  // namespace wrf::py
