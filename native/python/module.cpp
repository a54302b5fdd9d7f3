// The native module wrf._wrf: argument conversion, the GIL, result arrays.
// All computation lives in the engine.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/compute.hpp"
#include "engine/text.hpp"
#include "engine/variables.hpp"
#include "errors.hpp"
#include "file/wrf_file.hpp"
#include "options.hpp"
#include "parallel.hpp"

namespace nb = nanobind;
using namespace nb::literals;

namespace wrf::py {

namespace {

struct PyWrfFile {
    std::unique_ptr<WrfFile> file;
};

// Hands the values to NumPy without a copy: the capsule owns the vector.
nb::object to_array(VarOutput&& out) {
    std::size_t product = 1;
    for (std::size_t s : out.shape) product *= s;
    std::vector<std::size_t> shape = out.shape;
    if (shape.size() >= 2 && shape.size() <= 4) {
        if (product != out.data.size()) {
            raise_runtime_error("cannot reshape " + std::to_string(out.data.size()) + " values into shape " +
                                format_shape(shape));
        }
    } else {
        shape = {out.data.size()};
    }
    auto* owned = new std::vector<double>(std::move(out.data));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<double>*>(p); });
    nb::ndarray<nb::numpy, double> array(owned->data(), shape.size(), shape.data(), owner);
    return nb::cast(std::move(array), nb::rv_policy::reference);
}

WrfFile& file_of(nb::handle wrffile, const char* func) {
    if (!nb::isinstance<PyWrfFile>(wrffile)) {
        raise_type_error(std::string(func) + "(): argument 'wrffile' must be a WrfFile, not " +
                         nb::type_name(wrffile.type()).c_str());
    }
    return *nb::cast<PyWrfFile&>(wrffile).file;
}

std::optional<std::size_t> timeidx_of(nb::handle value) {
    if (value.is_none()) return std::nullopt;
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
        raise_type_error(std::string("getvar(): argument 'timeidx' must be a non-negative int or None, not ") +
                         nb::type_name(value.type()).c_str());
    }
    nb::object index = nb::steal(PyNumber_Index(value.ptr()));
    if (!index.is_valid()) throw nb::python_error();
    int overflow = 0;
    const long long t = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (t == -1 && PyErr_Occurred()) throw nb::python_error();
    if (overflow < 0 || t < 0) {
        raise_value_error("getvar(): argument 'timeidx' must be a non-negative int or None, got " +
                          std::string(nb::str(value).c_str()));
    }
    // Past the end is the engine's range check; huge values saturate into it.
    if (overflow > 0) return static_cast<std::size_t>(-1);
    return static_cast<std::size_t>(t);
}

// Runs the engine without the GIL, so other Python threads progress while a
// diagnostic computes; the result is turned into an array with it.
nb::object run_getvar(WrfFile& file, nb::handle name_obj, std::optional<std::size_t> timeidx, bool all_times,
                      const RawOptions& raw, const char* func) {
    const std::string name = arg_str(name_obj, func, "name");
    const ComputeOpts opts = build_options(raw, file.ny(), file.nx(), func);
    Result<VarOutput> out;
    {
        nb::gil_scoped_release release;
        out = all_times ? getvar_all_times(file, name, opts) : getvar(file, name, timeidx, opts);
    }
    if (!out) raise(out.error(), Entry::Getvar);
    return to_array(std::move(*out));
}

#define WRF_OPTION_PARAM(name, kind) , nb::handle name
#define WRF_OPTION_ARG(name, kind) , nb::arg(#name) = nb::none()
#define WRF_OPTION_COPY(name, kind) raw.name = name;
#define WRF_OPTION_SIG(name, kind) ", " #name "=None"

constexpr const char* kGetvarSig =
    "def getvar(wrffile, name, timeidx=None" WRF_OPTION_LIST(WRF_OPTION_SIG) ")";
constexpr const char* kGetvarAllSig = "def getvar_all_times(wrffile, name" WRF_OPTION_LIST(WRF_OPTION_SIG) ")";
constexpr const char* kMethodGetvarSig = "def getvar(self, name, timeidx=None" WRF_OPTION_LIST(WRF_OPTION_SIG) ")";
constexpr const char* kMethodGetvarAllSig =
    "def getvar_all_times(self, name" WRF_OPTION_LIST(WRF_OPTION_SIG) ")";

}  // namespace

}  // namespace wrf::py

