#include <doctest/doctest.h>

#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "file/classic.hpp"
#include "parallel.hpp"

using namespace wrf;
namespace fs = std::filesystem;

namespace {

// A small writer of classic files, enough to lay out headers, fixed data
// and interleaved records the way the format prescribes.
enum : std::uint32_t { BYTE = 1, CHAR, SHORT, INT, FLOAT, DOUBLE, UBYTE, USHORT, UINT, INT64, UINT64 };

std::size_t size_of(std::uint32_t type) {
    static const std::size_t sizes[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
    return sizes[type];
}

struct TAttr {
    std::string name;
    std::uint32_t type;
    std::vector<double> values;
    std::string text = {};
};

struct TVar {
    std::string name;
    std::vector<int> dims;
    std::uint32_t type;
    std::vector<double> values;  // every record, record after record
    std::vector<TAttr> attrs = {};
    std::string text = {};  // char data
};

struct TFile {
    int version = 2;
    std::vector<std::pair<std::string, std::uint64_t>> dims;  // 0 = record dimension
    std::vector<TAttr> gatts;
    std::vector<TVar> vars;
    std::uint64_t numrecs = 0;
    bool streaming = false;
};

struct Bytes {
    int version;
    std::vector<std::uint8_t> b;
    void u32(std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(v >> s));
    }
    void u64(std::uint64_t v) {
        u32(static_cast<std::uint32_t>(v >> 32));
        u32(static_cast<std::uint32_t>(v));
    }
    void count(std::uint64_t v) { version == 5 ? u64(v) : u32(static_cast<std::uint32_t>(v)); }
    void pad() {
        while (b.size() % 4) b.push_back(0);
    }
    void name(const std::string& s) {
        count(s.size());
        b.insert(b.end(), s.begin(), s.end());
        pad();
    }
    void value(std::uint32_t type, double x) {
        std::uint64_t bits = 0;
        switch (type) {
            case BYTE: bits = static_cast<std::uint8_t>(static_cast<std::int8_t>(x)); break;
            case UBYTE: bits = static_cast<std::uint8_t>(x); break;
            case SHORT: bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(x)); break;
            case USHORT: bits = static_cast<std::uint16_t>(x); break;
            case INT: bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(x)); break;
            case UINT: bits = static_cast<std::uint32_t>(x); break;
            case FLOAT: bits = std::bit_cast<std::uint32_t>(static_cast<float>(x)); break;
            case DOUBLE: bits = std::bit_cast<std::uint64_t>(x); break;
            case INT64: bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(x)); break;
            case UINT64: bits = static_cast<std::uint64_t>(x); break;
        }
        const std::size_t n = size_of(type);
        for (std::size_t i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(bits >> (8 * (n - 1 - i))));
    }
    void attrs(const std::vector<TAttr>& list) {
        if (list.empty()) {
            u32(0);
            count(0);
            return;
        }
        u32(0x0C);
        count(list.size());
        for (const TAttr& a : list) {
            name(a.name);
            u32(a.type);
            if (a.type == CHAR) {
                count(a.text.size());
                b.insert(b.end(), a.text.begin(), a.text.end());
            } else {
                count(a.values.size());
                for (double x : a.values) value(a.type, x);
            }
            pad();
        }
    }
};

