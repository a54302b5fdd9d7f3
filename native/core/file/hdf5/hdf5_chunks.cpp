// Chunk indexes: v1 B-tree, single chunk, implicit, fixed array, extensible
// array and v2 B-tree. Each yields the records of the chunks a read needs.
#include <bit>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "file/hdf5/hdf5_internal.hpp"

namespace wrf::h5 {

namespace {

bool sig(ByteSpan b, const char* s) { return b.size() >= 4 && std::memcmp(b.data(), s, 4) == 0; }

std::uint64_t ceil_div(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0); }

// A read visits at most this many chunk positions, or one per byte of the
// file when that is more: beyond it the header describes no real file.
constexpr std::uint64_t kMinPositionBudget = std::uint64_t{1} << 20;

struct Grid {
    std::size_t rank;
    std::vector<std::uint64_t> chunk;
    std::vector<std::uint64_t> count;  // chunks per dimension over the current extent
    std::vector<std::uint64_t> down;   // linear-index strides over the maximum extent (index order)
    std::vector<std::size_t> order;    // dimension stored at each index position
};

// Strides of the linear chunk index. The fixed and extensible arrays and the
// implicit index number chunks row-major over the maximum extent; the
// extensible array first moves its unlimited dimension to the front.
Result<Grid> make_grid(const DatasetInfo& info, bool swizzle) {
    Grid g;
    g.rank = info.dims.size();
    g.chunk = info.layout.chunk;
    std::vector<std::uint64_t> max_count(g.rank);
    std::size_t unlimited = 0;
    for (std::size_t k = 0; k < g.rank; ++k) {
        g.count.push_back(ceil_div(info.dims[k], g.chunk[k]));
        const std::uint64_t m = info.max_dims.size() == g.rank ? info.max_dims[k] : info.dims[k];
        if (m == kUndefined) {
            if (unlimited == 0 && k != 0) unlimited = k;
            max_count[k] = g.count[k];
        } else {
            max_count[k] = std::max(ceil_div(m, g.chunk[k]), g.count[k]);
        }
    }
    for (std::size_t k = 0; k < g.rank; ++k) g.order.push_back(k);
    if (swizzle && unlimited != 0) {
        g.order.erase(g.order.begin() + static_cast<std::ptrdiff_t>(unlimited));
        g.order.insert(g.order.begin(), unlimited);
    }
    g.down.assign(g.rank, 1);
    std::uint64_t stride = 1;
    for (std::size_t i = g.rank; i-- > 0;) {
        g.down[i] = stride;
        if (i > 0 && !checked_mul(stride, max_count[g.order[i]], stride)) return fail_nc("Chunk grid too large");
    }
    return g;
}

std::uint64_t chunk_bytes(const DatasetInfo& info) {
    std::uint64_t n = info.elem_size;
    for (std::uint64_t c : info.layout.chunk) n *= c;  // checked when described
    return n;
}

// Chunks extending past the extent are stored unfiltered when the layout says so.
bool unfiltered_edge(const DatasetInfo& info, const std::vector<std::uint64_t>& offset) {
    if (!(info.layout.flags & 0x01)) return false;
    for (std::size_t k = 0; k < offset.size(); ++k) {
        if (offset[k] + info.layout.chunk[k] > info.dims[k]) return true;
    }
    return false;
}

// Visits every chunk position (in scaled coordinates) a read needs.
template <class F>
Result<void> for_each_position(const Source& src, const Grid& g, const DatasetInfo& info, std::optional<std::uint64_t> t,
                               F&& f) {
    if (g.rank == 0) return {};
    std::vector<std::uint64_t> lo(g.rank, 0), hi = g.count;
    if (t) {
        if (*t >= info.dims[0]) return {};
        lo[0] = *t / g.chunk[0];
        hi[0] = lo[0] + 1;
    }
    std::uint64_t total = 1;
    for (std::size_t k = 0; k < g.rank; ++k) {
        if (hi[k] <= lo[k]) return {};
        if (!checked_mul(total, hi[k] - lo[k], total) || total > std::max(kMinPositionBudget, src.size())) {
            return fail_nc("Too many chunks to read in dataset " + info.name);
        }
    }
    std::vector<std::uint64_t> s = lo;
    while (true) {
        auto r = f(s);
        if (!r) return r;
        std::size_t k = g.rank;
        while (k-- > 0) {
            if (++s[k] < hi[k]) break;
            s[k] = lo[k];
            if (k == 0) return {};
        }
    }
}

std::uint64_t linear_index(const Grid& g, const std::vector<std::uint64_t>& scaled) {
    std::uint64_t idx = 0;
    for (std::size_t i = 0; i < g.rank; ++i) idx += scaled[g.order[i]] * g.down[i];
    return idx;
}

// Keeps records that lie on the grid inside the extent, once each, and that
// hold time t when given.
class RecordSink {
public:
    RecordSink(const DatasetInfo& info, std::optional<std::uint64_t> t, std::vector<ChunkRecord>& out)
        : info_(info), t_(t), out_(out) {}

