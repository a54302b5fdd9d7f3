#include "engine/variables.hpp"

#include "diag/pressure.hpp"
#include "diag/thermo.hpp"
#include "diag/wind.hpp"
#include "diag/moisture.hpp"
#include "diag/cape.hpp"
#include "diag/srh.hpp"
#include "diag/vorticity.hpp"
#include "diag/radar.hpp"
#include "diag/cloud.hpp"
#include "diag/helicity.hpp"
#include "diag/severe.hpp"
#include "diag/extra.hpp"
#include "diag/ecape.hpp"

#include "engine/text.hpp"

namespace wrf {

namespace d = diag;

const std::vector<VarDef> VARS = {
    {"pressure", {}, "Full model pressure", "hPa", &d::pressure::compute_pressure_hpa, true},
    {"pres", {"p", "pressure_pa"}, "Full model pressure", "Pa", &d::pressure::compute_pressure, true},
    {"height", {"z", "height_msl"}, "Model height MSL", "m", &d::pressure::compute_height, true},
    {"height_agl", {"z_agl"}, "Model height AGL", "m", &d::pressure::compute_height_agl, true},
    {"geopt", {"geopotential"}, "Full geopotential", "m2/s2", &d::pressure::compute_geopt, true},
    {"terrain", {"ter", "hgt"}, "Terrain height", "m", &d::pressure::compute_terrain, false},
    {"t2", {"t2m", "temperature_2m"}, "2-m temperature", "K", &d::thermo::compute_t2, false},
    {"tv2m", {"virtual_temperature_2m"}, "2-m virtual temperature", "K", &d::thermo::compute_tv2m, false},
    {"temp", {"tk"}, "Temperature", "K", &d::thermo::compute_temp, true},
    {"tc", {"temp_c"}, "Temperature in Celsius", "degC", &d::thermo::compute_tc, true},
    {"theta", {"th", "potential_temperature"}, "Potential temperature", "K", &d::thermo::compute_theta, true},
    {"ua", {"u_destag"}, "U-wind (destaggered)", "m/s", &d::wind::compute_ua, true},
    {"va", {"v_destag"}, "V-wind (destaggered)", "m/s", &d::wind::compute_va, true},
    {"wa", {"w_destag"}, "W-wind (destaggered)", "m/s", &d::wind::compute_wa, true},
    {"lat", {"xlat", "latitude"}, "Latitude", "degrees", &d::wind::compute_lat, false},
    {"lon", {"xlong", "longitude"}, "Longitude", "degrees", &d::wind::compute_lon, false},
    {"theta_e", {"eth"}, "Equivalent potential temperature", "K", &d::thermo::compute_theta_e, true},
    {"tv", {"virtual_temperature"}, "Virtual temperature", "K", &d::thermo::compute_tv, true},
    {"twb", {"wet_bulb"}, "Wet-bulb temperature", "K", &d::thermo::compute_twb, true},
    {"td", {"dp", "dewpoint"}, "Dewpoint temperature", "degC", &d::thermo::compute_td, true},
    {"rh", {"relative_humidity"}, "Relative humidity", "%", &d::thermo::compute_rh, true},
    {"slp", {"sea_level_pressure", "mslp"}, "Sea-level pressure", "hPa", &d::pressure::compute_slp, false},
    {"omega", {"vertical_velocity_pressure"}, "Vertical velocity in pressure coordinates", "Pa/s", &d::pressure::compute_omega, true},
    {"pw", {"precipitable_water"}, "Precipitable water", "mm", &d::moisture::compute_pw, false},
    {"rh2m", {"rh2", "relative_humidity_2m"}, "2-m relative humidity", "%", &d::moisture::compute_rh2m, false},
    {"dp2m", {"td2", "td2m", "dewpoint_2m"}, "2-m dewpoint temperature", "degC", &d::moisture::compute_dp2m, false},
    {"mixing_ratio", {"qvapor", "water_vapor_mixing_ratio"}, "Water vapor mixing ratio", "kg/kg", &d::moisture::compute_mixing_ratio, true},
    {"specific_humidity", {"q"}, "Specific humidity", "kg/kg", &d::moisture::compute_specific_humidity, true},
    {"sbcape", {"surface_based_cape"}, "Surface-based CAPE", "J/kg", &d::cape::compute_sbcape, false},
    {"sbcin", {"surface_based_cin"}, "Surface-based CIN", "J/kg", &d::cape::compute_sbcin, false},
    {"mlcape", {"mixed_layer_cape"}, "Mixed-layer CAPE", "J/kg", &d::cape::compute_mlcape, false},
    {"mlcin", {"mixed_layer_cin"}, "Mixed-layer CIN", "J/kg", &d::cape::compute_mlcin, false},
    {"mucape", {"most_unstable_cape"}, "Native SPC-style MUCAPE: max-theta-e level in the lowest 300 hPa", "J/kg", &d::cape::compute_mucape, false},
    {"mucin", {"most_unstable_cin"}, "Most-unstable CIN", "J/kg", &d::cape::compute_mucin, false},
    {"sb3cape", {"surface_based_3cape", "surface_based_0_3km_cape"}, "Surface-based CAPE in the lowest 3 km", "J/kg", &d::cape::compute_sb3cape, false},
    {"ml3cape", {"3cape", "mixed_layer_3cape", "mixed_layer_0_3km_cape"}, "Mixed-layer CAPE in the lowest 3 km", "J/kg", &d::cape::compute_ml3cape, false},
    {"mu3cape", {"most_unstable_3cape", "most_unstable_0_3km_cape"}, "Most-unstable CAPE in the lowest 3 km", "J/kg", &d::cape::compute_mu3cape, false},
    {"sb6cape", {"surface_based_6cape", "surface_based_0_6km_cape"}, "Surface-based CAPE in the lowest 6 km", "J/kg", &d::cape::compute_sb6cape, false},
    {"ml6cape", {"6cape", "mixed_layer_6cape", "mixed_layer_0_6km_cape"}, "Mixed-layer CAPE in the lowest 6 km", "J/kg", &d::cape::compute_ml6cape, false},
    {"mu6cape", {"most_unstable_6cape", "most_unstable_0_6km_cape"}, "Most-unstable CAPE in the lowest 6 km", "J/kg", &d::cape::compute_mu6cape, false},
    {"lcl", {"lcl_height"}, "Lifted condensation level height AGL", "m", &d::cape::compute_lcl, false},
    {"lfc", {"lfc_height"}, "Level of free convection height AGL", "m", &d::cape::compute_lfc, false},
    {"el", {"el_height", "equilibrium_level"}, "Equilibrium level height AGL", "m", &d::cape::compute_el, false},
    {"cape2d", {"cape_2d"}, "CAPE/CIN/LCL/LFC (backward-compat tuple)", "J/kg", &d::cape::compute_cape2d, false},
    {"cape3d", {"cape_3d"}, "3-D CAPE field", "J/kg", &d::cape::compute_cape3d, true},
    {"cape2d_wrfpython", {"cape_2d_wrfpython", "cape2d_ncar"}, "Strict NCAR wrf-python cape_2d [MCAPE, MCIN, LCL, LFC]", "J/kg", &d::cape::compute_cape2d_wrfpython, false},
    {"mcape_wrfpython", {"mcape_ncar"}, "Strict NCAR MCAPE: max theta-e below 3 km AGL with a 500 m pressure-weighted mean", "J/kg", &d::cape::compute_mcape_wrfpython, false},
    {"mcin_wrfpython", {"mcin_ncar"}, "Strict NCAR wrf-python maximum-parcel CIN magnitude", "J/kg", &d::cape::compute_mcin_wrfpython, false},
    {"lcl_wrfpython", {"lcl_ncar"}, "Strict NCAR wrf-python maximum-parcel LCL height AGL", "m", &d::cape::compute_lcl_wrfpython, false},
    {"lfc_wrfpython", {"lfc_ncar"}, "Strict NCAR wrf-python maximum-parcel LFC height AGL", "m", &d::cape::compute_lfc_wrfpython, false},
    {"cape3d_wrfpython", {"cape_3d_wrfpython", "cape3d_ncar"}, "Strict NCAR wrf-python levelwise [CAPE, CIN]", "J/kg", &d::cape::compute_cape3d_wrfpython, true},
    {"cape3d_only_wrfpython", {"cape_3d_only_wrfpython"}, "Strict NCAR wrf-python levelwise CAPE component", "J/kg", &d::cape::compute_cape3d_only_wrfpython, true},
    {"cin3d_wrfpython", {"cin_3d_wrfpython"}, "Strict NCAR wrf-python levelwise CIN component", "J/kg", &d::cape::compute_cin3d_wrfpython, true},
    {"wspd", {"wind_speed"}, "Wind speed", "m/s", &d::wind::compute_wspd, true},
    {"wdir", {"wind_direction"}, "Wind direction", "degrees", &d::wind::compute_wdir, true},
    {"uvmet", {"earth_rotated_wind"}, "U/V wind rotated to earth coordinates", "m/s", &d::wind::compute_uvmet, true},
    {"uvmet10", {"earth_rotated_wind_10m"}, "10-m U/V wind rotated to earth coordinates", "m/s", &d::wind::compute_uvmet10, false},
    {"wspd10", {"wind_speed_10m"}, "10-m wind speed", "m/s", &d::wind::compute_wspd10, false},
    {"wdir10", {"wind_direction_10m"}, "10-m wind direction", "degrees", &d::wind::compute_wdir10, false},
    {"srh1", {"srh_0_1km"}, "0-1 km storm-relative helicity (Bunkers)", "m2/s2", &d::srh::compute_srh1, false},
    {"srh3", {"srh_0_3km"}, "0-3 km storm-relative helicity (Bunkers)", "m2/s2", &d::srh::compute_srh3, false},
    {"srh", {"storm_relative_helicity", "helicity"}, "Storm-relative helicity (configurable depth, Bunkers)", "m2/s2", &d::srh::compute_srh, false},
    {"srh_wrfpython", {"srh_ncar", "srh_rip", "srh_wrfpython_rip"}, "Storm-relative helicity (strict NCAR wrf-python RIP algorithm)", "m2/s2", &d::srh::compute_srh_wrfpython, false},
    {"shear_0_1km", {"bulk_shear_1km", "shr01"}, "0-1 km bulk wind shear", "m/s", &d::srh::compute_shear_0_1km, false},
    {"shear_0_6km", {"bulk_shear_6km", "shr06"}, "0-6 km bulk wind shear", "m/s", &d::srh::compute_shear_0_6km, false},
    {"bunkers_rm", {"bunkers_right"}, "Bunkers right-moving supercell motion", "m/s", &d::srh::compute_bunkers_rm, false},
    {"bunkers_lm", {"bunkers_left"}, "Bunkers left-moving supercell motion", "m/s", &d::srh::compute_bunkers_lm, false},
    {"mean_wind_0_6km", {"mean_wind_6km"}, "0-6 km mean wind", "m/s", &d::srh::compute_mean_wind_0_6km, false},
    {"avo", {"absolute_vorticity"}, "Absolute vorticity", "10-5 s-1", &d::vorticity::compute_avo, true},
    {"pvo", {"potential_vorticity"}, "Potential vorticity", "PVU", &d::vorticity::compute_pvo, true},
    {"dbz", {"reflectivity"}, "Simulated reflectivity", "dBZ", &d::radar::compute_dbz, true},
    {"maxdbz", {"max_reflectivity", "composite_reflectivity", "mdbz"}, "Maximum (composite) reflectivity", "dBZ", &d::radar::compute_maxdbz, false},
    {"ctt", {"cloud_top_temperature"}, "Cloud-top temperature", "degC", &d::cloud::compute_ctt, false},
    {"cloudfrac", {"cloud_fraction"}, "Cloud fraction (low/mid/high)", "%", &d::cloud::compute_cloudfrac, false},
    {"uhel", {"updraft_helicity"}, "Updraft helicity", "m2/s2", &d::helicity::compute_uhel, false},
    {"stp", {"significant_tornado_parameter"}, "Significant Tornado Parameter (fixed or effective via layer_type)", "dimensionless", &d::severe::compute_stp_generic, false},
    {"stp_fixed", {}, "STP fixed-layer (Thompson et al. 2003)", "dimensionless", &d::severe::compute_stp, false},
    {"stp_effective", {"stp_eff"}, "STP effective-layer", "dimensionless", &d::severe::compute_stp_effective, false},
    {"scp", {"supercell_composite_parameter"}, "Supercell Composite Parameter (effective SRH + EBWD)", "dimensionless", &d::severe::compute_scp, false},
    {"ehi", {"energy_helicity_index"}, "Energy-Helicity Index", "dimensionless", &d::severe::compute_ehi, false},
    {"ecape_scp", {"entraining_scp", "experimental_ecape_scp"}, "Experimental SCP analog using ECAPE for the buoyancy term", "dimensionless", &d::severe::compute_ecape_scp, false},
    {"ecape_ehi", {"entraining_ehi", "experimental_ecape_ehi"}, "Experimental EHI analog using ECAPE for the buoyancy term", "dimensionless", &d::severe::compute_ecape_ehi, false},
    {"tehi", {"tornadic_0_1km_ehi"}, "SPC beta Tornadic 0-1 km EHI", "dimensionless", &d::severe::compute_tehi, false},
    {"tts", {"tornadic_tilting_stretching", "tornadic_tilting_and_stretching"}, "SPC beta Tornadic Tilting and Stretching", "dimensionless", &d::severe::compute_tts, false},
    {"vtp_mod", {"modified_violent_tornado_parameter"}, "Modified Violent Tornado Parameter", "dimensionless", &d::severe::compute_vtp_mod, false},
    {"critical_angle", {"crit_angle"}, "Critical angle", "degrees", &d::severe::compute_critical_angle, false},
    {"ship", {"significant_hail_parameter"}, "Significant Hail Parameter", "dimensionless", &d::severe::compute_ship, false},
    {"bri", {"bulk_richardson_number"}, "Bulk Richardson Number", "dimensionless", &d::severe::compute_bri, false},
    {"dcape", {"downdraft_cape"}, "Downdraft CAPE", "J/kg", &d::extra::compute_dcape, false},
    {"dcp", {"derecho_composite_parameter"}, "Derecho Composite Parameter", "dimensionless", &d::severe::compute_dcp, false},
    {"wndg", {"wind_damage_parameter"}, "Wind Damage Parameter", "dimensionless", &d::severe::compute_wndg, false},
    {"esp", {"enhanced_stretching_potential"}, "Enhanced Stretching Potential", "dimensionless", &d::severe::compute_esp, false},
    {"mmp", {"mcs_maintenance_probability"}, "MCS Maintenance Probability", "dimensionless", &d::severe::compute_mmp, false},
    {"lapse_rate_700_500", {"lr75"}, "700-500 hPa lapse rate", "degC/km", &d::extra::compute_lapse_rate_700_500, false},
    {"lapse_rate_0_3km", {"lr03"}, "0-3 km AGL lapse rate", "degC/km", &d::extra::compute_lapse_rate_0_3km, false},
    {"freezing_level", {"fzlev"}, "Freezing level height AGL", "m", &d::extra::compute_freezing_level, false},
    {"wet_bulb_0", {"wb0", "wet_bulb_zero"}, "Wet-bulb zero height AGL", "m", &d::extra::compute_wet_bulb_0, false},
    {"k_index", {"kindex"}, "K Index", "dimensionless", &d::extra::compute_k_index, false},
    {"total_totals", {"totals_totals", "t_totals", "tot_tots"}, "Total Totals Index", "dimensionless", &d::extra::compute_total_totals, false},
    {"mean_mixr", {"mean_mixing_ratio", "low_level_mean_mixr"}, "Mean mixing ratio in the lowest 100 hPa", "g/kg", &d::extra::compute_mean_mixr, false},
    {"low_rh", {"low_level_rh", "mean_low_rh"}, "Mean RH in the lowest 100 hPa", "%", &d::extra::compute_low_rh, false},
    {"mid_rh", {"mid_level_rh", "mean_mid_rh"}, "Mean RH from 700-500 hPa", "%", &d::extra::compute_mid_rh, false},
    {"dgz_rh", {"dendritic_growth_zone_rh"}, "Mean RH through the dendritic growth zone", "%", &d::extra::compute_dgz_rh, false},
    {"lcl_temp", {"lcl_temperature"}, "LCL temperature", "degC", &d::extra::compute_lcl_temp, false},
    {"convective_temp", {"conv_t", "convt"}, "Convective temperature", "degC", &d::extra::compute_convective_temp, false},
    {"max_temp", {"forecast_max_temp", "maxt"}, "Forecast maximum surface temperature", "degC", &d::extra::compute_max_temp, false},
    {"theta_w", {"wet_bulb_potential_temperature"}, "Wet-bulb potential temperature", "K", &d::extra::compute_theta_w, true},
    {"fosberg", {"fwi", "fosberg_fire_weather_index"}, "Fosberg Fire Weather Index", "dimensionless", &d::extra::compute_fosberg, false},
    {"haines", {"haines_index"}, "Haines Index", "dimensionless", &d::extra::compute_haines, false},
    {"hdw", {"hot_dry_windy"}, "Hot-Dry-Windy Index", "dimensionless", &d::extra::compute_hdw, false},
    {"cape", {}, "CAPE (configurable parcel_type or custom parcel, supports top_m)", "J/kg", &d::cape::compute_cape_generic, false},
    {"cin", {}, "CIN (configurable parcel_type or custom parcel, supports top_m)", "J/kg", &d::cape::compute_cin_generic, false},
    {"effective_inflow", {"eff_inflow", "effective_inflow_layer"}, "Effective inflow layer base/top heights AGL", "m", &d::cape::compute_effective_inflow_layer, false},
    {"effective_cape", {"eff_cape"}, "MUCAPE within effective inflow layer", "J/kg", &d::cape::compute_effective_inflow_cape, false},
    {"ecape", {"entraining_cape"}, "Entraining CAPE from Plumora", "J/kg", &d::ecape::compute_ecape, false},
    {"ncape", {"normalized_cape"}, "Normalized CAPE from Plumora", "J/kg", &d::ecape::compute_ncape, false},
    {"ecape_cape", {"entraining_parcel_cape"}, "Entraining parcel CAPE from Plumora", "J/kg", &d::ecape::compute_ecape_cape, false},
    {"ecape_cin", {"ecin", "entraining_parcel_cin"}, "Entraining parcel CIN from Plumora", "J/kg", &d::ecape::compute_ecape_cin, false},
    {"ecape_lfc", {"entraining_parcel_lfc"}, "Entraining parcel LFC from Plumora", "m", &d::ecape::compute_ecape_lfc, false},
    {"ecape_el", {"entraining_parcel_el"}, "Entraining parcel EL from Plumora", "m", &d::ecape::compute_ecape_el, false},
    {"effective_srh", {"srh_eff", "eff_srh"}, "SRH over effective inflow layer (Bunkers)", "m2/s2", &d::srh::compute_effective_srh, false},
    {"ebwd", {"effective_bulk_wind_difference", "effective_bulk_shear"}, "Effective bulk wind difference", "m/s", &d::severe::compute_effective_bulk_wind_difference, false},
    {"bulk_shear", {"shear"}, "Bulk wind shear (configurable bottom_m / top_m)", "m/s", &d::srh::compute_bulk_shear, false},
    {"mean_wind", {}, "Mean wind (configurable bottom_m / top_m)", "m/s", &d::srh::compute_mean_wind, false},
    {"lapse_rate", {"lr"}, "Lapse rate (configurable bottom_m / top_m, use_virtual)", "degC/km", &d::extra::compute_lapse_rate, false},
};

const VarDef* get_var_def(std::string_view name) {
    const std::string lower = to_lower(name);
    for (const VarDef& row : VARS) {
        if (row.name == lower) return &row;
        for (std::string_view alias : row.aliases) {
            if (alias == lower) return &row;
        }
    }
    return nullptr;
}

}  // namespace wrf