std::vector<std::uint8_t> build(const TFile& f, std::size_t* header_size = nullptr) {
    auto is_rec = [&](const TVar& v) { return !v.dims.empty() && f.dims[v.dims[0]].second == 0; };
    auto elems = [&](const TVar& v) {
        std::uint64_t n = 1;
        for (int d : v.dims)
            if (f.dims[d].second != 0) n *= f.dims[d].second;
        return n;
    };
    std::size_t nrec = 0;
    for (const TVar& v : f.vars) nrec += is_rec(v);
    auto vsize = [&](const TVar& v) {
        const std::uint64_t raw = elems(v) * size_of(v.type);
        return (is_rec(v) && nrec == 1) ? raw : (raw + 3) / 4 * 4;
    };

    auto header = [&](const std::vector<std::uint64_t>& begins) {
        Bytes h{f.version, {}};
        h.b = {'C', 'D', 'F', static_cast<std::uint8_t>(f.version)};
        h.count(f.streaming ? ~std::uint64_t{0} : f.numrecs);
        if (f.dims.empty()) {
            h.u32(0);
            h.count(0);
        } else {
            h.u32(0x0A);
            h.count(f.dims.size());
            for (auto& [n, len] : f.dims) {
                h.name(n);
                h.count(len);
            }
        }
        h.attrs(f.gatts);
        if (f.vars.empty()) {
            h.u32(0);
            h.count(0);
        } else {
            h.u32(0x0B);
            h.count(f.vars.size());
            for (std::size_t i = 0; i < f.vars.size(); ++i) {
                const TVar& v = f.vars[i];
                h.name(v.name);
                h.count(v.dims.size());
                for (int d : v.dims) h.count(static_cast<std::uint64_t>(d));
                h.attrs(v.attrs);
                h.u32(v.type);
                h.count(vsize(v));
                f.version == 1 ? h.u32(static_cast<std::uint32_t>(begins[i])) : h.u64(begins[i]);
            }
        }
        return h.b;
    };

    std::vector<std::uint64_t> begins(f.vars.size(), 0);
    std::uint64_t at = header(begins).size();
    for (std::size_t i = 0; i < f.vars.size(); ++i)
        if (!is_rec(f.vars[i])) begins[i] = at, at += vsize(f.vars[i]);
    std::uint64_t recsize = 0;
    for (std::size_t i = 0; i < f.vars.size(); ++i)
        if (is_rec(f.vars[i])) begins[i] = at + recsize, recsize += vsize(f.vars[i]);

    Bytes out{f.version, header(begins)};
    if (header_size != nullptr) *header_size = out.b.size();
    auto put = [&](const TVar& v, std::uint64_t first, std::uint64_t n) {
        const std::size_t start = out.b.size();
        for (std::uint64_t k = first; k < first + n; ++k) {
            if (v.type == CHAR)
                out.b.push_back(k < v.text.size() ? static_cast<std::uint8_t>(v.text[k]) : 0);
            else
                out.value(v.type, k < v.values.size() ? v.values[k] : 0.0);
        }
        while ((out.b.size() - start) < vsize(v)) out.b.push_back(0);
    };
    for (const TVar& v : f.vars)
        if (!is_rec(v)) put(v, 0, elems(v));
    for (std::uint64_t r = 0; r < f.numrecs; ++r)
        for (const TVar& v : f.vars)
            if (is_rec(v)) put(v, r * elems(v), elems(v));
    return out.b;
}

// Every type, two record variables, a 1-D record variable, a fixed
// dimension named Time, a char variable and a packed variable with a fill.
TFile sample(int version) {
    TFile f;
    f.version = version;
    f.numrecs = 3;
    f.dims = {{"Time", 0}, {"y", 2}, {"x", 3}, {"len", 5}, {"Time2", 2}};
    f.gatts = {{"DX", FLOAT, {3000.5}}, {"TITLE", CHAR, {}, "model"}, {"N", SHORT, {-7, 8}}, {"EMPTY", INT, {}}};
    std::vector<double> ramp;
    for (int i = 0; i < 18; ++i) ramp.push_back(i * 1.5 - 4);
    f.vars = {
        {"F", {1, 2}, FLOAT, {0.1, -2.5, 3e30, 4, 5, 6}},
        {"D", {1, 2}, DOUBLE, {0.1, -2.5, 1e300, 4, 5, 6}},
        {"B", {2}, BYTE, {-128, 0, 127}},
        {"S", {2}, SHORT, {-32768, 1, 32767}},
        {"I", {2}, INT, {-2147483648.0, 7, 2147483647.0}},
        {"FIXT", {4, 2}, INT, {1, 2, 3, 4, 5, 6}},
        {"SCALAR", {}, DOUBLE, {42.25}},
        {"NAME", {3}, CHAR, {}, {}, "hello"},
        {"R3", {0, 1, 2}, FLOAT, ramp},
        {"RS", {0, 2}, SHORT, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"R1", {0}, INT, {10, 20, 30}},
        {"P", {0, 2}, SHORT, {100, -200, -9999, 1, 2, 3, 4, 5, 6},
         {{"scale_factor", FLOAT, {0.5}}, {"add_offset", DOUBLE, {1000}}, {"_FillValue", SHORT, {-9999}}}},
        {"TIMES", {0, 2}, CHAR, {}, {}, std::string("t0\0abcdef", 9)},
    };
    if (version == 5) {
        f.vars.push_back({"UB", {2}, UBYTE, {0, 200, 255}});
        f.vars.push_back({"US", {2}, USHORT, {0, 40000, 65535}});
        f.vars.push_back({"UI", {2}, UINT, {0, 3e9, 4294967295.0}});
        f.vars.push_back({"I64", {2}, INT64, {-9007199254740992.0, -1, 9007199254740992.0}});
        f.vars.push_back({"U64", {2}, UINT64, {0, 1, 18446744073709551616.0 / 2}});
    }
    return f;
}

