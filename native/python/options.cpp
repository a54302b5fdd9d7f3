#include "options.hpp"

#include <string>
#include <vector>

#include "engine/text.hpp"
#include "errors.hpp"

namespace nb = nanobind;

namespace wrf::py {

namespace {

std::string py_type_name(nb::handle value) { return nb::type_name(value.type()).c_str(); }

[[noreturn]] void wrong_type(const char* func, const char* arg, const char* expected, nb::handle value) {
    raise_type_error(std::string(func) + "(): argument '" + arg + "' must be " + expected + ", not " +
                     py_type_name(value));
}

bool is_numpy_bool(nb::handle value) {
    const std::string name = Py_TYPE(value.ptr())->tp_name;
    return name == "numpy.bool" || name == "numpy.bool_";
}

// A real number as Python sees one: int, float, or a numpy scalar. Strings
// and bools-as-flags are not numbers here; bool is an int, so it converts.
bool to_double(nb::handle value, double& out) {
    if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr())) return false;
    if (!PyFloat_Check(value.ptr()) && !PyLong_Check(value.ptr()) && !PyNumber_Check(value.ptr())) return false;
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    out = v;
    return true;
}

std::optional<std::string> opt_text(nb::handle value, const char* func, const char* arg) {
    if (value.is_none()) return std::nullopt;
    return arg_str(value, func, arg);
}

std::optional<double> opt_number(nb::handle value, const char* func, const char* arg) {
    if (value.is_none()) return std::nullopt;
    double v = 0.0;
    if (!to_double(value, v)) wrong_type(func, arg, "a number or None", value);
    return v;
}

std::optional<bool> opt_flag(nb::handle value, const char* func, const char* arg) {
    if (value.is_none()) return std::nullopt;
    if (PyBool_Check(value.ptr())) return value.ptr() == Py_True;
    if (is_numpy_bool(value)) return PyObject_IsTrue(value.ptr()) == 1;
    wrong_type(func, arg, "a bool or None", value);
}

std::string motion_message(std::size_t ny, std::size_t nx) {
    const std::string s = "(" + std::to_string(ny) + ", " + std::to_string(nx) + ")";
    return "storm_motion must be a scalar (u, v), a pair of 2D arrays with shape " + s +
           ", or a stacked array with shape (2, " + std::to_string(ny) + ", " + std::to_string(nx) + ")";
}

bool is_sequence(nb::handle value) {
    return PySequence_Check(value.ptr()) && !PyUnicode_Check(value.ptr()) && !PyBytes_Check(value.ptr());
}

// One (ny, nx) entry of a storm-motion grid, flattened row-major.
std::vector<double> motion_entry(nb::handle entry, const char* name, std::size_t ny, std::size_t nx) {
    const std::string general = motion_message(ny, nx);
    if (!is_sequence(entry)) raise_value_error(general);
    const Py_ssize_t rows = PySequence_Size(entry.ptr());
    if (rows < 0) {
        PyErr_Clear();
        raise_value_error(general);
    }
    if (static_cast<std::size_t>(rows) != ny) {
        raise_value_error(std::string(name) + " has shape (" + std::to_string(rows) + ", ...), expected (" +
                          std::to_string(ny) + ", " + std::to_string(nx) + ")");
    }
    std::vector<double> out;
    out.reserve(ny * nx);
    for (std::size_t i = 0; i < ny; ++i) {
        nb::object row = nb::steal(PySequence_GetItem(entry.ptr(), static_cast<Py_ssize_t>(i)));
        if (!row.is_valid()) {
            PyErr_Clear();
            raise_value_error(general);
        }
        if (!is_sequence(row)) raise_value_error(general);
        const Py_ssize_t len = PySequence_Size(row.ptr());
        if (len < 0) {
            PyErr_Clear();
            raise_value_error(general);
        }
        if (static_cast<std::size_t>(len) != nx) {
            raise_value_error(std::string(name) + " row " + std::to_string(i) + " has length " + std::to_string(len) +
                              ", expected " + std::to_string(nx));
        }
        nb::object fast = nb::steal(PySequence_Fast(row.ptr(), "row"));
        if (!fast.is_valid()) {
            PyErr_Clear();
            raise_value_error(general);
        }
        PyObject** items = PySequence_Fast_ITEMS(fast.ptr());
        for (std::size_t j = 0; j < nx; ++j) {
            double v = 0.0;
            if (!to_double(items[j], v)) raise_value_error(general);
            out.push_back(v);
        }
    }
    return out;
}

