// Dataset descriptions: dataspace, datatype, layout, filter pipeline, fill
// value, and the attributes that decide time slicing and unpacking.
#include <cstring>

#include "file/hdf5/hdf5_internal.hpp"

namespace wrf::h5 {

namespace {

Result<Layout> decode_layout(ByteSpan m) {
    if (m.size() < 2) return fail_nc("Layout message too short");
    const std::uint8_t version = m[0];
    const std::uint8_t cls = m[1];
    Layout l;
    l.version = version;
    if (version < 3 || version > 5) return l;
    Cursor c(m, 2);
    switch (cls) {
        case 0: {  // compact: the data is in the message
            const std::size_t size = c.u16();
            ByteSpan data = c.take(size);
            if (!c.ok) return fail_nc("Compact layout too short");
            l.cls = Layout::Compact;
            l.compact.assign(data.begin(), data.end());
            l.size = size;
            return l;
        }
        case 1:
            if (version == 3 && m.size() < 18) return fail_nc("Contiguous layout too short");
            if (version >= 4 && m.size() <= 17) return fail_nc("Contiguous layout v4 too short");
            l.cls = Layout::Contiguous;
            l.address = c.u64();
            l.size = c.u64();
            return l;
        case 2: {
            l.cls = Layout::Chunked;
            std::size_t dimensionality;
            std::size_t width = 4;
            if (version == 3) {
                dimensionality = c.u8();
                l.address = c.u64();
            } else {
                l.flags = c.u8();
                dimensionality = c.u8();
                width = c.u8();
                if (width < 1 || width > 8) return fail_nc("Malformed chunked layout message");
            }
            if (dimensionality < 2 || dimensionality > 33) return fail_nc("Malformed chunked layout message");
            for (std::size_t i = 0; i < dimensionality; ++i) l.chunk.push_back(c.uint(width));
            l.chunk.pop_back();  // the element size
            if (version >= 4) {
                const std::uint8_t index = c.u8();
                switch (index) {
                    case 1:
                        l.index = ChunkIndex::Single;
                        if (l.flags & 0x02) {
                            l.single_size = c.u64();
                            l.single_mask = c.u32();
                        }
                        break;
                    case 2: l.index = ChunkIndex::Implicit; break;
                    case 3:
                        l.index = ChunkIndex::FixedArray;
                        c.skip(1);
                        break;
                    case 4:
                        l.index = ChunkIndex::ExtensibleArray;
                        c.skip(5);
                        break;
                    case 5:
                        l.index = ChunkIndex::BTreeV2;
                        c.skip(6);
                        break;
                    default: return fail_nc("Unsupported chunk index type " + std::to_string(index));
                }
                l.address = c.u64();
            }
            if (!c.ok) return fail_nc("Layout message too short");
            return l;
        }
        default:
            return l;
    }
}

Result<std::vector<Filter>> decode_filters(ByteSpan m) {
    Cursor c(m);
    const std::uint8_t version = c.u8();
    const std::size_t n = c.u8();
    if (version == 1) c.skip(6);
    if (!c.ok || (version != 1 && version != 2)) return fail_nc("Malformed filter pipeline message");
    std::vector<Filter> out;
    for (std::size_t i = 0; i < n; ++i) {
        Filter f;
        f.id = c.u16();
        std::size_t name_len = 0;
        if (version == 1 || f.id >= 256) name_len = c.u16();
        c.u16();  // flags
        const std::size_t nvalues = c.u16();
        c.skip(version == 1 ? (name_len + 7) / 8 * 8 : name_len);
        for (std::size_t k = 0; k < nvalues; ++k) f.values.push_back(c.u32());
        if (version == 1 && nvalues % 2 == 1) c.skip(4);
        if (!c.ok) return fail_nc("Malformed filter pipeline message");
        out.push_back(std::move(f));
    }
    return out;
}

// The fill value as stored, when the message defines one of `size` bytes.
Bytes decode_fill(ByteSpan m, bool old_style, std::size_t size) {
    Cursor c(m);
    if (old_style) {
        const std::uint32_t n = c.u32();
        ByteSpan v = c.take(n);
        return c.ok && n == size ? Bytes(v.begin(), v.end()) : Bytes{};
    }
    const std::uint8_t version = c.u8();
    bool defined = false;
    if (version == 1 || version == 2) {
        c.skip(2);
        defined = c.u8() != 0;
        if (version == 1) defined = true;  // the size field is always present
    } else if (version == 3) {
        defined = (c.u8() & 0x20) != 0;
    }
    if (!defined) return {};
    const std::uint32_t n = c.u32();
    ByteSpan v = c.take(n);
    return c.ok && n == size ? Bytes(v.begin(), v.end()) : Bytes{};
}

// Resolves a committed datatype: the message holds the address of another
// object header whose datatype message is the type.
Result<ByteSpan> shared_datatype(const Source& src, ByteSpan m, Bytes& keep) {
    if (m.size() < 10 || (m[0] != 2 && m[0] != 3) || m[1] != 2) {
        return fail_nc("Unsupported shared datatype message");
    }
    const std::uint64_t addr = le(m.data() + 2, 8);
    bool found = false;
    auto r = walk_object_header(src, addr, [&](const Message& msg) -> Result<void> {
        if (msg.type == kMsgDatatype && !found && (msg.flags & 0x02) == 0) {
            keep.assign(msg.data.begin(), msg.data.end());
            found = true;
        }
        return {};
    });
    if (!r) return std::unexpected(r.error());
    if (!found) return fail_nc("No datatype message in committed datatype at 0x" + hex(addr));
    return ByteSpan(keep);
}

Result<std::optional<Dataspace>> dataspace_of(const Source& src, std::uint64_t ohdr) {
    std::optional<Dataspace> space;
    auto r = walk_object_header(src, ohdr, [&](const Message& m) -> Result<void> {
        if (m.type == kMsgDataspace && !space) space = decode_dataspace(m.data);
        return {};
    });
    if (!r) return std::unexpected(r.error());
    return space;
}

}  // namespace

}  // namespace wrf::h5