using File = std::unique_ptr<ClassicNetcdfFile>;

File from_memory(const std::vector<std::uint8_t>& bytes) {
    auto r = ClassicNetcdfFile::open_header_bytes(bytes.data(), bytes.size(), bytes.size());
    REQUIRE_MESSAGE(r.has_value(), r.error().message);
    return std::move(*r);
}

struct TempFile {
    fs::path path;
    explicit TempFile(const std::vector<std::uint8_t>& bytes) {
        path = fs::temp_directory_path() / ("classic_test_" + std::to_string(::getpid()) + ".nc");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    ~TempFile() { fs::remove(path); }
};

std::vector<double> slice(const ClassicNetcdfFile& f, const std::string& name, std::size_t t) {
    auto r = f.read_f64_slice(name, t);
    REQUIRE_MESSAGE(r.has_value(), (name + ": " + r.error().message));
    return *r;
}

float as_float(double x) { return static_cast<float>(x); }

}  // namespace

TEST_CASE("synthetic files of every version read back every type, record and slice") {
    for (int version : {1, 2, 5}) {
        CAPTURE(version);
        // A header longer than the reader's first read of the file.
        TFile file = sample(version);
        file.gatts.push_back({"BIG", CHAR, {}, std::string(70000, 'x')});
        file.gatts.push_back({"AFTER", DOUBLE, {2.5}});
        const auto bytes = build(file);
        TempFile tmp(bytes);
        auto on_disk = ClassicNetcdfFile::open(tmp.path.string());
        REQUIRE(on_disk.has_value());
        std::vector<File> files;
        files.push_back(std::move(*on_disk));
        files.push_back(from_memory(bytes));
        for (const File& f : files) {
            CHECK(*f->dataset_shape("R3") == std::vector<std::size_t>{3, 2, 3});
            CHECK(f->dataset_shape("SCALAR")->empty());
            CHECK(f->dataset_shape("nope").error().kind == ErrorKind::VarNotFound);

            CHECK(slice(*f, "F", 0) == std::vector<double>{as_float(0.1), -2.5, as_float(3e30), 4, 5, 6});
            CHECK(slice(*f, "D", 9) == std::vector<double>{0.1, -2.5, 1e300, 4, 5, 6});
            CHECK(slice(*f, "B", 0) == std::vector<double>{-128, 0, 127});
            CHECK(slice(*f, "S", 0) == std::vector<double>{-32768, 1, 32767});
            CHECK(slice(*f, "I", 0) == std::vector<double>{-2147483648.0, 7, 2147483647.0});
            CHECK(slice(*f, "SCALAR", 5) == std::vector<double>{42.25});
            // Only a first dimension named exactly Time slices a fixed variable.
            CHECK(slice(*f, "FIXT", 1) == std::vector<double>{1, 2, 3, 4, 5, 6});
            // Records interleave; each slice is its own record.
            for (std::size_t t = 0; t < 3; ++t) {
                std::vector<double> want;
                for (int i = 0; i < 6; ++i) want.push_back(as_float((t * 6 + i) * 1.5 - 4));
                CHECK(slice(*f, "R3", t) == want);
                CHECK(slice(*f, "RS", t) == std::vector<double>{3.0 * t + 1, 3.0 * t + 2, 3.0 * t + 3});
                // A 1-D record variable is not sliced: all records at any time.
                CHECK(slice(*f, "R1", t + 7) == std::vector<double>{10, 20, 30});
            }
            // Packed: unpacked, except the fill value, which stays as stored.
            CHECK(slice(*f, "P", 0) == std::vector<double>{1050, 900, -9999});
            CHECK(slice(*f, "P", 2) == std::vector<double>{1002, 1002.5, 1003});
            if (version == 5) {
                CHECK(slice(*f, "UB", 0) == std::vector<double>{0, 200, 255});
                CHECK(slice(*f, "US", 0) == std::vector<double>{0, 40000, 65535});
                CHECK(slice(*f, "UI", 0) == std::vector<double>{0, 3e9, 4294967295.0});
                CHECK(slice(*f, "I64", 0) == std::vector<double>{-9007199254740992.0, -1, 9007199254740992.0});
                CHECK(slice(*f, "U64", 0) == std::vector<double>{0, 1, 9223372036854775808.0});
            }

            CHECK(*f->read_u8("NAME") == std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'});
            CHECK(*f->read_u8("TIMES") == std::vector<std::uint8_t>{'t', '0', 0, 'a', 'b', 'c', 'd', 'e', 'f'});
            CHECK(*f->read_u8("B") == std::vector<std::uint8_t>{0x80, 0, 127});
            CHECK(*f->read_u8("R1") == std::vector<std::uint8_t>{10, 20, 30});
            CHECK(f->read_u8("S").error().kind == ErrorKind::NetCdf);  // -32768 is no byte

            CHECK(*f->global_attr_f64("DX") == 3000.5);
            CHECK(*f->global_attr_f64("N") == -7);
            CHECK(*f->global_attr_f64("AFTER") == 2.5);
            CHECK(f->has_var("R1"));
            CHECK_FALSE(f->has_var("r1"));
        }
    }
}

TEST_CASE("adding a slice into values equals reading it and adding it") {
    // The sample's variables, and a record variable long enough to be added
    // in several pieces on the pool.
    TFile file = sample(5);
    file.dims.push_back({"long", 3 * 16384 + 5});
    std::vector<double> many;
    for (int i = 0; i < 2 * (3 * 16384 + 5); ++i) many.push_back(std::sin(i) * 100.0);
    file.vars.push_back({"LONG", {0, 5}, FLOAT, many});
    file.numrecs = 3;
    const auto bytes = build(file);
    TempFile tmp(bytes);
    auto opened = ClassicNetcdfFile::open(tmp.path.string());
    REQUIRE(opened.has_value());
    const ClassicNetcdfFile& f = **opened;
    for (std::size_t threads : {1u, 2u}) {
        parallel::set_num_threads(threads);
        for (const char* name : {"F", "D", "B", "S", "I", "SCALAR", "FIXT", "R3", "RS", "R1", "P", "U64", "LONG"}) {
            for (std::size_t t : {0u, 1u}) {
                CAPTURE(name);
                CAPTURE(t);
                const std::vector<double> values = slice(f, name, t);
                std::vector<double> into(values.size()), want(values.size());
                for (std::size_t i = 0; i < into.size(); ++i) {
                    into[i] = 0.25 * static_cast<double>(i) - 3.0;
                    want[i] = into[i] + values[i];
                }
                auto n = f.add_f64_slice(name, t, into);
                REQUIRE(n.has_value());
                CHECK(*n == values.size());
                CHECK(into == want);
                // A buffer of another length is left alone.
                std::vector<double> other(values.size() + 1, 7.0);
                CHECK(*f.add_f64_slice(name, t, other) == values.size());
                CHECK(other == std::vector<double>(values.size() + 1, 7.0));
            }
        }
    }
    parallel::set_num_threads(0);
    std::vector<double> into(6);
    CHECK(f.add_f64_slice("nope", 0, into).error().kind == ErrorKind::VarNotFound);
    CHECK(f.add_f64_slice("NAME", 0, into).error().kind == ErrorKind::NetCdf);
    CHECK(f.add_f64_slice("R3", 5, into).error().kind == ErrorKind::NetCdf);
}

TEST_CASE("errors name what is wrong") {
    const auto bytes = build(sample(2));
    auto f = from_memory(bytes);
    struct Case {
        Result<double> got;
        ErrorKind kind;
        std::string message;
    };
    for (auto& [got, kind, message] : std::vector<Case>{
             {f->global_attr_f64("TITLE"), ErrorKind::AttrType, "'TITLE' is not numeric"},
             {f->global_attr_f64("DY"), ErrorKind::AttrNotFound, "DY"},
             {f->global_attr_f64("EMPTY"), ErrorKind::NetCdf, "attribute 'EMPTY' has no values"},
         }) {
        REQUIRE_FALSE(got.has_value());
        CHECK(got.error().kind == kind);
        CHECK(got.error().message == message);
    }
    auto out = f->read_f64_slice("R3", 3);
    REQUIRE_FALSE(out.has_value());
    CHECK(out.error().kind == ErrorKind::NetCdf);
    CHECK(out.error().message == "time_index 3 out of range for variable `R3` shape [3, 2, 3]");
    CHECK(f->read_f64_slice("missing", 0).error().kind == ErrorKind::VarNotFound);
    CHECK(f->read_f64_slice("missing", 0).error().message == "missing");
    CHECK(f->read_f64_slice("NAME", 0).error().kind == ErrorKind::NetCdf);

    TFile scalar_char = sample(1);
    scalar_char.vars.push_back({"C0", {}, CHAR, {}, {}, "z"});
    auto g = from_memory(build(scalar_char));
    CHECK(g->read_u8("C0").error().kind == ErrorKind::DimMismatch);
    CHECK(g->read_u8("C0").error().message == "char variable `C0` has no shape");
}

TEST_CASE("record layout: lone record variable, fixed Time, streaming record count, no records") {
    // One SHORT record variable of 3 values: records are 6 bytes apart, not 8.
    TFile one;
    one.version = 1;
    one.numrecs = 4;
    one.dims = {{"t", 0}, {"x", 3}};
    one.vars = {{"V", {0, 1}, SHORT, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}};
    CHECK(slice(*from_memory(build(one)), "V", 3) == std::vector<double>{10, 11, 12});

    // A fixed first dimension named exactly Time slices like the record one.
    TFile fixed;
    fixed.dims = {{"Time", 2}, {"x", 3}};
    fixed.vars = {{"V", {0, 1}, INT, {1, 2, 3, 4, 5, 6}}};
    auto ft = from_memory(build(fixed));
    CHECK(slice(*ft, "V", 1) == std::vector<double>{4, 5, 6});
    CHECK(ft->read_f64_slice("V", 2).error().message == "time_index 2 out of range for variable `V` shape [2, 3]");

    for (int version : {1, 2, 5}) {
        TFile s = sample(version);
        s.streaming = true;
        auto g = from_memory(build(s));
        CHECK(g->dataset_shape("R3")->at(0) == 3);
        CHECK(slice(*g, "RS", 2) == std::vector<double>{7, 8, 9});
    }

    TFile empty;
    empty.dims = {{"t", 0}};
    empty.vars = {{"R", {0}, DOUBLE, {}}};
    auto e = from_memory(build(empty));
    CHECK(e->dataset_shape("R")->at(0) == 0);
    CHECK(slice(*e, "R", 0).empty());
}

TEST_CASE("damaged headers fail as NetCdf errors") {
    TFile small = sample(5);
    small.vars.resize(4);
    small.numrecs = 1;
    for (int version : {1, 2, 5}) {
        CAPTURE(version);
        small.version = version;
        std::size_t header_size = 0;
        const auto bytes = build(small, &header_size);
        // Truncated at every length that cuts the header or the data (the
        // last two bytes only pad S).
        for (std::size_t n = 0; n + 2 < bytes.size(); ++n) {
            CAPTURE(n);
            auto r = ClassicNetcdfFile::open_header_bytes(bytes.data(), n, n);
            REQUIRE_FALSE(r.has_value());
            CHECK(r.error().kind == ErrorKind::NetCdf);
            if (n < header_size) {
                auto h = ClassicNetcdfFile::open_header_bytes(bytes.data(), n, bytes.size());
                REQUIRE_FALSE(h.has_value());
                CHECK(h.error().kind == ErrorKind::NetCdf);
            }
        }
        // Flipped bytes: opening may succeed, but nothing may crash, and every
        // failure is an error value.
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            for (std::uint8_t flip : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
                auto copy = bytes;
                copy[i] ^= flip;
                auto r = ClassicNetcdfFile::open_header_bytes(copy.data(), copy.size(), copy.size());
                if (!r) {
                    CHECK(r.error().kind == ErrorKind::NetCdf);
                    continue;
                }
                for (const auto& name : classic_variable_names(**r)) {
                    (void)(*r)->read_f64_slice(name, 0);
                    (void)(*r)->read_u8(name);
                }
            }
        }
    }
}