NB_MODULE(_wrf, m) {
    using namespace wrf;
    using namespace wrf::py;
    m.doc() = "Native module of the wrf package, exposed as wrf._wrf.";

    nb::class_<PyWrfFile>(m, "WrfFile",
                          "A WRF output file handle.\n\n"
                          "Opens a NetCDF WRF output file and provides access to grid metadata\n"
                          "and derived diagnostic variables.")
        .def(
            "__init__",
            [](PyWrfFile* self, nb::handle path) {
                nb::object fs = nb::steal(PyOS_FSPath(path.ptr()));
                if (!fs.is_valid() || !PyUnicode_Check(fs.ptr())) {
                    PyErr_Clear();
                    raise_type_error(std::string("WrfFile(): argument 'path' must be a str, not ") +
                                     nb::type_name(path.type()).c_str());
                }
                const std::string p = arg_str(fs, "WrfFile", "path");
                Result<std::unique_ptr<WrfFile>> opened;
                {
                    nb::gil_scoped_release release;
                    opened = WrfFile::open(p);
                }
                if (!opened) raise(opened.error(), Entry::Open);
                new (self) PyWrfFile{std::move(*opened)};
            },
            "path"_a, nb::sig("def __init__(self, path)"))
        .def_prop_ro("nx", [](PyWrfFile& f) { return f.file->nx(); },
                     "Number of grid points in the x (west-east) direction.")
        .def_prop_ro("ny", [](PyWrfFile& f) { return f.file->ny(); },
                     "Number of grid points in the y (south-north) direction.")
        .def_prop_ro("nz", [](PyWrfFile& f) { return f.file->nz(); }, "Number of vertical levels.")
        .def_prop_ro("nt", [](PyWrfFile& f) { return f.file->nt(); }, "Number of time steps.")
        .def_prop_ro("dx", [](PyWrfFile& f) { return f.file->dx(); }, "Grid spacing in x (meters).")
        .def_prop_ro("dy", [](PyWrfFile& f) { return f.file->dy(); }, "Grid spacing in y (meters).")
        .def_prop_ro("path", [](PyWrfFile& f) { return f.file->path(); }, "File path.")
        .def(
            "_global_attr_f64",
            [](PyWrfFile& f, nb::handle name_obj) {
                const std::string name = arg_str(name_obj, "_global_attr_f64", "name");
                auto v = f.file->global_attr_f64(name);
                if (!v) raise(v.error(), Entry::GlobalAttr, name);
                return *v;
            },
            "name"_a, nb::sig("def _global_attr_f64(self, name)"),
            "Internal projection helper: read a numeric global attribute without\n"
            "requiring the optional Python netCDF4 package.")
        .def(
            "_has_var",
            [](PyWrfFile& f, nb::handle name_obj) {
                return f.file->has_var(arg_str(name_obj, "_has_var", "name"));
            },
            "name"_a, nb::sig("def _has_var(self, name)"),
            "Internal projection helper: check for stagger-specific coordinate\n"
            "variables before selecting XLAT/XLONG origins.")
        .def(
            "times",
            [](PyWrfFile& f) {
                Result<std::vector<std::string>> t;
                {
                    nb::gil_scoped_release release;
                    t = f.file->times();
                }
                if (!t) raise(t.error(), Entry::Times);
                return *t;
            },
            nb::sig("def times(self)"), "Time strings from the file.")
        .def(
            "getvar",
            [](nb::handle self, nb::handle name, nb::handle timeidx WRF_OPTION_LIST(WRF_OPTION_PARAM)) {
                RawOptions raw;
                WRF_OPTION_LIST(WRF_OPTION_COPY)
                return run_getvar(*nb::cast<PyWrfFile&>(self).file, name, timeidx_of(timeidx), false, raw,
                                  "getvar");
            },
            "name"_a, "timeidx"_a = nb::none() WRF_OPTION_LIST(WRF_OPTION_ARG), nb::sig(kMethodGetvarSig),
            "Compute a diagnostic variable.")
        .def(
            "getvar_all_times",
            [](nb::handle self, nb::handle name WRF_OPTION_LIST(WRF_OPTION_PARAM)) {
                RawOptions raw;
                WRF_OPTION_LIST(WRF_OPTION_COPY)
                return run_getvar(*nb::cast<PyWrfFile&>(self).file, name, std::nullopt, true, raw,
                                  "getvar_all_times");
            },
            "name"_a WRF_OPTION_LIST(WRF_OPTION_ARG), nb::sig(kMethodGetvarAllSig))
        .def("__repr__", [](PyWrfFile& f) {
            const WrfFile& w = *f.file;
            return "WrfFile('" + w.path() + "', nx=" + std::to_string(w.nx()) + ", ny=" + std::to_string(w.ny()) +
                   ", nz=" + std::to_string(w.nz()) + ", nt=" + std::to_string(w.nt()) + ")";
        });

    m.def(
        "getvar",
        [](nb::handle wrffile, nb::handle name, nb::handle timeidx WRF_OPTION_LIST(WRF_OPTION_PARAM)) {
            RawOptions raw;
            WRF_OPTION_LIST(WRF_OPTION_COPY)
            return run_getvar(file_of(wrffile, "getvar"), name, timeidx_of(timeidx), false, raw, "getvar");
        },
        "wrffile"_a, "name"_a, "timeidx"_a = nb::none() WRF_OPTION_LIST(WRF_OPTION_ARG), nb::sig(kGetvarSig),
        "Compute a diagnostic variable from a WRF file.");

    m.def(
        "getvar_all_times",
        [](nb::handle wrffile, nb::handle name WRF_OPTION_LIST(WRF_OPTION_PARAM)) {
            RawOptions raw;
            WRF_OPTION_LIST(WRF_OPTION_COPY)
            return run_getvar(file_of(wrffile, "getvar_all_times"), name, std::nullopt, true, raw,
                              "getvar_all_times");
        },
        "wrffile"_a, "name"_a WRF_OPTION_LIST(WRF_OPTION_ARG), nb::sig(kGetvarAllSig),
        "Compute and stack all timesteps for a diagnostic variable.");

    m.def(
        "list_variables",
        []() {
            nb::list out;
            for (const VarDef& row : VARS) {
                out.append(nb::make_tuple(std::string(row.name), std::string(row.description),
                                          std::string(row.units)));
            }
            return out;
        },
        nb::sig("def list_variables()"), "List all supported variable names.");

    m.def(
        "_set_num_threads", [](std::size_t n) { parallel::set_num_threads(n); }, "n"_a,
        "Cap the worker pool at n threads (0 restores the default).");
    m.def("_num_threads", []() { return parallel::num_threads(); }, "Number of worker threads in use.");
}