    Result<void> add(ChunkRecord rec) {
        const auto& chunk = info_.layout.chunk;
        for (std::size_t k = 0; k < chunk.size(); ++k) {
            if (rec.offset[k] % chunk[k] != 0) {
                return fail_nc("Chunk offset " + std::to_string(rec.offset[k]) + " is not on the chunk grid");
            }
            if (rec.offset[k] >= info_.dims[k]) return {};
        }
        if (t_ && !(rec.offset[0] <= *t_ && *t_ - rec.offset[0] < chunk[0])) return {};
        if (rec.address == kUndefined) return {};
        if (!seen_.insert(rec.offset).second) return {};
        if (unfiltered_edge(info_, rec.offset)) rec.mask = ~std::uint32_t{0};
        out_.push_back(std::move(rec));
        return {};
    }

private:
    struct Hash {
        std::size_t operator()(const std::vector<std::uint64_t>& v) const {
            std::size_t h = 0;
            for (std::uint64_t x : v) h = h * 1000003u ^ std::hash<std::uint64_t>{}(x);
            return h;
        }
    };
    const DatasetInfo& info_;
    std::optional<std::uint64_t> t_;
    std::vector<ChunkRecord>& out_;
    std::unordered_set<std::vector<std::uint64_t>, Hash> seen_;
};

// ---------------------------------------------------------------------------
// v1 B-tree (type 1)

struct BTree1Walk {
    const Source& src;
    std::size_t rank;
    RecordSink& sink;
    std::unordered_set<std::uint64_t> seen;
    std::uint64_t budget;  // entries still allowed

    Result<void> node(std::uint64_t b, int expect_level) {
        if (!seen.insert(b).second) return fail_nc("B-tree node 0x" + hex(b) + " is reached twice");
        auto head = src.read(b, 24);
        if (!head) return std::unexpected(head.error());
        if (!sig(*head, "TREE")) return fail_nc("Expected TREE at 0x" + hex(b) + ", got " + got_list(ByteSpan(*head).first(4)));
        if ((*head)[4] != 1) {
            return fail_nc("Expected B-tree v1 node_type=1 (raw data chunks), got " + std::to_string((*head)[4]));
        }
        const int level = (*head)[5];
        if (expect_level >= 0 && level != expect_level) {
            return fail_nc("B-tree node 0x" + hex(b) + " has level " + std::to_string(level) + ", expected " +
                           std::to_string(expect_level));
        }
        const std::size_t entries = le(head->data() + 6, 2);
        if (entries > budget) return fail_nc("B-tree at 0x" + hex(b) + " holds more entries than the file can");
        budget -= entries;
        const std::size_t key = 8 + 8 * (rank + 1);
        auto body = src.read(b + 24, std::uint64_t{entries} * (key + 8) + key);
        if (!body) return std::unexpected(body.error());
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* k = body->data() + i * (key + 8);
            const std::uint64_t child = le(k + key, 8);
            if (level > 0) {
                auto r = node(child, level - 1);
                if (!r) return r;
                continue;
            }
            ChunkRecord rec;
            rec.size = le(k, 4);
            rec.mask = static_cast<std::uint32_t>(le(k + 4, 4));
            for (std::size_t d = 0; d < rank; ++d) rec.offset.push_back(le(k + 8 + 8 * d, 8));
            rec.address = child;
            auto r = sink.add(std::move(rec));
            if (!r) return r;
        }
        return {};
    }
};

