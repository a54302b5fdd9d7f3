#pragma once
// An open WRF output file: its reader, grid sizes, times and the per-time
// field cache shared by all diagnostics of one request.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "engine/error.hpp"
#include "engine/options.hpp"
#include "file/classic.hpp"
#include "file/hdf5/hdf5_file.hpp"

namespace wrf {

// Immutable once shared; stays valid while any holder keeps it.
using SharedField = std::shared_ptr<const std::vector<double>>;

using FileReader = std::variant<std::unique_ptr<ClassicNetcdfFile>, std::unique_ptr<Hdf5File>>;

class WrfFile {
public:
    static Result<std::unique_ptr<WrfFile>> open(const std::string& path);

    const std::string& path() const { return path_; }
    std::size_t nx() const { return nx_; }
    std::size_t ny() const { return ny_; }
    std::size_t nz() const { return nz_; }
    std::size_t nt() const { return nt_; }
    std::size_t nx_stag() const { return nx_stag_; }
    std::size_t ny_stag() const { return ny_stag_; }
    std::size_t nz_stag() const { return nz_stag_; }
    double dx() const { return dx_; }
    double dy() const { return dy_; }

    Result<std::vector<std::string>> times() const;
    bool has_var(const std::string& name) const;
    Result<std::vector<double>> read_var(const std::string& name, std::size_t t) const;
    // Adds read_var(name, t) into `into` when it has exactly as many values,
    // without a full-size temporary where the reader can; returns the
    // variable's number of values either way.
    Result<std::size_t> add_var_into(const std::string& name, std::size_t t, std::vector<double>& into) const;
    Result<double> global_attr_f64(const std::string& name) const;

    // Reader contract, also used directly for raw variables.
    Result<std::vector<std::size_t>> dataset_shape(const std::string& name) const;
    Result<std::vector<double>> read_f64_slice(const std::string& name, std::size_t t) const;
    Result<std::vector<std::uint8_t>> read_u8(const std::string& name) const;

    // Field cache.
    void prepare_cache_for_time(std::size_t t);
    SharedField cached_field(const std::string& key) const;
    // Stores unless the key is present; returns what the cache now holds.
    SharedField store_cached_field(const std::string& key, std::vector<double> values);
    // Stores, replacing any entry; returns the array just stored.
    SharedField replace_cached_field(const std::string& key, std::vector<double> values);

    // Derived base fields, cached per time (implemented in grid.cpp).
    Result<SharedField> full_pressure(std::size_t t);
    Result<SharedField> pressure_hpa(std::size_t t);
    Result<SharedField> full_theta(std::size_t t);
    Result<SharedField> temperature(std::size_t t);
    Result<SharedField> temperature_c(std::size_t t);
    Result<SharedField> full_geopotential(std::size_t t);
    Result<SharedField> height_msl(std::size_t t);
    Result<SharedField> height_agl(std::size_t t);
    Result<SharedField> u_destag(std::size_t t);
    Result<SharedField> v_destag(std::size_t t);
    Result<SharedField> w_destag(std::size_t t);
    Result<SharedField> qvapor(std::size_t t);
    Result<SharedField> q2(std::size_t t);
    Result<SharedField> t2(std::size_t t);
    Result<SharedField> u10(std::size_t t);
    Result<SharedField> v10(std::size_t t);
    Result<SharedField> psfc(std::size_t t);
    Result<SharedField> xlat(std::size_t t);
    Result<SharedField> xlong(std::size_t t);
    Result<SharedField> terrain(std::size_t t);
    Result<SharedField> cosalpha(std::size_t t);
    Result<SharedField> sinalpha(std::size_t t);

    // Options-aware 2-m fields: fresh copies the caller may change.
    Result<std::vector<double>> t2_for_opts(std::size_t t, const ComputeOpts& opts);
    Result<std::vector<double>> q2_for_opts(std::size_t t, const ComputeOpts& opts);
    Result<std::vector<double>> t2_lake_corrected(std::size_t t, double area_km2);
    Result<std::vector<double>> q2_lake_corrected(std::size_t t, double area_km2);
    Result<std::vector<bool>> lake_mask(std::size_t t, double area_km2);

private:
    WrfFile() = default;

    std::string path_;
    FileReader reader_;
    std::size_t nx_ = 0, ny_ = 0, nz_ = 0, nt_ = 0;
    std::size_t nx_stag_ = 0, ny_stag_ = 0, nz_stag_ = 0;
    double dx_ = 1000.0, dy_ = 1000.0;

    mutable std::mutex cache_mutex_;
    std::unordered_map<std::string, SharedField> cache_;
    std::mutex cache_time_mutex_;
    std::optional<std::size_t> cache_time_;
};

}  // namespace wrf
