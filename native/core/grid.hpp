#pragma once
// Derived base fields (WrfFile accessors, in grid.cpp) and the grid helpers
// they are built from: destaggering, the lake mask and masked interpolation.
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/error.hpp"
#include "file/wrf_file.hpp"

namespace wrf::grid {

// Point formulas of the derived base fields, shared by their accessors and
// by the point views below.
inline constexpr double kReferencePressure = 100000.0;
inline constexpr double kPoissonExponent = 0.2857142857;
inline constexpr double kGravity = 9.81;

// Temperature (K) from potential temperature (K) and full pressure (Pa).
inline double temperature_point(double theta, double pressure) {
    return theta * std::pow(pressure / kReferencePressure, kPoissonExponent);
}

// Height above sea level (m) from the full geopotential (m2/s2).
inline double height_point(double geopotential) { return geopotential / kGravity; }

// Pressure in hPa from Pa, and temperature in degC from K, as the derived
// fields hold them.
inline double hpa_point(double pascal) { return pascal / 100.0; }
inline constexpr double kKelvinOffset = -273.15;
inline double celsius_point(double kelvin) { return kelvin + kKelvinOffset; }

// The cached array of a base field at time t (by its accessor's key, for
// example "temp"), or null when it has not been computed.
SharedField cached_base_field(const WrfFile& file, std::string_view key, std::size_t t);

// Derived base fields read point by point, for callers that need a few
// points of them, or each point once: the cached field when there is one,
// otherwise the point formula on the fields it derives from, which are read
// through their accessors in the accessor's order. Either way the values
// are the field's. Sizes are those of the arrays read.
class TemperaturePoints {
public:
    static Result<TemperaturePoints> of(WrfFile& file, std::size_t t);
    double operator[](std::size_t p) const {
        return kelvin_ ? kelvin_[p] : temperature_point(theta_[p], pressure_[p]);
    }
    std::size_t size() const;

private:
    SharedField first_, pressure_field_;  // the temperatures, or theta and pressure
    const double* kelvin_ = nullptr;
    const double* theta_ = nullptr;
    const double* pressure_ = nullptr;
};

class HeightMslPoints {
public:
    static Result<HeightMslPoints> of(WrfFile& file, std::size_t t);
    double operator[](std::size_t p) const { return msl_ ? msl_[p] : height_point(geopotential_[p]); }
    std::size_t size() const { return field_->size(); }

private:
    SharedField field_;  // the heights, or the geopotential
    const double* msl_ = nullptr;
    const double* geopotential_ = nullptr;
};

class HeightAglPoints {
public:
    static Result<HeightAglPoints> of(WrfFile& file, std::size_t t);
    // Point p, whose column (p modulo ny*nx) is c.
    double at(std::size_t p, std::size_t c) const { return agl_ ? agl_[p] : msl_[p] - terrain_[c]; }
    std::size_t size() const { return agl_field_ ? agl_field_->size() : msl_.size(); }

private:
    SharedField agl_field_, terrain_field_;
    HeightMslPoints msl_;
    const double* agl_ = nullptr;
    const double* terrain_ = nullptr;
};

// Fresh arrays of derived base fields for results that are those fields. A
// field already cached is copied; otherwise it is derived straight into the
// result and left uncached, since deriving it costs no more than copying.
Result<std::vector<double>> pressure_hpa_copy(WrfFile& file, std::size_t t);
Result<std::vector<double>> temperature_c_copy(WrfFile& file, std::size_t t);
Result<std::vector<double>> height_msl_copy(WrfFile& file, std::size_t t);
Result<std::vector<double>> height_agl_copy(WrfFile& file, std::size_t t);

// Averages neighbouring points along the staggered axis. The output size
// comes from the sizes given; an input too short for them, or a staggered
// size of 0, is a DimMismatch rather than an out-of-range read.
Result<std::vector<double>> destagger_x(const std::vector<double>& values, std::size_t nz, std::size_t ny,
                                        std::size_t nxs);
Result<std::vector<double>> destagger_y(const std::vector<double>& values, std::size_t nz, std::size_t nys,
                                        std::size_t nx);
Result<std::vector<double>> destagger_z(const std::vector<double>& values, std::size_t nzs, std::size_t ny,
                                        std::size_t nx);
// The same, reusing the buffer of the staggered values.
Result<std::vector<double>> destagger_x_in_place(std::vector<double> values, std::size_t nz, std::size_t ny,
                                                 std::size_t nxs);
Result<std::vector<double>> destagger_y_in_place(std::vector<double> values, std::size_t nz, std::size_t nys,
                                                 std::size_t nx);
Result<std::vector<double>> destagger_z_in_place(std::vector<double> values, std::size_t nzs, std::size_t ny,
                                                 std::size_t nx);

// Lake cells of a land-use grid (ny*nx values at least): water categories
// 16, 17 and 21 grouped by 8-neighbour connectivity; a cell is a lake cell
// when its water body has strictly fewer than max_cells cells.
std::vector<bool> lake_cells(const std::vector<double>& landuse, std::size_t ny, std::size_t nx,
                             std::uint64_t max_cells);

// Largest lake in cells for an area in km2 on a dx*dy (m) grid, truncated
// toward zero and kept within [0, 2^63].
std::uint64_t lake_size_cells(double area_km2, double dx, double dy);

// Copy of a 2-D field (ny*nx values at least) whose masked cells hold the
// inverse-distance-weighted mean of the nearest ring of unmasked cells.
std::vector<double> interpolate_masked_2d(const std::vector<double>& values, const std::vector<bool>& mask,
                                          std::size_t ny, std::size_t nx);

}  // namespace wrf::grid
