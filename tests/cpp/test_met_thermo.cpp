#include <doctest/doctest.h>

#include <cmath>
#include <vector>

#include "met/thermo.hpp"

using namespace wrf::met;

namespace {

// A conditionally unstable column: moist boundary layer, lapse rate between
// the dry and moist adiabats, isothermal stratosphere above 200 hPa. Levels
// every 25 hPa from 975 hPa; heights AGL from the hypsometric equation.
struct Sounding {
    double psfc = 1000.0, tsfc = 30.0, tdsfc = 22.0;
    std::vector<double> p, t, td, z;
};

double sounding_t(double p) {
    const double t = 303.15 * std::pow(p / 1000.0, 0.2) - 273.15;
    return t < -60.0 ? -60.0 : t;
}
double sounding_td(double p) { return sounding_t(p) - 8.0 - 30.0 * (1000.0 - p) / 900.0; }

Sounding make_sounding() {
    Sounding s;
    double z = 0.0, p_prev = s.psfc, tv_prev = s.tsfc + 273.15;
    for (double p = 975.0; p >= 100.0; p -= 25.0) {
        const double tv = sounding_t(p) + 273.15;
        z += 287.0 / 9.81 * 0.5 * (tv + tv_prev) * std::log(p_prev / p);
        s.p.push_back(p);
        s.t.push_back(sounding_t(p));
        s.td.push_back(sounding_td(p));
        s.z.push_back(z);
        p_prev = p;
        tv_prev = tv;
    }
    return s;
}

CapeCin core(const Sounding& s, std::string_view type, std::optional<double> top = std::nullopt) {
    return cape_cin_core(s.p, s.t, s.td, s.z, s.psfc, s.tsfc, s.tdsfc, 100.0, 300.0, top, type);
}

// Brute-force buoyancy integral of a parcel from its origin to p_end in
// 0.01 hPa steps: (CAPE above the running minimum, CIN, pressure at minimum).
struct Brute {
    double cape, cin, p_min;
};
Brute brute_integral(const Sounding& s, Parcel parcel, double p_end) {
    std::vector<double> p{s.psfc}, t{s.tsfc}, td{s.tdsfc};
    p.insert(p.end(), s.p.begin(), s.p.end());
    t.insert(t.end(), s.t.begin(), s.t.end());
    td.insert(td.end(), s.td.begin(), s.td.end());
    const DryLift lcl = dry_lift(parcel.pressure, parcel.temperature, parcel.dewpoint);
    const double theta = potential_temperature(parcel.pressure, parcel.temperature);
    const double theta_m = moist_adiabat_label(lcl.pressure, lcl.temperature);
    const double w = mixing_ratio_gkg(parcel.pressure, parcel.dewpoint);
    double total = 0.0, minimum = 0.0, p_min = parcel.pressure;
    const double dp = 0.01;
    for (double f = parcel.pressure; f - dp >= p_end - 1e-9; f -= dp) {
        const double g = f - dp;
        total += kRdBuoyancy * parcel_temperature_excess(p, t, td, 0.5 * (f + g), lcl.pressure, theta, w, theta_m) *
                 std::log(f / g);
        if (total < minimum) {
            minimum = total;
            p_min = g;
        }
    }
    return {total - minimum, minimum, p_min};
}

}  // namespace

TEST_CASE("formula routines against published values") {
    // Saturation vapour pressure over water (hPa) and saturation mixing ratio at 1000 hPa (g/kg).
    struct Row {
        double t, es, ws;
    };
    for (const Row r : {Row{0.0, 6.112, 3.84}, Row{20.0, 23.39, 14.95}, Row{30.0, 42.47, 27.69}}) {
        CAPTURE(r.t);
        CHECK(vapor_pressure_poly(r.t) == doctest::Approx(r.es).epsilon(2e-3));
        CHECK(mixing_ratio_gkg(1000.0, r.t) == doctest::Approx(r.ws).epsilon(5e-3));
        // The two fits invert each other to within a few tenths of a degree.
        CHECK(std::fabs(temperature_at_mixing_ratio(mixing_ratio_gkg(850.0, r.t), 850.0) - r.t) < 0.2);
    }
    // Bolton's condensation temperature for (30, 20) degC is 17.67 degC; saturated air is at its LCL.
    CHECK(lcl_temperature(30.0, 20.0) == doctest::Approx(17.67).epsilon(2e-3));
    CHECK(lcl_temperature(12.5, 12.5) == 12.5);
    // Both branches of the Wobus function meet at 20 degC.
    CHECK(wobus(20.0) == doctest::Approx(15.13).epsilon(1e-12));
    CHECK(wobus(20.0 + 1e-9) == doctest::Approx(15.13).epsilon(1e-9));
    // The LCL lies on the dry adiabat of the starting point.
    const DryLift lift = dry_lift(1000.0, 30.0, 20.0);
    CHECK(lift.temperature == lcl_temperature(30.0, 20.0));
    CHECK(potential_temperature(lift.pressure, lift.temperature) == doctest::Approx(303.15).epsilon(1e-6));
    CHECK(virtual_temperature(20.0, 10.0) == doctest::Approx(293.15 * 1.0061).epsilon(1e-12));
}

