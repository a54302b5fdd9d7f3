#pragma once
// Options of one request. Every field is optional; each consumer applies its
// own default.
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace wrf {

struct StormMotionUniform {
    double u;
    double v;
};

// One vector per grid column, ny*nx values each, row-major.
struct StormMotionField {
    std::vector<double> u;
    std::vector<double> v;
};

using StormMotion = std::variant<StormMotionUniform, StormMotionField>;

enum class StormMotionMethod { PressureWeighted, NonPressureWeighted };

struct ComputeOpts {
    std::optional<std::string> units;
    std::optional<std::string> parcel_type;
    std::optional<StormMotion> storm_motion;
    std::optional<StormMotionMethod> storm_motion_method;
    std::optional<std::string> storm_motion_type;  // "bunkers_rm", "bunkers_lm" or "mean_wind"
    std::optional<double> entrainment_rate;
    std::optional<bool> pseudoadiabatic;
    std::optional<double> top_m;
    std::optional<double> bottom_m;
    std::optional<double> depth_m;
    std::optional<double> parcel_pressure;
    std::optional<double> parcel_temperature;
    std::optional<double> parcel_dewpoint;
    std::optional<double> bottom_p;
    std::optional<double> top_p;
    std::optional<std::string> layer_type;
    std::optional<bool> use_virtual;
    std::optional<double> lake_interp;
    std::optional<bool> use_varint;
    std::optional<bool> use_liqskin;
    std::optional<bool> ecape_strict;
};

}  // namespace wrf
