// Groups, links, local/fractal/global heaps, v1 group B-trees, v2 B-trees and
// attribute collection.
#include <bit>
#include <cstring>
#include <unordered_set>

#include "file/hdf5/hdf5_internal.hpp"

namespace wrf::h5 {

namespace {

bool sig(ByteSpan b, const char* s) { return b.size() >= 4 && std::memcmp(b.data(), s, 4) == 0; }

// Bytes needed to store the value n (at least one).
std::size_t enc_size(std::uint64_t n) { return n == 0 ? 1 : static_cast<std::size_t>(std::bit_width(n) + 7) / 8; }

// ---------------------------------------------------------------------------
// Old-style groups

struct LocalHeap {
    Bytes data;
};

Result<LocalHeap> read_local_heap(const Source& src, std::uint64_t h) {
    auto head = src.read(h, 32);
    if (!head) return std::unexpected(head.error());
    if (!sig(*head, "HEAP")) return fail_nc("Expected HEAP at 0x" + hex(h) + ", got " + got_list(ByteSpan(*head).first(4)));
    const std::uint64_t size = le(head->data() + 8, 8);
    const std::uint64_t addr = le(head->data() + 24, 8);
    LocalHeap heap;
    if (size != 0 && addr != kUndefined) {
        auto data = src.read(addr, size);
        if (!data) return std::unexpected(data.error());
        heap.data = std::move(*data);
    }
    return heap;
}

// Symbol-node addresses of a group B-tree, in order.
Result<void> group_btree_nodes(const Source& src, std::uint64_t b, int expect_level, std::unordered_set<std::uint64_t>& seen,
                               std::vector<std::uint64_t>& out) {
    if (!seen.insert(b).second) return fail_nc("B-tree node 0x" + hex(b) + " is reached twice");
    auto head = src.read(b, 24);
    if (!head) return std::unexpected(head.error());
    if (!sig(*head, "TREE")) return fail_nc("Expected TREE at 0x" + hex(b) + ", got " + got_list(ByteSpan(*head).first(4)));
    if ((*head)[4] != 0) return fail_nc("Expected B-tree v1 node_type=0 (group), got " + std::to_string((*head)[4]));
    const int level = (*head)[5];
    if (expect_level >= 0 && level != expect_level) {
        return fail_nc("B-tree node 0x" + hex(b) + " has level " + std::to_string(level) + ", expected " +
                       std::to_string(expect_level));
    }
    const std::size_t entries = le(head->data() + 6, 2);
    auto body = src.read(b + 24, 8 + 16 * std::uint64_t{entries});
    if (!body) return std::unexpected(body.error());
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint64_t child = le(body->data() + 8 + 16 * i, 8);
        if (level > 0) {
            auto r = group_btree_nodes(src, child, level - 1, seen, out);
            if (!r) return r;
        } else {
            out.push_back(child);
        }
    }
    return {};
}

// ---------------------------------------------------------------------------
// Links

struct LinkInfo {
    std::uint64_t heap = kUndefined;
    std::uint64_t name_index = kUndefined;
};

std::optional<LinkInfo> decode_link_info(ByteSpan m) {
    Cursor c(m);
    c.u8();
    const std::uint8_t flags = c.u8();
    if (flags & 0x01) c.u64();
    LinkInfo li;
    li.heap = c.u64();
    li.name_index = c.u64();
    if (!c.ok) return std::nullopt;
    return li;
}

// name and address of a hard link, or nothing for any other link.
std::optional<std::pair<std::string, std::uint64_t>> decode_link(ByteSpan m) {
    Cursor c(m);
    c.u8();
    const std::uint8_t flags = c.u8();
    if (flags & 0x08) {
        if (c.u8() != 0) return std::nullopt;
    }
    if (flags & 0x04) c.u64();
    if (flags & 0x10) c.u8();
    const std::size_t width = std::size_t{1} << (flags & 3);
    const std::uint64_t len = c.uint(width);
    if (!c.ok || len > c.remaining()) return std::nullopt;
    ByteSpan name = c.take(static_cast<std::size_t>(len));
    const std::uint64_t addr = c.u64();
    if (!c.ok) return std::nullopt;
    return std::pair{decode_name(name), addr};
}

// ---------------------------------------------------------------------------
// Fractal heap (managed objects only)

class FractalHeap {
public:
    static Result<FractalHeap> open(const Source& src, std::uint64_t f);
    // The object's bytes; nothing when the ID is not a resolvable managed ID.
    Result<std::optional<Bytes>> get(ByteSpan id) const;

private:
    Result<std::optional<Bytes>> from_indirect(std::uint64_t addr, std::size_t rows, std::uint64_t block_offset,
                                               std::uint64_t offset, std::uint64_t length, int depth) const;
    std::uint64_t row_size(std::size_t r) const { return r < 2 ? start_ : start_ << (r - 1); }