TEST_CASE("moist adiabats and wet bulb") {
    // satlift leaves the label unchanged at 1000 hPa.
    CHECK(satlift(1000.0, 17.3) == 17.3);
    CHECK(satlift(1000.0005, -41.0) == -41.0);

    // The pseudoadiabat through 293 K at 1000 hPa, from numerical integration
    // of the moist lapse rate; the Wobus fit stays within a kelvin of it.
    struct Row {
        double p, tk;
    };
    for (const Row r : {Row{800.0, 284.64}, Row{600.0, 272.81}, Row{500.0, 264.42}, Row{400.0, 252.25}}) {
        CAPTURE(r.p);
        CHECK(std::fabs(satlift(r.p, 293.0 - 273.15) + 273.15 - r.tk) < 1.0);
    }

    // Wet bulb of 25/15 degC at 1000 hPa is 18.34 degC by psychrometric integration.
    CHECK(std::fabs(wet_bulb_temperature(1000.0, 25.0, 15.0) - 18.34) < 0.3);

    // satlift and the moist-adiabat label invert each other across both Wobus
    // branches; the wet bulb of saturated air is its temperature.
    for (const double theta_m : {-30.0, 0.0, 15.0, 28.0}) {
        for (const double p : {950.0, 700.0, 400.0, 200.0}) {
            CAPTURE(theta_m);
            CAPTURE(p);
            const double t = satlift(p, theta_m);
            CHECK(std::fabs(wet_bulb_potential_temperature(p, t, t) - 273.15 - theta_m) < 0.01);
            CHECK(std::fabs(wet_bulb_temperature(p, t, t) - t) < 0.01);
        }
    }
    // The wet-bulb temperature lies on the moist adiabat of the wet-bulb potential temperature.
    for (const double p : {1000.0, 850.0, 500.0}) {
        const double twb = wet_bulb_temperature(p, 10.0, -5.0);
        CHECK(twb == doctest::Approx(satlift(p, wet_bulb_potential_temperature(p, 10.0, -5.0) - 273.15)).epsilon(1e-12));
        CHECK(twb < 10.0);
        CHECK(twb > -5.0);
    }
}

TEST_CASE("wet bulbs of many points equal the one-point routine bit for bit") {
    // Points that leave the secant iteration at different steps (1000 hPa at
    // once, saturated air after the first guess, dry air later), both Wobus
    // arms, undefined inputs, and counts that leave a short last batch.
    std::vector<double> p, t, td;
    for (const double pp : {1000.0, 1000.0005, 990.0, 850.0, 500.0, 250.0}) {
        for (const double tt : {-45.0, -5.0, 12.0, 31.0}) {
            for (const double dep : {0.0, 3.0, 25.0}) {
                p.push_back(pp);
                t.push_back(tt);
                td.push_back(tt - dep);
            }
        }
    }
    p.push_back(std::nan(""));
    t.push_back(10.0);
    td.push_back(5.0);
    for (const std::size_t n : {p.size(), p.size() - 3, std::size_t{1}, std::size_t{0}}) {
        CAPTURE(n);
        std::vector<double> many(n, -1.0);
        wet_bulb_temperatures(p.data(), t.data(), td.data(), many.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            const double one = wet_bulb_temperature(p[i], t[i], td[i]);
            CAPTURE(i);
            CHECK((std::isnan(one) ? std::isnan(many[i]) : many[i] == one));
        }
    }
}

