// Classic netCDF reader. The header is untrusted: every count, size and
// offset is checked against the bytes that are really there before it is
// used, so a damaged file gives an error and never a large allocation.
#include "file/classic.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/buffer.hpp"
#include "engine/text.hpp"
#include "parallel.hpp"

namespace wrf {

namespace {

enum NcType : std::uint32_t {
    kByte = 1,
    kChar = 2,
    kShort = 3,
    kInt = 4,
    kFloat = 5,
    kDouble = 6,
    kUByte = 7,
    kUShort = 8,
    kUInt = 9,
    kInt64 = 10,
    kUInt64 = 11,
};

constexpr std::uint32_t kTagDimension = 0x0A;
constexpr std::uint32_t kTagVariable = 0x0B;
constexpr std::uint32_t kTagAttribute = 0x0C;

std::uint64_t type_size(std::uint32_t type) {
    switch (type) {
        case kByte:
        case kChar:
        case kUByte: return 1;
        case kShort:
        case kUShort: return 2;
        case kInt:
        case kFloat:
        case kUInt: return 4;
        case kDouble:
        case kInt64:
        case kUInt64: return 8;
        default: return 0;
    }
}

bool valid_type(std::uint32_t type, int version) {
    if (type >= kByte && type <= kDouble) return true;
    return version == 5 && type >= kUByte && type <= kUInt64;
}

std::uint64_t pad4(std::uint64_t n) { return (n + 3) & ~std::uint64_t{3}; }

bool mul_ok(std::uint64_t a, std::uint64_t b, std::uint64_t& out) { return !__builtin_mul_overflow(a, b, &out); }
bool add_ok(std::uint64_t a, std::uint64_t b, std::uint64_t& out) { return !__builtin_add_overflow(a, b, &out); }

// One stored value, big-endian, as a double.
template <class T>
inline double load_be(const std::uint8_t* p) {
    if constexpr (sizeof(T) == 1) {
        return static_cast<double>(static_cast<T>(*p));
    } else {
        using U = std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                     std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>;
        U u;
        std::memcpy(&u, p, sizeof u);
        if constexpr (std::endian::native == std::endian::little) u = std::byteswap(u);
        return static_cast<double>(std::bit_cast<T>(u));
    }
}

// Converts n stored values at raw into out. raw may lie inside the tail of
// out's own storage (see read_values), so values pass through a small local
// block first; a block's outputs never reach raw bytes not yet copied.
template <class T>
[[gnu::always_inline]] inline void convert_loop(const std::uint8_t* raw, double* out, std::size_t n) {
    constexpr std::size_t kBlockBytes = 16384;
    constexpr std::size_t kPer = kBlockBytes / sizeof(T);
    alignas(64) std::uint8_t local[kBlockBytes];
    for (std::size_t i0 = 0; i0 < n; i0 += kPer) {
        const std::size_t m = std::min(kPer, n - i0);
        std::memcpy(local, raw + i0 * sizeof(T), m * sizeof(T));
        double* dst = out + i0;
        for (std::size_t j = 0; j < m; ++j) dst[j] = load_be<T>(local + j * sizeof(T));
    }
}

template <class T>
void convert_portable(const std::uint8_t* raw, double* out, std::size_t n) {
    convert_loop<T>(raw, out, n);
}

// The byte swap vectorises far better with AVX2's byte shuffles than with
// the baseline instruction set, so x86-64 picks that copy at run time.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define WRF_CLASSIC_AVX2 1
template <class T>
[[gnu::target("avx2")]] void convert_avx2(const std::uint8_t* raw, double* out, std::size_t n) {
    convert_loop<T>(raw, out, n);
}
#endif

template <class T>
void convert_block(const std::uint8_t* raw, double* out, std::size_t n) {
#ifdef WRF_CLASSIC_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && n >= 64) return convert_avx2<T>(raw, out, n);
#endif
    convert_portable<T>(raw, out, n);
}

void convert(std::uint32_t type, const std::uint8_t* raw, double* out, std::size_t n) {
    switch (type) {
        case kByte: convert_block<std::int8_t>(raw, out, n); break;
        case kUByte: convert_block<std::uint8_t>(raw, out, n); break;
        case kShort: convert_block<std::int16_t>(raw, out, n); break;
        case kUShort: convert_block<std::uint16_t>(raw, out, n); break;
        case kInt: convert_block<std::int32_t>(raw, out, n); break;
        case kUInt: convert_block<std::uint32_t>(raw, out, n); break;
        case kFloat: convert_block<float>(raw, out, n); break;
        case kDouble: convert_block<double>(raw, out, n); break;
        case kInt64: convert_block<std::int64_t>(raw, out, n); break;
        case kUInt64: convert_block<std::uint64_t>(raw, out, n); break;
        default: break;  // char never reaches here
    }
}

double first_value(std::uint32_t type, const std::uint8_t* p) {
    double v = 0.0;
    convert(type, p, &v, 1);
    return v;
}

std::unexpected<WrfError> nc_error(std::string message) { return fail(ErrorKind::NetCdf, std::move(message)); }

struct Dim {
    std::string name;
    std::uint64_t length = 0;  // 0 marks the record dimension
};

struct Attr {
    std::string name;
    std::uint32_t type = 0;
    std::uint64_t count = 0;
    std::vector<std::uint8_t> bytes;  // stored values, big-endian, unpadded
};

struct Var {
    std::string name;
    std::vector<std::uint64_t> dimids;
    std::vector<Attr> attrs;
    std::uint32_t type = 0;
    std::uint64_t begin = 0;
    bool is_record = false;
    std::uint64_t elems = 0;  // per record for record variables, else all
    std::uint64_t bytes = 0;  // elems * type size, unpadded
    // Packed values: value * scale + offset, fill values left as stored.
    bool packed = false;
    double scale = 1.0;
    double offset = 0.0;
    std::optional<double> fill;
};

const Attr* find_attr(const std::vector<Attr>& attrs, std::string_view name) {
    for (const Attr& a : attrs)
        if (a.name == name) return &a;
    return nullptr;
}

std::optional<double> numeric_attr(const std::vector<Attr>& attrs, std::string_view name) {
    const Attr* a = find_attr(attrs, name);
    if (a == nullptr || a->type == kChar || a->count == 0) return std::nullopt;
    return first_value(a->type, a->bytes.data());
}

}  // namespace

struct ClassicNetcdfFile::Impl {
    int fd = -1;
    // In-memory files (open_header_bytes) hold their bytes here.
    std::vector<std::uint8_t> memory;
    bool in_memory = false;
    std::uint64_t file_size = 0;

