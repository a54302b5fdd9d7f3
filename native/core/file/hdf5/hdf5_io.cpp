// File access and object headers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "engine/text.hpp"
#include "file/hdf5/hdf5_internal.hpp"

namespace wrf::h5 {

std::string hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    if (value == 0) return "0";
    std::string out;
    while (value != 0) {
        out.insert(out.begin(), kDigits[value & 15]);
        value >>= 4;
    }
    return out;
}

std::string got_list(ByteSpan bytes) {
    std::string out = "[";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) out += ", ";
        out += std::to_string(bytes[i]);
    }
    return out + "]";
}

std::string decode_name(ByteSpan bytes) { return utf8_replace_invalid(bytes.data(), bytes.size()); }

bool checked_mul(std::uint64_t a, std::uint64_t b, std::uint64_t& out) { return !__builtin_mul_overflow(a, b, &out); }
bool checked_add(std::uint64_t a, std::uint64_t b, std::uint64_t& out) { return !__builtin_add_overflow(a, b, &out); }

// ---------------------------------------------------------------------------
// Source

Result<std::unique_ptr<Source>> Source::open_path(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail_nc(std::strerror(errno) + (": " + path));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail_nc(std::strerror(err) + (": " + path));
    }
    std::unique_ptr<Source> s(new Source());
    s->fd_ = fd;
    s->size_ = static_cast<std::uint64_t>(st.st_size);
    return s;
}

std::unique_ptr<Source> Source::from_memory(Bytes image) {
    std::unique_ptr<Source> s(new Source());
    s->in_memory_ = true;
    s->size_ = image.size();
    s->memory_ = std::move(image);
    return s;
}

Source::~Source() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t Source::plausible_decoded_bytes() const {
    constexpr std::uint64_t kRatio = 1100;
    constexpr std::uint64_t kSlack = std::uint64_t{64} << 20;
    constexpr std::uint64_t kCeiling = std::uint64_t{1} << 40;
    // Nor more than the machine holds: such a request could only fail.
    static const std::uint64_t memory = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long page = ::sysconf(_SC_PAGESIZE);
        return pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) : kCeiling;
    }();
    const std::uint64_t by_size = size_ > (kCeiling - kSlack) / kRatio ? kCeiling : size_ * kRatio + kSlack;
    return std::min(by_size, memory);
}

Result<void> Source::read_into(std::uint64_t offset, std::size_t n, std::uint8_t* out) const {
    if (!contains(offset, n)) {
        return fail_nc("read of " + std::to_string(n) + " bytes at 0x" + hex(offset) +
                       " runs past the end of the file (" + std::to_string(size_) + " bytes)");
    }
    if (n == 0) return {};
    if (in_memory_) {
        std::memcpy(out, memory_.data() + offset, n);
        return {};
    }
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail_nc(std::strerror(errno));
        }
        if (got == 0) return fail_nc("unexpected end of file at 0x" + hex(offset + done));
        done += static_cast<std::size_t>(got);
    }
    return {};
}

Result<Bytes> Source::read(std::uint64_t offset, std::uint64_t n) const {
    if (!contains(offset, n)) {
        return fail_nc("read of " + std::to_string(n) + " bytes at 0x" + hex(offset) +
                       " runs past the end of the file (" + std::to_string(size_) + " bytes)");
    }
    Bytes out(static_cast<std::size_t>(n));
    auto r = read_into(offset, out.size(), out.data());
    if (!r) return std::unexpected(r.error());
    return out;
}

// ---------------------------------------------------------------------------
// Object headers

namespace {

// A continuation chain longer than this is corrupt; real headers use a few.
constexpr std::size_t kMaxContinuations = 4096;

struct Block {
    Bytes data;
    std::size_t pos;
    bool v2;
    bool creation_order;  // v2: 2 more header bytes per message
};

}  // namespace