TEST_CASE("profile interpolation") {
    const std::vector<double> p{1000.0, 900.0, 900.0, 500.0};
    const std::vector<double> t{20.0, 10.0, 8.0, -20.0};
    const std::vector<double> td{10.0, 0.0, -2.0, -40.0};
    const std::vector<double> z{0.0, 900.0, 905.0, 5500.0};
    const double mid = std::sqrt(1000.0 * 900.0);  // halfway in ln p
    const double nan = std::nan("");
    struct Row {
        double x, t, td, z;
    };
    for (const Row r : {Row{1000.0, 20.0, 10.0, 0.0}, Row{mid, 15.0, 5.0, 450.0},
                        Row{900.0, 10.0, 0.0, 900.0},  // first bracketing pair wins
                        Row{std::sqrt(900.0 * 500.0), -6.0, -21.0, 3202.5},
                        Row{1010.0, -20.0, -40.0, 0.0},  // outside: env takes the top, height the nearest end
                        Row{400.0, -20.0, -40.0, 5500.0}, Row{nan, -20.0, -40.0, nan}}) {
        CAPTURE(r.x);
        const EnvPoint e = get_env_at_pres(p, t, td, r.x);
        CHECK(e.temperature == doctest::Approx(r.t).epsilon(1e-12));
        CHECK(e.dewpoint == doctest::Approx(r.td).epsilon(1e-12));
        if (std::isnan(r.z)) {
            CHECK(std::isnan(get_height_at_pres(p, z, r.x)));
        } else {
            CHECK(get_height_at_pres(p, z, r.x) == doctest::Approx(r.z).epsilon(1e-12));
        }
    }
    // A single level brackets nothing.
    const std::vector<double> one{850.0};
    CHECK(get_env_at_pres(one, one, one, 700.0).temperature == 850.0);
    CHECK(get_height_at_pres(one, one, 900.0) == 850.0);
}

TEST_CASE("mixed-layer and most-unstable parcels") {
    // A well-mixed layer: constant potential temperature and mixing ratio.
    std::vector<double> p, t, td;
    const double w = mixing_ratio_gkg(1000.0, 15.0);
    for (double pi = 1000.0; pi >= 700.0; pi -= 20.0) {
        p.push_back(pi);
        t.push_back(303.15 * std::pow(pi / 1000.0, kKappa) - 273.15);
        td.push_back(temperature_at_mixing_ratio(w, pi));
    }
    const Parcel ml = get_mixed_layer_parcel(p, t, td, 100.0);
    CHECK(ml.pressure == 1000.0);
    CHECK(ml.temperature == doctest::Approx(30.0).epsilon(1e-9));
    CHECK(std::fabs(ml.dewpoint - td[0]) < 0.1);

    // The mean is taken over the layer only: warming a level below the top
    // changes it, warming one above does not.
    std::vector<double> warm = t;
    warm[8] += 10.0;  // 840 hPa, outside a 100 hPa layer
    CHECK(get_mixed_layer_parcel(p, warm, td, 100.0).temperature == ml.temperature);
    warm[2] += 10.0;  // 960 hPa, inside
    CHECK(get_mixed_layer_parcel(p, warm, td, 100.0).temperature > ml.temperature + 1.0);

    // Most unstable: a moist level above a dry surface, lowest of equal maxima,
    // and an undefined level never wins.
    const std::vector<double> mp{1000.0, 950.0, 900.0, 900.0, 850.0, 600.0};
    const std::vector<double> mt{30.0, 26.0, 24.0, 24.0, 20.0, 0.0};
    const std::vector<double> mtd{5.0, 10.0, 22.0, 22.0, std::nan(""), -1.0};
    const Parcel mu = get_most_unstable_parcel(mp, mt, mtd, 300.0);
    CHECK(mu.pressure == 900.0);
    CHECK(mu.temperature == 24.0);
    CHECK(get_most_unstable_parcel(mp, mt, mtd, 60.0).pressure == 950.0);  // search depth
    // Without any defined theta-e the first level is kept.
    const std::vector<double> nan3(3, std::nan(""));
    const std::vector<double> np{1000.0, 950.0, 900.0};
    CHECK(get_most_unstable_parcel(np, mt, nan3, 300.0).pressure == 1000.0);
}

