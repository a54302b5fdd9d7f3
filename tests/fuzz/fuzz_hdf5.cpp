// libFuzzer target: open an HDF5 image held in memory and read every
// variable. Any failure must be a NetCdf error; a crash, a sanitizer report,
// a hang or an error of another kind is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "file/hdf5/hdf5_file.hpp"
#include "file/hdf5/hdf5_internal.hpp"
#include "parallel.hpp"

namespace {

template <class R>
void expect_netcdf(const R& r) {
    if (!r && r.error().kind != wrf::ErrorKind::NetCdf) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // One thread keeps runs reproducible; the parallel paths are tested apart.
    wrf::parallel::set_num_threads(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto file = wrf::Hdf5File::Impl::open_memory(wrf::h5::Bytes(data, data + size));
    expect_netcdf(file);
    if (!file) return 0;
    const wrf::Hdf5File& f = **file;
    for (const std::string& name : wrf::hdf5_dataset_names(f)) {
        if (!f.has_var(name)) std::abort();
        expect_netcdf(f.dataset_shape(name));
        expect_netcdf(f.read_f64_slice(name, 0));
        expect_netcdf(f.read_f64_slice(name, 1));
        expect_netcdf(f.read_u8(name));
    }
    auto dx = f.global_attr_f64("DX");
    if (!dx && dx.error().kind != wrf::ErrorKind::AttrNotFound && dx.error().kind != wrf::ErrorKind::AttrType) std::abort();
    return 0;
}
