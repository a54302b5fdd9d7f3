#include "grid.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "engine/buffer.hpp"
#include "engine/text.hpp"
#include "parallel.hpp"

namespace wrf {

namespace grid {

namespace {

constexpr double kStaggerHalf = 0.5;

Result<std::vector<double>> check_stagger_input(const std::vector<double>& values, std::size_t a, std::size_t b,
                                                std::size_t c, std::size_t stag, const char* axis) {
    if (stag == 0) {
        return fail(ErrorKind::DimMismatch, std::string("cannot destagger in ") + axis + ": staggered size is 0");
    }
    const std::size_t need = a * b * c;
    if (values.size() < need) {
        return fail(ErrorKind::DimMismatch, std::string("cannot destagger in ") + axis + ": " +
                                                std::to_string(values.size()) + " values, expected " +
                                                std::to_string(need));
    }
    return std::vector<double>{};
}

}  // namespace

// In-place forms: every output index is at or below the input indices still
// to be read, so one buffer serves both and the tail is cut off at the end.
Result<std::vector<double>> destagger_x_in_place(std::vector<double> values, std::size_t nz, std::size_t ny,
                                                 std::size_t nxs) {
    if (auto ok = check_stagger_input(values, nz, ny, nxs, nxs, "x"); !ok) return ok;
    const std::size_t nx = nxs - 1;
    double* d = values.data();
    for (std::size_t row = 0; row < nz * ny; ++row) {
        const double* in = d + row * nxs;
        double* o = d + row * nx;
        for (std::size_t i = 0; i < nx; ++i) o[i] = (in[i] + in[i + 1]) * kStaggerHalf;
    }
    values.resize(nz * ny * nx);
    return values;
}

Result<std::vector<double>> destagger_y_in_place(std::vector<double> values, std::size_t nz, std::size_t nys,
                                                 std::size_t nx) {
    if (auto ok = check_stagger_input(values, nz, nys, nx, nys, "y"); !ok) return ok;
    const std::size_t ny = nys - 1;
    double* d = values.data();
    for (std::size_t k = 0; k < nz; ++k) {
        for (std::size_t j = 0; j < ny; ++j) {
            const double* a = d + (k * nys + j) * nx;
            const double* b = a + nx;
            double* o = d + (k * ny + j) * nx;
            for (std::size_t i = 0; i < nx; ++i) o[i] = (a[i] + b[i]) * kStaggerHalf;
        }
    }
    values.resize(nz * ny * nx);
    return values;
}

Result<std::vector<double>> destagger_z_in_place(std::vector<double> values, std::size_t nzs, std::size_t ny,
                                                 std::size_t nx) {
    if (auto ok = check_stagger_input(values, nzs, ny, nx, nzs, "z"); !ok) return ok;
    const std::size_t plane = ny * nx;
    const std::size_t nz = nzs - 1;
    double* d = values.data();
    // A level is written only after the level below has read it, so each
    // worker takes whole columns and walks them upwards.
    const std::size_t grain = std::max<std::size_t>(1024, parallel::kBlockGrain / std::max<std::size_t>(nz, 1));
    parallel::parallel_for_range(
        plane,
        [&](std::size_t b, std::size_t e) {
            for (std::size_t k = 0; k < nz; ++k) {
                double* lo = d + k * plane;
                const double* hi = lo + plane;
                for (std::size_t c = b; c < e; ++c) lo[c] = (lo[c] + hi[c]) * kStaggerHalf;
            }
        },
        grain);
    values.resize(nz * plane);
    return values;
}

Result<std::vector<double>> destagger_x(const std::vector<double>& values, std::size_t nz, std::size_t ny,
                                        std::size_t nxs) {
    return destagger_x_in_place(values, nz, ny, nxs);
}

Result<std::vector<double>> destagger_y(const std::vector<double>& values, std::size_t nz, std::size_t nys,
                                        std::size_t nx) {
    return destagger_y_in_place(values, nz, nys, nx);
}

Result<std::vector<double>> destagger_z(const std::vector<double>& values, std::size_t nzs, std::size_t ny,
                                        std::size_t nx) {
    return destagger_z_in_place(values, nzs, ny, nx);
}

namespace {

bool is_water(double landuse) {
    // Truncation toward zero without an integer cast: NaN and huge values are
    // simply not water.
    const double c = std::trunc(landuse);
    return c == 16.0 || c == 17.0 || c == 21.0;
}

}  // namespace

std::vector<bool> lake_cells(const std::vector<double>& landuse, std::size_t ny, std::size_t nx,
                             std::uint64_t max_cells) {
    const std::size_t n = ny * nx;
    std::vector<bool> lake(n, false);
    if (max_cells == 0 || landuse.size() < n) return lake;

    std::vector<std::uint8_t> water(n);
    for (std::size_t c = 0; c < n; ++c) water[c] = is_water(landuse[c]) ? 1 : 0;

    // Flood fill each water body; the queue doubles as the member list.
    std::vector<std::uint8_t> seen(n, 0);
    std::vector<std::size_t> queue;
    for (std::size_t start = 0; start < n; ++start) {
        if (!water[start] || seen[start]) continue;
        queue.clear();
        queue.push_back(start);
        seen[start] = 1;
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const std::size_t c = queue[head];
            const std::size_t j = c / nx, i = c % nx;
            for (int dj = -1; dj <= 1; ++dj) {
                for (int di = -1; di <= 1; ++di) {
                    if (dj == 0 && di == 0) continue;
                    if ((dj < 0 && j == 0) || (dj > 0 && j + 1 == ny)) continue;
                    if ((di < 0 && i == 0) || (di > 0 && i + 1 == nx)) continue;
                    const std::size_t nb = (j + dj) * nx + (i + di);
                    if (water[nb] && !seen[nb]) {
                        seen[nb] = 1;
                        queue.push_back(nb);
                    }
                }
            }
        }
        if (queue.size() < max_cells) {
            for (std::size_t c : queue) lake[c] = true;
        }
    }
    return lake;
}

std::uint64_t lake_size_cells(double area_km2, double dx, double dy) {
    const double cells = area_km2 / (dx * dy / 1000000.0);
    if (!(cells > 0.0)) return 0;  // also NaN
    constexpr double kCap = 9223372036854775808.0;  // 2^63, beyond any grid
    if (cells >= kCap) return static_cast<std::uint64_t>(kCap);
    return static_cast<std::uint64_t>(cells);
}

std::vector<double> interpolate_masked_2d(const std::vector<double>& values, const std::vector<bool>& mask,
                                          std::size_t ny, std::size_t nx) {
    std::vector<double> out = values;
    const std::size_t n = ny * nx;
    if (values.size() < n || mask.size() < n) return out;
    bool any = false;
    for (std::size_t c = 0; c < n; ++c) any = any || mask[c];
    if (!any) return out;

    // Chebyshev distance to the nearest unmasked cell, by a multi-source
    // breadth-first search over the 8-neighbour grid.
    constexpr std::int32_t kFar = std::numeric_limits<std::int32_t>::max();
    std::vector<std::int32_t> dist(n);
    std::vector<std::size_t> queue;
    queue.reserve(n);
    for (std::size_t c = 0; c < n; ++c) {
        dist[c] = mask[c] ? kFar : 0;
        if (!mask[c]) queue.push_back(c);
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::size_t c = queue[head];
        const std::size_t j = c / nx, i = c % nx;
        const std::int32_t next = dist[c] + 1;
        for (int dj = -1; dj <= 1; ++dj) {
            for (int di = -1; di <= 1; ++di) {
                if (dj == 0 && di == 0) continue;
                if ((dj < 0 && j == 0) || (dj > 0 && j + 1 == ny)) continue;
                if ((di < 0 && i == 0) || (di > 0 && i + 1 == nx)) continue;
                const std::size_t nb = (j + dj) * nx + (i + di);
                if (dist[nb] > next) {
                    dist[nb] = next;
                    queue.push_back(nb);
                }
            }
        }
    }

    const auto sny = static_cast<std::int64_t>(ny), snx = static_cast<std::int64_t>(nx);
    for (std::size_t c = 0; c < n; ++c) {
        if (!mask[c] || dist[c] == kFar || dist[c] < 1) continue;
        const std::int64_t d = dist[c];
        const auto j = static_cast<std::int64_t>(c / nx), i = static_cast<std::int64_t>(c % nx);
        double sum_w = 0.0, sum_wv = 0.0;
        for (std::int64_t oy = -d; oy <= d; ++oy) {
            const std::int64_t jj = j + oy;
            if (jj < 0 || jj >= sny) continue;
            // Whole rows at the top and bottom of the ring, only its two
            // sides in between.
            const bool edge_row = (oy == -d || oy == d);
            const std::int64_t step = edge_row ? 1 : 2 * d;
            for (std::int64_t ox = -d; ox <= d; ox += step) {
                const std::int64_t ii = i + ox;
                if (ii < 0 || ii >= snx) continue;
                const auto nb = static_cast<std::size_t>(jj * snx + ii);
                if (mask[nb]) continue;
                const double w = 1.0 / std::sqrt(static_cast<double>(ox * ox + oy * oy));
                sum_w += w;
                sum_wv += w * values[nb];
            }
        }
        if (sum_w > 0.0) out[c] = sum_wv / sum_w;
    }
    return out;
}

}  // namespace grid