// ---------------------------------------------------------------------------
// Fixed array

// Array entries: an address, and for filtered chunks a size of 1 to 8 bytes
// and a filter mask.
bool entry_size_ok(std::uint8_t client, std::size_t esize) {
    if (client == 0) return esize == 8;
    return client == 1 && esize >= 8 + 1 + 4 && esize <= 8 + 8 + 4;
}

Result<void> fixed_array(const Source& src, const DatasetInfo& info, std::optional<std::uint64_t> t, RecordSink& sink) {
    const std::uint64_t h = info.layout.address;
    auto head = src.read(h, 28);
    if (!head) return std::unexpected(head.error());
    if (!sig(*head, "FAHD")) return fail_nc("Expected FAHD at 0x" + hex(h) + ", got " + got_list(ByteSpan(*head).first(4)));
    const std::uint8_t client = (*head)[5];
    const std::size_t esize = (*head)[6];
    const unsigned page_bits = (*head)[7];
    const std::uint64_t nelmts = le(head->data() + 8, 8);
    const std::uint64_t dblock = le(head->data() + 16, 8);
    if (!entry_size_ok(client, esize) || page_bits > 32) return fail_nc("Malformed fixed array header at 0x" + hex(h));
    if (dblock == kUndefined) return {};
    auto dhead = src.read(dblock, 4);
    if (!dhead) return std::unexpected(dhead.error());
    if (!sig(*dhead, "FADB")) return fail_nc("Expected FADB at 0x" + hex(dblock) + ", got " + got_list(*dhead));

    const std::uint64_t page_n = std::uint64_t{1} << page_bits;
    const bool paged = nelmts > page_n;
    const std::uint64_t npages = paged ? ceil_div(nelmts, page_n) : 0;
    const std::uint64_t bitmap = ceil_div(npages, 8);
    const std::uint64_t start = 14 + (paged ? bitmap + 4 : 0);
    // The whole block, entries and page checksums, must lie in the file.
    std::uint64_t span;
    if (nelmts > src.size() || !checked_mul(nelmts, esize, span) || !checked_add(span, start + 4 * (paged ? npages : 1), span) ||
        !src.contains(dblock, span)) {
        return fail_nc("Fixed array data block at 0x" + hex(dblock) + " runs past the end of the file");
    }
    auto block = src.read(dblock, span);
    if (!block) return std::unexpected(block.error());
    const std::uint8_t* bits = block->data() + 14;

    auto grid = make_grid(info, false);
    if (!grid) return std::unexpected(grid.error());
    const std::uint64_t unfiltered = chunk_bytes(info);
    return for_each_position(src, *grid, info, t, [&](const std::vector<std::uint64_t>& s) -> Result<void> {
        const std::uint64_t idx = linear_index(*grid, s);
        if (idx >= nelmts) return {};
        std::uint64_t at = start + idx * esize;
        if (paged) {
            const std::uint64_t page = idx / page_n;
            if (!(bits[page / 8] & (0x80 >> (page % 8)))) return {};
            at = start + page * (page_n * esize + 4) + (idx % page_n) * esize;
        }
        const std::uint8_t* e = block->data() + at;
        ChunkRecord rec;
        rec.address = le(e, 8);
        rec.size = client == 1 ? le(e + 8, esize - 12) : unfiltered;
        rec.mask = client == 1 ? static_cast<std::uint32_t>(le(e + esize - 4, 4)) : 0;
        for (std::size_t k = 0; k < s.size(); ++k) rec.offset.push_back(s[k] * info.layout.chunk[k]);
        return sink.add(std::move(rec));
    });
}