    int version = 0;
    std::uint64_t numrecs = 0;
    std::uint64_t recsize = 0;
    std::vector<Dim> dims;
    std::vector<Attr> gatts;
    std::vector<Var> vars;
    std::unordered_map<std::string, std::size_t> var_index;

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        if (fd >= 0) ::close(fd);
    }

    // Reads exactly n bytes at off, or fails.
    Result<void> read_at(std::uint64_t off, std::uint8_t* dst, std::uint64_t n) const {
        std::uint64_t end;
        if (!add_ok(off, n, end) || end > file_size) return nc_error("read past the end of the file");
        if (in_memory) {
            if (end > memory.size()) return nc_error("data lies outside the bytes held in memory");
            if (n != 0) std::memcpy(dst, memory.data() + off, n);
            return {};
        }
        while (n > 0) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n, 1u << 30));
            const ssize_t got = ::pread(fd, dst, want, static_cast<off_t>(off));
            if (got < 0) {
                if (errno == EINTR) continue;
                return nc_error(std::string("read failed: ") + std::strerror(errno));
            }
            if (got == 0) return nc_error("unexpected end of file");
            dst += got;
            off += static_cast<std::uint64_t>(got);
            n -= static_cast<std::uint64_t>(got);
        }
        return {};
    }

    const Var* find_var(const std::string& name) const {
        auto it = var_index.find(name);
        return it == var_index.end() ? nullptr : &vars[it->second];
    }

    std::vector<std::size_t> shape_of(const Var& v) const {
        std::vector<std::size_t> shape;
        shape.reserve(v.dimids.size());
        for (std::uint64_t id : v.dimids) {
            const std::uint64_t len = dims[id].length == 0 ? numrecs : dims[id].length;
            shape.push_back(static_cast<std::size_t>(len));
        }
        return shape;
    }

    // Whether nseg segments of seg_bytes, stride apart from off, lie in the
    // bytes we can read; checked before anything is allocated for them.
    Result<void> check_extent(const Var& v, std::uint64_t off, std::uint64_t stride, std::uint64_t nseg,
                              std::uint64_t seg_bytes) const {
        if (nseg == 0 || seg_bytes == 0) return {};
        const std::uint64_t readable = in_memory ? memory.size() : file_size;
        std::uint64_t span, end;
        if (!mul_ok(nseg - 1, stride, span) || !add_ok(off, span, end) || !add_ok(end, seg_bytes, end) ||
            end > readable)
            return nc_error("data of variable `" + v.name + "` lies outside the file");
        return {};
    }

    // Reads nseg segments of seg_bytes each, the first at off and the rest
    // stride apart, into one contiguous buffer placed at dst.
    Result<void> read_segments(std::uint8_t* dst, std::uint64_t off, std::uint64_t stride, std::uint64_t nseg,
                               std::uint64_t seg_bytes) const {
        for (std::uint64_t s = 0; s < nseg; ++s) {
            auto r = read_at(off + s * stride, dst + s * seg_bytes, seg_bytes);
            if (!r) return r;
        }
        return {};
    }

    // Where the values of one read lie: nseg segments of seg_elems values,
    // the first at off and the rest stride apart.
    struct Extent {
        std::uint64_t off = 0, stride = 0, nseg = 0, seg_elems = 0;
    };

    // Checks an extent against the file; its number of values on success.
    Result<std::uint64_t> checked_size(const Var& v, const Extent& x) const {
        const std::uint64_t es = type_size(v.type);
        std::uint64_t total = 0, total_bytes = 0;
        if (!mul_ok(x.nseg, x.seg_elems, total) || !mul_ok(total, es, total_bytes) || total_bytes > file_size)
            return nc_error("variable `" + v.name + "` is larger than the file");
        if (auto r = check_extent(v, x.off, x.stride, x.nseg, x.seg_elems * es); !r) return std::unexpected(r.error());
        return total;
    }

    // Runs piece(value_index, file_offset, count) over pieces of at most
    // `piece` values that never cross a segment, on the pool when there is
    // enough to share; the first failing piece's error, in file order, is
    // returned. Memory does not grow with the number of pieces, which an
    // untrusted header may make large.
    template <class Piece>
    Result<void> for_pieces(const Var& v, const Extent& x, std::uint64_t piece, Piece&& read_piece) const {
        const std::uint64_t es = type_size(v.type);
        const std::uint64_t per_seg = (x.seg_elems + piece - 1) / piece;
        const std::uint64_t pieces = x.nseg * per_seg;
        auto run = [&](std::uint64_t p) {
            const std::uint64_t s = p / per_seg, first = (p % per_seg) * piece;
            const std::uint64_t count = std::min(piece, x.seg_elems - first);
            return read_piece(s * x.seg_elems + first, x.off + s * x.stride + first * es, count);
        };
        if (pieces < 2 || x.nseg * x.seg_elems < 2 * piece) {
            for (std::uint64_t p = 0; p < pieces; ++p) {
                if (auto r = run(p); !r) return r;
            }
            return {};
        }
        std::mutex mutex;
        std::uint64_t first_failed = pieces;
        std::optional<WrfError> error;
        parallel::parallel_for(pieces, [&](std::size_t p) {
            auto r = run(p);
            if (r) return;
            std::lock_guard lock(mutex);
            if (p < first_failed) {
                first_failed = p;
                error = r.error();
            }
        });
        if (error) return std::unexpected(std::move(*error));
        return {};
    }

    // count stored values at file offset off, as doubles into dst (room for
    // count doubles). The bytes are read into dst's own tail and converted
    // forward in place, so no second buffer is needed.
    Result<void> read_converted(const Var& v, std::uint64_t off, std::uint64_t count, bool unpack, double* dst) const {
        const std::uint64_t es = type_size(v.type);
        std::uint8_t* raw = reinterpret_cast<std::uint8_t*>(dst + count) - count * es;
        if (auto r = read_at(off, raw, count * es); !r) return r;
        convert(v.type, raw, dst, static_cast<std::size_t>(count));
        if (unpack && v.packed) unpack_values(v, dst, static_cast<std::size_t>(count));
        return {};
    }

    // The values of an extent as doubles.
    Result<std::vector<double>> read_values(const Var& v, const Extent& x, bool unpack) const {
        auto total = checked_size(v, x);
        if (!total) return std::unexpected(total.error());
        std::vector<double> out = fresh_doubles(static_cast<std::size_t>(*total));
        auto ok = for_pieces(v, x, kReadPiece, [&](std::uint64_t i, std::uint64_t off, std::uint64_t count) {
            return read_converted(v, off, count, unpack, out.data() + i);
        });
        if (!ok) return std::unexpected(ok.error());
        return out;
    }

    // Adds the values of an extent into `into` when it holds exactly as
    // many, piece by piece through a small buffer per thread instead of a
    // full-size array; returns the extent's number of values either way.
    Result<std::uint64_t> add_values(const Var& v, const Extent& x, bool unpack, std::vector<double>& into) const {
        auto total = checked_size(v, x);
        if (!total || *total != into.size()) return total;
        auto ok = for_pieces(v, x, kAddPiece, [&](std::uint64_t i, std::uint64_t off, std::uint64_t count) {
            thread_local std::vector<double> piece;
            piece.resize(kAddPiece);
            if (auto r = read_converted(v, off, count, unpack, piece.data()); !r) return r;
            double* dst = into.data() + i;
            for (std::uint64_t k = 0; k < count; ++k) dst[k] = dst[k] + piece[k];
            return Result<void>{};
        });
        if (!ok) return std::unexpected(ok.error());
        return total;
    }

    // Pieces of a read: a huge page of doubles when read in place; a small
    // buffer's worth when added through one.
    static constexpr std::uint64_t kReadPiece = std::uint64_t{1} << 18;
    static constexpr std::uint64_t kAddPiece = std::uint64_t{1} << 14;

    // Packed values: value * scale + offset, fill values left as stored.
    static void unpack_values(const Var& v, double* x, std::size_t n) {
        const double scale = v.scale, offset = v.offset;
        if (v.fill) {
            const double fill = *v.fill;
            for (std::size_t i = 0; i < n; ++i)
                if (x[i] != fill) x[i] = x[i] * scale + offset;
        } else {
            for (std::size_t i = 0; i < n; ++i) x[i] = x[i] * scale + offset;
        }
    }

    // Every value of the variable, all records included.
    Extent whole(const Var& v) const {
        if (v.is_record) return {v.begin, recsize, numrecs, v.elems};
        return {v.begin, 0, 1, v.elems};
    }

    Result<std::vector<std::uint8_t>> read_raw_bytes(const Var& v) const {
        const std::uint64_t nseg = v.is_record ? numrecs : 1;
        std::uint64_t total = 0;
        if (!mul_ok(nseg, v.bytes, total) || total > file_size)
            return nc_error("variable `" + v.name + "` is larger than the file");
        if (auto r = check_extent(v, v.begin, recsize, nseg, v.bytes); !r) return std::unexpected(r.error());
        std::vector<std::uint8_t> out(static_cast<std::size_t>(total));
        if (auto r = read_segments(out.data(), v.begin, recsize, nseg, v.bytes); !r) return std::unexpected(r.error());
        return out;
    }
};

