#pragma once
// Engine error record: every fallible operation below the Python layer returns
// Result<T>, never throws.
#include <expected>
#include <string>
#include <utility>

namespace wrf {

enum class ErrorKind {
    NetCdf,
    VarNotFound,
    AttrNotFound,
    AttrType,
    DimMismatch,
    UnknownVar,
    UnitConversion,
    InvalidParam,
    Compute,
};

struct WrfError {
    ErrorKind kind;
    std::string message;

    // The text users see: a per-kind prefix followed by the message.
    std::string display() const;
};

template <class T>
using Result = std::expected<T, WrfError>;

inline std::unexpected<WrfError> fail(ErrorKind kind, std::string message) {
    return std::unexpected<WrfError>(WrfError{kind, std::move(message)});
}

}  // namespace wrf