// ---------------------------------------------------------------------------
// Extensible array

class ExtensibleArray {
public:
    static Result<ExtensibleArray> open(const Source& src, std::uint64_t h);
    // The element's bytes, or nothing for an element never written.
    Result<std::optional<Bytes>> get(std::uint64_t idx);
    std::uint8_t client() const { return client_; }
    std::size_t element_size() const { return esize_; }

private:
    struct SuperInfo {
        std::uint64_t ndblks, dblk_nelmts, start_idx, start_dblk;
    };
    Result<std::optional<Bytes>> from_data_block(std::uint64_t addr, std::uint64_t nelmts, std::uint64_t off);

    const Source* src_ = nullptr;
    std::uint8_t client_ = 0;
    std::size_t esize_ = 0;
    std::size_t arr_off_size_ = 0;
    std::uint64_t iblock_elmts_ = 0;
    std::uint64_t min_elmts_ = 0;
    std::uint64_t page_n_ = 0;
    std::size_t iblock_sblks_ = 0;
    std::vector<SuperInfo> sblk_;
    Bytes iblock_;
    std::size_t dblk_at_ = 0, sblk_at_ = 0;
    std::unordered_map<std::uint64_t, Bytes> super_blocks_;
    std::unordered_map<std::uint64_t, Bytes> data_blocks_;
    std::uint64_t cached_ = 0;
};

Result<ExtensibleArray> ExtensibleArray::open(const Source& src, std::uint64_t h) {
    auto head = src.read(h, 72);
    if (!head) return std::unexpected(head.error());
    if (!sig(*head, "EAHD")) return fail_nc("Expected EAHD at 0x" + hex(h) + ", got " + got_list(ByteSpan(*head).first(4)));
    const std::uint8_t* p = head->data();
    ExtensibleArray ea;
    ea.src_ = &src;
    ea.client_ = p[5];
    ea.esize_ = p[6];
    const unsigned max_bits = p[7];
    ea.iblock_elmts_ = p[8];
    ea.min_elmts_ = p[9];
    const std::uint64_t min_ptrs = p[10];
    const unsigned page_bits = p[11];
    const std::uint64_t iblock = le(p + 60, 8);
    if (!entry_size_ok(ea.client_, ea.esize_) || max_bits == 0 || max_bits > 64 ||
        !std::has_single_bit(ea.min_elmts_) || !std::has_single_bit(min_ptrs) || min_ptrs < 2 || page_bits > 32 ||
        static_cast<unsigned>(std::countr_zero(ea.min_elmts_)) > max_bits) {
        return fail_nc("Malformed extensible array header at 0x" + hex(h));
    }
    ea.arr_off_size_ = (max_bits + 7) / 8;
    ea.page_n_ = std::uint64_t{1} << page_bits;
    const std::size_t nsblks = 1 + max_bits - static_cast<std::size_t>(std::countr_zero(ea.min_elmts_));
    std::uint64_t start_idx = 0, start_dblk = 0;
    for (std::size_t u = 0; u < nsblks; ++u) {
        SuperInfo s;
        s.ndblks = std::uint64_t{1} << (u / 2);
        if ((u + 1) / 2 + static_cast<std::size_t>(std::countr_zero(ea.min_elmts_)) >= 64) break;
        s.dblk_nelmts = (std::uint64_t{1} << ((u + 1) / 2)) * ea.min_elmts_;
        s.start_idx = start_idx;
        s.start_dblk = start_dblk;
        ea.sblk_.push_back(s);
        std::uint64_t add;
        if (!checked_mul(s.ndblks, s.dblk_nelmts, add) || !checked_add(start_idx, add, start_idx)) break;
        start_dblk += s.ndblks;
    }
    ea.iblock_sblks_ = 2 * static_cast<std::size_t>(std::countr_zero(min_ptrs));
    const std::uint64_t ndblk_addrs = 2 * (min_ptrs - 1);
    const std::uint64_t nsblk_addrs = nsblks > ea.iblock_sblks_ ? nsblks - ea.iblock_sblks_ : 0;
    if (iblock == kUndefined) return ea;
    auto ib = src.read(iblock, 14 + ea.iblock_elmts_ * ea.esize_ + 8 * (ndblk_addrs + nsblk_addrs));
    if (!ib) return std::unexpected(ib.error());
    if (!sig(*ib, "EAIB")) return fail_nc("Expected EAIB at 0x" + hex(iblock) + ", got " + got_list(ByteSpan(*ib).first(4)));
    ea.iblock_ = std::move(*ib);
    ea.dblk_at_ = 14 + static_cast<std::size_t>(ea.iblock_elmts_ * ea.esize_);
    ea.sblk_at_ = ea.dblk_at_ + static_cast<std::size_t>(8 * ndblk_addrs);
    return ea;
}