namespace {

constexpr double kThetaOffset = 300.0;

std::string cache_key(std::string_view key, std::size_t t) {
    std::string k(key);
    k += '_';
    k += std::to_string(t);
    return k;
}

// Lookup, compute outside the lock, insert with replacement.
template <class Compute>
Result<SharedField> cached(WrfFile& file, std::string_view key, std::size_t t, Compute&& compute) {
    const std::string k = cache_key(key, t);
    if (SharedField hit = file.cached_field(k)) return hit;
    Result<std::vector<double>> values = compute();
    if (!values) return std::unexpected(values.error());
    return file.replace_cached_field(k, std::move(*values));
}

}  // namespace

SharedField grid::cached_base_field(const WrfFile& file, std::string_view key, std::size_t t) {
    return file.cached_field(cache_key(key, t));
}

Result<grid::TemperaturePoints> grid::TemperaturePoints::of(WrfFile& file, std::size_t t) {
    TemperaturePoints v;
    if ((v.first_ = cached_base_field(file, "temp", t))) {
        v.kelvin_ = v.first_->data();
        return v;
    }
    auto theta = file.full_theta(t);
    if (!theta) return std::unexpected(theta.error());
    auto p = file.full_pressure(t);
    if (!p) return std::unexpected(p.error());
    v.first_ = *theta;
    v.pressure_field_ = *p;
    v.theta_ = v.first_->data();
    v.pressure_ = v.pressure_field_->data();
    return v;
}