TEST_CASE("huge counts and impossible layouts are refused before allocating") {
    auto header = [](int version, std::vector<std::uint64_t> words) {
        Bytes h{version, {'C', 'D', 'F', static_cast<std::uint8_t>(version)}};
        for (std::uint64_t w : words) h.count(w);
        h.b.resize(1024, 0);
        return h.b;
    };
    const std::uint64_t big = std::uint64_t{1} << 31;
    const std::uint64_t huge = ~std::uint64_t{0} >> 1;
    // numrecs, the dimension tag and count, then a name length.
    for (const auto& [version, words] : std::vector<std::pair<int, std::vector<std::uint64_t>>>{
             {1, {0, 0x0A, 1, big}},         // a dimension name of 2 GiB
             {1, {0, 0x0A, 0xFFFFFFFF, 1}},  // 4 billion dimensions
             {5, {0, 0x0A, 1, huge}},        // a name length near 2^63
             {5, {0, 0x0A, huge, 1}},        // a dimension count near 2^63
             {2, {0, 0, 0, 0x0C, big}},      // 2^31 global attributes
             {1, {0, 0x0D, 1}},              // an unknown list tag
             {1, {0, 0, 5}},                 // ABSENT with a count
         }) {
        CAPTURE(version);
        const auto bytes = header(version, words);
        auto r = ClassicNetcdfFile::open_header_bytes(bytes.data(), bytes.size(), bytes.size());
        REQUIRE_FALSE(r.has_value());
        CHECK(r.error().kind == ErrorKind::NetCdf);
    }

    struct Case {
        const char* what;
        TFile file;
        std::size_t at;
        std::uint8_t byte;
    };
    TFile one{2, {{"x", 1}}, {}, {{"V", {0}, DOUBLE, {1}}}, 0};
    TFile two_unlimited{2, {{"a", 0}, {"b", 0}}, {}, {}, 0};
    TFile rec_second{2, {{"t", 0}, {"x", 2}}, {}, {{"V", {1, 0}, DOUBLE, {}}}, 0};
    TFile bad_dimid{2, {{"x", 2}}, {}, {{"V", {0}, DOUBLE, {1, 2}}}, 0};
    TFile ubyte_in_cdf2{2, {{"x", 2}}, {}, {{"V", {0}, UBYTE, {1, 2}}}, 0};
    // Byte positions in these CDF-2 headers: magic 0, numrecs 4, dimension
    // length 24, the variable's dimension id 56, its begin offset 76.
    constexpr std::size_t kNone = ~std::size_t{0};
    for (const auto& [what, file, at, byte] : std::vector<Case>{
             {"dimension of 2^39 doubles", one, 24, 0x7F},
             {"numrecs past the stored records", sample(2), 4, 0x40},
             {"begin inside the header", one, 83, 0x10},
             {"dimension id out of range", bad_dimid, 59, 9},
             {"version 3", one, 3, 3},
             {"two unlimited dimensions", two_unlimited, kNone, 0},
             {"record dimension not first", rec_second, kNone, 0},
             {"extended type before CDF-5", ubyte_in_cdf2, kNone, 0},
         }) {
        CAPTURE(what);
        auto bytes = build(file);
        if (at != kNone) bytes.at(at) = byte;
        auto r = ClassicNetcdfFile::open_header_bytes(bytes.data(), bytes.size(), bytes.size());
        REQUIRE_FALSE(r.has_value());
        CHECK(r.error().kind == ErrorKind::NetCdf);
    }
}