Result<std::optional<Bytes>> ExtensibleArray::get(std::uint64_t idx) {
    if (iblock_.empty()) return std::optional<Bytes>{};
    if (idx < iblock_elmts_) {
        const std::uint8_t* e = iblock_.data() + 14 + idx * esize_;
        return std::optional<Bytes>(Bytes(e, e + esize_));
    }
    const std::uint64_t e = idx - iblock_elmts_;
    const std::size_t s = static_cast<std::size_t>(std::bit_width(e / min_elmts_ + 1) - 1);
    if (s >= sblk_.size()) return std::optional<Bytes>{};
    const SuperInfo& info = sblk_[s];
    const std::uint64_t local = e - info.start_idx;
    const std::uint64_t dblk = local / info.dblk_nelmts;
    const std::uint64_t off = local % info.dblk_nelmts;
    if (s < iblock_sblks_) {
        const std::uint64_t slot = info.start_dblk + dblk;
        if (dblk_at_ + 8 * (slot + 1) > sblk_at_) return std::optional<Bytes>{};
        return from_data_block(le(iblock_.data() + dblk_at_ + 8 * slot, 8), info.dblk_nelmts, off);
    }
    const std::size_t slot = s - iblock_sblks_;
    if (sblk_at_ + 8 * (slot + 1) > iblock_.size()) return std::optional<Bytes>{};
    const std::uint64_t saddr = le(iblock_.data() + sblk_at_ + 8 * slot, 8);
    if (saddr == kUndefined) return std::optional<Bytes>{};
    const bool paged = info.dblk_nelmts > page_n_;
    const std::uint64_t bitmap = paged ? ceil_div(info.dblk_nelmts / page_n_, 8) : 0;
    const std::uint64_t prefix = 14 + arr_off_size_;
    auto it = super_blocks_.find(saddr);
    if (it == super_blocks_.end()) {
        auto sb = src_->read(saddr, prefix + info.ndblks * (bitmap + 8));
        if (!sb) return std::unexpected(sb.error());
        if (!sig(*sb, "EASB")) return fail_nc("Expected EASB at 0x" + hex(saddr) + ", got " + got_list(ByteSpan(*sb).first(4)));
        it = super_blocks_.emplace(saddr, std::move(*sb)).first;
    }
    const Bytes& sb = it->second;
    const std::uint64_t addr = le(sb.data() + prefix + info.ndblks * bitmap + 8 * dblk, 8);
    if (paged) {
        // One bit per page of every data block, packed across the blocks.
        const std::uint64_t bit = dblk * (info.dblk_nelmts / page_n_) + off / page_n_;
        if (!(sb[prefix + bit / 8] & (0x80 >> (bit % 8)))) return std::optional<Bytes>{};
    }
    return from_data_block(addr, info.dblk_nelmts, off);
}

