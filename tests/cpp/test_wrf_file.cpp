#include <doctest/doctest.h>

#include <filesystem>
#include <string>

#include "file/wrf_file.hpp"

using namespace wrf;

namespace {
std::string shared_file(const char* name) {
    const std::string path = std::string(WRF_SHARED_DATA) + "/wrf/" + name;
    return std::filesystem::exists(path) ? path : std::string();
}
}  // namespace

TEST_CASE("the field cache belongs to one time and keeps the first stored array") {
    const std::string path = shared_file("wrfpython_ci_test_file_cdf2.nc");
    if (path.empty()) {
        MESSAGE("shared data absent; skipped");
        return;
    }
    auto opened = WrfFile::open(path);
    REQUIRE(opened.has_value());
    WrfFile& f = **opened;
    REQUIRE(f.nt() >= 2);

    f.prepare_cache_for_time(0);
    auto first = f.store_cached_field("x_0", {1.0, 2.0});
    auto again = f.store_cached_field("x_0", {9.0});
    CHECK(again == first);  // the earlier array wins, the new values are dropped
    CHECK(*f.cached_field("x_0") == std::vector<double>{1.0, 2.0});
    f.replace_cached_field("x_0", {3.0});
    CHECK(*f.cached_field("x_0") == std::vector<double>{3.0});

    auto theta0 = f.full_theta(0);
    REQUIRE(theta0.has_value());
    CHECK(f.cached_field("theta_0") == *theta0);  // shared, not copied

    f.prepare_cache_for_time(1);
    CHECK(f.cached_field("x_0") == nullptr);
    CHECK(f.cached_field("theta_0") == nullptr);
    CHECK((*theta0)->size() == f.nz() * f.ny() * f.nx());  // holders keep their arrays
    f.store_cached_field("y_1", {1.0});
    f.prepare_cache_for_time(1);  // same time: entries stay
    CHECK(f.cached_field("y_1") != nullptr);
}

TEST_CASE("sizes, staggered sizes and spacing of a real file") {
    const std::string path = shared_file("wrfpython_ci_test_file_cdf2.nc");
    if (path.empty()) return;
    auto f = WrfFile::open(path);
    REQUIRE(f.has_value());
    CHECK((*f)->nx_stag() == (*f)->nx() + 1);
    CHECK((*f)->ny_stag() == (*f)->ny() + 1);
    CHECK((*f)->nz_stag() == (*f)->nz() + 1);
    CHECK((*f)->dx() > 0.0);
    auto times = (*f)->times();
    REQUIRE(times.has_value());
    CHECK(times->size() == (*f)->nt());
}
