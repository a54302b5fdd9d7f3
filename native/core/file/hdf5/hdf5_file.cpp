// The superblock, the root group, and the reader contract on top of them.
#include "file/hdf5/hdf5_file.hpp"

#include <cstring>

#include "engine/text.hpp"
#include "file/hdf5/hdf5_internal.hpp"

namespace wrf {

using namespace h5;

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};

Result<void> read_root_attributes(const Source& src, std::uint64_t ohdr, std::map<std::string, HdfAttributeValue>& out) {
    auto attrs = read_attributes(src, ohdr);
    if (!attrs) return std::unexpected(attrs.error());
    for (auto& [name, a] : *attrs) {
        if (auto v = attribute_number(a)) {
            out.insert_or_assign(name, *v);
        } else {
            out.insert_or_assign(name, attribute_text(a).value_or(std::string{}));
        }
    }
    return {};
}

}  // namespace

Result<std::unique_ptr<Hdf5File::Impl>> Hdf5File::Impl::open(std::unique_ptr<Source> src) {
    auto impl = std::make_unique<Impl>();
    impl->src = std::move(src);
    const Source& s = *impl->src;

    auto sig = s.read(0, 8);
    if (!sig || std::memcmp(sig->data(), kSignature, 8) != 0) return fail_nc("Not an HDF5 file");
    auto ver = s.read(8, 1);
    if (!ver) return std::unexpected(ver.error());
    const std::uint8_t version = (*ver)[0];

    if (version <= 1) {
        const std::uint64_t shift = version == 1 ? 4 : 0;
        auto sb = s.read(0, 96 + shift);
        if (!sb) return std::unexpected(sb.error());
        const std::uint8_t* p = sb->data();
        if (p[13] != 8 || p[14] != 8) {
            return fail_nc("Unsupported offset_size=" + std::to_string(p[13]) + " length_size=" + std::to_string(p[14]));
        }
        const std::uint64_t root = le(p + 64 + shift, 8);
        const std::uint32_t cache_type = static_cast<std::uint32_t>(le(p + 72 + shift, 4));
        impl->root_address = root;
        auto head = s.read(root, 4);
        if (!head) return std::unexpected(head.error());
        // The root's own header is the authority: the superblock's cached
        // symbol-table addresses go stale when a group becomes new-style
        // (an external link does that), so they are only a fallback.
        bool grouped = std::memcmp(head->data(), "OHDR", 4) == 0;
        if (!grouped) {
            auto r = walk_object_header(s, root, [&](const Message& m) -> Result<void> {
                if (m.type == kMsgSymbolTable || m.type == kMsgLink || m.type == kMsgLinkInfo) grouped = true;
                return {};
            });
            if (!r) return std::unexpected(r.error());
        }
        if (grouped) {
            auto r = read_group(s, root, impl->datasets);
            if (!r) return std::unexpected(r.error());
        } else if (cache_type == 1) {
            auto r = read_symbol_table_group(s, le(p + 80 + shift, 8), le(p + 88 + shift, 8), impl->datasets);
            if (!r) return std::unexpected(r.error());
        } else {
            return fail_nc("No symbol table message found in root group object header");
        }
    } else {
        auto sb = s.read(0, 44);
        if (!sb) return std::unexpected(sb.error());
        const std::uint8_t* p = sb->data();
        if (p[9] != 8 || p[10] != 8) {
            return fail_nc("Unsupported offset_size=" + std::to_string(p[9]) + " length_size=" + std::to_string(p[10]));
        }
        impl->root_address = le(p + 36, 8);
        auto r = read_group(s, impl->root_address, impl->datasets);
        if (!r) return std::unexpected(r.error());
    }
    auto attrs = read_root_attributes(s, impl->root_address, impl->root_attributes);
    if (!attrs) return std::unexpected(attrs.error());
    for (const auto& [name, addr] : impl->datasets) impl->names_by_address.try_emplace(addr, name);
    return impl;
}

Result<std::unique_ptr<Hdf5File>> Hdf5File::Impl::open_memory(Bytes image) {
    auto impl = open(Source::from_memory(std::move(image)));
    if (!impl) return std::unexpected(impl.error());
    return std::unique_ptr<Hdf5File>(new Hdf5File(std::move(*impl)));
}

Result<std::shared_ptr<const DatasetInfo>> Hdf5File::Impl::dataset_info(const std::string& name) const {
    {
        std::lock_guard lock(info_mutex);
        if (auto it = info_cache.find(name); it != info_cache.end()) return it->second;
    }
    auto it = datasets.find(name);
    if (it == datasets.end()) return fail(ErrorKind::VarNotFound, name);
    auto info = describe(name, it->second);
    if (!info) return std::unexpected(info.error());
    auto shared = std::make_shared<const DatasetInfo>(std::move(*info));
    std::lock_guard lock(info_mutex);
    info_cache[name] = shared;
    return shared;
}

// ---------------------------------------------------------------------------

Hdf5File::Hdf5File(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Hdf5File::~Hdf5File() = default;

Result<std::unique_ptr<Hdf5File>> Hdf5File::open(const std::string& path) {
    auto src = Source::open_path(path);
    if (!src) return std::unexpected(src.error());
    auto impl = Impl::open(std::move(*src));
    if (!impl) return std::unexpected(impl.error());
    return std::unique_ptr<Hdf5File>(new Hdf5File(std::move(*impl)));
}

Result<std::vector<std::size_t>> Hdf5File::dataset_shape(const std::string& name) const {
    auto info = impl_->dataset_info(name);
    if (!info) return std::unexpected(info.error());
    return std::vector<std::size_t>((*info)->dims.begin(), (*info)->dims.end());
}

Result<std::vector<double>> Hdf5File::read_f64_slice(const std::string& name, std::size_t t) const {
    auto info = impl_->dataset_info(name);
    if (!info) return std::unexpected(info.error());
    const DatasetInfo& d = **info;
    if (d.dims.size() < 2 || !d.time_sliced) return impl_->read_values(d, std::nullopt);
    if (t >= d.dims[0]) {
        return fail_nc("time_index " + std::to_string(t) + " out of range for shape " +
                       format_shape(std::vector<std::size_t>(d.dims.begin(), d.dims.end())));
    }
    return impl_->read_values(d, t);
}

Result<std::vector<std::uint8_t>> Hdf5File::read_u8(const std::string& name) const {
    auto info = impl_->dataset_info(name);
    if (!info) return std::unexpected(info.error());
    return impl_->read_bytes(**info);
}

Result<double> Hdf5File::global_attr_f64(const std::string& name) const {
    auto it = impl_->root_attributes.find(name);
    if (it == impl_->root_attributes.end()) return fail(ErrorKind::AttrNotFound, name);
    if (const double* v = std::get_if<double>(&it->second)) return *v;
    return fail(ErrorKind::AttrType, "'" + name + "' is not numeric");
}

bool Hdf5File::has_var(const std::string& name) const { return impl_->datasets.contains(name); }

std::vector<std::string> hdf5_dataset_names(const Hdf5File& file) {
    std::vector<std::string> out;
    for (const auto& [name, addr] : file.impl_->datasets) out.push_back(name);
    return out;
}

}  // namespace wrf