Result<std::optional<Bytes>> ExtensibleArray::from_data_block(std::uint64_t addr, std::uint64_t nelmts,
                                                              std::uint64_t off) {
    if (addr == kUndefined) return std::optional<Bytes>{};
    const bool paged = nelmts > page_n_;
    const std::uint64_t npages = paged ? nelmts / page_n_ : 0;
    std::uint64_t at = 14 + arr_off_size_;
    if (paged) {
        const std::uint64_t page = off / page_n_;
        at += 4 + page * (page_n_ * esize_ + 4) + (off % page_n_) * esize_;
    } else {
        at += off * esize_;
    }
    auto it = data_blocks_.find(addr);
    if (it == data_blocks_.end()) {
        // The whole block must lie in the file; blocks are read once and
        // kept while they fit a budget of a few times the file size.
        std::uint64_t span;
        if (!checked_mul(nelmts, esize_, span) || !checked_add(span, 14 + arr_off_size_ + 4 * (paged ? npages + 1 : 1), span) ||
            !src_->contains(addr, span)) {
            return fail_nc("Extensible array data block at 0x" + hex(addr) + " runs past the end of the file");
        }
        if (cached_ + span > 4 * src_->size() + (std::uint64_t{1} << 20)) {
            auto s = src_->read(addr, 4);
            if (!s) return std::unexpected(s.error());
            if (!sig(*s, "EADB")) return fail_nc("Expected EADB at 0x" + hex(addr) + ", got " + got_list(*s));
            auto e = src_->read(addr + at, esize_);
            if (!e) return std::unexpected(e.error());
            return std::optional<Bytes>(std::move(*e));
        }
        auto block = src_->read(addr, span);
        if (!block) return std::unexpected(block.error());
        if (!sig(*block, "EADB")) {
            return fail_nc("Expected EADB at 0x" + hex(addr) + ", got " + got_list(ByteSpan(*block).first(4)));
        }
        cached_ += span;
        it = data_blocks_.emplace(addr, std::move(*block)).first;
    }
    const std::uint8_t* e = it->second.data() + at;
    return std::optional<Bytes>(Bytes(e, e + esize_));
}

Result<void> extensible_array(const Source& src, const DatasetInfo& info, std::optional<std::uint64_t> t, RecordSink& sink) {
    auto ea = ExtensibleArray::open(src, info.layout.address);
    if (!ea) return std::unexpected(ea.error());
    auto grid = make_grid(info, true);
    if (!grid) return std::unexpected(grid.error());
    const std::uint64_t unfiltered = chunk_bytes(info);
    const std::size_t esize = ea->element_size();
    return for_each_position(src, *grid, info, t, [&](const std::vector<std::uint64_t>& s) -> Result<void> {
        auto e = ea->get(linear_index(*grid, s));
        if (!e) return std::unexpected(e.error());
        if (!*e) return {};
        const Bytes& b = **e;
        ChunkRecord rec;
        rec.address = le(b.data(), 8);
        rec.size = ea->client() == 1 ? le(b.data() + 8, esize - 12) : unfiltered;
        rec.mask = ea->client() == 1 ? static_cast<std::uint32_t>(le(b.data() + esize - 4, 4)) : 0;
        for (std::size_t k = 0; k < s.size(); ++k) rec.offset.push_back(s[k] * info.layout.chunk[k]);
        return sink.add(std::move(rec));
    });
}

// ---------------------------------------------------------------------------
// v2 B-tree (records of type 10 and 11)