std::size_t grid::TemperaturePoints::size() const {
    return pressure_field_ ? std::min(first_->size(), pressure_field_->size()) : first_->size();
}

Result<grid::HeightMslPoints> grid::HeightMslPoints::of(WrfFile& file, std::size_t t) {
    HeightMslPoints v;
    if ((v.field_ = cached_base_field(file, "height_msl", t))) {
        v.msl_ = v.field_->data();
        return v;
    }
    auto g = file.full_geopotential(t);
    if (!g) return std::unexpected(g.error());
    v.field_ = *g;
    v.geopotential_ = v.field_->data();
    return v;
}

Result<grid::HeightAglPoints> grid::HeightAglPoints::of(WrfFile& file, std::size_t t) {
    HeightAglPoints v;
    if ((v.agl_field_ = cached_base_field(file, "height_agl", t))) {
        v.agl_ = v.agl_field_->data();
        return v;
    }
    auto msl = HeightMslPoints::of(file, t);
    if (!msl) return std::unexpected(msl.error());
    auto ter = file.terrain(t);
    if (!ter) return std::unexpected(ter.error());
    v.msl_ = std::move(*msl);
    v.terrain_field_ = *ter;
    v.terrain_ = v.terrain_field_->data();
    return v;
}

namespace {

std::string dims_text(std::initializer_list<std::size_t> dims) { return format_shape(std::vector<std::size_t>(dims)); }

Result<std::vector<double>> zero_grid(std::string_view name, std::initializer_list<std::size_t> dims) {
    return fail(ErrorKind::DimMismatch,
                std::string(name) + " needs a grid without zero-sized dimensions, got " + dims_text(dims));
}

// A raw variable at time t that must hold exactly `need` values; a short (or
// long) field is reported instead of being read past its end.
Result<std::vector<double>> read_exact(const WrfFile& file, const std::string& name, std::size_t t,
                                       std::size_t need) {
    auto values = file.read_var(name, t);
    if (!values) return values;
    if (values->size() != need) {
        return fail(ErrorKind::DimMismatch, name + " has " + std::to_string(values->size()) + " values, expected " +
                                                std::to_string(need));
    }
    return values;
}

// Adds a raw variable at time t into `into`, which it must match in length;
// no full-size temporary is made for the variable.
Result<void> add_exact(const WrfFile& file, const std::string& name, std::size_t t, std::vector<double>& into) {
    auto n = file.add_var_into(name, t, into);
    if (!n) return std::unexpected(n.error());
    if (*n != into.size()) {
        return fail(ErrorKind::DimMismatch,
                    name + " has " + std::to_string(*n) + " values, expected " + std::to_string(into.size()));
    }
    return {};
}

Result<std::vector<double>> read_2d(const WrfFile& file, const std::string& name, std::size_t t) {
    const std::size_t ny = file.ny(), nx = file.nx();
    if (ny * nx == 0) return zero_grid(name, {ny, nx});
    return read_exact(file, name, t, ny * nx);
}

Result<std::vector<double>> read_3d(const WrfFile& file, const std::string& name, std::size_t t) {
    const std::size_t nz = file.nz(), ny = file.ny(), nx = file.nx();
    if (nz * ny * nx == 0) return zero_grid(name, {nz, ny, nx});
    return read_exact(file, name, t, nz * ny * nx);
}

// The staggered axis must be one longer than the mass axis, otherwise the
// destaggered field would not cover the mass grid.
Result<void> check_stagger(const std::string& name, const char* dim, std::size_t stag, std::size_t mass) {
    if (stag != mass + 1) {
        return fail(ErrorKind::DimMismatch, name + " has " + dim + " size " + std::to_string(stag) + ", expected " +
                                                std::to_string(mass + 1));
    }
    return {};
}

Result<std::vector<double>> derive_pressure_hpa(WrfFile& file, std::size_t t) {
    auto p = file.full_pressure(t);
    if (!p) return std::unexpected(p.error());
    return elementwise((*p)->size(), [](double a) { return grid::hpa_point(a); }, (*p)->data());
}

Result<std::vector<double>> derive_temperature_c(WrfFile& file, std::size_t t) {
    auto tk = file.temperature(t);
    if (!tk) return std::unexpected(tk.error());
    return elementwise((*tk)->size(), [](double a) { return grid::celsius_point(a); }, (*tk)->data());
}

Result<std::vector<double>> derive_height_msl(WrfFile& file, std::size_t t) {
    auto g = file.full_geopotential(t);
    if (!g) return std::unexpected(g.error());
    return elementwise((*g)->size(), [](double a) { return grid::height_point(a); }, (*g)->data());
}

// Heights above ground; `cache_msl` derives the heights above sea level
// through their accessor first, so that they are cached as well.
Result<std::vector<double>> derive_height_agl(WrfFile& file, std::size_t t, bool cache_msl) {
    if (cache_msl) {
        if (auto msl = file.height_msl(t); !msl) return std::unexpected(msl.error());
    }
    auto z = grid::HeightAglPoints::of(file, t);
    if (!z) return std::unexpected(z.error());
    std::vector<double> out = fresh_doubles(z->size());
    double* o = out.data();
    parallel::for_plane_runs(out.size(), file.ny() * file.nx(), [&](std::size_t p, std::size_t c, std::size_t len) {
        for (std::size_t m = 0; m < len; ++m) o[p + m] = z->at(p + m, c + m);
    });
    return out;
}

// A diagnostic's fresh copy of a derived field: the cached array copied, or
// when it is not cached, derived straight into the result and left
// uncached, which costs no more than the copy.
template <class Derive>
Result<std::vector<double>> copy_or_derive(const WrfFile& file, std::string_view key, std::size_t t, Derive derive) {
    if (SharedField hit = file.cached_field(cache_key(key, t))) return fresh_copy(*hit);
    return derive();
}

}  // namespace

