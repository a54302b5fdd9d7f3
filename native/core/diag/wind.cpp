#include "diag/wind.hpp"

#include <cmath>

namespace wrf::diag::wind {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

Result<std::vector<double>> copy_of(const Result<SharedField>& field) {
    if (!field) return std::unexpected(field.error());
    return **field;
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
    std::vector<double> out(2 * n);
    rotate_to_earth_into(*in->u, *in->v, *in->cosalpha, *in->sinalpha, *in->xlat, in->columns, out.data(),
                         out.data() + n);
    return out;
}

// Directions of the rotated wind, without keeping the rotated components.
Result<std::vector<double>> directions(const Result<RotationInputs>& in) {
    if (!in) return std::unexpected(in.error());
    const std::size_t n = in->size(), columns = in->columns;
    std::vector<double> out(n);
    if (columns == 0) return out;
    const double* cosa = in->cosalpha->data();
    const double* sina = in->sinalpha->data();
    const double* lat = in->xlat->data();
    for (std::size_t base = 0; base < n; base += columns) {
        const std::size_t len = n - base < columns ? n - base : columns;
        const double* pu = in->u->data() + base;
        const double* pv = in->v->data() + base;
        for (std::size_t c = 0; c < len; ++c) {
            const double s = lat[c] < 0.0 ? -sina[c] : sina[c];
            const double co = cosa[c];
            out[base + c] = wind_direction(pu[c] * co - pv[c] * s, pv[c] * co + pu[c] * s);
        }
    }
    return out;
}

Result<std::vector<double>> speeds(const Result<SharedField>& u, const Result<SharedField>& v) {
    if (!u) return std::unexpected(u.error());
    if (!v) return std::unexpected(v.error());
    const std::vector<double>& uu = **u;
    const std::vector<double>& vv = **v;
    const std::size_t n = uu.size() < vv.size() ? uu.size() : vv.size();
    std::vector<double> out(n);
    for (std::size_t p = 0; p < n; ++p) out[p] = std::sqrt(uu[p] * uu[p] + vv[p] * vv[p]);
    return out;
}

}  // namespace

void rotate_to_earth_into(const std::vector<double>& u, const std::vector<double>& v,
                          const std::vector<double>& cosalpha, const std::vector<double>& sinalpha,
                          const std::vector<double>& xlat, std::size_t columns, double* u_earth, double* v_earth) {
    const std::size_t n = u.size() < v.size() ? u.size() : v.size();
    if (columns == 0) return;
    for (std::size_t base = 0; base < n; base += columns) {
        const std::size_t len = n - base < columns ? n - base : columns;
        const double* pu = u.data() + base;
        const double* pv = v.data() + base;
        double* ue = u_earth + base;
        double* ve = v_earth + base;
        for (std::size_t c = 0; c < len; ++c) {
            const double s = xlat[c] < 0.0 ? -sinalpha[c] : sinalpha[c];
            const double co = cosalpha[c];
            ue[c] = pu[c] * co - pv[c] * s;
            ve[c] = pv[c] * co + pu[c] * s;
        }
    }
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
    return copy_of(file.u_destag(t));
}

Result<std::vector<double>> compute_va(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_of(file.v_destag(t));
}

Result<std::vector<double>> compute_wa(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_of(file.w_destag(t));
}

Result<std::vector<double>> compute_lat(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_of(file.xlat(t));
}

Result<std::vector<double>> compute_lon(WrfFile& file, std::size_t t, const ComputeOpts&) {
    return copy_of(file.xlong(t));
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
