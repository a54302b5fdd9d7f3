// The HDF5 reader on the shared real files: values against the classic
// copies of the same files, time slicing, unpacking, messages, concurrent
// use, and corrupted images.
#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "file/classic.hpp"
#include "file/hdf5/hdf5_file.hpp"
#include "file/hdf5/hdf5_internal.hpp"

using namespace wrf;
namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(WRF_SHARED_DATA) / "wrf";

bool have(const char* name) { return fs::exists(kData / name); }

std::unique_ptr<Hdf5File> open_h5(const char* name) {
    auto f = Hdf5File::open((kData / name).string());
    REQUIRE_MESSAGE(f.has_value(), (f ? "" : f.error().message));
    return std::move(*f);
}

std::vector<std::uint8_t> slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Every variable at every time: values equal, NaN equal to NaN.
void expect_same_values(const Hdf5File& h5, const ClassicNetcdfFile& nc, const std::string& name) {
    auto shape = nc.dataset_shape(name);
    REQUIRE(shape);
    auto h5shape = h5.dataset_shape(name);
    REQUIRE_MESSAGE(h5shape, name);
    CHECK_MESSAGE(*h5shape == *shape, name);
    const std::size_t nt = shape->size() >= 2 ? std::max<std::size_t>((*shape)[0], 1) : 1;
    for (std::size_t t = 0; t < nt; ++t) {
        auto a = h5.read_f64_slice(name, t);
        auto b = nc.read_f64_slice(name, t);
        REQUIRE_MESSAGE(a, name << ": " << (a ? "" : a.error().message));
        REQUIRE_MESSAGE(b, name << ": " << (b ? "" : b.error().message));
        REQUIRE_MESSAGE(a->size() == b->size(), name << " t=" << t);
        for (std::size_t i = 0; i < a->size(); ++i) {
            const double x = (*a)[i], y = (*b)[i];
            if (!(x == y || (std::isnan(x) && std::isnan(y)))) {
                FAIL_CHECK(name << " t=" << t << " i=" << i << ": " << x << " != " << y);
                break;
            }
        }
    }
}

}  // namespace

TEST_CASE("netCDF-4 files read the same values as their classic copies") {
    struct Pair {
        const char* hdf5;
        const char* classic;
    };
    for (Pair p : {Pair{"wrfpython_ci_test_file.nc", "wrfpython_ci_test_file_cdf2.nc"},
                   Pair{"salem_wrf_d01_allvars_cropped.nc", "salem_wrf_d01_allvars_cropped_cdf1.nc"},
                   Pair{"salem_wrf_d01_allvars_cropped.nc", "salem_wrf_d01_allvars_cropped_cdf5.nc"}}) {
        if (!have(p.hdf5) || !have(p.classic)) continue;
        CAPTURE(p.hdf5);
        auto h5 = open_h5(p.hdf5);
        auto nc = ClassicNetcdfFile::open((kData / p.classic).string());
        REQUIRE(nc);
        const auto names = classic_variable_names(**nc);
        REQUIRE(names.size() > 20);
        for (const std::string& name : names) {
            CHECK(h5->has_var(name));
            if (name == "Times") {
                CHECK(*h5->read_u8(name) == *(*nc)->read_u8(name));  // characters, not numbers
            } else {
                expect_same_values(*h5, **nc, name);
            }
        }
        for (const char* attr : {"DX", "DY", "CEN_LAT", "MAP_PROJ", "TRUELAT1"}) {
            auto a = h5->global_attr_f64(attr);
            auto b = (*nc)->global_attr_f64(attr);
            REQUIRE(a);
            REQUIRE(b);
            CHECK(*a == *b);
        }
    }
}