namespace {

// Walks the header. Errors are sticky: after the first one every read
// returns zero, and callers check ok() once per loop step.
class HeaderParser {
public:
    HeaderParser(ClassicNetcdfFile::Impl& impl, std::uint64_t limit) : im_(impl), limit_(limit) {}

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    std::uint64_t pos() const { return pos_; }

    void set_error(std::string message) {
        if (error_.empty()) error_ = std::move(message);
    }

    const std::uint8_t* take(std::uint64_t n) {
        if (!ensure(n)) return nullptr;
        const std::uint8_t* p = data() + pos_;
        pos_ += n;
        return p;
    }

    std::uint32_t u32() {
        const std::uint8_t* p = take(4);
        if (p == nullptr) return 0;
        return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
    }

    std::uint64_t u64() {
        const std::uint64_t hi = u32();
        const std::uint64_t lo = u32();
        return hi << 32 | lo;
    }

    // Counts and lengths: 32-bit before CDF-5, 64-bit in it.
    std::uint64_t count() { return im_.version == 5 ? u64() : u32(); }
    std::uint64_t offset() { return im_.version == 1 ? u32() : u64(); }

    std::string name(const char* what) {
        const std::uint64_t len = count();
        if (!ok()) return {};
        if (len > remaining()) {
            set_error(std::string("header truncated: ") + what + " name of " + std::to_string(len) +
                      " bytes at byte " + std::to_string(pos_));
            return {};
        }
        const std::uint8_t* p = take(pad4(len));
        if (p == nullptr) return {};
        return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(len));
    }

