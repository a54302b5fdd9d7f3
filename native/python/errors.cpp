#include "errors.hpp"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace wrf::py {

namespace {
[[noreturn]] void raise_as(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw nb::python_error();
}
}  // namespace

void raise(const WrfError& error, Entry entry, const std::string& name) {
    switch (entry) {
        case Entry::Open: raise_as(PyExc_OSError, error.display());
        case Entry::GlobalAttr: raise_as(PyExc_KeyError, "global attribute " + name + ": " + error.display());
        case Entry::Times:
        case Entry::Getvar: raise_as(PyExc_RuntimeError, error.display());
    }
    raise_as(PyExc_RuntimeError, error.display());
}

void raise_type_error(const std::string& message) { raise_as(PyExc_TypeError, message); }
void raise_value_error(const std::string& message) { raise_as(PyExc_ValueError, message); }
void raise_runtime_error(const std::string& message) { raise_as(PyExc_RuntimeError, message); }

}  // namespace wrf::py
