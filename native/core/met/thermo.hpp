#pragma once
// Parcel thermodynamics for one column: moist adiabats by the Wobus-function
// method, condensation levels, vapour-pressure and mixing-ratio fits, profile
// interpolation, parcel selection and the CAPE/CIN buoyancy integral.
//
// Profiles are parallel spans ordered from the lowest level upward (pressure
// decreasing): pressure in hPa, temperature and dewpoint in degC, height in m
// above ground. Spans are borrowed and never modified. Callers pass non-empty
// columns of equal length.
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace wrf::met {

using Column = std::span<const double>;

// Poisson exponent Rd/cp and its reciprocal, both as stored.
inline constexpr double kKappa = 0.28571426;
inline constexpr double kInvKappa = 3.5000003150000283;
inline constexpr double kZeroCelsius = 273.15;
// Gas constant of the buoyancy integral.
inline constexpr double kRdBuoyancy = 287.058;
// Virtual-temperature factor (times mixing ratio in kg/kg).
inline constexpr double kVirtualFactor = 0.61;

// ---- formula routines (T, Td in degC, p in hPa) ----

// Temperature at the lifted condensation level (degC).
double lcl_temperature(double t, double td);

// Potential temperature (K) of temperature t (degC) at p.
double potential_temperature(double p, double t);

struct DryLift {
    double pressure;     // hPa, at the LCL
    double temperature;  // degC, at the LCL
};
// Dry-adiabatic lift of (p, t, td) to its condensation level.
DryLift dry_lift(double p, double t, double td);

// Wobus function (degC): the difference between the wet-bulb potential
// temperatures of a saturated and a dry parcel with potential temperature t.
double wobus(double t);

// Label (degC) of the moist adiabat through the condensation level (p_lcl, t_lcl).
double moist_adiabat_label(double p_lcl, double t_lcl);

// Saturation vapour pressure (hPa) over water at t (degC), polynomial fit.
double vapor_pressure_poly(double t);

// Mixing ratio (g/kg) at pressure p (hPa) for dewpoint t; with a temperature,
// the saturation value.
double mixing_ratio_gkg(double p, double t);

// Temperature (degC) at which air of mixing ratio w (g/kg) saturates at p.
double temperature_at_mixing_ratio(double w, double p);

// Virtual temperature (K) of temperature t (degC) and mixing ratio w (g/kg).
double virtual_temperature(double t, double w);

// ---- moist adiabats and wet bulb ----

// Temperature (degC) at p of the moist adiabat labelled theta_m (degC), the
// label being its temperature at 1000 hPa. Secant iteration on the Wobus function.
double satlift(double p, double theta_m);

// Wet-bulb temperature (degC): lift to the LCL, then down the moist adiabat.
double wet_bulb_temperature(double p, double t, double td);

// wet_bulb_temperature of n points into out, the same values several times
// faster than one call per point.
void wet_bulb_temperatures(const double* p, const double* t, const double* td, double* out, std::size_t n);

// Wet-bulb potential temperature (K): that moist adiabat's temperature at 1000 hPa.
double wet_bulb_potential_temperature(double p, double t, double td);

// ---- profile interpolation ----

struct EnvPoint {
    double temperature;
    double dewpoint;
};
// (T, Td) at pressure x, linear in ln p between the first bracketing pair;
// the highest level's values when no pair brackets x.
EnvPoint get_env_at_pres(Column p, Column t, Column td, double x);

// Height at pressure x, linear in ln p. Below the first level: the first
// height; above the last: the last height; undefined x: NaN.
double get_height_at_pres(Column p, Column z, double x);

// ---- parcels ----

struct Parcel {
    double pressure;     // hPa
    double temperature;  // degC
    double dewpoint;     // degC
};

// Mean potential temperature and mixing ratio of the lowest `depth` hPa,
// started from the first level's pressure.
Parcel get_mixed_layer_parcel(Column p, Column t, Column td, double depth);

// Level of largest theta-e within `depth` hPa of the first level; the lowest
// of equal maxima wins.
Parcel get_most_unstable_parcel(Column p, Column t, Column td, double depth);

// Virtual-temperature excess (K) of the lifted parcel over the environment at
// pressure x. Below p_lcl the parcel is dry with potential temperature theta
// (K) and mixing ratio w (g/kg); at or above it, on the moist adiabat theta_m.
double parcel_temperature_excess(Column p, Column t, Column td, double x, double p_lcl, double theta,
                                 double w, double theta_m);

// Running buoyancy integral (J/kg) from the parcel's origin.
struct BuoyancyIntegral {
    double total;
    double minimum;
    double pressure_at_minimum;  // hPa
};

// Adds the layer p_bottom -> p_top to `acc` in steps of at most 10 hPa,
// split at the zero crossing of the excess when the ends differ in sign.
void integrate_moist_pressure_range(Column p, Column t, Column td, BuoyancyIntegral& acc, double p_bottom,
                                    double p_top, double p_lcl, double theta, double w, double theta_m);

struct EquilibriumLevel {
    double pressure;     // hPa
    double temperature;  // degC, environmental
};
// Equilibrium level of the first level's parcel: the last crossing from
// positive to negative buoyancy above the LCL, or nothing.
std::optional<EquilibriumLevel> el(Column p, Column t, Column td);

struct CapeCin {
    double cape;        // J/kg, >= 0
    double cin;         // J/kg, <= 0
    double lcl_height;  // m AGL
    double lfc_height;  // m AGL, NaN without positive area
};

// Reusable storage for cape_cin_core, so column loops allocate once per worker.
struct CapeScratch {
    std::vector<double> p, t, td, z;
};

// CAPE, CIN, LCL and LFC heights of a surface ("sb" or any other text),
// mixed-layer ("ml") or most-unstable ("mu") parcel. The surface values
// become the lowest level. Pressures may be in Pa and temperatures in K (as
// judged from the surface values). With top_m, CAPE and CIN stop at that
// height AGL when it lies below the equilibrium level.
CapeCin cape_cin_core(Column p, Column t, Column td, Column z, double psfc, double tsfc, double tdsfc,
                      double ml_depth, double mu_depth, std::optional<double> top_m,
                      std::string_view parcel_type, CapeScratch& scratch);
CapeCin cape_cin_core(Column p, Column t, Column td, Column z, double psfc, double tsfc, double tdsfc,
                      double ml_depth, double mu_depth, std::optional<double> top_m,
                      std::string_view parcel_type);

}  // namespace wrf::met