    // A list's header: its tag and element count; ABSENT (two zeros) gives 0.
    std::uint64_t list_count(std::uint32_t tag, const char* what) {
        const std::uint32_t got = u32();
        const std::uint64_t n = count();
        if (!ok()) return 0;
        if (got == 0 && n == 0) return 0;
        if (got != tag) {
            set_error(std::string("bad ") + what + " list tag " + std::to_string(got));
            return 0;
        }
        return n;
    }

    std::vector<Attr> attrs(const char* owner) {
        std::vector<Attr> out;
        const std::uint64_t n = list_count(kTagAttribute, "attribute");
        for (std::uint64_t i = 0; i < n && ok(); ++i) {
            Attr a;
            a.name = name("attribute");
            a.type = u32();
            a.count = count();
            if (!ok()) break;
            if (!valid_type(a.type, im_.version)) {
                set_error("attribute '" + a.name + "' of " + owner + " has unknown type " + std::to_string(a.type));
                break;
            }
            const std::uint64_t es = type_size(a.type);
            if (a.count > remaining() / es) {
                set_error("header truncated: attribute '" + a.name + "' of " + owner + " claims " +
                          std::to_string(a.count) + " values");
                break;
            }
            const std::uint64_t nbytes = a.count * es;
            const std::uint8_t* p = take(pad4(nbytes));
            if (p == nullptr) break;
            a.bytes.assign(p, p + nbytes);
            out.push_back(std::move(a));
        }
        return out;
    }