TEST_CASE("cape_cin_core matches a fine brute-force integral") {
    const Sounding s = make_sounding();
    std::vector<double> p{s.psfc}, t{s.tsfc}, td{s.tdsfc};
    p.insert(p.end(), s.p.begin(), s.p.end());
    t.insert(t.end(), s.t.begin(), s.t.end());
    td.insert(td.end(), s.td.begin(), s.td.end());
    // Pressure of a height AGL, linear in height between levels.
    const auto p_at_z = [&](double h) {
        std::vector<double> z{0.0};
        z.insert(z.end(), s.z.begin(), s.z.end());
        for (std::size_t i = 0; i + 1 < z.size(); ++i) {
            if (z[i] <= h && h <= z[i + 1]) return p[i] + (h - z[i]) / (z[i + 1] - z[i]) * (p[i + 1] - p[i]);
        }
        return p.back();
    };
    struct Row {
        const char* type;
        Parcel parcel;
        std::optional<double> top;
    };
    const Parcel sb{s.psfc, s.tsfc, s.tdsfc};
    const Parcel ml = get_mixed_layer_parcel(p, t, td, 100.0);
    for (const Row r : {Row{"sb", sb, std::nullopt}, Row{"ml", ml, std::nullopt}, Row{"sb", sb, 3000.0},
                        Row{"ml", ml, 6000.0}, Row{"sb", sb, 40000.0}}) {
        CAPTURE(std::string_view(r.type));
        CAPTURE(r.top.value_or(-1.0));
        // The equilibrium level: top of the highest positive layer, found finely.
        double el_p = std::nan("");
        const DryLift lcl = dry_lift(r.parcel.pressure, r.parcel.temperature, r.parcel.dewpoint);
        const double theta = potential_temperature(r.parcel.pressure, r.parcel.temperature);
        const double theta_m = moist_adiabat_label(lcl.pressure, lcl.temperature);
        const double w = mixing_ratio_gkg(r.parcel.pressure, r.parcel.dewpoint);
        for (double x = lcl.pressure; x >= p.back(); x -= 0.01) {
            if (parcel_temperature_excess(p, t, td, x, lcl.pressure, theta, w, theta_m) > 0.0) el_p = x;
        }
        const double end = r.top && p_at_z(*r.top) > el_p ? p_at_z(*r.top) : el_p;
        const Brute b = brute_integral(s, r.parcel, end);
        const CapeCin c = core(s, r.type, r.top);
        CHECK(c.cape > 50.0);
        CHECK(c.cape == doctest::Approx(b.cape).epsilon(5e-3));
        CHECK(c.cin == doctest::Approx(b.cin).epsilon(2e-2));
        std::vector<double> z{0.0};
        z.insert(z.end(), s.z.begin(), s.z.end());
        CHECK(c.lcl_height == doctest::Approx(get_height_at_pres(p, z, lcl.pressure)).epsilon(1e-12));
        CHECK(c.lfc_height == doctest::Approx(get_height_at_pres(p, z, b.p_min)).epsilon(1e-2));
    }
    // The most-unstable parcel of this column is the surface parcel.
    const CapeCin mu = core(s, "mu"), sbc = core(s, "sb");
    CHECK(mu.cape == sbc.cape);
    CHECK(mu.cin == sbc.cin);
}