Result<SharedField> WrfFile::full_pressure(std::size_t t) {
    return cached(*this, "pressure", t, [&]() -> Result<std::vector<double>> {
        auto p = read_3d(*this, "P", t);
        if (!p) return p;
        if (auto pb = add_exact(*this, "PB", t, *p); !pb) return std::unexpected(pb.error());
        return p;
    });
}

Result<SharedField> WrfFile::pressure_hpa(std::size_t t) {
    return cached(*this, "pressure_hpa", t, [&] { return derive_pressure_hpa(*this, t); });
}

Result<SharedField> WrfFile::full_theta(std::size_t t) {
    return cached(*this, "theta", t, [&]() -> Result<std::vector<double>> {
        auto th = read_3d(*this, "T", t);
        if (!th) return th;
        update_elementwise(*th, [](double v) { return v + kThetaOffset; });
        return th;
    });
}

Result<SharedField> WrfFile::temperature(std::size_t t) {
    return cached(*this, "temp", t, [&]() -> Result<std::vector<double>> {
        auto theta = full_theta(t);
        if (!theta) return std::unexpected(theta.error());
        auto p = full_pressure(t);
        if (!p) return std::unexpected(p.error());
        return elementwise(
            std::min((*theta)->size(), (*p)->size()),
            [](double th, double pr) { return grid::temperature_point(th, pr); },
            (*theta)->data(), (*p)->data());
    });
}