    std::uint64_t remaining() const { return limit_ - pos_; }

private:
    const std::uint8_t* data() const { return im_.in_memory ? im_.memory.data() : buffer_.data(); }

    bool ensure(std::uint64_t n) {
        if (!ok()) return false;
        if (n > remaining()) {
            set_error("header truncated at byte " + std::to_string(pos_));
            return false;
        }
        if (im_.in_memory) return true;
        const std::uint64_t need = pos_ + n;
        if (need <= buffer_.size()) return true;
        // Grow geometrically, never past the file.
        const std::uint64_t grown = std::max<std::uint64_t>(need, std::max<std::uint64_t>(buffer_.size() * 2, 65536));
        const std::uint64_t target = std::min(limit_, grown);
        const std::size_t old = buffer_.size();
        buffer_.resize(static_cast<std::size_t>(target));
        auto r = im_.read_at(old, buffer_.data() + old, target - old);
        if (!r) {
            set_error(r.error().message);
            return false;
        }
        return true;
    }

    ClassicNetcdfFile::Impl& im_;
    std::uint64_t limit_;
    std::uint64_t pos_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::string error_;
};

// Parses the header and derives record layout, checking that every
// variable's data lies inside the file.
Result<void> parse_header(ClassicNetcdfFile::Impl& im, std::uint64_t header_limit) {
    HeaderParser p(im, header_limit);
    const std::uint8_t* magic = p.take(4);
    if (magic == nullptr) return nc_error("not a classic netcdf file: too short");
    if (std::memcmp(magic, "CDF", 3) != 0) return nc_error("not a classic netcdf file: bad magic");
    im.version = magic[3];
    if (im.version != 1 && im.version != 2 && im.version != 5)
        return nc_error("unsupported classic netcdf version " + std::to_string(im.version));

    const std::uint64_t numrecs = p.count();
    const bool streaming = im.version == 5 ? numrecs == ~std::uint64_t{0} : numrecs == 0xFFFFFFFFu;

    const std::uint64_t ndims = p.list_count(kTagDimension, "dimension");
    bool have_record_dim = false;
    for (std::uint64_t i = 0; i < ndims && p.ok(); ++i) {
        Dim d;
        d.name = p.name("dimension");
        d.length = p.count();
        if (!p.ok()) break;
        if (d.length == 0) {
            if (have_record_dim) return nc_error("more than one unlimited dimension");
            have_record_dim = true;
        }
        im.dims.push_back(std::move(d));
    }

    im.gatts = p.attrs("the file");

    const std::uint64_t nvars = p.list_count(kTagVariable, "variable");
    for (std::uint64_t i = 0; i < nvars && p.ok(); ++i) {
        Var v;
        v.name = p.name("variable");
        const std::uint64_t nd = p.count();
        if (!p.ok()) break;
        if (nd > p.remaining() / (im.version == 5 ? 8 : 4)) {
            p.set_error("header truncated: variable `" + v.name + "` claims " + std::to_string(nd) + " dimensions");
            break;
        }
        v.dimids.reserve(static_cast<std::size_t>(nd));
        for (std::uint64_t k = 0; k < nd && p.ok(); ++k) v.dimids.push_back(p.count());
        v.attrs = p.attrs(("variable `" + v.name + "`").c_str());
        v.type = p.u32();
        (void)p.count();  // vsize: recomputed below, since it saturates for large variables
        v.begin = p.offset();
        if (!p.ok()) break;
        if (!valid_type(v.type, im.version))
            return nc_error("variable `" + v.name + "` has unknown type " + std::to_string(v.type));
        im.vars.push_back(std::move(v));
    }
    if (!p.ok()) return nc_error(p.error());
    const std::uint64_t header_end = p.pos();

    // Shapes and sizes.
    std::size_t nrecvars = 0;
    const Var* first_record = nullptr;
    for (Var& v : im.vars) {
        std::uint64_t elems = 1;
        for (std::size_t k = 0; k < v.dimids.size(); ++k) {
            const std::uint64_t id = v.dimids[k];
            if (id >= im.dims.size())
                return nc_error("variable `" + v.name + "` refers to dimension " + std::to_string(id) +
                                " of " + std::to_string(im.dims.size()));
            const std::uint64_t len = im.dims[id].length;
            if (len == 0) {
                if (k != 0) return nc_error("variable `" + v.name + "` has the unlimited dimension after the first");
                v.is_record = true;
                continue;
            }
            if (!mul_ok(elems, len, elems)) return nc_error("variable `" + v.name + "` is too large");
        }
        v.elems = elems;
        if (!mul_ok(elems, type_size(v.type), v.bytes)) return nc_error("variable `" + v.name + "` is too large");
        if (v.begin < header_end && v.bytes != 0)
            return nc_error("variable `" + v.name + "` begins inside the header");
        if (v.is_record) {
            ++nrecvars;
            if (first_record == nullptr) first_record = &v;
            if (!add_ok(im.recsize, pad4(v.bytes), im.recsize)) return nc_error("record size overflows");
        } else {
            std::uint64_t end;
            if (!add_ok(v.begin, v.bytes, end) || end > im.file_size)
                return nc_error("variable `" + v.name + "` lies past the end of the file");
        }
    }
    // A lone record variable is not padded within its record.
    if (nrecvars == 1) im.recsize = first_record->bytes;

    if (streaming) {
        im.numrecs = 0;
        if (first_record != nullptr && im.recsize != 0 && im.file_size > first_record->begin)
            im.numrecs = (im.file_size - first_record->begin) / im.recsize;
    } else {
        im.numrecs = numrecs;
    }
    if (im.numrecs != 0) {
        for (const Var& v : im.vars) {
            if (!v.is_record) continue;
            std::uint64_t span, end;
            if (!mul_ok(im.numrecs - 1, im.recsize, span) || !add_ok(v.begin, span, end) ||
                !add_ok(end, v.bytes, end) || end > im.file_size)
                return nc_error("variable `" + v.name + "` lies past the end of the file (" +
                                std::to_string(im.numrecs) + " records)");
        }
    }

    for (std::size_t i = 0; i < im.vars.size(); ++i) {
        Var& v = im.vars[i];
        im.var_index.emplace(v.name, i);
        const auto scale = numeric_attr(v.attrs, "scale_factor");
        const auto offset = numeric_attr(v.attrs, "add_offset");
        if (v.type != kChar && (scale || offset)) {
            v.packed = true;
            v.scale = scale.value_or(1.0);
            v.offset = offset.value_or(0.0);
            v.fill = numeric_attr(v.attrs, "_FillValue");
        }
    }
    return {};
}