TEST_CASE("packed variables unpack to the values of the unpacked file") {
    struct Pair {
        const char* packed;
        const char* plain;
    };
    for (Pair p : {Pair{"salem_wrf_d01_allvars_cropped_compressed.nc", "salem_wrf_d01_allvars_cropped.nc"},
                   Pair{"salem_wrf_cropped_compressed.nc", "salem_wrf_cropped.nc"}}) {
        if (!have(p.packed) || !have(p.plain)) continue;
        CAPTURE(p.packed);
        auto packed = open_h5(p.packed);
        auto plain = open_h5(p.plain);
        std::size_t compared = 0;
        for (const std::string& name : hdf5_dataset_names(*plain)) {
            auto shape = plain->dataset_shape(name);
            if (!shape || shape->size() < 2 || name == "Times") continue;
            auto a = packed->read_f64_slice(name, 1);
            auto b = plain->read_f64_slice(name, 1);
            if (!b || b->empty()) continue;
            REQUIRE_MESSAGE(a, name);
            REQUIRE(a->size() == b->size());
            // The sample's own int16 packing loses up to ~0.15% on a few
            // static fields; a wrong sign or a missing offset is far outside.
            double lo = HUGE_VAL, hi = -HUGE_VAL;
            for (std::size_t t = 0; t < (*shape)[0]; ++t) {
                const auto values = plain->read_f64_slice(name, t);
                REQUIRE(values);
                for (double v : *values) lo = std::min(lo, v), hi = std::max(hi, v);
            }
            const double tol = 2e-3 * std::max({std::abs(hi), std::abs(lo), hi - lo}) + 1e-12;
            for (std::size_t i = 0; i < a->size(); ++i) {
                if (std::abs((*a)[i] - (*b)[i]) > tol) {
                    FAIL_CHECK(name << " i=" << i << ": " << (*a)[i] << " vs " << (*b)[i]);
                    break;
                }
            }
            ++compared;
        }
        CHECK(compared > 5);
    }
}

TEST_CASE("one time index selects along the time dimension only") {
    if (!have("salem_wrf_d01_allvars_cropped.nc") || !have("salem_wrf_cropped.nc")) return;
    auto f = open_h5("salem_wrf_d01_allvars_cropped.nc");
    // Static fields stored without Time are returned whole at any index.
    CHECK(*f->dataset_shape("XLAT") == std::vector<std::size_t>{8, 10});
    auto x0 = f->read_f64_slice("XLAT", 0);
    auto x3 = f->read_f64_slice("XLAT", 3);
    REQUIRE(x0);
    REQUIRE(x3);
    CHECK(x0->size() == 80);
    CHECK(*x0 == *x3);
    CHECK(*f->read_f64_slice("XLAT", 1000) == *x0);

    auto t3 = f->read_f64_slice("T", 3);
    REQUIRE(t3);
    CHECK(t3->size() == 27 * 8 * 10);
    CHECK(*t3 != *f->read_f64_slice("T", 0));

    // Times is sliced too: one string per index.
    auto times = f->read_f64_slice("Times", 2);
    REQUIRE(times);
    std::string s(times->begin(), times->end());
    CHECK(s == "2005-09-21_06:00:00");

    // An unlimited Time dimension (its scale has extent 0) slices the same way.
    auto g = open_h5("salem_wrf_cropped.nc");
    CHECK(*g->dataset_shape("T") == std::vector<std::size_t>{4, 12, 26, 26});
    CHECK(g->read_f64_slice("T", 3)->size() == 12 * 26 * 26);
}

