#pragma once
// Our own reader of the HDF5 subset that netCDF-4 model output uses.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/error.hpp"

namespace wrf {

class Hdf5File {
public:
    ~Hdf5File();
    Hdf5File(const Hdf5File&) = delete;
    Hdf5File& operator=(const Hdf5File&) = delete;

    static Result<std::unique_ptr<Hdf5File>> open(const std::string& path);

    Result<std::vector<std::size_t>> dataset_shape(const std::string& name) const;
    Result<std::vector<double>> read_f64_slice(const std::string& name, std::size_t t) const;
    Result<std::vector<std::uint8_t>> read_u8(const std::string& name) const;
    Result<double> global_attr_f64(const std::string& name) const;
    bool has_var(const std::string& name) const;

    struct Impl;

private:
    explicit Hdf5File(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;

    friend std::vector<std::string> hdf5_dataset_names(const Hdf5File& file);
};

// Names of every object linked from the root group, sorted (tests, fuzzing).
std::vector<std::string> hdf5_dataset_names(const Hdf5File& file);

}  // namespace wrf