    const Source* src_ = nullptr;
    std::uint16_t width_ = 0;
    std::uint64_t start_ = 0;
    std::uint64_t max_direct_ = 0;
    std::uint16_t filter_len_ = 0;
    std::uint64_t root_ = kUndefined;
    std::size_t root_rows_ = 0;
    std::size_t offset_size_ = 0;
    std::size_t length_size_ = 0;
    std::size_t max_direct_rows_ = 0;
};

Result<FractalHeap> FractalHeap::open(const Source& src, std::uint64_t f) {
    auto h = src.read(f, 142);
    if (!h) return std::unexpected(h.error());
    if (!sig(*h, "FRHP")) return fail_nc("Expected FRHP at 0x" + hex(f));
    const std::uint8_t* p = h->data();
    FractalHeap heap;
    heap.src_ = &src;
    heap.filter_len_ = static_cast<std::uint16_t>(le(p + 7, 2));
    const std::uint64_t max_managed = le(p + 10, 4);
    heap.width_ = static_cast<std::uint16_t>(le(p + 110, 2));
    heap.start_ = le(p + 112, 8);
    heap.max_direct_ = le(p + 120, 8);
    const std::size_t max_bits = le(p + 128, 2);
    heap.root_ = le(p + 132, 8);
    heap.root_rows_ = le(p + 140, 2);

    // Shapes no writer produces would make the row arithmetic overflow.
    if (heap.width_ == 0 || !std::has_single_bit(heap.start_) || !std::has_single_bit(heap.max_direct_) ||
        heap.max_direct_ < heap.start_ || max_bits == 0 || max_bits > 64 || heap.root_rows_ > 64 ||
        !std::has_single_bit(std::uint64_t{heap.width_})) {
        return fail_nc("Malformed fractal heap header at 0x" + hex(f));
    }
    heap.offset_size_ = (max_bits + 7) / 8;
    heap.length_size_ = std::min(static_cast<std::size_t>(std::bit_width(heap.max_direct_) - 1 + 7) / 8,
                                 static_cast<std::size_t>(std::bit_width(max_managed) - 1) / 8 + 1);
    if (max_managed == 0) heap.length_size_ = enc_size(heap.max_direct_);
    heap.max_direct_rows_ = static_cast<std::size_t>(std::countr_zero(heap.max_direct_) - std::countr_zero(heap.start_)) + 2;
    return heap;
}

Result<std::optional<Bytes>> FractalHeap::get(ByteSpan id) const {
    if (id.empty() || (id[0] & 0x30) != 0 || (id[0] & 0xC0) != 0) return std::optional<Bytes>{};
    Cursor c(id, 1);
    const std::uint64_t offset = c.uint(offset_size_);
    const std::uint64_t length = c.uint(length_size_);
    if (!c.ok || length == 0) return std::optional<Bytes>{};
    if (root_rows_ == 0) {
        if (root_ == kUndefined) return fail_nc("Direct block at undefined address");
        std::uint64_t end;
        if (!checked_add(offset, length, end) || end > start_) return std::optional<Bytes>{};
        auto s = src_->read(root_, 4);
        if (!s) return std::unexpected(s.error());
        if (!sig(*s, "FHDB")) return fail_nc("Expected FHDB at 0x" + hex(root_) + ", got " + got_list(*s));
        std::uint64_t at;
        if (!checked_add(root_, offset, at)) return std::optional<Bytes>{};
        auto obj = src_->read(at, length);
        if (!obj) return std::unexpected(obj.error());
        return std::optional<Bytes>(std::move(*obj));
    }
    if (root_ == kUndefined) return fail_nc("Indirect block at undefined address");
    return from_indirect(root_, root_rows_, 0, offset, length, 0);
}

Result<std::optional<Bytes>> FractalHeap::from_indirect(std::uint64_t addr, std::size_t rows, std::uint64_t block_offset,
                                                        std::uint64_t offset, std::uint64_t length, int depth) const {
    if (depth > 64) return fail_nc("Fractal heap nesting too deep at 0x" + hex(addr));
    const std::size_t prefix = 4 + 1 + 8 + offset_size_;
    const std::size_t direct_entry = 8 + (filter_len_ ? 12 : 0);
    const std::size_t direct_rows = std::min(rows, max_direct_rows_);
    const std::uint64_t entries_size =
        std::uint64_t{direct_rows} * width_ * direct_entry + std::uint64_t{rows - direct_rows} * width_ * 8;
    auto block = src_->read(addr, prefix + entries_size);
    if (!block) return std::unexpected(block.error());
    if (!sig(*block, "FHIB")) {
        return fail_nc("Expected FHIB at 0x" + hex(addr) + ", got " + got_list(ByteSpan(*block).first(4)));
    }
    std::uint64_t cur = block_offset;
    std::size_t at = prefix;
    for (std::size_t r = 0; r < rows; ++r) {
        const std::uint64_t size = row_size(r);
        const bool direct = r < max_direct_rows_;
        for (std::size_t col = 0; col < width_; ++col, at += direct ? direct_entry : 8) {
            std::uint64_t end;
            if (!checked_add(cur, size, end)) return fail_nc("Malformed fractal heap row sizes at 0x" + hex(addr));
            if (offset >= cur && offset < end) {
                const std::uint64_t child = le(block->data() + at, 8);
                if (direct) {
                    if (child == kUndefined) return fail_nc("Direct block at undefined address");
                    if (length > end - offset) return std::optional<Bytes>{};
                    auto s = src_->read(child, 4);
                    if (!s) return std::unexpected(s.error());
                    if (!sig(*s, "FHDB")) return fail_nc("Expected FHDB at 0x" + hex(child) + ", got " + got_list(*s));
                    std::uint64_t pos;
                    if (!checked_add(child, offset - cur, pos)) return std::optional<Bytes>{};
                    auto obj = src_->read(pos, length);
                    if (!obj) return std::unexpected(obj.error());
                    return std::optional<Bytes>(std::move(*obj));
                }
                if (child == kUndefined) return fail_nc("Indirect block at undefined address");
                // An indirect child of this size holds rows up to its own size.
                const int child_rows = std::countr_zero(size) - std::countr_zero(start_ * width_) + 1;
                if (child_rows <= 0 || static_cast<std::size_t>(child_rows) >= rows) {
                    return fail_nc("Malformed fractal heap indirect block at 0x" + hex(child));
                }
                return from_indirect(child, static_cast<std::size_t>(child_rows), cur, offset, length, depth + 1);
            }
            cur = end;
        }
    }
    return fail_nc("Heap offset " + std::to_string(offset) + " not found in indirect block at 0x" + hex(addr));
}

// Heap ID of a v2 B-tree record of a dense link or attribute index.
ByteSpan heap_id_of(std::uint8_t type, ByteSpan rec) {
    switch (type) {
        case 5: return rec.size() >= 4 ? rec.subspan(4) : ByteSpan{};
        case 6: return rec.size() >= 8 ? rec.subspan(8) : ByteSpan{};
        case 8: return rec.size() >= 9 ? rec.first(rec.size() - 9) : ByteSpan{};
        case 9: return rec.size() >= 5 ? rec.first(rec.size() - 5) : ByteSpan{};
        default: return rec;
    }
}

// Every object a dense index leads to, in key order; unresolvable IDs skipped.
Result<std::vector<Bytes>> dense_objects(const Source& src, std::uint64_t heap_addr, std::uint64_t index_addr) {
    auto heap = FractalHeap::open(src, heap_addr);
    if (!heap) return std::unexpected(heap.error());
    std::vector<Bytes> out;
    if (index_addr == kUndefined) return out;
    auto tree = read_btree2(src, index_addr);
    if (!tree) return std::unexpected(tree.error());
    for (const Bytes& rec : tree->records) {
        auto obj = heap->get(heap_id_of(tree->type, rec));
        if (!obj) return std::unexpected(obj.error());
        if (*obj) out.push_back(std::move(**obj));
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// v2 B-tree

namespace {

struct BTree2Shape {
    std::uint32_t node_size;
    std::uint16_t record_size;
    std::vector<std::uint64_t> max_records;      // per depth
    std::vector<std::uint64_t> cum_max_records;  // per depth
    std::vector<std::size_t> cum_size;           // bytes of a "total records" field, per depth
    std::size_t count_size;                      // bytes of a "records in child" field
};

struct BTree2Walk {
    const Source& src;
    const BTree2Shape& shape;
    std::uint8_t type;
    std::unordered_set<std::uint64_t> seen;
    std::uint64_t budget;  // records still allowed
    std::vector<Bytes>& out;

    Result<void> node(std::uint64_t addr, std::size_t depth, std::uint64_t count) {
        if (!seen.insert(addr).second) return fail_nc("B-tree node 0x" + hex(addr) + " is reached twice");
        if (count > shape.max_records[depth]) return fail_nc("B-tree node 0x" + hex(addr) + " claims too many records");
        if (count > budget) return fail_nc("B-tree at 0x" + hex(addr) + " holds more records than its header says");
        auto n = src.read(addr, shape.node_size);
        if (!n) return std::unexpected(n.error());
        const bool leaf = depth == 0;
        if (leaf && !sig(*n, "BTLF")) return fail_nc("Expected BTLF at 0x" + hex(addr));
        if (!leaf && !sig(*n, "BTIN")) {
            return fail_nc("Expected BTIN at 0x" + hex(addr) + ", got " + got_list(ByteSpan(*n).first(4)));
        }
        const std::size_t rs = shape.record_size;
        const std::size_t records_at = 6;
        // max_records bounds count so that records and pointers fit the node.
        if (leaf) {
            for (std::uint64_t i = 0; i < count; ++i) {
                const std::uint8_t* r = n->data() + records_at + i * rs;
                out.emplace_back(r, r + rs);
            }
            budget -= count;
            return {};
        }
        const std::size_t ptr_size = 8 + shape.count_size + (depth > 1 ? shape.cum_size[depth - 1] : 0);
        const std::size_t ptrs_at = records_at + static_cast<std::size_t>(count) * rs;
        for (std::uint64_t i = 0; i <= count; ++i) {
            const std::uint8_t* p = n->data() + ptrs_at + i * ptr_size;
            const std::uint64_t child = le(p, 8);
            const std::uint64_t child_count = le(p + 8, shape.count_size);
            auto r = node(child, depth - 1, child_count);
            if (!r) return r;
            if (i < count) {
                if (budget == 0) return fail_nc("B-tree at 0x" + hex(addr) + " holds more records than its header says");
                const std::uint8_t* rec = n->data() + records_at + i * rs;
                out.emplace_back(rec, rec + rs);
                --budget;
            }
        }
        return {};
    }
};

}  // namespace

Result<BTree2> read_btree2(const Source& src, std::uint64_t t) {
    auto h = src.read(t, 34);
    if (!h) return std::unexpected(h.error());
    if (!sig(*h, "BTHD")) return fail_nc("Expected BTHD at 0x" + hex(t));
    const std::uint8_t* p = h->data();
    BTree2 tree;
    tree.type = p[5];
    BTree2Shape shape;
    shape.node_size = static_cast<std::uint32_t>(le(p + 6, 4));
    shape.record_size = static_cast<std::uint16_t>(le(p + 10, 2));
    tree.record_size = shape.record_size;
    const std::size_t depth = le(p + 12, 2);
    const std::uint64_t root = le(p + 16, 8);
    const std::uint64_t root_count = le(p + 24, 2);
    const std::uint64_t total = le(p + 26, 8);
    if (root == kUndefined || root_count == 0) return tree;

    constexpr std::size_t kPrefix = 10;  // signature, version, type, checksum
    if (shape.record_size == 0 || shape.node_size <= kPrefix || depth > 32 || total > src.size()) {
        return fail_nc("Malformed v2 B-tree header at 0x" + hex(t));
    }
    shape.max_records.push_back((shape.node_size - kPrefix) / shape.record_size);
    shape.cum_max_records.push_back(shape.max_records[0]);
    shape.cum_size.push_back(0);
    shape.count_size = enc_size(shape.max_records[0]);
    for (std::size_t d = 1; d <= depth; ++d) {
        const std::size_t ptr = 8 + shape.count_size + (d > 1 ? shape.cum_size[d - 1] : 0);
        const std::uint64_t room = shape.node_size > kPrefix + ptr ? shape.node_size - kPrefix - ptr : 0;
        const std::uint64_t max = room / (shape.record_size + ptr);
        std::uint64_t cum;
        if (!checked_mul(max + 1, shape.cum_max_records[d - 1], cum) || !checked_add(cum, max, cum)) cum = ~std::uint64_t{0};
        shape.max_records.push_back(max);
        shape.cum_max_records.push_back(cum);
        shape.cum_size.push_back(enc_size(cum));
    }
    BTree2Walk walk{src, shape, tree.type, {}, total, tree.records};
    auto r = walk.node(root, depth, root_count);
    if (!r) return std::unexpected(r.error());
    return tree;
}

// ---------------------------------------------------------------------------
// Groups

Result<void> read_symbol_table_group(const Source& src, std::uint64_t btree, std::uint64_t heap_addr, LinkMap& out) {
    auto heap = read_local_heap(src, heap_addr);
    if (!heap) return std::unexpected(heap.error());
    std::vector<std::uint64_t> nodes;
    std::unordered_set<std::uint64_t> seen;
    auto r = group_btree_nodes(src, btree, -1, seen, nodes);
    if (!r) return r;
    std::unordered_set<std::uint64_t> seen_nodes;
    for (std::uint64_t s : nodes) {
        if (!seen_nodes.insert(s).second) return fail_nc("Symbol node 0x" + hex(s) + " is listed twice");
        auto head = src.read(s, 8);
        if (!head) return std::unexpected(head.error());
        if (!sig(*head, "SNOD")) return fail_nc("Expected SNOD at 0x" + hex(s) + ", got " + got_list(ByteSpan(*head).first(4)));
        const std::size_t count = le(head->data() + 6, 2);
        auto body = src.read(s + 8, 40 * std::uint64_t{count});
        if (!body) return std::unexpected(body.error());
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = body->data() + 40 * i;
            const std::uint64_t name_off = le(e, 8);
            const std::uint64_t addr = le(e + 8, 8);
            if (addr == kUndefined || name_off >= heap->data.size()) continue;
            const std::uint8_t* begin = heap->data.data() + name_off;
            const std::uint8_t* end = heap->data.data() + heap->data.size();
            const std::uint8_t* nul = std::find(begin, end, std::uint8_t{0});
            out.insert_or_assign(decode_name(ByteSpan(begin, nul)), addr);
        }
    }
    return {};
}

Result<void> read_group(const Source& src, std::uint64_t ohdr, LinkMap& out) {
    std::optional<LinkInfo> info;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> symbols;
    auto r = walk_object_header(src, ohdr, [&](const Message& m) -> Result<void> {
        if (m.type == kMsgLink) {
            if (auto link = decode_link(m.data)) out.insert_or_assign(std::move(link->first), link->second);
        } else if (m.type == kMsgLinkInfo) {
            info = decode_link_info(m.data);
        } else if (m.type == kMsgSymbolTable && m.data.size() >= 16) {
            symbols = std::pair{le(m.data.data(), 8), le(m.data.data() + 8, 8)};
        }
        return {};
    });
    if (!r) return r;
    if (info && info->heap != kUndefined) {
        auto objs = dense_objects(src, info->heap, info->name_index);
        if (!objs) return std::unexpected(objs.error());
        for (const Bytes& o : *objs) {
            if (auto link = decode_link(o)) out.insert_or_assign(std::move(link->first), link->second);
        }
    }
    if (symbols) return read_symbol_table_group(src, symbols->first, symbols->second, out);
    return {};
}

// ---------------------------------------------------------------------------
// Attributes

Result<std::map<std::string, Attribute>> read_attributes(const Source& src, std::uint64_t ohdr) {
    std::map<std::string, Attribute> out;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> dense;
    auto r = walk_object_header(src, ohdr, [&](const Message& m) -> Result<void> {
        if (m.type == kMsgAttribute) {
            auto storage = std::make_shared<Bytes>(m.data.begin(), m.data.end());
            if (auto a = decode_attribute(*storage, storage)) out.insert_or_assign(a->name, std::move(*a));
        } else if (m.type == kMsgAttributeInfo) {
            Cursor c(m.data);
            c.u8();
            const std::uint8_t flags = c.u8();
            if (flags & 0x01) c.u16();
            const std::uint64_t heap = c.u64();
            const std::uint64_t index = c.u64();
            if (c.ok) dense = std::pair{heap, index};
        }
        return {};
    });
    if (!r) return std::unexpected(r.error());
    if (dense && dense->first != kUndefined) {
        auto objs = dense_objects(src, dense->first, dense->second);
        if (!objs) return std::unexpected(objs.error());
        for (Bytes& o : *objs) {
            auto storage = std::make_shared<Bytes>(std::move(o));
            if (auto a = decode_attribute(*storage, storage)) out.insert_or_assign(a->name, std::move(*a));
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Global heap

Result<Bytes> read_global_heap_object(const Source& src, std::uint64_t collection, std::uint32_t index) {
    auto head = src.read(collection, 16);
    if (!head) return std::unexpected(head.error());
    if (!sig(*head, "GCOL")) {
        return fail_nc("Expected GCOL at 0x" + hex(collection) + ", got " + got_list(ByteSpan(*head).first(4)));
    }
    const std::uint64_t size = le(head->data() + 8, 8);
    if (size < 16) return fail_nc("Malformed global heap collection at 0x" + hex(collection));
    auto body = src.read(collection, size);
    if (!body) return std::unexpected(body.error());
    std::size_t at = 16;
    while (at + 16 <= body->size()) {
        const std::uint8_t* p = body->data() + at;
        const std::uint32_t idx = static_cast<std::uint32_t>(le(p, 2));
        const std::uint64_t len = le(p + 8, 8);
        if (idx == 0) break;  // free space runs to the end
        if (len > body->size() - at - 16) break;
        if (idx == index) return Bytes(p + 16, p + 16 + len);
        at += 16 + static_cast<std::size_t>((len + 7) / 8 * 8);
    }
    return fail_nc("Global heap object " + std::to_string(index) + " not found in collection at 0x" + hex(collection));
}

}  // namespace wrf::h5