TEST_CASE("files on disk: missing, or cut inside a long header") {
    auto r = ClassicNetcdfFile::open("/nonexistent/x.nc");
    REQUIRE_FALSE(r.has_value());
    CHECK(r.error().kind == ErrorKind::NetCdf);
    CHECK(r.error().message.find("/nonexistent/x.nc") != std::string::npos);

    TFile file = sample(2);
    file.gatts.push_back({"BIG", CHAR, {}, std::string(70000, 'x')});
    auto bytes = build(file);
    bytes.resize(69000);
    TempFile tmp(bytes);
    auto cut = ClassicNetcdfFile::open(tmp.path.string());
    REQUIRE_FALSE(cut.has_value());
    CHECK(cut.error().kind == ErrorKind::NetCdf);
}

TEST_CASE("shared real files") {
    const fs::path dir = fs::path(WRF_SHARED_DATA) / "wrf";
    if (!fs::exists(dir / "salem_wrf_d01_allvars_cropped_cdf1.nc")) return;
    auto open = [&](const char* name) {
        auto r = ClassicNetcdfFile::open((dir / name).string());
        REQUIRE_MESSAGE(r.has_value(), r.error().message);
        return std::move(*r);
    };
    auto cdf1 = open("salem_wrf_d01_allvars_cropped_cdf1.nc");
    auto cdf5 = open("salem_wrf_d01_allvars_cropped_cdf5.nc");
    auto cdf2 = open("wrfpython_ci_test_file_cdf2.nc");
    auto metgrid = open("xwrfdata_met_em.d01.2005-08-28_12-00-00.nc");

    CHECK(*cdf1->dataset_shape("T") == std::vector<std::size_t>{4, 27, 8, 10});
    CHECK(*cdf2->dataset_shape("T") == std::vector<std::size_t>{4, 14, 48, 48});
    CHECK(*metgrid->dataset_shape("TT") == std::vector<std::size_t>{1, 30, 42, 42});
    CHECK(*cdf1->dataset_shape("COSALPHA") == std::vector<std::size_t>{8, 10});
    CHECK(*cdf1->global_attr_f64("DX") == 30000.0);
    CHECK(*cdf2->global_attr_f64("DX") == 10000.0);

    struct Probe {
        const ClassicNetcdfFile* file;
        const char* var;
        std::size_t t;
        std::size_t index;
        float value;
    };
    for (const auto& p : std::vector<Probe>{{cdf1.get(), "T", 0, 0, 17.68896f},
                                            {cdf1.get(), "T", 3, 27 * 8 * 10 - 1, 179.99219f},
                                            {cdf2.get(), "T", 0, 0, 1.2799278f},
                                            {cdf2.get(), "T", 3, 14 * 48 * 48 - 1, 42.477474f},
                                            {metgrid.get(), "TT", 0, 0, 282.83868f},
                                            {metgrid.get(), "TT", 0, 30 * 42 * 42 - 1, 210.35382f}}) {
        CAPTURE(p.var);
        CHECK(slice(*p.file, p.var, p.t).at(p.index) == p.value);
    }
    const auto times = *cdf2->read_u8("Times");
    CHECK(std::string(times.begin(), times.begin() + 19) == "2005-08-28_12:00:00");
    CHECK(times.size() == 4 * 19);

    // The CDF-1 and CDF-5 copies hold the same data in different layouts.
    const auto names = classic_variable_names(*cdf1);
    CHECK(names.size() == 147);
    CHECK(names == classic_variable_names(*cdf5));
    for (const auto& name : names) {
        CAPTURE(name);
        if (name == "Times") {
            CHECK(*cdf1->read_u8(name) == *cdf5->read_u8(name));
            continue;
        }
        const auto shape = *cdf1->dataset_shape(name);
        CHECK(shape == *cdf5->dataset_shape(name));
        for (std::size_t t = 0; t < 4; ++t) CHECK(slice(*cdf1, name, t) == slice(*cdf5, name, t));
    }
}
