// Placeholder: the classic reader is being written.
#include "file/classic.hpp"

namespace wrf {

struct ClassicNetcdfFile::Impl {};

ClassicNetcdfFile::ClassicNetcdfFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ClassicNetcdfFile::~ClassicNetcdfFile() = default;

Result<std::unique_ptr<ClassicNetcdfFile>> ClassicNetcdfFile::open(const std::string&) {
    return fail(ErrorKind::NetCdf, "classic reader not built yet");
}
Result<std::unique_ptr<ClassicNetcdfFile>> ClassicNetcdfFile::open_header_bytes(const std::uint8_t*, std::size_t,
                                                                                std::uint64_t) {
    return fail(ErrorKind::NetCdf, "classic reader not built yet");
}
Result<std::vector<std::size_t>> ClassicNetcdfFile::dataset_shape(const std::string& name) const {
    return fail(ErrorKind::VarNotFound, name);
}
Result<std::vector<double>> ClassicNetcdfFile::read_f64_slice(const std::string& name, std::size_t) const {
    return fail(ErrorKind::VarNotFound, name);
}
Result<std::vector<std::uint8_t>> ClassicNetcdfFile::read_u8(const std::string& name) const {
    return fail(ErrorKind::VarNotFound, name);
}
Result<double> ClassicNetcdfFile::global_attr_f64(const std::string& name) const {
    return fail(ErrorKind::AttrNotFound, name);
}
bool ClassicNetcdfFile::has_var(const std::string&) const { return false; }

}  // namespace wrf
