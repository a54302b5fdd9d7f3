#include "engine/error.hpp"

namespace wrf {

std::string WrfError::display() const {
    const char* prefix = "";
    switch (kind) {
        case ErrorKind::NetCdf: prefix = "NetCDF error: "; break;
        case ErrorKind::VarNotFound: prefix = "variable not found in WRF file: "; break;
        case ErrorKind::AttrNotFound: prefix = "global attribute not found: "; break;
        case ErrorKind::AttrType: prefix = "unexpected attribute type: "; break;
        case ErrorKind::DimMismatch: prefix = "dimension mismatch: "; break;
        case ErrorKind::UnknownVar: prefix = "unknown variable: "; break;
        case ErrorKind::UnitConversion: prefix = "unit conversion error: "; break;
        case ErrorKind::InvalidParam: prefix = "invalid parameter: "; break;
        case ErrorKind::Compute: prefix = "computation error: "; break;
    }
    return prefix + message;
}

}  // namespace wrf
