#include "diag/vorticity.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "engine/buffer.hpp"
#include "engine/text.hpp"
#include "parallel.hpp"

namespace wrf::diag::vorticity {

namespace {

constexpr double kGravity = 9.81;
constexpr double kAvoScale = 100000.0;  // s-1 -> 10-5 s-1
constexpr double kPvoScale = 10000.0;
constexpr double kPaPerHpa = 100.0;
constexpr double kTinyPressureDifference = 2.220446049250313e-16;

struct GridGeometry {
    std::size_t nx = 0, ny = 0, nz = 0, nxs = 0, nys = 0;
    std::size_t n2 = 0, n3 = 0, nu = 0, nv = 0;
    double dx = 0.0, dy = 0.0;

    static Result<GridGeometry> from_file(const WrfFile& file);
};

struct VorticityFields {
    std::vector<double> u, v, mapfac_u, mapfac_v, mapfac_m, f;

    Result<void> validate(const GridGeometry& g) const;
};

bool mul_overflows(std::initializer_list<std::size_t> factors, std::size_t& product) {
    product = 1;
    for (std::size_t f : factors) {
        if (__builtin_mul_overflow(product, f, &product)) return true;
    }
    return false;
}

Result<GridGeometry> GridGeometry::from_file(const WrfFile& file) {
    GridGeometry g;
    g.nx = file.nx();
    g.ny = file.ny();
    g.nz = file.nz();
    if (g.nx < 2 || g.ny < 2) {
        return fail(ErrorKind::DimMismatch, "AVO/PVO require at least a 2x2 horizontal mass grid, got " +
                                                std::to_string(g.ny) + "x" + std::to_string(g.nx));
    }
    if (g.nz == 0) return fail(ErrorKind::DimMismatch, "AVO/PVO require at least one bottom_top level");
    g.nxs = g.nx + 1;
    g.nys = g.ny + 1;
    if (g.nxs == 0 || g.nys == 0 || mul_overflows({g.nx, g.ny}, g.n2) || mul_overflows({g.nx, g.ny, g.nz}, g.n3) ||
        mul_overflows({g.nxs, g.ny, g.nz}, g.nu) || mul_overflows({g.nx, g.nys, g.nz}, g.nv)) {
        return fail(ErrorKind::DimMismatch, "AVO/PVO grid dimensions overflow the index range");
    }
    auto dx = file.global_attr_f64("DX");
    if (!dx) return std::unexpected(dx.error());
    if (!(std::isfinite(*dx) && *dx > 0.0)) {
        return fail(ErrorKind::InvalidParam, "DX must be finite and positive for AVO/PVO, got " + format_shortest(*dx));
    }
    auto dy = file.global_attr_f64("DY");
    if (!dy) return std::unexpected(dy.error());
    if (!(std::isfinite(*dy) && *dy > 0.0)) {
        return fail(ErrorKind::InvalidParam, "DY must be finite and positive for AVO/PVO, got " + format_shortest(*dy));
    }
    g.dx = *dx;
    g.dy = *dy;
    return g;
}

// The declared shape without its time dimension must be `expected`. The
// leading entry is taken for time only when it is the one extra entry and
// equals the number of times.
Result<void> expect_var_shape(const WrfFile& file, const std::string& name, std::vector<std::size_t> expected) {
    auto shape = file.dataset_shape(name);
    if (!shape) return std::unexpected(shape.error());
    std::vector<std::size_t> s = *shape;
    if (s.size() == expected.size() + 1 && s.front() == file.nt()) s.erase(s.begin());
    if (s != expected) {
        return fail(ErrorKind::DimMismatch, name + " has shape " + format_shape(s) + " for AVO/PVO, expected " +
                                                format_shape(expected));
    }
    return {};
}

Result<void> check_shapes(const WrfFile& file, const GridGeometry& g, bool with_thermo) {
    struct Expect {
        const char* name;
        std::vector<std::size_t> dims;
    };
    std::vector<Expect> list{
        {"U", {g.nz, g.ny, g.nxs}},  {"V", {g.nz, g.nys, g.nx}}, {"MAPFAC_U", {g.ny, g.nxs}},
        {"MAPFAC_V", {g.nys, g.nx}}, {"MAPFAC_M", {g.ny, g.nx}}, {"F", {g.ny, g.nx}},
    };
    if (with_thermo) {
        for (const char* name : {"T", "P", "PB"}) list.push_back({name, {g.nz, g.ny, g.nx}});
    }
    for (const Expect& e : list) {
        if (auto ok = expect_var_shape(file, e.name, e.dims); !ok) return ok;
    }
    return {};
}

Result<VorticityFields> read_vorticity_fields(const WrfFile& file, std::size_t t) {
    VorticityFields f;
    struct Slot {
        const char* name;
        std::vector<double>* into;
    };
    for (const Slot& s : {Slot{"U", &f.u}, Slot{"V", &f.v}, Slot{"MAPFAC_U", &f.mapfac_u},
                          Slot{"MAPFAC_V", &f.mapfac_v}, Slot{"MAPFAC_M", &f.mapfac_m}, Slot{"F", &f.f}}) {
        auto values = file.read_var(s.name, t);
        if (!values) return std::unexpected(values.error());
        *s.into = std::move(*values);
    }
    return f;
}

Result<void> expect_length(const char* name, const std::vector<double>& values, std::size_t expected) {
    if (values.size() != expected) {
        return fail(ErrorKind::DimMismatch, std::string(name) + " has " + std::to_string(values.size()) +
                                                " values for AVO/PVO, expected " + std::to_string(expected));
    }
    return {};
}

Result<void> validate_map_factors(const char* name, const std::vector<double>& values) {
    for (std::size_t p = 0; p < values.size(); ++p) {
        if (!(std::isfinite(values[p]) && values[p] > 0.0)) {
            return fail(ErrorKind::InvalidParam, std::string(name) + "[" + std::to_string(p) +
                                                     "] must be finite and positive for AVO/PVO, got " +
                                                     format_shortest(values[p]));
        }
    }
    return {};
}

Result<void> VorticityFields::validate(const GridGeometry& g) const {
    if (auto ok = expect_length("U", u, g.nu); !ok) return ok;
    if (auto ok = expect_length("V", v, g.nv); !ok) return ok;
    if (auto ok = expect_length("MAPFAC_U", mapfac_u, g.nxs * g.ny); !ok) return ok;
    if (auto ok = expect_length("MAPFAC_V", mapfac_v, g.nx * g.nys); !ok) return ok;
    if (auto ok = expect_length("MAPFAC_M", mapfac_m, g.n2); !ok) return ok;
    if (auto ok = expect_length("F", f, g.n2); !ok) return ok;
    if (auto ok = validate_map_factors("MAPFAC_U", mapfac_u); !ok) return ok;
    if (auto ok = validate_map_factors("MAPFAC_V", mapfac_v); !ok) return ok;
    if (auto ok = validate_map_factors("MAPFAC_M", mapfac_m); !ok) return ok;
    for (std::size_t p = 0; p < f.size(); ++p) {
        if (!std::isfinite(f[p])) {
            return fail(ErrorKind::InvalidParam, "F[" + std::to_string(p) + "] must be finite for AVO/PVO, got " +
                                                     format_shortest(f[p]));
        }
    }
    return {};
}

// Geometry, shape checks, the raw arrays and their validation, in that order.
Result<std::pair<GridGeometry, VorticityFields>> load(const WrfFile& file, std::size_t t, bool for_pvo) {
    auto g = GridGeometry::from_file(file);
    if (!g) return std::unexpected(g.error());
    if (for_pvo && g->nz < 2) {
        return fail(ErrorKind::DimMismatch, "PVO requires at least two bottom_top levels, got " + std::to_string(g->nz));
    }
    if (auto ok = check_shapes(file, *g, for_pvo); !ok) return std::unexpected(ok.error());
    auto fields = read_vorticity_fields(file, t);
    if (!fields) return std::unexpected(fields.error());
    if (auto ok = fields->validate(*g); !ok) return std::unexpected(ok.error());
    return std::pair{*g, std::move(*fields)};
}

// point(i, ip1, im1, span) for every i < nx (at least 2), with the
// neighbours clamped to the row and span = ip1 - im1 as a double: one-sided
// over one cell at the two ends, centred inside, where the loop has no
// clamping left and vectorises.
template <class Point>
inline void for_row_points(std::size_t nx, Point point) {
    point(std::size_t{0}, std::size_t{1}, std::size_t{0}, 1.0);
    for (std::size_t i = 1; i + 1 < nx; ++i) point(i, i + 1, i - 1, 2.0);
    point(nx - 1, nx - 1, nx - 2, 1.0);
}

// A pressure difference PVO can divide by.
inline bool usable_pressure_difference(double dp) {
    const double a = std::fabs(dp);
    return (a <= std::numeric_limits<double>::max()) & (a > kTinyPressureDifference);
}

// Winds over their map factors for one level; each quotient appears in up
// to four differences, so it is formed once.
struct LevelScratch {
    std::vector<double> u_over_m, v_over_m;
};

// Absolute vorticity (s-1) of level k into plane (ny*nx values). Neighbours
// are clamped to the grid, so edges use one-sided differences over one cell.
void absolute_vorticity_level(const VorticityFields& fl, const GridGeometry& g, std::size_t k, LevelScratch& s,
                              double* plane) {
    const std::size_t nx = g.nx, nxs = g.nxs, ny = g.ny, nys = g.nys;
    s.u_over_m.resize(ny * nxs);
    s.v_over_m.resize(nys * nx);
    const double* u = fl.u.data() + k * ny * nxs;
    const double* v = fl.v.data() + k * nys * nx;
    for (std::size_t p = 0; p < ny * nxs; ++p) s.u_over_m[p] = u[p] / fl.mapfac_u[p];
    for (std::size_t p = 0; p < nys * nx; ++p) s.v_over_m[p] = v[p] / fl.mapfac_v[p];
    const double* uq = s.u_over_m.data();
    const double* vq = s.v_over_m.data();

    for (std::size_t j = 0; j < ny; ++j) {
        const std::size_t jp1 = std::min(j + 1, ny - 1), jm1 = j > 0 ? j - 1 : 0;
        const double dy_span = g.dy * static_cast<double>(jp1 - jm1);
        const double* v0 = vq + j * nx;
        const double* v1 = vq + (j + 1) * nx;
        const double* up = uq + jp1 * nxs;
        const double* um = uq + jm1 * nxs;
        const double* mm = fl.mapfac_m.data() + j * nx;
        const double* ff = fl.f.data() + j * nx;
        double* out = plane + j * nx;
        for_row_points(nx, [&](std::size_t i, std::size_t ip1, std::size_t im1, double span) {
            const double dvdx = 0.5 * (v0[ip1] + v1[ip1] - v0[im1] - v1[im1]) / (g.dx * span);
            const double dudy = 0.5 * (up[i] + up[i + 1] - um[i] - um[i + 1]) / dy_span;
            const double m = mm[i];
            const double m2 = m * m;
            out[i] = ff[i] + m2 * dvdx - m2 * dudy;
        });
    }
}

// The rows of the fields one row of PVO reads: pressure and theta above
// and below, winds above and below (V at both staggered rows), theta of
// the row and its neighbours, the absolute vorticity of the row.
struct PvRow {
    const double *p_above, *p_below, *th_above, *th_below, *mapfac;
    const double *u_above, *u_below, *v_above, *v_above_next, *v_below, *v_below_next;
    const double *th, *th_north, *th_south, *zeta;
    double dx, dy_span;
};

// PVO of one row into out; returns the number of its points whose pressure
// difference cannot be divided by (their values are then not used). Kept
// out of line, where the compiler knows that out aliases no input and
// vectorises the row.
[[gnu::noinline]] double pv_row(const PvRow& row, std::size_t nx, double* __restrict out) {
    const PvRow r = row;  // a local copy: its pointers cannot alias out
    double unusable = 0.0;
    for_row_points(nx, [&](std::size_t i, std::size_t ip1, std::size_t im1, double span) {
        const double dp = r.p_above[i] - r.p_below[i];
        unusable += usable_pressure_difference(dp) ? 0.0 : 1.0;
        const double m = r.mapfac[i];

        const double dthdp = (r.th_above[i] - r.th_below[i]) / dp;
        const double dudp = 0.5 * (r.u_above[i] + r.u_above[i + 1] - r.u_below[i] - r.u_below[i + 1]) / dp;
        const double dvdp = 0.5 * (r.v_above[i] + r.v_above_next[i] - r.v_below[i] - r.v_below_next[i]) / dp;
        const double dthdx = (r.th[ip1] - r.th[im1]) / (r.dx * span) * m;
        const double dthdy = (r.th_north[i] - r.th_south[i]) / r.dy_span * m;

        out[i] = -kGravity * (dthdp * r.zeta[i] - dvdp * dthdx + dudp * dthdy) * kPvoScale * kPaPerHpa;
    });
    return unusable;
}

// Where the vertical pressure difference of a level first fails.
struct PressureGap {
    std::size_t j = 0, i = 0;
    double dp = 0.0;
};

Result<std::vector<double>> wrf_potential_vorticity(const VorticityFields& fl, const GridGeometry& g,
                                                    const std::vector<double>& theta,
                                                    const std::vector<double>& pressure) {
    const std::size_t nx = g.nx, ny = g.ny, nz = g.nz, nxs = g.nxs, nys = g.nys, n2 = g.n2;
    std::vector<double> out = fresh_doubles(g.n3);
    std::vector<std::optional<PressureGap>> gaps(nz);
    parallel::PerWorker<std::pair<LevelScratch, std::vector<double>>> scratch;
    parallel::parallel_for(nz, [&](std::size_t k) {
        auto& [level, avo] = scratch.local();
        avo.resize(n2);
        const std::size_t kp1 = std::min(k + 1, nz - 1), km1 = k > 0 ? k - 1 : 0;
        absolute_vorticity_level(fl, g, k, level, avo.data());
        const double* ut = fl.u.data() + kp1 * ny * nxs;
        const double* ub = fl.u.data() + km1 * ny * nxs;
        const double* vt = fl.v.data() + kp1 * nys * nx;
        const double* vb = fl.v.data() + km1 * nys * nx;
        const double* tht = theta.data() + kp1 * n2;
        const double* thb = theta.data() + km1 * n2;
        const double* th = theta.data() + k * n2;
        const double* pt = pressure.data() + kp1 * n2;
        const double* pb = pressure.data() + km1 * n2;
        const double* zeta = avo.data();
        double* pv = out.data() + k * n2;
        for (std::size_t j = 0; j < ny; ++j) {
            const std::size_t jp1 = std::min(j + 1, ny - 1), jm1 = j > 0 ? j - 1 : 0;
            const double dy_span = g.dy * static_cast<double>(jp1 - jm1);
            const PvRow r{pt + j * nx, pb + j * nx, tht + j * nx, thb + j * nx, fl.mapfac_m.data() + j * nx,
                          ut + j * nxs, ub + j * nxs, vt + j * nx, vt + (j + 1) * nx, vb + j * nx,
                          vb + (j + 1) * nx, th + j * nx, th + jp1 * nx, th + jm1 * nx, zeta + j * nx, g.dx,
                          dy_span};
            // The whole row first; a row with an unusable pressure difference
            // is then searched for its first one.
            const double unusable = pv_row(r, nx, pv + j * nx);
            if (unusable == 0.0) continue;
            for (std::size_t i = 0; i < nx; ++i) {
                const double dp = pt[j * nx + i] - pb[j * nx + i];
                if (!usable_pressure_difference(dp)) {
                    gaps[k] = PressureGap{j, i, dp};
                    return;
                }
            }
        }
    });
    // The lowest failing level, as a walk from the bottom would report it.
    for (std::size_t k = 0; k < nz; ++k) {
        if (!gaps[k]) continue;
        const PressureGap& gap = *gaps[k];
        return fail(ErrorKind::InvalidParam, "PVO pressure difference at (k=" + std::to_string(k) +
                                                 ", j=" + std::to_string(gap.j) + ", i=" + std::to_string(gap.i) +
                                                 ") must be finite and non-zero, got " + format_shortest(gap.dp) +
                                                 " Pa");
    }
    return out;
}

}  // namespace

Result<std::vector<double>> compute_avo(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto loaded = load(file, t, false);
    if (!loaded) return std::unexpected(loaded.error());
    const auto& [g, fields] = *loaded;
    std::vector<double> out = fresh_doubles(g.n3);
    parallel::PerWorker<LevelScratch> scratch;
    parallel::parallel_for(g.nz, [&](std::size_t k) {
        double* plane = out.data() + k * g.n2;
        absolute_vorticity_level(fields, g, k, scratch.local(), plane);
        for (std::size_t c = 0; c < g.n2; ++c) plane[c] = plane[c] * kAvoScale;
    });
    return out;
}

Result<std::vector<double>> compute_pvo(WrfFile& file, std::size_t t, const ComputeOpts&) {
    auto loaded = load(file, t, true);
    if (!loaded) return std::unexpected(loaded.error());
    const auto& [g, fields] = *loaded;
    auto theta = file.full_theta(t);
    if (!theta) return std::unexpected(theta.error());
    auto pressure = file.full_pressure(t);
    if (!pressure) return std::unexpected(pressure.error());
    if (auto ok = expect_length("theta", **theta, g.n3); !ok) return std::unexpected(ok.error());
    if (auto ok = expect_length("pressure", **pressure, g.n3); !ok) return std::unexpected(ok.error());
    return wrf_potential_vorticity(fields, g, **theta, **pressure);
}

}  // namespace wrf::diag::vorticity
