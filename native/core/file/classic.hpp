#pragma once
// Reader of classic netCDF files (CDF-1, CDF-2 and CDF-5), our own: the
// format is short and fixed, and values map straight into doubles.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/error.hpp"

namespace wrf {

class ClassicNetcdfFile {
public:
    ~ClassicNetcdfFile();
    ClassicNetcdfFile(const ClassicNetcdfFile&) = delete;
    ClassicNetcdfFile& operator=(const ClassicNetcdfFile&) = delete;

    static Result<std::unique_ptr<ClassicNetcdfFile>> open(const std::string& path);
    // Parses a header held in memory (file_size is the size of the whole file
    // the header belongs to); used by the fuzz target and unit tests.
    static Result<std::unique_ptr<ClassicNetcdfFile>> open_header_bytes(const std::uint8_t* data,
                                                                        std::size_t size,
                                                                        std::uint64_t file_size);

    Result<std::vector<std::size_t>> dataset_shape(const std::string& name) const;
    Result<std::vector<double>> read_f64_slice(const std::string& name, std::size_t t) const;
    // Adds the values of the same slice into `into` when it holds exactly as
    // many, without a full-size temporary; returns the slice's number of
    // values either way.
    Result<std::size_t> add_f64_slice(const std::string& name, std::size_t t, std::vector<double>& into) const;
    Result<std::vector<std::uint8_t>> read_u8(const std::string& name) const;
    Result<double> global_attr_f64(const std::string& name) const;
    bool has_var(const std::string& name) const;

    struct Impl;

private:
    explicit ClassicNetcdfFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;

    friend std::vector<std::string> classic_variable_names(const ClassicNetcdfFile& file);
    friend std::vector<std::string> classic_global_attr_names(const ClassicNetcdfFile& file);
};

// Names in file order; for tests and the fuzz target, which walk every entry.
std::vector<std::string> classic_variable_names(const ClassicNetcdfFile& file);
std::vector<std::string> classic_global_attr_names(const ClassicNetcdfFile& file);

}  // namespace wrf