Result<SharedField> WrfFile::temperature_c(std::size_t t) {
    return cached(*this, "temp_c", t, [&] { return derive_temperature_c(*this, t); });
}

Result<SharedField> WrfFile::full_geopotential(std::size_t t) {
    return cached(*this, "geopt", t, [&]() -> Result<std::vector<double>> {
        const std::size_t nzs = nz_stag_, ny = ny_, nx = nx_;
        if ((nzs == 0 ? 0 : nzs - 1) * ny * nx == 0) return zero_grid("PH", {nzs, ny, nx});
        if (auto ok = check_stagger("PH", "bottom_top_stag", nzs, nz_); !ok) return std::unexpected(ok.error());
        auto ph = read_exact(*this, "PH", t, nzs * ny * nx);
        if (!ph) return ph;
        if (auto phb = add_exact(*this, "PHB", t, *ph); !phb) return std::unexpected(phb.error());
        return grid::destagger_z_in_place(std::move(*ph), nzs, ny, nx);
    });
}

Result<SharedField> WrfFile::height_msl(std::size_t t) {
    return cached(*this, "height_msl", t, [&] { return derive_height_msl(*this, t); });
}

Result<SharedField> WrfFile::height_agl(std::size_t t) {
    return cached(*this, "height_agl", t, [&] { return derive_height_agl(*this, t, true); });
}

Result<SharedField> WrfFile::u_destag(std::size_t t) {
    return cached(*this, "u_destag", t, [&]() -> Result<std::vector<double>> {
        if (nz_ * ny_ * (nx_stag_ == 0 ? 0 : nx_stag_ - 1) == 0) return zero_grid("U", {nz_, ny_, nx_stag_});
        if (auto ok = check_stagger("U", "west_east_stag", nx_stag_, nx_); !ok) return std::unexpected(ok.error());
        auto u = read_exact(*this, "U", t, nz_ * ny_ * nx_stag_);
        if (!u) return u;
        return grid::destagger_x_in_place(std::move(*u), nz_, ny_, nx_stag_);
    });
}

Result<SharedField> WrfFile::v_destag(std::size_t t) {
    return cached(*this, "v_destag", t, [&]() -> Result<std::vector<double>> {
        if (nz_ * (ny_stag_ == 0 ? 0 : ny_stag_ - 1) * nx_ == 0) return zero_grid("V", {nz_, ny_stag_, nx_});
        if (auto ok = check_stagger("V", "south_north_stag", ny_stag_, ny_); !ok) return std::unexpected(ok.error());
        auto v = read_exact(*this, "V", t, nz_ * ny_stag_ * nx_);
        if (!v) return v;
        return grid::destagger_y_in_place(std::move(*v), nz_, ny_stag_, nx_);
    });
}

Result<SharedField> WrfFile::w_destag(std::size_t t) {
    return cached(*this, "w_destag", t, [&]() -> Result<std::vector<double>> {
        if ((nz_stag_ == 0 ? 0 : nz_stag_ - 1) * ny_ * nx_ == 0) return zero_grid("W", {nz_stag_, ny_, nx_});
        if (auto ok = check_stagger("W", "bottom_top_stag", nz_stag_, nz_); !ok) return std::unexpected(ok.error());
        auto w = read_exact(*this, "W", t, nz_stag_ * ny_ * nx_);
        if (!w) return w;
        return grid::destagger_z_in_place(std::move(*w), nz_stag_, ny_, nx_);
    });
}

