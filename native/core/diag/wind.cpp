#include "diag/wind.hpp"

#include <algorithm>
#include <cmath>

#include "engine/buffer.hpp"
#include "parallel.hpp"

namespace wrf::diag::wind {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

// Every point of the first n of u and v turned to earth-relative, handed
// to emit(p, u_earth, v_earth); point p uses column p % columns.
template <class Emit>
void for_each_rotated(const double* u, const double* v, const double* cosalpha, const double* sinalpha,
                      const double* xlat, std::size_t n, std::size_t columns, Emit emit) {
    parallel::for_plane_runs(n, columns, [&](std::size_t p0, std::size_t c0, std::size_t len) {
        for (std::size_t m = 0; m < len; ++m) {
            const std::size_t p = p0 + m, c = c0 + m;
            const double s = xlat[c] < 0.0 ? -sinalpha[c] : sinalpha[c];
            const double co = cosalpha[c];
            emit(p, u[p] * co - v[p] * s, v[p] * co + u[p] * s);
        }
    });
}

struct RotationInputs {
    SharedField u, v, cosalpha, sinalpha, xlat;
    std::size_t columns;
    std::size_t size() const { return u->size() < v->size() ? u->size() : v->size(); }
};

template <class GetU, class GetV>
Result<RotationInputs> rotation_inputs(WrfFile& file, std::size_t t, GetU get_u, GetV get_v) {
    auto u = (file.*get_u)(t);
    if (!u) return std::unexpected(u.error());
    auto v = (file.*get_v)(t);
    if (!v) return std::unexpected(v.error());
    auto cosa = file.cosalpha(t);
    if (!cosa) return std::unexpected(cosa.error());
    auto sina = file.sinalpha(t);
    if (!sina) return std::unexpected(sina.error());
    auto lat = file.xlat(t);
    if (!lat) return std::unexpected(lat.error());
    return RotationInputs{*u, *v, *cosa, *sina, *lat, file.ny() * file.nx()};
}

// Earth-rotated u followed by earth-rotated v, written straight into the
// result.
Result<std::vector<double>> concatenated(const Result<RotationInputs>& in) {
    if (!in) return std::unexpected(in.error());
    const std::size_t n = in->size();
    std::vector<double> out = fresh_doubles(2 * n);
    rotate_to_earth_into(*in->u, *in->v, *in->cosalpha, *in->sinalpha, *in->xlat, in->columns, out.data(),
                         out.data() + n);
    return out;
}

// Directions of the rotated wind, without keeping the rotated components.
Result<std::vector<double>> directions(const Result<RotationInputs>& in) {
    if (!in) return std::unexpected(in.error());
    const std::size_t n = in->size();
    std::vector<double> out = fresh_doubles(n);
    double* o = out.data();
    for_each_rotated(in->u->data(), in->v->data(), in->cosalpha->data(), in->sinalpha->data(), in->xlat->data(), n,
                     in->columns, [o](std::size_t p, double ue, double ve) { o[p] = wind_direction(ue, ve); });
    return out;
}

Result<std::vector<double>> speeds(const Result<SharedField>& u, const Result<SharedField>& v) {
    if (!u) return std::unexpected(u.error());
    if (!v) return std::unexpected(v.error());
    return elementwise(
        std::min((*u)->size(), (*v)->size()), [](double a, double b) { return std::sqrt(a * a + b * b); },
        (*u)->data(), (*v)->data());
}

}  // namespace

void rotate_to_earth_into(const std::vector<double>& u, const std::vector<double>& v,
                          const std::vector<double>& cosalpha, const std::vector<double>& sinalpha,
                          const std::vector<double>& xlat, std::size_t columns, double* u_earth, double* v_earth) {
    const std::size_t n = u.size() < v.size() ? u.size() : v.size();
    for_each_rotated(u.data(), v.data(), cosalpha.data(), sinalpha.data(), xlat.data(), n, columns,
                     [u_earth, v_earth](std::size_t p, double ue, double ve) {
                         u_earth[p] = ue;
                         v_earth[p] = ve;
                     });
}

std::pair<std::vector<double>, std::vector<double>> rotate_to_earth(const std::vector<double>& u,
                                                                    const std::vector<double>& v,
                                                                    const std::vector<double>& cosalpha,
                                                                    const std::vector<double>& sinalpha,
                                                                    const std::vector<double>& xlat,
                                                                    std::size_t columns) {
    const std::size_t n = u.size() < v.size() ? u.size() : v.size();
    std::vector<double> ue(n), ve(n);
    rotate_to_earth_into(u, v, cosalpha, sinalpha, xlat, columns, ue.data(), ve.data());
    return {std::move(ue), std::move(ve)};
}

double wind_direction(double u_earth, double v_earth) {
    double d = 270.0 - std::atan2(v_earth, u_earth) * kDegreesPerRadian;
    if (d < 0.0) {
        d += 360.0;
    } else if (d >= 360.0) {
        d -= 360.0;
    }
    return d;
}

Result<std::vector<double>> compute_ua(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.u_destag(t));
}

Result<std::vector<double>> compute_va(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.v_destag(t));
}

Result<std::vector<double>> compute_wa(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.w_destag(t));
}

Result<std::vector<double>> compute_lat(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.xlat(t));
}

Result<std::vector<double>> compute_lon(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_field(file.xlong(t));
}

Result<std::vector<double>> compute_wspd(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return speeds(file.u_destag(t), file.v_destag(t));
}

Result<std::vector<double>> compute_wdir(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return directions(rotation_inputs(file, t, &WrfFile::u_destag, &WrfFile::v_destag));
}

Result<std::vector<double>> compute_uvmet(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return concatenated(rotation_inputs(file, t, &WrfFile::u_destag, &WrfFile::v_destag));
}

Result<std::vector<double>> compute_uvmet10(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return concatenated(rotation_inputs(file, t, &WrfFile::u10, &WrfFile::v10));
}

Result<std::vector<double>> compute_wspd10(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return speeds(file.u10(t), file.v10(t));
}

Result<std::vector<double>> compute_wdir10(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return directions(rotation_inputs(file, t, &WrfFile::u10, &WrfFile::v10));
}

}  // namespace wrf::diag::wind