Result<void> walk_object_header(const Source& src, std::uint64_t a, const MessageVisitor& visit) {
    auto first = src.read(a, 1);
    if (!first) return std::unexpected(first.error());
    const std::uint8_t lead = (*first)[0];

    std::vector<Block> stack;
    if (lead == 'O') {
        auto head = src.read(a, 6);
        if (!head) return std::unexpected(head.error());
        if (std::memcmp(head->data(), "OHDR", 4) != 0) {
            return fail_nc("Unsupported object header version 79 at 0x" + hex(a));
        }
        if ((*head)[4] != 2) return fail_nc("OHDR signature found but unexpected version " + std::to_string((*head)[4]));
        const std::uint8_t flags = (*head)[5];
        std::uint64_t q = a + 6;
        if (flags & 0x20) q += 16;
        if (flags & 0x10) q += 4;
        const std::size_t width = std::size_t{1} << (flags & 3);
        auto sz = src.read(q, width);
        if (!sz) return std::unexpected(sz.error());
        const std::uint64_t size = le(sz->data(), width);
        auto body = src.read(q + width, size);
        if (!body) return std::unexpected(body.error());
        stack.push_back(Block{std::move(*body), 0, true, (flags & 0x04) != 0});
    } else {
        if (lead != 1) return fail_nc("Unsupported object header version " + std::to_string(lead) + " at 0x" + hex(a));
        auto head = src.read(a, 16);
        if (!head) return std::unexpected(head.error());
        const std::uint64_t size = le(head->data() + 8, 4);
        auto body = src.read(a + 16, size);
        if (!body) return std::unexpected(body.error());
        stack.push_back(Block{std::move(*body), 0, false, false});
    }

    std::unordered_set<std::uint64_t> seen{a};
    std::size_t continuations = 0;
    while (!stack.empty()) {
        Block& b = stack.back();
        const std::size_t end = b.data.size();
        const std::size_t header = b.v2 ? (b.creation_order ? 6 : 4) : 8;
        if (b.pos > end || end - b.pos < header) {
            stack.pop_back();
            continue;
        }
        const std::uint8_t* p = b.data.data() + b.pos;
        std::uint16_t type;
        std::uint16_t size;
        std::uint8_t flags;
        if (b.v2) {
            type = p[0];
            size = static_cast<std::uint16_t>(le(p + 1, 2));
            flags = p[3];
            if (type == 0 && size == 0) {
                stack.pop_back();
                continue;
            }
        } else {
            type = static_cast<std::uint16_t>(le(p, 2));
            size = static_cast<std::uint16_t>(le(p + 2, 2));
            flags = p[4];
        }
        if (size > end - b.pos - header) {
            stack.pop_back();
            continue;
        }
        ByteSpan data(p + header, size);
        b.pos += header + size;

        if (type == kMsgContinuation) {
            if (size < 16) continue;
            const std::uint64_t off = le(data.data(), 8);
            const std::uint64_t len = le(data.data() + 8, 8);
            if (off == kUndefined || len == 0) continue;
            if (!seen.insert(off).second) return fail_nc("Object header continuation loop at 0x" + hex(off));
            if (++continuations > kMaxContinuations) return fail_nc("Too many object header continuations at 0x" + hex(a));
            const bool v2 = b.v2;
            const bool co = b.creation_order;
            auto block = src.read(off, len);
            if (!block) return std::unexpected(block.error());
            if (v2) {
                if (len < 8 || std::memcmp(block->data(), "OCHK", 4) != 0) continue;
                Bytes inner(block->begin() + 4, block->end() - 4);
                stack.push_back(Block{std::move(inner), 0, true, co});
            } else {
                stack.push_back(Block{std::move(*block), 0, false, false});
            }
            continue;
        }
        if (!b.v2 && size == 0) continue;
        auto r = visit(Message{type, flags, data});
        if (!r) return r;
    }
    return {};
}

}  // namespace wrf::h5