Result<SharedField> WrfFile::qvapor(std::size_t t) {
    return cached(*this, "qvapor", t, [&] { return read_3d(*this, "QVAPOR", t); });
}
Result<SharedField> WrfFile::q2(std::size_t t) {
    return cached(*this, "q2", t, [&] { return read_2d(*this, "Q2", t); });
}
Result<SharedField> WrfFile::t2(std::size_t t) {
    return cached(*this, "t2", t, [&] { return read_2d(*this, "T2", t); });
}
Result<SharedField> WrfFile::u10(std::size_t t) {
    return cached(*this, "u10", t, [&] { return read_2d(*this, "U10", t); });
}
Result<SharedField> WrfFile::v10(std::size_t t) {
    return cached(*this, "v10", t, [&] { return read_2d(*this, "V10", t); });
}
Result<SharedField> WrfFile::psfc(std::size_t t) {
    return cached(*this, "psfc", t, [&] { return read_2d(*this, "PSFC", t); });
}
Result<SharedField> WrfFile::xlat(std::size_t t) {
    return cached(*this, "xlat", t, [&] { return read_2d(*this, "XLAT", t); });
}
Result<SharedField> WrfFile::xlong(std::size_t t) {
    return cached(*this, "xlong", t, [&] { return read_2d(*this, "XLONG", t); });
}
Result<SharedField> WrfFile::terrain(std::size_t t) {
    return cached(*this, "terrain", t, [&] { return read_2d(*this, "HGT", t); });
}
Result<SharedField> WrfFile::cosalpha(std::size_t t) {
    return cached(*this, "cosalpha", t, [&] { return read_2d(*this, "COSALPHA", t); });
}
Result<SharedField> WrfFile::sinalpha(std::size_t t) {
    return cached(*this, "sinalpha", t, [&] { return read_2d(*this, "SINALPHA", t); });
}

Result<std::vector<bool>> WrfFile::lake_mask(std::size_t t, double area_km2) {
    const std::size_t n = ny_ * nx_;
    const std::string key = "lake_mask_" + std::to_string(t) + "_" + format_shortest(area_km2);
    if (SharedField hit = cached_field(key)) {
        std::vector<bool> mask(hit->size());
        for (std::size_t c = 0; c < hit->size(); ++c) mask[c] = (*hit)[c] > 0.5;
        return mask;
    }
    auto landuse = read_2d(*this, "LU_INDEX", t);
    if (!landuse) return std::unexpected(landuse.error());
    std::vector<bool> mask = grid::lake_cells(*landuse, ny_, nx_, grid::lake_size_cells(area_km2, dx_, dy_));
    std::vector<double> stored(n);
    for (std::size_t c = 0; c < n; ++c) stored[c] = mask[c] ? 1.0 : 0.0;
    replace_cached_field(key, std::move(stored));
    return mask;
}

namespace {

Result<std::vector<double>> lake_corrected(WrfFile& file, std::size_t t, double area_km2,
                                           Result<SharedField> (WrfFile::*field)(std::size_t)) {
    auto values = (file.*field)(t);
    if (!values) return std::unexpected(values.error());
    if (!(area_km2 > 0.0)) return **values;
    auto mask = file.lake_mask(t, area_km2);
    if (!mask) return std::unexpected(mask.error());
    return grid::interpolate_masked_2d(**values, *mask, file.ny(), file.nx());
}

bool lake_requested(const ComputeOpts& opts) { return opts.lake_interp && *opts.lake_interp > 0.0; }

}  // namespace

Result<std::vector<double>> WrfFile::t2_lake_corrected(std::size_t t, double area_km2) {
    return lake_corrected(*this, t, area_km2, &WrfFile::t2);
}

Result<std::vector<double>> WrfFile::q2_lake_corrected(std::size_t t, double area_km2) {
    return lake_corrected(*this, t, area_km2, &WrfFile::q2);
}

Result<std::vector<double>> WrfFile::t2_for_opts(std::size_t t, const ComputeOpts& opts) {
    if (lake_requested(opts)) return t2_lake_corrected(t, *opts.lake_interp);
    auto v = t2(t);
    if (!v) return std::unexpected(v.error());
    return **v;
}

Result<std::vector<double>> WrfFile::q2_for_opts(std::size_t t, const ComputeOpts& opts) {
    if (lake_requested(opts)) return q2_lake_corrected(t, *opts.lake_interp);
    auto v = q2(t);
    if (!v) return std::unexpected(v.error());
    return **v;
}

Result<std::vector<double>> grid::pressure_hpa_copy(WrfFile& file, std::size_t t) {
    return copy_or_derive(file, "pressure_hpa", t, [&] { return derive_pressure_hpa(file, t); });
}

Result<std::vector<double>> grid::temperature_c_copy(WrfFile& file, std::size_t t) {
    return copy_or_derive(file, "temp_c", t, [&] { return derive_temperature_c(file, t); });
}

Result<std::vector<double>> grid::height_msl_copy(WrfFile& file, std::size_t t) {
    return copy_or_derive(file, "height_msl", t, [&] { return derive_height_msl(file, t); });
}

Result<std::vector<double>> grid::height_agl_copy(WrfFile& file, std::size_t t) {
    return copy_or_derive(file, "height_agl", t, [&] { return derive_height_agl(file, t, false); });
}

}  // namespace wrf
