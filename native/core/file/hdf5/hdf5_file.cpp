// Placeholder until the HDF5 reader lands: every netCDF-4 file fails cleanly.
#include "file/hdf5/hdf5_file.hpp"

namespace wrf {

struct Hdf5File::Impl {};

Hdf5File::Hdf5File(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Hdf5File::~Hdf5File() = default;

Result<std::unique_ptr<Hdf5File>> Hdf5File::open(const std::string&) {
    return fail(ErrorKind::NetCdf, "netcdf-4 (hdf5) files are not supported yet by the built-in reader");
}

Result<std::vector<std::size_t>> Hdf5File::dataset_shape(const std::string& name) const {
    return fail(ErrorKind::VarNotFound, name);
}
Result<std::vector<double>> Hdf5File::read_f64_slice(const std::string& name, std::size_t) const {
    return fail(ErrorKind::VarNotFound, name);
}
Result<std::vector<std::uint8_t>> Hdf5File::read_u8(const std::string& name) const {
    return fail(ErrorKind::VarNotFound, name);
}
Result<double> Hdf5File::global_attr_f64(const std::string& name) const {
    return fail(ErrorKind::AttrNotFound, name);
}
bool Hdf5File::has_var(const std::string&) const { return false; }

}  // namespace wrf
