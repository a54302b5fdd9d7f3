// Feeds arbitrary bytes to the classic header parser, then reads every
// variable and global attribute of whatever it accepts.
#include <cstddef>
#include <cstdint>

#include "file/classic.hpp"

namespace {

void exercise(const wrf::ClassicNetcdfFile& file) {
    for (const auto& name : wrf::classic_variable_names(file)) {
        (void)file.has_var(name);
        (void)file.dataset_shape(name);
        (void)file.read_f64_slice(name, 0);
        (void)file.read_f64_slice(name, 1);
        (void)file.read_u8(name);
    }
    for (const auto& name : wrf::classic_global_attr_names(file)) (void)file.global_attr_f64(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bytes as a whole file, and as a header of a much larger file whose
    // data lies mostly outside the bytes held.
    if (auto whole = wrf::ClassicNetcdfFile::open_header_bytes(data, size, size)) exercise(**whole);
    if (auto head = wrf::ClassicNetcdfFile::open_header_bytes(data, size, std::uint64_t{1} << 40)) exercise(**head);
    return 0;
}