TEST_CASE("reader operations report the reader's errors") {
    if (!have("salem_wrf_d01_allvars_cropped.nc")) return;
    auto f = open_h5("salem_wrf_d01_allvars_cropped.nc");
    struct Case {
        Result<double> got;
        ErrorKind kind;
        const char* message;
    };
    auto as_double = [](auto r) -> Result<double> {
        if (!r) return std::unexpected(r.error());
        return 0.0;
    };
    for (Case c : {Case{as_double(f->read_f64_slice("T", 4)), ErrorKind::NetCdf, "time_index 4 out of range for shape [4, 27, 8, 10]"},
                   Case{as_double(f->read_f64_slice("NOPE", 0)), ErrorKind::VarNotFound, "NOPE"},
                   Case{as_double(f->dataset_shape("nope")), ErrorKind::VarNotFound, "nope"},
                   Case{as_double(f->read_u8("NOPE")), ErrorKind::VarNotFound, "NOPE"},
                   Case{f->global_attr_f64("NOPE"), ErrorKind::AttrNotFound, "NOPE"},
                   Case{f->global_attr_f64("TITLE"), ErrorKind::AttrType, "'TITLE' is not numeric"}}) {
        REQUIRE_FALSE(c.got);
        CHECK(c.got.error().kind == c.kind);
        CHECK(c.got.error().message == c.message);
    }
    CHECK(*f->global_attr_f64("DX") == 30000.0);
    CHECK(f->has_var("T"));
    CHECK_FALSE(f->has_var("t"));

    auto bytes = f->read_u8("Times");
    REQUIRE(bytes);
    CHECK(bytes->size() == 4 * 19);
    CHECK(std::string(bytes->begin(), bytes->begin() + 19) == "2005-09-21_00:00:00");

    if (have("salem_wrf_d01_allvars_cropped_cdf1.nc")) {
        auto classic = Hdf5File::open((kData / "salem_wrf_d01_allvars_cropped_cdf1.nc").string());
        REQUIRE_FALSE(classic);
        CHECK(classic.error().kind == ErrorKind::NetCdf);
        CHECK(classic.error().message == "Not an HDF5 file");
    }
    auto missing = Hdf5File::open((kData / "no_such_file.nc").string());
    REQUIRE_FALSE(missing);
    CHECK(missing.error().kind == ErrorKind::NetCdf);
}

TEST_CASE("files that WrfFile refuses still open in the reader") {
    // T without Time, and scalar placeholders without storage.
    if (!have("xwrf_wrfout_d03_2018-10-18_00-00-00_only_1time.nc")) return;
    auto f = open_h5("xwrf_wrfout_d03_2018-10-18_00-00-00_only_1time.nc");
    CHECK(*f->dataset_shape("T") == std::vector<std::size_t>{41, 185, 200});
    auto t = f->read_f64_slice("T", 0);
    REQUIRE(t);
    CHECK(t->size() == 41 * 185 * 200);  // bottom_top is not a time dimension
    auto times = f->read_f64_slice("Times", 0);
    REQUIRE(times);
    CHECK(times->size() == 1);

    if (!have("xwrf_wrfout_d03_2018-10-18_00-00-00_only_attrs.nc")) return;
    auto g = open_h5("xwrf_wrfout_d03_2018-10-18_00-00-00_only_attrs.nc");
    CHECK(g->dataset_shape("T")->empty());
    CHECK(g->read_f64_slice("T", 0)->size() == 1);
    // A dimension without a variable has no storage at all.
    CHECK(*g->dataset_shape("DateStrLen") == std::vector<std::size_t>{19});
    CHECK(g->read_f64_slice("DateStrLen", 0)->empty());
}

TEST_CASE("concurrent readers of one file get the sequential values") {
    if (!have("wrfpython_ci_test_file.nc")) return;
    auto f = open_h5("wrfpython_ci_test_file.nc");
    const std::vector<std::string> names = {"T", "P", "PH", "U", "V", "QVAPOR", "XLAT", "T2"};
    std::vector<std::vector<double>> expected;
    for (const auto& n : names) expected.push_back(*f->read_f64_slice(n, 2));
    auto fresh = open_h5("wrfpython_ci_test_file.nc");
    std::vector<int> ok(8, 0);
    std::vector<std::thread> threads;
    for (int w = 0; w < 8; ++w) {
        threads.emplace_back([&, w] {
            bool good = true;
            for (std::size_t k = 0; k < names.size(); ++k) {
                const std::size_t i = (k + static_cast<std::size_t>(w)) % names.size();
                auto v = fresh->read_f64_slice(names[i], 2);
                good = good && v && *v == expected[i];
            }
            ok[static_cast<std::size_t>(w)] = good;
        });
    }
    for (auto& t : threads) t.join();
    CHECK(std::count(ok.begin(), ok.end(), 1) == 8);
}