std::optional<StormMotion> opt_motion(nb::handle value, std::size_t ny, std::size_t nx) {
    if (value.is_none()) return std::nullopt;
    if (PyTuple_Check(value.ptr()) && PyTuple_GET_SIZE(value.ptr()) == 2) {
        double u = 0.0, v = 0.0;
        if (to_double(PyTuple_GET_ITEM(value.ptr(), 0), u) && to_double(PyTuple_GET_ITEM(value.ptr(), 1), v)) {
            return StormMotion{StormMotionUniform{u, v}};
        }
    }
    const std::string general = motion_message(ny, nx);
    if (!is_sequence(value)) raise_value_error(general);
    const Py_ssize_t n = PySequence_Size(value.ptr());
    if (n < 0) PyErr_Clear();
    if (n != 2) raise_value_error(general);
    nb::object first = nb::steal(PySequence_GetItem(value.ptr(), 0));
    nb::object second = nb::steal(PySequence_GetItem(value.ptr(), 1));
    if (!first.is_valid() || !second.is_valid()) {
        PyErr_Clear();
        raise_value_error(general);
    }
    StormMotionField field;
    field.u = motion_entry(first, "storm_motion[0]", ny, nx);
    field.v = motion_entry(second, "storm_motion[1]", ny, nx);
    return StormMotion{std::move(field)};
}

std::string normalise(std::string_view text, bool blanks_too) {
    std::string s = to_lower_ascii(trim(text));
    for (char& c : s) {
        if (c == '-' || (blanks_too && c == ' ')) c = '_';
    }
    return s;
}

}  // namespace

std::string arg_str(nb::handle value, const char* func, const char* arg) {
    if (!PyUnicode_Check(value.ptr())) wrong_type(func, arg, "a str", value);
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (data == nullptr) throw nb::python_error();
    return std::string(data, static_cast<std::size_t>(size));
}

ComputeOpts build_options(const RawOptions& raw, std::size_t ny, std::size_t nx, const char* func) {
    ComputeOpts o;
    // Types first: a wrong Python type is an argument error, before any check.
    o.units = opt_text(raw.units, func, "units");
    o.parcel_type = opt_text(raw.parcel_type, func, "parcel_type");
    const auto method = opt_text(raw.storm_motion_method, func, "storm_motion_method");
    const auto type = opt_text(raw.storm_motion_type, func, "storm_motion_type");
#define WRF_OPTION_NUMBER(name) o.name = opt_number(raw.name, func, #name);
#define WRF_OPTION_FLAG(name) o.name = opt_flag(raw.name, func, #name);
    WRF_OPTION_NUMBER(entrainment_rate)
    WRF_OPTION_FLAG(pseudoadiabatic)
    WRF_OPTION_NUMBER(top_m)
    WRF_OPTION_NUMBER(bottom_m)
    WRF_OPTION_NUMBER(depth_m)
    WRF_OPTION_NUMBER(parcel_pressure)
    WRF_OPTION_NUMBER(parcel_temperature)
    WRF_OPTION_NUMBER(parcel_dewpoint)
    WRF_OPTION_NUMBER(bottom_p)
    WRF_OPTION_NUMBER(top_p)
    o.layer_type = opt_text(raw.layer_type, func, "layer_type");
    WRF_OPTION_FLAG(use_virtual)
    WRF_OPTION_NUMBER(lake_interp)
    WRF_OPTION_FLAG(use_varint)
    WRF_OPTION_FLAG(use_liqskin)
    WRF_OPTION_FLAG(ecape_strict)
#undef WRF_OPTION_NUMBER
#undef WRF_OPTION_FLAG

    o.storm_motion = opt_motion(raw.storm_motion, ny, nx);
    if (method) {
        const std::string m = normalise(*method, false);
        if (m == "pressure_weighted" || m == "weighted") {
            o.storm_motion_method = StormMotionMethod::PressureWeighted;
        } else if (m == "non_pressure_weighted" || m == "unweighted" || m == "classic") {
            o.storm_motion_method = StormMotionMethod::NonPressureWeighted;
        } else {
            raise_value_error(
                "storm_motion_method must be one of 'pressure_weighted', 'weighted', 'non_pressure_weighted', "
                "'unweighted', or 'classic'");
        }
    }
    if (type) {
        const std::string t = normalise(*type, true);
        if (t == "rm" || t == "right" || t == "right_moving" || t == "bunkers_rm" || t == "bunkers_right") {
            o.storm_motion_type = "bunkers_rm";
        } else if (t == "lm" || t == "left" || t == "left_moving" || t == "bunkers_lm" || t == "bunkers_left") {
            o.storm_motion_type = "bunkers_lm";
        } else if (t == "mw" || t == "mean" || t == "meanwind" || t == "mean_wind") {
            o.storm_motion_type = "mean_wind";
        } else {
            raise_value_error("storm_motion_type must be one of 'bunkers_rm', 'bunkers_lm', or 'mean_wind'");
        }
    }
    return o;
}

}  // namespace wrf::py