TEST_CASE("cape_cin_core edge cases") {
    const Sounding s = make_sounding();
    const CapeCin base = core(s, "sb");

    SUBCASE("a column in Pa and K gives the hPa/degC result") {
        Sounding si = s;
        si.psfc *= 100.0;
        si.tsfc += 273.15;
        si.tdsfc += 273.15;
        for (std::size_t i = 0; i < si.p.size(); ++i) {
            si.p[i] *= 100.0;
            si.t[i] += 273.15;
            si.td[i] += 273.15;
        }
        for (const char* type : {"sb", "ml", "mu"}) {
            const CapeCin a = core(s, type), b = core(si, type);
            CHECK(b.cape == doctest::Approx(a.cape).epsilon(1e-9));
            CHECK(b.cin == doctest::Approx(a.cin).epsilon(1e-9));
            CHECK(b.lcl_height == doctest::Approx(a.lcl_height).epsilon(1e-9));
            CHECK(b.lfc_height == doctest::Approx(a.lfc_height).epsilon(1e-9));
        }
    }

    SUBCASE("supersaturated and undefined dewpoints count as saturated") {
        Sounding sat = s, super = s, undef = s;
        for (std::size_t i = 3; i < 8; ++i) {
            sat.td[i] = sat.t[i];
            super.td[i] = super.t[i] + 5.0;
            undef.td[i] = std::nan("");
        }
        super.tdsfc = super.tsfc + 3.0;
        sat.tdsfc = sat.tsfc;
        const CapeCin a = core(sat, "ml");
        for (const Sounding* v : {&super, &undef}) {
            Sounding w = *v;
            w.tdsfc = sat.tdsfc;
            const CapeCin b = core(w, "ml");
            CHECK(b.cape == a.cape);
            CHECK(b.cin == a.cin);
        }
        CHECK(core(super, "sb").cape == core(sat, "sb").cape);
    }

    SUBCASE("negatively buoyant everywhere") {
        Sounding st = s;
        for (double& ti : st.t) ti = 30.0;
        for (double& tdi : st.td) tdi = -20.0;
        st.tdsfc = 0.0;
        const CapeCin c = core(st, "sb");
        CHECK(c.cape == 0.0);
        CHECK(c.cin == 0.0);
        CHECK(c.lcl_height > 0.0);
        CHECK(std::isnan(c.lfc_height));
    }

    SUBCASE("positive up to the top of the column") {
        Sounding cut = s;
        const std::size_t n = 30;  // up to 250 hPa, below this sounding's EL
        cut.p.resize(n);
        cut.t.resize(n);
        cut.td.resize(n);
        cut.z.resize(n);
        CHECK(cut.p.back() == 250.0);
        const CapeCin c = core(cut, "sb");
        const Brute b = brute_integral(cut, Parcel{s.psfc, s.tsfc, s.tdsfc}, 250.0);
        CHECK(c.cape == doctest::Approx(b.cape).epsilon(5e-3));
        CHECK(c.cape < base.cape);
    }

    SUBCASE("a top height below the LCL keeps only the dry-layer CIN") {
        const CapeCin c = core(s, "sb", 400.0);
        CHECK(c.cape == 0.0);
        CHECK(c.cin < 0.0);
        // The dry layer runs from the surface to the LCL, one midpoint per model layer.
        std::vector<double> p{s.psfc}, t{s.tsfc}, td{s.tdsfc};
        p.insert(p.end(), s.p.begin(), s.p.end());
        t.insert(t.end(), s.t.begin(), s.t.end());
        td.insert(td.end(), s.td.begin(), s.td.end());
        const DryLift lcl = dry_lift(s.psfc, s.tsfc, s.tdsfc);
        const double theta = potential_temperature(s.psfc, s.tsfc);
        const double w = mixing_ratio_gkg(s.psfc, s.tdsfc);
        double dry = 0.0, prev = s.psfc;
        for (const double pi : p) {
            const double lo = pi > lcl.pressure ? pi : lcl.pressure;
            if (lo >= prev) continue;
            dry += kRdBuoyancy * parcel_temperature_excess(p, t, td, 0.5 * (prev + lo), lcl.pressure, theta, w, 0.0) *
                   std::log(prev / lo);
            prev = lo;
        }
        CHECK(c.cin == doctest::Approx(dry).epsilon(1e-12));
        CHECK(c.lcl_height == base.lcl_height);
    }

    SUBCASE("CAPE grows with the top height up to the EL") {
        double last = 0.0;
        for (const double top : {1500.0, 3000.0, 6000.0, 9000.0, 12000.0, 50000.0}) {
            const CapeCin c = core(s, "sb", top);
            CHECK(c.cape >= last);
            if (top > base.lfc_height) CHECK(c.cin == base.cin);  // the minimum is passed by then
            last = c.cape;
        }
        CHECK(last == base.cape);
    }
}

TEST_CASE("equilibrium level of the lowest parcel") {
    const std::vector<double> p{1000, 900, 800, 700, 600, 500, 400, 300, 200, 100};
    const std::vector<double> t{30, 21, 14, 6, -3, -12, -24, -40, -55, -60};
    const std::vector<double> td{22, 15, 5, -5, -15, -25, -35, -50, -65, -80};
    const auto e = el(p, t, td);
    REQUIRE(e.has_value());
    // Between 200 hPa and 100 hPa, the environment temperature interpolated alike.
    CHECK(e->pressure < 200.0);
    CHECK(e->pressure > 100.0);
    CHECK(e->temperature == doctest::Approx(-55.0 + (200.0 - e->pressure) / 100.0 * -5.0).epsilon(1e-12));

    // Never positive, or positive to the top: no crossing.
    std::vector<double> cold = t;
    cold[0] = 10.0;
    CHECK_FALSE(el(p, cold, std::vector<double>(10, -30.0)).has_value());
    const std::vector<double> p8(p.begin(), p.begin() + 8);
    CHECK_FALSE(el(p8, std::vector<double>(t.begin(), t.begin() + 8), std::vector<double>(td.begin(), td.begin() + 8))
                    .has_value());
}