TEST_CASE("corrupted images fail with NetCdf errors, never worse") {
    for (const char* name : {"salem_wrf_cropped.nc", "wrfpython_ci_test_file.nc"}) {
        if (!have(name)) continue;
        CAPTURE(name);
        const auto image = slurp(kData / name);
        auto exercise = [](std::vector<std::uint8_t> bytes) {
            auto f = Hdf5File::Impl::open_memory(std::move(bytes));
            if (!f) {
                CHECK(f.error().kind == ErrorKind::NetCdf);
                return;
            }
            for (const std::string& n : hdf5_dataset_names(**f)) {
                auto v = (*f)->read_f64_slice(n, 1);
                if (!v) CHECK(v.error().kind == ErrorKind::NetCdf);
            }
        };
        for (std::size_t len : {std::size_t{0}, std::size_t{8}, std::size_t{9}, std::size_t{48}, std::size_t{700},
                                std::size_t{4096}, image.size() / 3, image.size() - 1}) {
            exercise(std::vector<std::uint8_t>(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(len)));
        }
        // Damage the fields that follow each structure's signature.
        for (const char* sig : {"OHDR", "OCHK", "TREE", "SNOD", "HEAP", "FRHP", "FHIB", "FHDB", "BTHD", "BTIN", "BTLF", "GCOL"}) {
            std::size_t seen = 0;
            for (std::size_t at = 0; at + 64 < image.size() && seen < 4; ++at) {
                if (std::memcmp(image.data() + at, sig, 4) != 0) continue;
                ++seen;
                for (std::size_t off : {4, 5, 6, 8, 16, 24}) {
                    auto bytes = image;
                    bytes[at + off] ^= 0xFF;
                    exercise(std::move(bytes));
                }
            }
        }
    }
}

TEST_CASE("a continuation block that continues into itself ends the walk with an error") {
    if (!have("salem_wrf_cropped.nc")) return;
    auto image = slurp(kData / "salem_wrf_cropped.nc");
    // Every first continuation block of every object header now names itself.
    std::size_t patched = 0;
    for (std::size_t a = 0; a + 64 < image.size(); ++a) {
        if (std::memcmp(image.data() + a, "OHDR", 4) != 0) continue;
        const std::uint8_t flags = image[a + 5];
        const std::size_t q = a + 6 + ((flags & 0x20) ? 16 : 0) + ((flags & 0x10) ? 4 : 0);
        const std::size_t width = std::size_t{1} << (flags & 3);
        const std::size_t header = (flags & 0x04) ? 6 : 4;
        const std::size_t end = q + width + h5::le(image.data() + q, width);
        for (std::size_t p = q + width; p + header + 16 <= end && p + header + 16 <= image.size();) {
            const std::uint8_t type = image[p];
            const std::size_t size = h5::le(image.data() + p + 1, 2);
            if (type == 0 && size == 0) break;
            if (type == 16) {
                const std::uint64_t off = h5::le(image.data() + p + header, 8);
                if (off + 4 + header + 16 < image.size() && std::memcmp(image.data() + off, "OCHK", 4) == 0) {
                    std::uint8_t* m = image.data() + off + 4;
                    m[0] = 16;
                    m[1] = 16;
                    m[2] = 0;
                    std::memcpy(m + header, image.data() + p + header, 16);
                    ++patched;
                }
                break;
            }
            p += header + size;
        }
    }
    REQUIRE(patched > 0);
    auto f = Hdf5File::Impl::open_memory(image);
    REQUIRE(f);
    std::size_t loops = 0;
    for (const std::string& name : hdf5_dataset_names(**f)) {
        auto v = (*f)->read_f64_slice(name, 0);
        if (!v && v.error().message.starts_with("Object header continuation loop at 0x")) ++loops;
    }
    CHECK(loops > 0);
}
