#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "grid.hpp"
#include "parallel.hpp"

using namespace wrf;

TEST_CASE("destaggering averages neighbours along the staggered axis") {
    // 2 levels, 2 rows, 3 staggered columns.
    const std::vector<double> u{1, 3, 7, 0, 2, 4, 10, 20, 30, -1, 1, 5};
    auto x = grid::destagger_x(u, 2, 2, 3);
    REQUIRE(x);
    CHECK(*x == std::vector<double>{2, 5, 1, 3, 15, 25, 0, 3});

    // 1 level, 3 staggered rows, 2 columns.
    const std::vector<double> v{1, 2, 3, 4, 5, 8};
    auto y = grid::destagger_y(v, 1, 3, 2);
    REQUIRE(y);
    CHECK(*y == std::vector<double>{2, 3, 4, 6});

    // 3 staggered levels of a 1x2 plane.
    const std::vector<double> w{0, 2, 4, 6, 8, 10};
    auto z = grid::destagger_z(w, 3, 1, 2);
    REQUIRE(z);
    CHECK(*z == std::vector<double>{2, 4, 6, 8});
}

TEST_CASE("vertical destaggering of a large field on the pool matches the formula") {
    // Enough columns that workers share the levels; each level must be read
    // before the one below it is overwritten.
    const std::size_t nzs = 6, ny = 40, nx = 250, plane = ny * nx;
    std::vector<double> w(nzs * plane);
    for (std::size_t p = 0; p < w.size(); ++p) w[p] = static_cast<double>((p * 7919) % 1000) - 500.0;
    for (std::size_t threads : {1u, 2u}) {
        parallel::set_num_threads(threads);
        auto z = grid::destagger_z(w, nzs, ny, nx);
        REQUIRE(z);
        REQUIRE(z->size() == (nzs - 1) * plane);
        std::size_t wrong = 0;
        for (std::size_t p = 0; p < z->size(); ++p) wrong += (*z)[p] != (w[p] + w[p + plane]) * 0.5;
        CHECK(wrong == 0);
    }
    parallel::set_num_threads(0);
}

TEST_CASE("destaggering refuses short input and a zero staggered size") {
    const std::vector<double> few{1, 2, 3};
    for (auto r : {grid::destagger_x(few, 1, 2, 2), grid::destagger_y(few, 1, 2, 2), grid::destagger_z(few, 2, 1, 2),
                   grid::destagger_x(few, 1, 1, 0), grid::destagger_y(few, 1, 0, 1), grid::destagger_z(few, 0, 1, 1)}) {
        REQUIRE_FALSE(r);
        CHECK(r.error().kind == ErrorKind::DimMismatch);
    }
}

namespace {

std::vector<bool> lakes(const std::vector<double>& lu, std::size_t ny, std::size_t nx, std::uint64_t n) {
    return grid::lake_cells(lu, ny, nx, n);
}

}  // namespace

TEST_CASE("lake cells: water categories, 8-neighbour bodies, strictly fewer than N") {
    // 4x5: a diagonal pair of water cells (21 and 16.9 -> 16) touching at a
    // corner, and a 3-cell sea (17) on the right edge.
    const std::vector<double> lu{
        1, 21,   1, 1, 17,  //
        1, 1,    16.9, 1, 17,  //
        1, 1,    1, 1, 17,  //
        2, NAN, 1, 1, 1,  //
    };
    const std::vector<bool> none(20, false);
    CHECK(lakes(lu, 4, 5, 0) == none);
    CHECK(lakes(lu, 4, 5, 2) == none);  // both bodies have >= 2 cells
    auto three = lakes(lu, 4, 5, 3);  // the pair (2 < 3) but not the sea (3)
    CHECK(three[1]);
    CHECK(three[7]);
    CHECK_FALSE(three[4]);
    CHECK(std::count(three.begin(), three.end(), true) == 2);
    auto four = lakes(lu, 4, 5, 4);
    CHECK(std::count(four.begin(), four.end(), true) == 5);

    // A category that is not water never counts, whatever its neighbours.
    const std::vector<double> land{15, 18, 20.99, -16, 22, 1e300};
    CHECK(lakes(land, 2, 3, 100) == std::vector<bool>(6, false));
}

TEST_CASE("lake size in cells truncates toward zero") {
    struct Case {
        double area, dx, dy;
        std::uint64_t cells;
    };
    for (const Case& c : {Case{50, 3000, 3000, 5}, Case{9, 3000, 3000, 1}, Case{8.99, 3000, 3000, 0},
                          Case{-5, 3000, 3000, 0}, Case{NAN, 3000, 3000, 0}, Case{1, 0, 3000, 1ULL << 63},
                          Case{1, -1000, 1000, 0}}) {
        CHECK(grid::lake_size_cells(c.area, c.dx, c.dy) == c.cells);
    }
}

