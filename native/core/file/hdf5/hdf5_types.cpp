// Datatype, dataspace and attribute messages.
#include <bit>
#include <cstring>

#include "file/hdf5/hdf5_internal.hpp"

namespace wrf::h5 {

namespace {

// Nested variable-length types deeper than this are not datatypes we read.
constexpr int kMaxTypeDepth = 8;
constexpr std::size_t kMaxRank = 32;

std::optional<Datatype> decode_datatype_at(ByteSpan data, int depth) {
    if (data.size() < 8 || depth > kMaxTypeDepth) return std::nullopt;
    Datatype t;
    t.type_class = data[0] & 0x0F;
    const std::uint8_t bits0 = data[1];
    t.size = static_cast<std::uint32_t>(le(data.data() + 4, 4));
    switch (t.type_class) {
        case 0:  // fixed point
            t.big_endian = (bits0 & 0x01) != 0;
            t.is_signed = (bits0 & 0x08) != 0;
            break;
        case 1:  // floating point
            t.big_endian = (bits0 & 0x01) != 0;
            break;
        case 9: {  // variable length: the base type follows
            auto base = decode_datatype_at(data.subspan(8), depth + 1);
            if (!base) return std::nullopt;
            t.base = std::make_shared<Datatype>(*base);
            break;
        }
        default:
            break;
    }
    return t;
}

}  // namespace

std::optional<Datatype> decode_datatype(ByteSpan data) { return decode_datatype_at(data, 0); }

Result<Kind> element_kind(const Datatype& t) {
    switch (t.type_class) {
        case 0:
            switch (t.size) {
                case 1: return t.is_signed ? Kind::I8 : Kind::U8;
                case 2: return t.is_signed ? Kind::I16 : Kind::U16;
                case 4: return t.is_signed ? Kind::I32 : Kind::U32;
                case 8: return t.is_signed ? Kind::I64 : Kind::U64;
                default: return fail_nc("Unsupported integer size " + std::to_string(t.size));
            }
        case 1:
            if (t.size == 4) return Kind::F32;
            if (t.size == 8) return Kind::F64;
            return fail_nc("Unsupported float size " + std::to_string(t.size));
        case 3:
            if (t.size == 0) return fail_nc("Unsupported string size 0");
            return Kind::Char;
        default:
            return fail_nc("Unsupported datatype class " + std::to_string(t.type_class));
    }
}

std::size_t kind_size(Kind kind) {
    switch (kind) {
        case Kind::I8:
        case Kind::U8:
        case Kind::Char: return 1;
        case Kind::I16:
        case Kind::U16: return 2;
        case Kind::I32:
        case Kind::U32:
        case Kind::F32: return 4;
        case Kind::I64:
        case Kind::U64:
        case Kind::F64: return 8;
    }
    return 1;
}

std::optional<Dataspace> decode_dataspace(ByteSpan data) {
    Dataspace s;
    if (data.empty()) return s;  // rank 0
    if (data.size() < 2) return std::nullopt;
    const std::uint8_t version = data[0];
    const std::size_t rank = data[1];
    if (rank > kMaxRank) return std::nullopt;
    const std::uint8_t flags = data.size() > 2 ? data[2] : 0;
    std::size_t at;
    if (version == 1) {
        at = 8;
    } else if (version == 2) {
        at = 4;
        if (data.size() > 3 && data[3] == 2) s.null = true;
    } else {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < rank && at + 8 <= data.size(); ++i, at += 8) s.dims.push_back(le(data.data() + at, 8));
    if (s.dims.size() != rank) return std::nullopt;
    if (flags & 0x01) {
        for (std::size_t i = 0; i < rank && at + 8 <= data.size(); ++i, at += 8) {
            s.max_dims.push_back(le(data.data() + at, 8));
        }
        if (s.max_dims.size() != rank) s.max_dims.clear();
    }
    return s;
}

std::optional<Attribute> decode_attribute(ByteSpan msg, std::shared_ptr<Bytes> storage) {
    if (msg.size() <= 5) return std::nullopt;
    const std::uint8_t version = msg[0];
    if (version < 1 || version > 3) return std::nullopt;
    const std::uint8_t flags = msg[1];
    const std::size_t name_size = le(msg.data() + 2, 2);
    const std::size_t type_size = le(msg.data() + 4, 2);
    const std::size_t space_size = msg.size() >= 8 ? le(msg.data() + 6, 2) : 0;
    if (msg.size() < 8) return std::nullopt;
    auto padded = [&](std::size_t n) { return version == 1 ? (n + 7) / 8 * 8 : n; };

    Cursor c(msg, version == 3 ? 9 : 8);
    ByteSpan name = c.take(padded(name_size));
    ByteSpan type = c.take(padded(type_size));
    ByteSpan space = c.take(padded(space_size));
    if (!c.ok) return std::nullopt;
    name = name.first(std::min(name_size, name.size()));
    type = type.first(std::min(type_size, type.size()));
    space = space.first(std::min(space_size, space.size()));

    Attribute a;
    a.name = decode_name(name);
    while (!a.name.empty() && a.name.back() == '\0') a.name.pop_back();
    // A shared datatype is a reference, not a type: read the value as text.
    if ((flags & 0x01) == 0) a.type = decode_datatype(type);
    if (flags & 0x02) return std::nullopt;
    auto ds = decode_dataspace(space);
    if (!ds) return std::nullopt;
    if (ds->null) {
        a.count = 0;
    } else {
        a.count = 1;
        for (std::uint64_t d : ds->dims) {
            if (!checked_mul(a.count, d, a.count)) return std::nullopt;
        }
    }
    a.value = c.rest();
    a.storage = std::move(storage);
    return a;
}

std::optional<double> attribute_number(const Attribute& a) {
    if (!a.type || a.count == 0) return std::nullopt;
    const Datatype& t = *a.type;
    if (t.type_class != 0 && t.type_class != 1) return std::nullopt;
    if (t.size != 1 && t.size != 2 && t.size != 4 && t.size != 8) return std::nullopt;
    if (a.value.size() < t.size) return std::nullopt;
    std::uint8_t b[8];
    for (std::size_t i = 0; i < t.size; ++i) b[i] = a.value[t.big_endian ? t.size - 1 - i : i];
    const std::uint64_t u = le(b, t.size);
    if (t.type_class == 1) {
        if (t.size == 4) return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(u)));
        if (t.size == 8) return std::bit_cast<double>(u);
        return std::nullopt;
    }
    if (!t.is_signed) return static_cast<double>(u);
    const unsigned shift = 64 - 8 * t.size;
    return static_cast<double>(static_cast<std::int64_t>(u << shift) >> shift);
}

std::optional<std::string> attribute_text(const Attribute& a) {
    if (a.type && a.type->type_class != 3) return std::nullopt;
    std::uint64_t n = a.count;
    if (a.type && !checked_mul(n, a.type->size, n)) return std::nullopt;
    n = std::min<std::uint64_t>(n, a.value.size());
    std::string s(reinterpret_cast<const char*>(a.value.data()), static_cast<std::size_t>(n));
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

}  // namespace wrf::h5