bool time_sliced(const ClassicNetcdfFile::Impl& im, const Var& v) {
    if (v.dimids.size() < 2) return false;
    return v.is_record || im.dims[v.dimids[0]].name == "Time";
}

}  // namespace

ClassicNetcdfFile::ClassicNetcdfFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ClassicNetcdfFile::~ClassicNetcdfFile() = default;

Result<std::unique_ptr<ClassicNetcdfFile>> ClassicNetcdfFile::open(const std::string& path) {
    auto impl = std::make_unique<Impl>();
    impl->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (impl->fd < 0) return nc_error(std::strerror(errno) + (": " + path));
    struct stat st {};
    if (::fstat(impl->fd, &st) != 0) return nc_error(std::strerror(errno) + (": " + path));
    if (!S_ISREG(st.st_mode)) return nc_error("not a regular file: " + path);
    impl->file_size = static_cast<std::uint64_t>(st.st_size);
    if (auto r = parse_header(*impl, impl->file_size); !r) return std::unexpected(r.error());
    return std::unique_ptr<ClassicNetcdfFile>(new ClassicNetcdfFile(std::move(impl)));
}

Result<std::unique_ptr<ClassicNetcdfFile>> ClassicNetcdfFile::open_header_bytes(const std::uint8_t* data,
                                                                                std::size_t size,
                                                                                std::uint64_t file_size) {
    auto impl = std::make_unique<Impl>();
    impl->in_memory = true;
    impl->file_size = file_size;
    const std::size_t held = static_cast<std::size_t>(std::min<std::uint64_t>(size, file_size));
    if (held != 0) impl->memory.assign(data, data + held);
    if (auto r = parse_header(*impl, held); !r) return std::unexpected(r.error());
    return std::unique_ptr<ClassicNetcdfFile>(new ClassicNetcdfFile(std::move(impl)));
}

