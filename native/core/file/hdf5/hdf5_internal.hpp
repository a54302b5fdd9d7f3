#pragma once
// Internals of the HDF5 reader, shared by its source files. Nothing here is
// part of the public interface; hdf5_file.hpp is.
//
// Every structure is read from untrusted bytes: offsets and lengths are
// checked against the file size before use, walks over linked structures
// remember where they have been, and sizes that no file of this size could
// justify are refused before anything is allocated.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "engine/error.hpp"
#include "file/hdf5/hdf5_file.hpp"

namespace wrf::h5 {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

inline constexpr std::uint64_t kUndefined = ~std::uint64_t{0};

// ---------------------------------------------------------------------------
// Small helpers

inline std::unexpected<WrfError> fail_nc(std::string message) {
    return fail(ErrorKind::NetCdf, std::move(message));
}

std::string hex(std::uint64_t value);                   // "1f3"
std::string got_list(ByteSpan bytes);                   // "[84, 82, 69, 69]"
std::string decode_name(ByteSpan bytes);                // UTF-8 with replacement
bool checked_mul(std::uint64_t a, std::uint64_t b, std::uint64_t& out);
bool checked_add(std::uint64_t a, std::uint64_t b, std::uint64_t& out);

// Little-endian unsigned integer of 1 to 8 bytes (callers check the width;
// bytes past the eighth could not be represented and are never read).
inline std::uint64_t le(const std::uint8_t* p, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width && i < 8; ++i) v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

// Bounds-checked cursor over a byte span. Reads past the end set `ok` to
// false and yield zeros, so a parser can read a whole record and check once.
class Cursor {
public:
    explicit Cursor(ByteSpan data, std::size_t pos = 0) : data_(data), pos_(pos) {}
    std::uint64_t uint(std::size_t width) {
        if (!has(width)) {
            ok = false;
            pos_ = data_.size();
            return 0;
        }
        std::uint64_t v = le(data_.data() + pos_, width);
        pos_ += width;
        return v;
    }
    std::uint8_t u8() { return static_cast<std::uint8_t>(uint(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(uint(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(uint(4)); }
    std::uint64_t u64() { return uint(8); }
    ByteSpan take(std::size_t n) {
        if (!has(n)) {
            ok = false;
            pos_ = data_.size();
            return {};
        }
        ByteSpan s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    void skip(std::size_t n) { take(n); }
    bool has(std::size_t n) const { return pos_ <= data_.size() && n <= data_.size() - pos_; }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return pos_ <= data_.size() ? data_.size() - pos_ : 0; }
    ByteSpan rest() const { return data_.subspan(pos_ <= data_.size() ? pos_ : data_.size()); }

    bool ok = true;

private:
    ByteSpan data_;
    std::size_t pos_;
};

// ---------------------------------------------------------------------------
// File access: positioned reads with no shared file position, so worker
// threads read chunks concurrently without a lock. Either a file descriptor
// or an in-memory image (used by the fuzz target).

class Source {
public:
    static Result<std::unique_ptr<Source>> open_path(const std::string& path);
    static std::unique_ptr<Source> from_memory(Bytes image);
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    std::uint64_t size() const { return size_; }
    // Exactly n bytes at an absolute offset, or an error; never reads past
    // the end of the file and never allocates more than the file holds.
    Result<void> read_into(std::uint64_t offset, std::size_t n, std::uint8_t* out) const;
    Result<Bytes> read(std::uint64_t offset, std::uint64_t n) const;
    // True when [offset, offset + n) lies inside the file.
    bool contains(std::uint64_t offset, std::uint64_t n) const {
        return offset <= size_ && n <= size_ - offset;
    }
    // The largest decoded size any structure of this file may claim: deflate
    // expands at most ~1032:1, so more than that is a corrupt header.
    std::uint64_t plausible_decoded_bytes() const;

private:
    Source() = default;
    int fd_ = -1;
    Bytes memory_;
    bool in_memory_ = false;
    std::uint64_t size_ = 0;
};

// ---------------------------------------------------------------------------
// Object headers

struct Message {
    std::uint16_t type;
    std::uint8_t flags;
    ByteSpan data;
};

enum MessageType : std::uint16_t {
    kMsgDataspace = 1,
    kMsgLinkInfo = 2,
    kMsgDatatype = 3,
    kMsgFillValueOld = 4,
    kMsgFillValue = 5,
    kMsgLink = 6,
    kMsgLayout = 8,
    kMsgFilterPipeline = 11,
    kMsgAttribute = 12,
    kMsgContinuation = 16,
    kMsgSymbolTable = 17,
    kMsgAttributeInfo = 21,
};

using MessageVisitor = std::function<Result<void>(const Message&)>;

// Calls visit for every message of the object header at `address`,
// following continuation blocks depth-first where they stand.
Result<void> walk_object_header(const Source& src, std::uint64_t address, const MessageVisitor& visit);

// ---------------------------------------------------------------------------
// Datatypes, dataspaces, attributes

enum class Kind { I8, U8, I16, U16, I32, U32, I64, U64, F32, F64, Char };

struct Datatype {
    int type_class = 0;  // 0 integer, 1 float, 3 string, 7 reference, 9 vlen, ...
    std::uint32_t size = 0;
    bool big_endian = false;
    bool is_signed = false;
    std::shared_ptr<Datatype> base;  // vlen base type
};

// Decodes the type; any class and size is accepted here.
std::optional<Datatype> decode_datatype(ByteSpan data);
// The element kind of a dataset, or the reader's message for an
// unsupported type.
Result<Kind> element_kind(const Datatype& type);
std::size_t kind_size(Kind kind);

struct Dataspace {
    std::vector<std::uint64_t> dims;
    std::vector<std::uint64_t> max_dims;  // empty when not stored
    bool null = false;                    // holds no element at all
};
std::optional<Dataspace> decode_dataspace(ByteSpan data);

struct Attribute {
    std::string name;
    std::optional<Datatype> type;  // absent: read as text
    std::uint64_t count = 0;       // elements
    ByteSpan value;                // points into `storage`
    std::shared_ptr<Bytes> storage;
};

// Decodes one attribute message; nothing when the message cannot be decoded.
std::optional<Attribute> decode_attribute(ByteSpan message, std::shared_ptr<Bytes> storage);

// First element of a numeric attribute as a double.
std::optional<double> attribute_number(const Attribute& attr);
// The bytes of a text attribute, trailing NULs removed.
std::optional<std::string> attribute_text(const Attribute& attr);

// Attributes of an object header (compact and dense), in file order; a later
// attribute of the same name replaces an earlier one.
Result<std::map<std::string, Attribute>> read_attributes(const Source& src, std::uint64_t ohdr);

// ---------------------------------------------------------------------------
// Groups

// name -> object header address of every hard link of the group whose
// object header is at `ohdr`.
using LinkMap = std::map<std::string, std::uint64_t>;
Result<void> read_group(const Source& src, std::uint64_t ohdr, LinkMap& out);
// Old-style group from its B-tree and local heap.
Result<void> read_symbol_table_group(const Source& src, std::uint64_t btree, std::uint64_t heap, LinkMap& out);

// One object of a global heap collection.
Result<Bytes> read_global_heap_object(const Source& src, std::uint64_t collection, std::uint32_t index);

// ---------------------------------------------------------------------------
// v2 B-trees (links, attributes and chunk indexes share the walker)

struct BTree2 {
    std::uint8_t type = 0;
    std::uint16_t record_size = 0;
    std::vector<Bytes> records;
};
Result<BTree2> read_btree2(const Source& src, std::uint64_t address);

// ---------------------------------------------------------------------------
// Datasets

enum class FilterId : std::uint16_t { Deflate = 1, Shuffle = 2, Fletcher32 = 3 };

struct Filter {
    std::uint16_t id = 0;
    std::vector<std::uint32_t> values;
};

enum class ChunkIndex { BTreeV1, Single, Implicit, FixedArray, ExtensibleArray, BTreeV2 };

struct Layout {
    enum Class { None, Contiguous, Compact, Chunked } cls = None;
    std::uint64_t address = kUndefined;
    std::uint64_t size = 0;
    Bytes compact;
    // Chunked:
    std::vector<std::uint64_t> chunk;  // one per dataset dimension
    ChunkIndex index = ChunkIndex::BTreeV1;
    std::uint8_t version = 3;
    std::uint8_t flags = 0;
    std::uint64_t single_size = 0;  // filtered single chunk
    std::uint32_t single_mask = 0;
};

struct DatasetInfo {
    std::string name;
    std::vector<std::uint64_t> dims;
    std::vector<std::uint64_t> max_dims;
    bool null_space = false;
    Kind kind = Kind::U8;
    std::size_t elem_size = 1;
    bool big_endian = false;
    Layout layout;
    std::vector<Filter> filters;
    Bytes fill;  // one element in stored byte order; empty means zeros
    // Whether one time index selects along the first dimension.
    bool time_sliced = false;
    std::optional<double> scale_factor, add_offset, fill_value;
};

struct ChunkRecord {
    std::vector<std::uint64_t> offset;  // dataset coordinates
    std::uint64_t address = kUndefined;
    std::uint64_t size = 0;
    std::uint32_t mask = 0;
};

// Records of the stored chunks of a chunked dataset, in index order: all of
// them, or those that hold index t of the first dimension. Chunks are
// checked to lie on the chunk grid and to be listed once, so their regions
// never overlap.
Result<std::vector<ChunkRecord>> collect_chunks(const Source& src, const DatasetInfo& info,
                                                std::optional<std::uint64_t> t);

// ---------------------------------------------------------------------------
// The reader's state behind the public class.

// A root attribute: its first number, or its text.
using HdfAttributeValue = std::variant<double, std::string>;

}  // namespace wrf::h5

namespace wrf {

struct Hdf5File::Impl {
    std::unique_ptr<h5::Source> src;
    std::uint64_t root_address = h5::kUndefined;
    h5::LinkMap datasets;
    std::unordered_map<std::uint64_t, std::string> names_by_address;
    std::map<std::string, h5::HdfAttributeValue> root_attributes;

    mutable std::mutex info_mutex;
    mutable std::unordered_map<std::string, std::shared_ptr<const h5::DatasetInfo>> info_cache;

    static Result<std::unique_ptr<Impl>> open(std::unique_ptr<h5::Source> src);
    // In-memory image, for the fuzz target.
    static Result<std::unique_ptr<Hdf5File>> open_memory(h5::Bytes image);

    Result<std::shared_ptr<const h5::DatasetInfo>> dataset_info(const std::string& name) const;
    Result<h5::DatasetInfo> describe(const std::string& name, std::uint64_t address) const;
    Result<std::vector<double>> read_values(const h5::DatasetInfo& info, std::optional<std::uint64_t> t) const;
    Result<h5::Bytes> read_bytes(const h5::DatasetInfo& info) const;
};

}  // namespace wrf
