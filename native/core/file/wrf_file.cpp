#include "file/wrf_file.hpp"

#include "engine/text.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace wrf {

namespace {

template <class F>
auto dispatch(const FileReader& reader, F&& f) {
    return std::visit([&](const auto& r) { return f(*r); }, reader);
}

constexpr unsigned char kHdf5Signature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};

}  // namespace

Result<std::unique_ptr<WrfFile>> WrfFile::open(const std::string& path) {
    unsigned char head[8] = {};
    std::size_t got = 0;
    {
        std::FILE* fp = std::fopen(path.c_str(), "rb");
        if (fp == nullptr) return fail(ErrorKind::NetCdf, std::strerror(errno) + (": " + path));
        got = std::fread(head, 1, sizeof head, fp);
        const bool bad = std::ferror(fp) != 0;
        const int err = errno;
        std::fclose(fp);
        if (bad) return fail(ErrorKind::NetCdf, std::strerror(err) + (": " + path));
    }

    std::unique_ptr<WrfFile> file(new WrfFile());
    file->path_ = path;
    if (got >= 4 && std::memcmp(head, "CDF", 3) == 0) {
        auto r = ClassicNetcdfFile::open(path);
        if (!r) return std::unexpected(r.error());
        file->reader_ = std::move(*r);
    } else if (got == 8 && std::memcmp(head, kHdf5Signature, 8) == 0) {
        auto r = Hdf5File::open(path);
        if (!r) return std::unexpected(r.error());
        file->reader_ = std::move(*r);
    } else {
        return fail(ErrorKind::NetCdf,
                    "unsupported wrf file format: the built-in reader reads classic netcdf and netcdf-4/hdf5 only");
    }

    auto tshape = file->dataset_shape("T");
    if (!tshape) return fail(ErrorKind::VarNotFound, "Cannot determine grid dimensions: variable 'T' not found");
    if (tshape->size() < 4) {
        return fail(ErrorKind::DimMismatch,
                    "T has " + std::to_string(tshape->size()) + "-D shape, expected 4-D [Time, nz, ny, nx]");
    }
    file->nt_ = (*tshape)[0];
    file->nz_ = (*tshape)[1];
    file->ny_ = (*tshape)[2];
    file->nx_ = (*tshape)[3];

    auto stag = [&](const char* name, std::size_t index, std::size_t fallback) {
        auto s = file->dataset_shape(name);
        return s && s->size() >= 4 ? (*s)[index] : fallback;
    };
    file->nx_stag_ = stag("U", 3, file->nx_ + 1);
    file->ny_stag_ = stag("V", 2, file->ny_ + 1);
    file->nz_stag_ = stag("PH", 1, file->nz_ + 1);

    file->dx_ = file->global_attr_f64("DX").value_or(1000.0);
    file->dy_ = file->global_attr_f64("DY").value_or(1000.0);
    return file;
}

Result<std::vector<std::size_t>> WrfFile::dataset_shape(const std::string& name) const {
    return dispatch(reader_, [&](const auto& r) { return r.dataset_shape(name); });
}

Result<std::vector<double>> WrfFile::read_f64_slice(const std::string& name, std::size_t t) const {
    return dispatch(reader_, [&](const auto& r) { return r.read_f64_slice(name, t); });
}

Result<std::vector<std::uint8_t>> WrfFile::read_u8(const std::string& name) const {
    return dispatch(reader_, [&](const auto& r) { return r.read_u8(name); });
}

Result<double> WrfFile::global_attr_f64(const std::string& name) const {
    return dispatch(reader_, [&](const auto& r) { return r.global_attr_f64(name); });
}

bool WrfFile::has_var(const std::string& name) const {
    return dispatch(reader_, [&](const auto& r) { return r.has_var(name); });
}

Result<std::vector<double>> WrfFile::read_var(const std::string& name, std::size_t t) const {
    return read_f64_slice(name, t);
}

Result<std::size_t> WrfFile::add_var_into(const std::string& name, std::size_t t, std::vector<double>& into) const {
    if (const auto* classic = std::get_if<std::unique_ptr<ClassicNetcdfFile>>(&reader_)) {
        return (*classic)->add_f64_slice(name, t, into);
    }
    auto values = read_var(name, t);
    if (!values) return std::unexpected(values.error());
    if (values->size() == into.size()) {
        for (std::size_t i = 0; i < into.size(); ++i) into[i] = into[i] + (*values)[i];
    }
    return values->size();
}

Result<std::vector<std::string>> WrfFile::times() const {
    auto shape = dataset_shape("Times");
    if (!shape) return std::unexpected(shape.error());
    auto bytes = read_u8("Times");
    if (!bytes) return std::unexpected(bytes.error());
    if (shape->size() != 2) return fail(ErrorKind::DimMismatch, "Times variable has unexpected shape");
    const std::size_t n = (*shape)[0];
    const std::size_t len = (*shape)[1];
    std::vector<std::string> out;
    for (std::size_t i = 0; i < n; ++i) {
        if (len != 0 && bytes->size() / len < i + 1) break;
        std::string s = utf8_replace_invalid(bytes->data() + i * len, len);
        while (!s.empty() && s.back() == '\0') s.pop_back();
        out.push_back(std::move(s));
    }
    return out;
}

void WrfFile::prepare_cache_for_time(std::size_t t) {
    std::lock_guard time_lock(cache_time_mutex_);
    if (cache_time_ != t) {
        {
            std::lock_guard lock(cache_mutex_);
            cache_.clear();
        }
        cache_time_ = t;
    }
}

SharedField WrfFile::cached_field(const std::string& key) const {
    std::lock_guard lock(cache_mutex_);
    auto it = cache_.find(key);
    return it == cache_.end() ? nullptr : it->second;
}

SharedField WrfFile::store_cached_field(const std::string& key, std::vector<double> values) {
    auto field = std::make_shared<const std::vector<double>>(std::move(values));
    std::lock_guard lock(cache_mutex_);
    auto [it, inserted] = cache_.try_emplace(key, field);
    return it->second;
}

SharedField WrfFile::replace_cached_field(const std::string& key, std::vector<double> values) {
    auto field = std::make_shared<const std::vector<double>>(std::move(values));
    std::lock_guard lock(cache_mutex_);
    cache_[key] = field;
    return field;
}

}  // namespace wrf