Result<void> btree2_chunks(const Source& src, const DatasetInfo& info, RecordSink& sink) {
    auto tree = read_btree2(src, info.layout.address);
    if (!tree) return std::unexpected(tree.error());
    if (tree->records.empty()) return {};
    const std::size_t rank = info.dims.size();
    const std::size_t rs = tree->record_size;
    const bool filtered = tree->type == 11;
    if (tree->type != 10 && tree->type != 11) {
        return fail_nc("Unexpected v2 B-tree record type " + std::to_string(tree->type) + " for a chunk index");
    }
    const std::size_t fixed = 8 + 8 * rank + (filtered ? 4 : 0);
    if (rs < fixed + (filtered ? 1 : 0) || (!filtered && rs != fixed) || (filtered && rs - fixed > 8)) {
        return fail_nc("Malformed chunk record size " + std::to_string(rs));
    }
    const std::size_t size_len = rs - fixed;
    const std::uint64_t unfiltered = chunk_bytes(info);
    for (const Bytes& r : tree->records) {
        Cursor c(r);
        ChunkRecord rec;
        rec.address = c.u64();
        rec.size = filtered ? c.uint(size_len) : unfiltered;
        rec.mask = filtered ? c.u32() : 0;
        for (std::size_t k = 0; k < rank; ++k) {
            std::uint64_t o;
            if (!checked_mul(c.u64(), info.layout.chunk[k], o)) return fail_nc("Chunk offset out of range");
            rec.offset.push_back(o);
        }
        auto added = sink.add(std::move(rec));
        if (!added) return added;
    }
    return {};
}

}  // namespace

Result<std::vector<ChunkRecord>> collect_chunks(const Source& src, const DatasetInfo& info, std::optional<std::uint64_t> t) {
    std::vector<ChunkRecord> out;
    const Layout& l = info.layout;
    if (l.address == kUndefined) return out;
    RecordSink sink(info, t, out);
    const std::size_t rank = info.dims.size();
    switch (l.index) {
        case ChunkIndex::BTreeV1: {
            BTree1Walk walk{src, rank, sink, {}, src.size() / 16 + 16};
            auto r = walk.node(l.address, -1);
            if (!r) return std::unexpected(r.error());
            break;
        }
        case ChunkIndex::Single: {
            ChunkRecord rec;
            rec.offset.assign(rank, 0);
            rec.address = l.address;
            rec.size = (l.flags & 0x02) ? l.single_size : chunk_bytes(info);
            rec.mask = (l.flags & 0x02) ? l.single_mask : 0;
            auto r = sink.add(std::move(rec));
            if (!r) return std::unexpected(r.error());
            break;
        }
        case ChunkIndex::Implicit: {
            auto grid = make_grid(info, false);
            if (!grid) return std::unexpected(grid.error());
            const std::uint64_t bytes = chunk_bytes(info);
            auto r = for_each_position(src, *grid, info, t, [&](const std::vector<std::uint64_t>& s) -> Result<void> {
                ChunkRecord rec;
                std::uint64_t off;
                if (!checked_mul(linear_index(*grid, s), bytes, off) || !checked_add(l.address, off, rec.address)) {
                    return fail_nc("Implicit chunk address out of range");
                }
                rec.size = bytes;
                if (!src.contains(rec.address, bytes)) return fail_nc("Implicit chunk at 0x" + hex(rec.address) + " lies outside the file");
                for (std::size_t k = 0; k < s.size(); ++k) rec.offset.push_back(s[k] * l.chunk[k]);
                return sink.add(std::move(rec));
            });
            if (!r) return std::unexpected(r.error());
            break;
        }
        case ChunkIndex::FixedArray: {
            auto r = fixed_array(src, info, t, sink);
            if (!r) return std::unexpected(r.error());
            break;
        }
        case ChunkIndex::ExtensibleArray: {
            auto r = extensible_array(src, info, t, sink);
            if (!r) return std::unexpected(r.error());
            break;
        }
        case ChunkIndex::BTreeV2: {
            auto r = btree2_chunks(src, info, sink);
            if (!r) return std::unexpected(r.error());
            break;
        }
    }
    return out;
}

}  // namespace wrf::h5
