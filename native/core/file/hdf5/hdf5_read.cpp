// Reading dataset values: contiguous, compact and chunked storage, the filter
// pipeline (deflate, shuffle, checksum), and conversion to doubles. The
// chunks of one read are decoded on the worker pool, each worker with its
// own decompressor and buffers, reading its chunk's bytes by positioned reads.
#include <libdeflate.h>

#include <bit>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/buffer.hpp"
#include "file/hdf5/hdf5_internal.hpp"
#include "parallel.hpp"

namespace wrf::h5 {

namespace {

// ---------------------------------------------------------------------------
// Per-worker scratch

class Buffer {
public:
    std::uint8_t* ensure(std::size_t n) {
        if (n > cap_) {
            data_ = std::make_unique_for_overwrite<std::uint8_t[]>(n);
            cap_ = n;
        }
        return data_.get();
    }
    std::uint8_t* data() { return data_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t cap_ = 0;
};

struct Scratch {
    libdeflate_decompressor* inflater = nullptr;
    Buffer a, b;
    ~Scratch() {
        if (inflater != nullptr) libdeflate_free_decompressor(inflater);
    }
};

// Scratch is leased per chunk rather than kept per thread: a worker waiting
// in a nested loop may run another chunk of the same read meanwhile, and the
// two must not share buffers. The pool holds about one set per worker.
class ScratchPool {
public:
    std::unique_ptr<Scratch> take() {
        std::lock_guard lock(mutex_);
        if (free_.empty()) return std::make_unique<Scratch>();
        auto s = std::move(free_.back());
        free_.pop_back();
        return s;
    }
    void give(std::unique_ptr<Scratch> s) {
        std::lock_guard lock(mutex_);
        free_.push_back(std::move(s));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<Scratch>> free_;
};

class Lease {
public:
    Lease() : s_(pool().take()) {}
    ~Lease() { pool().give(std::move(s_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Scratch& operator*() { return *s_; }

private:
    static ScratchPool& pool() {
        static ScratchPool* p = new ScratchPool();  // never destroyed: leases may outlive static teardown
        return *p;
    }
    std::unique_ptr<Scratch> s_;
};

// ---------------------------------------------------------------------------
// Conversion to doubles

template <class T>
T load(const std::uint8_t* p, bool big_endian) {
    using U = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                                 std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                                    std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    U u;
    std::memcpy(&u, p, sizeof u);
    if (big_endian) u = std::byteswap(u);
    return std::bit_cast<T>(u);
}

template <class T>
void convert_as(const std::uint8_t* src, std::size_t n, double* dst, bool be) {
    if (be) {
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<double>(load<T>(src + i * sizeof(T), true));
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<double>(load<T>(src + i * sizeof(T), false));
    }
}

void convert(Kind kind, bool be, const std::uint8_t* src, std::size_t n, double* dst) {
    switch (kind) {
        case Kind::I8: convert_as<std::int8_t>(src, n, dst, false); break;
        case Kind::U8:
        case Kind::Char: convert_as<std::uint8_t>(src, n, dst, false); break;
        case Kind::I16: convert_as<std::int16_t>(src, n, dst, be); break;
        case Kind::U16: convert_as<std::uint16_t>(src, n, dst, be); break;
        case Kind::I32: convert_as<std::int32_t>(src, n, dst, be); break;
        case Kind::U32: convert_as<std::uint32_t>(src, n, dst, be); break;
        case Kind::I64: convert_as<std::int64_t>(src, n, dst, be); break;
        case Kind::U64: convert_as<std::uint64_t>(src, n, dst, be); break;
        case Kind::F32: convert_as<float>(src, n, dst, be); break;
        case Kind::F64: convert_as<double>(src, n, dst, be); break;
    }
}

// Elements e0.. of a shuffled block of `total` elements: byte b of element e
// sits at planes[b * total + e]. Unshuffling and converting in one pass saves
// a full copy of the chunk; gathering from one pointer per byte plane keeps
// the loop vectorisable.
template <class T>
void convert_shuffled_as(const std::uint8_t* planes, std::size_t total, std::size_t e0, std::size_t n, double* dst, bool be) {
    constexpr std::size_t S = sizeof(T);
    using U = std::conditional_t<S == 2, std::uint16_t, std::conditional_t<S == 4, std::uint32_t, std::uint64_t>>;
    const std::uint8_t* p[S];
    for (std::size_t b = 0; b < S; ++b) p[b] = planes + b * total + e0;
    if (be) {
        for (std::size_t i = 0; i < n; ++i) {
            U u = 0;
            for (std::size_t b = 0; b < S; ++b) u |= static_cast<U>(static_cast<U>(p[b][i]) << (8 * (S - 1 - b)));
            dst[i] = static_cast<double>(std::bit_cast<T>(u));
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            U u = 0;
            for (std::size_t b = 0; b < S; ++b) u |= static_cast<U>(static_cast<U>(p[b][i]) << (8 * b));
            dst[i] = static_cast<double>(std::bit_cast<T>(u));
        }
    }
}

void convert_shuffled(Kind kind, bool be, const std::uint8_t* planes, std::size_t total, std::size_t e0, std::size_t n,
                      double* dst) {
    switch (kind) {
        case Kind::I16: convert_shuffled_as<std::int16_t>(planes, total, e0, n, dst, be); break;
        case Kind::U16: convert_shuffled_as<std::uint16_t>(planes, total, e0, n, dst, be); break;
        case Kind::I32: convert_shuffled_as<std::int32_t>(planes, total, e0, n, dst, be); break;
        case Kind::U32: convert_shuffled_as<std::uint32_t>(planes, total, e0, n, dst, be); break;
        case Kind::I64: convert_shuffled_as<std::int64_t>(planes, total, e0, n, dst, be); break;
        case Kind::U64: convert_shuffled_as<std::uint64_t>(planes, total, e0, n, dst, be); break;
        case Kind::F32: convert_shuffled_as<float>(planes, total, e0, n, dst, be); break;
        case Kind::F64: convert_shuffled_as<double>(planes, total, e0, n, dst, be); break;
        default: break;  // one-byte kinds are never left shuffled
    }
}

void unshuffle(const std::uint8_t* in, std::size_t len, std::size_t s, std::uint8_t* out) {
    const std::size_t n = len / s;
    for (std::size_t b = 0; b < s; ++b) {
        const std::uint8_t* plane = in + b * n;
        for (std::size_t i = 0; i < n; ++i) out[i * s + b] = plane[i];
    }
    std::memcpy(out + n * s, in + n * s, len - n * s);
}

// Large runs are converted by several workers.
constexpr std::size_t kParallelRun = std::size_t{1} << 19;
constexpr std::size_t kRunGrain = std::size_t{1} << 16;

// Where decoded elements go: doubles, or the stored bytes.
struct DoubleTarget {
    double* out;
    Kind kind;
    bool big_endian;
    std::size_t elem_size;

    static constexpr bool keeps_shuffle = true;

    void run(const std::uint8_t* chunk, std::size_t e0, std::size_t d0, std::size_t len) const {
        auto body = [&](std::size_t b, std::size_t e) {
            convert(kind, big_endian, chunk + (e0 + b) * elem_size, e - b, out + d0 + b);
        };
        if (len >= kParallelRun) {
            parallel::parallel_for_range(len, body, kRunGrain);
        } else {
            body(0, len);
        }
    }
    void run_shuffled(const std::uint8_t* planes, std::size_t total, std::size_t e0, std::size_t d0, std::size_t len) const {
        auto body = [&](std::size_t b, std::size_t e) {
            convert_shuffled(kind, big_endian, planes, total, e0 + b, e - b, out + d0 + b);
        };
        if (len >= kParallelRun) {
            parallel::parallel_for_range(len, body, kRunGrain);
        } else {
            body(0, len);
        }
    }
};

struct ByteTarget {
    std::uint8_t* out;
    std::size_t elem_size;

    static constexpr bool keeps_shuffle = false;

    void run(const std::uint8_t* chunk, std::size_t e0, std::size_t d0, std::size_t len) const {
        std::memcpy(out + d0 * elem_size, chunk + e0 * elem_size, len * elem_size);
    }
    void run_shuffled(const std::uint8_t*, std::size_t, std::size_t, std::size_t, std::size_t) const {}
};

// The part of the dataset a read returns: [start, start + count) per dimension.
struct Region {
    std::vector<std::uint64_t> start, count;
    std::uint64_t elements = 1;
};

// Copies the part of one chunk (at `offset`, of `chunk` sizes) that lies in
// the region and in the extent, merging contiguous runs.
template <class Emit>
void for_each_run(const std::vector<std::uint64_t>& dims, const Region& region, const std::vector<std::uint64_t>& offset,
                  const std::vector<std::uint64_t>& chunk, Emit&& emit) {
    const std::size_t rank = dims.size();
    std::vector<std::uint64_t> lo(rank), hi(rank), cstride(rank), ostride(rank);
    for (std::size_t k = 0; k < rank; ++k) {
        lo[k] = std::max(offset[k], region.start[k]);
        hi[k] = std::min({offset[k] + chunk[k], region.start[k] + region.count[k], dims[k]});
        if (hi[k] <= lo[k]) return;
    }
    std::uint64_t cs = 1, os = 1;
    for (std::size_t k = rank; k-- > 0;) {
        cstride[k] = cs;
        ostride[k] = os;
        cs *= chunk[k];
        os *= region.count[k];
    }
    const std::uint64_t len = hi[rank - 1] - lo[rank - 1];
    std::vector<std::uint64_t> i = lo;
    std::uint64_t pend_e = 0, pend_d = 0, pend_n = 0;
    while (true) {
        std::uint64_t e = 0, d = 0;
        for (std::size_t k = 0; k < rank; ++k) {
            e += (i[k] - offset[k]) * cstride[k];
            d += (i[k] - region.start[k]) * ostride[k];
        }
        if (pend_n != 0 && e == pend_e + pend_n && d == pend_d + pend_n) {
            pend_n += len;
        } else {
            if (pend_n != 0) emit(pend_e, pend_d, pend_n);
            pend_e = e, pend_d = d, pend_n = len;
        }
        std::size_t k = rank - 1;
        bool done = true;
        while (k-- > 0) {
            if (++i[k] < hi[k]) {
                done = false;
                break;
            }
            i[k] = lo[k];
        }
        if (done) break;
    }
    if (pend_n != 0) emit(pend_e, pend_d, pend_n);
}

std::string inflate_error(libdeflate_result r) {
    switch (r) {
        case LIBDEFLATE_BAD_DATA: return "inflate: invalid or corrupt compressed data";
        case LIBDEFLATE_INSUFFICIENT_SPACE: return "inflate: data decompresses to more than the chunk size";
        case LIBDEFLATE_SHORT_OUTPUT: return "inflate: data decompresses to less than the chunk size";
        default: return "inflate: decoding failed";
    }
}

// Decodes one chunk's stored bytes through the pipeline and emits the part
// inside the region to the target.
template <class Target>
Result<void> decode_chunk(const Source& src, const DatasetInfo& info, const Region& region, const ChunkRecord& rec,
                          const Target& target) {
    Lease lease;
    Scratch& s = *lease;
    const std::uint64_t want = [&] {
        std::uint64_t n = info.elem_size;
        for (std::uint64_t c : info.layout.chunk) n *= c;
        return n;
    }();
    if (rec.size > src.size()) return fail_nc("Chunk at 0x" + hex(rec.address) + " is larger than the file");
    std::uint8_t* cur = s.a.ensure(std::max<std::uint64_t>(rec.size, 1));
    std::size_t len = static_cast<std::size_t>(rec.size);
    auto r = src.read_into(rec.address, len, cur);
    if (!r) return r;
    Buffer* spare = &s.b;
    Buffer* holding = &s.a;

    std::optional<std::size_t> shuffled;  // element size of a deferred unshuffle
    const std::size_t nf = info.filters.size();
    for (std::size_t i = nf; i-- > 0;) {
        if (i < 32 && (rec.mask >> i) & 1u) continue;
        const Filter& f = info.filters[i];
        switch (f.id) {
            case static_cast<std::uint16_t>(FilterId::Fletcher32):
                if (len < 4) return fail_nc("Chunk at 0x" + hex(rec.address) + " is too short for its checksum");
                len -= 4;
                break;
            case static_cast<std::uint16_t>(FilterId::Deflate): {
                if (s.inflater == nullptr) s.inflater = libdeflate_alloc_decompressor();
                if (s.inflater == nullptr) return fail_nc("inflate: out of memory");
                std::uint8_t* out = spare->ensure(want);
                std::size_t got = 0;
                const libdeflate_result res =
                    libdeflate_zlib_decompress_ex(s.inflater, cur, len, out, want, nullptr, &got);
                if (res != LIBDEFLATE_SUCCESS) return fail_nc(inflate_error(res));
                std::swap(spare, holding);
                cur = out;
                len = got;
                break;
            }
            case static_cast<std::uint16_t>(FilterId::Shuffle): {
                const std::size_t es = f.values.empty() ? 4 : f.values[0];
                if (es < 2) break;
                bool last = true;
                for (std::size_t j = 0; j < i; ++j) {
                    if (!(j < 32 && (rec.mask >> j) & 1u)) last = false;
                }
                if (Target::keeps_shuffle && last && es == info.elem_size && len == want && info.kind != Kind::Char) {
                    shuffled = es;
                    break;
                }
                std::uint8_t* out = spare->ensure(std::max<std::size_t>(len, 1));
                unshuffle(cur, len, es, out);
                std::swap(spare, holding);
                cur = out;
                break;
            }
            default:
                return fail_nc("Unsupported filter " + std::to_string(f.id) + " in dataset " + info.name);
        }
    }
    if (len < want) {
        return fail_nc("Chunk at 0x" + hex(rec.address) + " holds " + std::to_string(len) + " bytes, expected " +
                       std::to_string(want));
    }
    const std::size_t total = static_cast<std::size_t>(want / info.elem_size);
    for_each_run(info.dims, region, rec.offset, info.layout.chunk, [&](std::uint64_t e0, std::uint64_t d0, std::uint64_t n) {
        if (shuffled) {
            target.run_shuffled(cur, total, e0, d0, n);
        } else {
            target.run(cur, e0, d0, n);
        }
    });
    return {};
}

template <class Target>
Result<void> read_chunked(const Source& src, const DatasetInfo& info, const Region& region, std::optional<std::uint64_t> t,
                          const Target& target) {
    auto records = collect_chunks(src, info, t);
    if (!records) return std::unexpected(records.error());
    // Distinct chunks share no storage, so a real file never asks for more
    // stored bytes than it holds, nor more decoded bytes than they expand to.
    std::uint64_t want = info.elem_size, stored = 0, decoded = 0;
    for (std::uint64_t c : info.layout.chunk) want *= c;
    for (const ChunkRecord& rec : *records) {
        if (!checked_add(stored, rec.size, stored) || !checked_add(decoded, want, decoded) ||
            stored > 2 * src.size() + (std::uint64_t{1} << 20) || decoded > src.plausible_decoded_bytes()) {
            return fail_nc("Chunks of dataset " + info.name + " need more data than the file can hold");
        }
    }
    std::vector<std::optional<WrfError>> errors(records->size());
    parallel::parallel_for(records->size(), [&](std::size_t i) {
        auto r = decode_chunk(src, info, region, (*records)[i], target);
        if (!r) errors[i] = r.error();
    });
    for (auto& e : errors) {
        if (e) return std::unexpected(std::move(*e));
    }
    return {};
}

Result<Region> make_region(const Source& src, const DatasetInfo& info, std::optional<std::uint64_t> t, std::size_t out_size) {
    Region region;
    region.start.assign(info.dims.size(), 0);
    region.count = info.dims;
    if (t) {
        region.start[0] = *t;
        region.count[0] = 1;
    }
    for (std::uint64_t c : region.count) {
        if (!checked_mul(region.elements, c, region.elements)) return fail_nc("Dataset " + info.name + " is too large to read");
    }
    std::uint64_t bytes;
    if (!checked_mul(region.elements, std::max(out_size, info.elem_size), bytes) || bytes > src.plausible_decoded_bytes()) {
        return fail_nc("Dataset " + info.name + " is too large to read");
    }
    return region;
}

// The stored bytes of a contiguous or compact dataset for the region, which
// is either everything or one index of the first dimension.
Result<std::pair<std::uint64_t, std::uint64_t>> stored_range(const DatasetInfo& info, const Region& region) {
    const std::uint64_t bytes = region.elements * info.elem_size;
    const std::uint64_t first = region.start.empty() ? 0 : region.start[0];
    const std::uint64_t offset = first * bytes;  // one index of dim 0 is `bytes` long
    if (offset / (bytes == 0 ? 1 : bytes) != first || offset + bytes > info.layout.size || offset + bytes < offset) {
        return fail_nc("Storage of dataset " + info.name + " holds " + std::to_string(info.layout.size) +
                       " bytes, fewer than its shape needs");
    }
    return std::pair{offset, bytes};
}

}  // namespace

}  // namespace wrf::h5

namespace wrf {

using namespace h5;

Result<std::vector<double>> Hdf5File::Impl::read_values(const DatasetInfo& info, std::optional<std::uint64_t> t) const {
    std::vector<double> out;
    if (info.null_space) return out;
    const Layout& l = info.layout;
    if (l.cls == Layout::None) return out;
    if (l.cls == Layout::Contiguous && (l.address == kUndefined || l.size == 0)) return out;
    if (info.kind == Kind::Char && info.elem_size != 1) {
        // Fixed-length strings longer than one byte: every byte is a value.
        auto bytes = read_bytes(info);
        if (!bytes) return std::unexpected(bytes.error());
        out.resize(bytes->size());
        convert(Kind::U8, false, bytes->data(), bytes->size(), out.data());
        return out;
    }
    auto region = make_region(*src, info, t, sizeof(double));
    if (!region) return std::unexpected(region.error());
    const std::size_t n = static_cast<std::size_t>(region->elements);
    out = fresh_doubles(n);
    DoubleTarget target{out.data(), info.kind, info.big_endian, info.elem_size};

    if (l.cls == Layout::Chunked) {
        if (!info.fill.empty()) {
            double v;
            convert(info.kind, info.big_endian, info.fill.data(), 1, &v);
            if (v != 0.0) std::fill(out.begin(), out.end(), v);
        }
        auto r = read_chunked(*src, info, *region, t, target);
        if (!r) return std::unexpected(r.error());
    } else {
        auto range = stored_range(info, *region);
        if (!range) return std::unexpected(range.error());
        if (l.cls == Layout::Compact) {
            convert(info.kind, info.big_endian, l.compact.data() + range->first, n, out.data());
        } else {
            std::uint64_t base;
            if (!checked_add(l.address, range->first, base) || !src->contains(base, range->second)) {
                return fail_nc("Storage of dataset " + info.name + " runs past the end of the file");
            }
            // Blocks read and converted by the workers.
            constexpr std::size_t kBlock = std::size_t{1} << 18;
            const std::size_t blocks = (n + kBlock - 1) / kBlock;
            std::vector<std::optional<WrfError>> errors(blocks);
            parallel::parallel_for(blocks, [&](std::size_t b) {
                const std::size_t e0 = b * kBlock;
                const std::size_t m = std::min(kBlock, n - e0);
                Lease lease;
                std::uint8_t* buf = (*lease).a.ensure(m * info.elem_size);
                auto r = src->read_into(base + e0 * info.elem_size, m * info.elem_size, buf);
                if (!r) {
                    errors[b] = r.error();
                    return;
                }
                convert(info.kind, info.big_endian, buf, m, out.data() + e0);
            });
            for (auto& e : errors) {
                if (e) return std::unexpected(std::move(*e));
            }
        }
    }

    if (info.scale_factor || info.add_offset) {
        const double scale = info.scale_factor.value_or(1.0);
        const double offset = info.add_offset.value_or(0.0);
        const std::optional<double> fill = info.fill_value;
        parallel::parallel_for_range(
            n,
            [&](std::size_t b, std::size_t e) {
                for (std::size_t i = b; i < e; ++i) {
                    const double v = out[i];
                    if (fill && v == *fill) continue;  // fill values stay as stored
                    out[i] = v * scale + offset;
                }
            },
            kRunGrain);
    }
    return out;
}

Result<Bytes> Hdf5File::Impl::read_bytes(const DatasetInfo& info) const {
    Bytes out;
    if (info.null_space) return out;
    const Layout& l = info.layout;
    if (l.cls == Layout::None) return out;
    if (l.cls == Layout::Contiguous && (l.address == kUndefined || l.size == 0)) return out;
    auto region = make_region(*src, info, std::nullopt, 1);
    if (!region) return std::unexpected(region.error());
    const std::size_t bytes = static_cast<std::size_t>(region->elements * info.elem_size);
    if (l.cls == Layout::Chunked) {
        out.resize(bytes);
        if (!info.fill.empty()) {
            for (std::size_t i = 0; i + info.elem_size <= bytes; i += info.elem_size) {
                std::memcpy(out.data() + i, info.fill.data(), info.elem_size);
            }
        }
        ByteTarget target{out.data(), info.elem_size};
        auto r = read_chunked(*src, info, *region, std::nullopt, target);
        if (!r) return std::unexpected(r.error());
        return out;
    }
    auto range = stored_range(info, *region);
    if (!range) return std::unexpected(range.error());
    if (l.cls == Layout::Compact) {
        return Bytes(l.compact.begin() + static_cast<std::ptrdiff_t>(range->first),
                     l.compact.begin() + static_cast<std::ptrdiff_t>(range->first + range->second));
    }
    std::uint64_t base;
    if (!checked_add(l.address, range->first, base)) return fail_nc("Storage of dataset " + info.name + " runs past the end of the file");
    return src->read(base, range->second);
}

}  // namespace wrf