namespace wrf {

using namespace h5;

Result<DatasetInfo> Hdf5File::Impl::describe(const std::string& name, std::uint64_t address) const {
    DatasetInfo info;
    info.name = name;
    std::optional<Dataspace> space;
    Bytes type_msg, committed, layout_msg, filter_msg, fill_msg, fill_old;
    bool have_type = false, have_layout = false, have_filters = false, have_fill = false, have_fill_old = false;
    auto walked = walk_object_header(*src, address, [&](const Message& m) -> Result<void> {
        switch (m.type) {
            case kMsgDataspace:
                if (!space) {
                    space = decode_dataspace(m.data);
                    if (!space) return fail_nc("Malformed dataspace message");
                }
                break;
            case kMsgDatatype:
                if (!have_type) {
                    type_msg.assign(m.data.begin(), m.data.end());
                    if (m.flags & 0x02) {
                        auto t = shared_datatype(*src, m.data, committed);
                        if (!t) return std::unexpected(t.error());
                        type_msg = committed;
                    }
                    have_type = true;
                }
                break;
            case kMsgLayout:
                if (!have_layout) layout_msg.assign(m.data.begin(), m.data.end()), have_layout = true;
                break;
            case kMsgFilterPipeline:
                if (!have_filters) filter_msg.assign(m.data.begin(), m.data.end()), have_filters = true;
                break;
            case kMsgFillValue:
                if (!have_fill) fill_msg.assign(m.data.begin(), m.data.end()), have_fill = true;
                break;
            case kMsgFillValueOld:
                if (!have_fill_old) fill_old.assign(m.data.begin(), m.data.end()), have_fill_old = true;
                break;
            default: break;
        }
        return {};
    });
    if (!walked) return std::unexpected(walked.error());

    if (!have_type) return fail_nc("No datatype message in dataset object header");
    if (type_msg.size() < 8) return fail_nc("Datatype message too short");
    auto type = decode_datatype(type_msg);
    if (!type) return fail_nc("Datatype message too short");
    auto kind = element_kind(*type);
    if (!kind) return std::unexpected(kind.error());
    info.kind = *kind;
    info.elem_size = *kind == Kind::Char ? type->size : kind_size(*kind);
    info.big_endian = type->big_endian;

    if (!have_layout) return fail_nc("No layout message in dataset object header");
    auto layout = decode_layout(layout_msg);
    if (!layout) return std::unexpected(layout.error());
    info.layout = std::move(*layout);

    if (space) {
        info.dims = space->dims;
        info.max_dims = space->max_dims;
        info.null_space = space->null;
    }
    if (info.layout.cls == Layout::Chunked) {
        if (info.layout.chunk.size() != info.dims.size()) {
            return fail_nc("Chunk rank " + std::to_string(info.layout.chunk.size()) + " does not match dataset rank " +
                           std::to_string(info.dims.size()));
        }
        std::uint64_t bytes = info.elem_size;
        for (std::uint64_t c : info.layout.chunk) {
            if (c == 0 || !checked_mul(bytes, c, bytes)) return fail_nc("Malformed chunk dimensions");
        }
        if (bytes > (std::uint64_t{1} << 32) || bytes > src->plausible_decoded_bytes()) {
            return fail_nc("Chunk of " + std::to_string(bytes) + " bytes is too large");
        }
    }
    if (have_filters) {
        auto filters = decode_filters(filter_msg);
        if (!filters) return std::unexpected(filters.error());
        info.filters = std::move(*filters);
    }
    if (have_fill) {
        info.fill = decode_fill(fill_msg, false, info.elem_size);
    } else if (have_fill_old) {
        info.fill = decode_fill(fill_old, true, info.elem_size);
    }

    auto attrs = read_attributes(*src, address);
    if (!attrs) return std::unexpected(attrs.error());
    auto number = [&](const char* key) -> std::optional<double> {
        auto it = attrs->find(key);
        return it == attrs->end() ? std::nullopt : attribute_number(it->second);
    };
    info.scale_factor = number("scale_factor");
    info.add_offset = number("add_offset");
    info.fill_value = number("_FillValue");

    // Time slicing: along the first dimension only when that dimension is
    // the time dimension, known from the dimension scales when the file has
    // them; without them every variable of two or more dimensions is sliced.
    if (info.dims.size() >= 2) {
        info.time_sliced = true;
        std::optional<std::uint64_t> first_dim;
        if (auto it = attrs->find("DIMENSION_LIST"); it != attrs->end()) {
            const Attribute& a = it->second;
            if (a.type && a.type->type_class == 9 && a.type->base && a.type->base->type_class == 7 &&
                a.type->base->size == 8 && a.value.size() >= 16) {
                const std::uint32_t n = static_cast<std::uint32_t>(le(a.value.data(), 4));
                const std::uint64_t collection = le(a.value.data() + 4, 8);
                const std::uint32_t index = static_cast<std::uint32_t>(le(a.value.data() + 12, 4));
                if (n >= 1) {
                    auto refs = read_global_heap_object(*src, collection, index);
                    if (refs && refs->size() >= 8) first_dim = le(refs->data(), 8);
                }
            }
        } else if (auto cls = attrs->find("CLASS"); cls != attrs->end()) {
            if (attribute_text(cls->second) == "DIMENSION_SCALE") first_dim = address;
        }
        if (first_dim) {
            auto named = names_by_address.find(*first_dim);
            const bool is_time = named != names_by_address.end() && named->second == "Time";
            bool unlimited = false;
            if (!is_time) {
                auto ds = dataspace_of(*src, *first_dim);
                unlimited = ds && *ds && !(*ds)->max_dims.empty() && (*ds)->max_dims[0] == kUndefined;
            }
            info.time_sliced = is_time || unlimited;
        }
    }
    return info;
}

}  // namespace wrf