TEST_CASE("masked interpolation: inverse-distance weights on the nearest ring") {
    // A single masked cell surrounded by values: edge neighbours weigh 1,
    // corner neighbours 1/sqrt(2).
    std::vector<double> v{1, 2, 3, 4, 100, 6, 7, 8, 9};
    std::vector<bool> m(9, false);
    m[4] = true;
    auto out = grid::interpolate_masked_2d(v, m, 3, 3);
    const double c = 1.0 / std::sqrt(2.0);
    const double expect = (c * 1 + 2 + c * 3 + 4 + 6 + c * 7 + 8 + c * 9) / (4 + 4 * c);
    CHECK(out[4] == doctest::Approx(expect).epsilon(1e-15));
    for (std::size_t i = 0; i < 9; ++i) {
        if (i != 4) CHECK(out[i] == v[i]);
    }

    // 1x5 row masked in the middle three cells: the centre is two cells from
    // either end, the others take their immediate neighbour only.
    std::vector<double> row{10, 0, 0, 0, 50};
    std::vector<bool> rm{false, true, true, true, false};
    auto r = grid::interpolate_masked_2d(row, rm, 1, 5);
    CHECK(r == std::vector<double>{10, 10, 30, 50, 50});

    // Nothing masked, or everything masked: values unchanged.
    CHECK(grid::interpolate_masked_2d(row, std::vector<bool>(5, false), 1, 5) == row);
    CHECK(grid::interpolate_masked_2d(row, std::vector<bool>(5, true), 1, 5) == row);
}

TEST_CASE("masked interpolation ring excludes cells off the grid and masked cells") {
    // 2x3 grid, masked corner (0,0) and (0,1): (0,0) is at distance 2 from
    // (0,2) and (1,2)... but (1,0) and (1,1) are unmasked at distance 1.
    std::vector<double> v{0, 0, 30, 10, 20, 40};
    std::vector<bool> m{true, true, false, false, false, false};
    auto out = grid::interpolate_masked_2d(v, m, 2, 3);
    const double c = 1.0 / std::sqrt(2.0);
    CHECK(out[0] == doctest::Approx((10 + c * 20) / (1 + c)).epsilon(1e-15));
    CHECK(out[1] == doctest::Approx((30 + c * 10 + 20 + c * 40) / (2 + 2 * c)).epsilon(1e-15));
}

TEST_CASE("accessors share one array per key and time, also under concurrent first use") {
    const std::string path = std::string(WRF_SHARED_DATA) + "/wrf/wrfpython_ci_test_file_cdf2.nc";
    if (!std::filesystem::exists(path)) {
        MESSAGE("shared data absent, skipped");
        return;
    }
    auto opened = WrfFile::open(path);
    REQUIRE(opened);
    WrfFile& file = **opened;

    // Each thread asks for the same fields of time 1; all must see equal
    // values, and the cache must then hand out one of the computed arrays.
    constexpr int kThreads = 6;
    std::vector<SharedField> temps(kThreads), us(kThreads);
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n) {
        threads.emplace_back([&, n] {
            auto tk = file.temperature(1);
            auto u = file.u_destag(1);
            if (tk) temps[n] = *tk;
            if (u) us[n] = *u;
        });
    }
    for (auto& th : threads) th.join();
    for (int n = 0; n < kThreads; ++n) {
        REQUIRE(temps[n]);
        REQUIRE(us[n]);
        CHECK(*temps[n] == *temps[0]);
        CHECK(*us[n] == *us[0]);
    }
    SharedField again = *file.temperature(1);
    CHECK(std::find(temps.begin(), temps.end(), again) != temps.end());
    CHECK(again->size() == file.nz() * file.ny() * file.nx());

    // Another time is another key with other values.
    SharedField t0 = *file.temperature(0);
    CHECK(t0 != again);
    CHECK(*t0 != *again);
}

TEST_CASE("result copies of derived fields equal the cached fields, whatever was derived before") {
    const std::string path = std::string(WRF_SHARED_DATA) + "/wrf/wrfpython_ci_test_file_cdf2.nc";
    if (!std::filesystem::exists(path)) {
        MESSAGE("shared data absent, skipped");
        return;
    }
    using Copy = Result<std::vector<double>> (*)(WrfFile&, std::size_t);
    using Accessor = Result<SharedField> (WrfFile::*)(std::size_t);
    struct Case {
        const char* name;
        Copy copy;
        Accessor field, source;  // source: what the field is derived from
    };
    const Case cases[] = {
        {"pressure_hpa", grid::pressure_hpa_copy, &WrfFile::pressure_hpa, &WrfFile::full_pressure},
        {"temp_c", grid::temperature_c_copy, &WrfFile::temperature_c, &WrfFile::temperature},
        {"height_msl", grid::height_msl_copy, &WrfFile::height_msl, &WrfFile::full_geopotential},
        {"height_agl", grid::height_agl_copy, &WrfFile::height_agl, &WrfFile::height_msl},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        // Nothing derived yet; the source derived; the field itself derived.
        auto fresh = WrfFile::open(path);
        auto with_source = WrfFile::open(path);
        auto with_field = WrfFile::open(path);
        REQUIRE((fresh && with_source && with_field));
        REQUIRE(((**with_source).*c.source)(1));
        auto field = ((**with_field).*c.field)(1);
        REQUIRE(field);
        for (WrfFile* f : {fresh->get(), with_source->get(), with_field->get()}) {
            auto copy = c.copy(*f, 1);
            REQUIRE(copy);
            CHECK(*copy == **field);
        }
    }
}