Result<std::vector<std::size_t>> ClassicNetcdfFile::dataset_shape(const std::string& name) const {
    const Var* v = impl_->find_var(name);
    if (v == nullptr) return fail(ErrorKind::VarNotFound, name);
    return impl_->shape_of(*v);
}

namespace {

// The extent of a numeric variable's slice at time t: all of it when the
// variable has no time dimension.
Result<std::pair<const Var*, ClassicNetcdfFile::Impl::Extent>> numeric_slice(const ClassicNetcdfFile::Impl& im,
                                                                                 const std::string& name,
                                                                                 std::size_t t) {
    const Var* v = im.find_var(name);
    if (v == nullptr) return fail(ErrorKind::VarNotFound, name);
    if (v->type == kChar) return nc_error("variable `" + name + "` holds characters, not numbers");
    if (!time_sliced(im, *v)) return std::pair{v, im.whole(*v)};

    const std::vector<std::size_t> shape = im.shape_of(*v);
    if (t >= shape[0]) {
        return nc_error("time_index " + std::to_string(t) + " out of range for variable `" + name + "` shape " +
                        format_shape(shape));
    }
    if (v->is_record) return std::pair{v, ClassicNetcdfFile::Impl::Extent{v->begin + t * im.recsize, 0, 1, v->elems}};
    // A fixed dimension named Time: slices are contiguous blocks.
    const std::uint64_t per = v->elems / shape[0];
    return std::pair{v, ClassicNetcdfFile::Impl::Extent{v->begin + t * per * type_size(v->type), 0, 1, per}};
}

}  // namespace

Result<std::vector<double>> ClassicNetcdfFile::read_f64_slice(const std::string& name, std::size_t t) const {
    auto slice = numeric_slice(*impl_, name, t);
    if (!slice) return std::unexpected(slice.error());
    return impl_->read_values(*slice->first, slice->second, true);
}

Result<std::size_t> ClassicNetcdfFile::add_f64_slice(const std::string& name, std::size_t t,
                                                     std::vector<double>& into) const {
    auto slice = numeric_slice(*impl_, name, t);
    if (!slice) return std::unexpected(slice.error());
    auto n = impl_->add_values(*slice->first, slice->second, true, into);
    if (!n) return std::unexpected(n.error());
    return static_cast<std::size_t>(*n);
}

Result<std::vector<std::uint8_t>> ClassicNetcdfFile::read_u8(const std::string& name) const {
    const Impl& im = *impl_;
    const Var* v = im.find_var(name);
    if (v == nullptr) return fail(ErrorKind::VarNotFound, name);
    if (v->type == kChar) {
        // Rows of the last dimension are the strings, each exactly that long.
        if (v->dimids.empty()) return fail(ErrorKind::DimMismatch, "char variable `" + name + "` has no shape");
        return im.read_raw_bytes(*v);
    }
    if (v->type == kByte || v->type == kUByte) return im.read_raw_bytes(*v);
    auto values = im.read_values(*v, im.whole(*v), false);
    if (!values) return std::unexpected(values.error());
    std::vector<std::uint8_t> out(values->size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double x = (*values)[i];
        if (!(x >= 0.0 && x < 256.0)) return nc_error("values of variable `" + name + "` do not fit in bytes");
        out[i] = static_cast<std::uint8_t>(x);
    }
    return out;
}

Result<double> ClassicNetcdfFile::global_attr_f64(const std::string& name) const {
    const Attr* a = find_attr(impl_->gatts, name);
    if (a == nullptr) return fail(ErrorKind::AttrNotFound, name);
    if (a->type == kChar) return fail(ErrorKind::AttrType, "'" + name + "' is not numeric");
    if (a->count == 0) return nc_error("attribute '" + name + "' has no values");
    return first_value(a->type, a->bytes.data());
}

bool ClassicNetcdfFile::has_var(const std::string& name) const { return impl_->find_var(name) != nullptr; }

std::vector<std::string> classic_variable_names(const ClassicNetcdfFile& file) {
    std::vector<std::string> out;
    for (const auto& v : file.impl_->vars) out.push_back(v.name);
    return out;
}

std::vector<std::string> classic_global_attr_names(const ClassicNetcdfFile& file) {
    std::vector<std::string> out;
    for (const auto& a : file.impl_->gatts) out.push_back(a.name);
    return out;
}

}  // namespace wrf
