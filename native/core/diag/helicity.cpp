#include "diag/helicity.hpp"

#include <algorithm>
#include <cmath>

namespace wrf::diag::helicity {

namespace {

constexpr double kDefaultBottom = 2000.0;  // m AGL
constexpr double kDefaultTop = 5000.0;     // m AGL
constexpr double kFlatLayer = 1e-06;

// Relative vertical vorticity on interior points; zero on the outer frame
// and, in the vertical, at the bottom level and the top two.
std::vector<double> dcalcuh_vorticity(const std::vector<double>& u, const std::vector<double>& v,
                                      const std::vector<double>& mapfac, std::size_t nz, std::size_t ny,
                                      std::size_t nx, double dx, double dy) {
    std::vector<double> zeta(nz * ny * nx, 0.0);
    if (nx < 3 || ny < 3 || nz < 4) return zeta;
    for (std::size_t k = 1; k <= nz - 3; ++k) {
        for (std::size_t j = 1; j <= ny - 2; ++j) {
            for (std::size_t i = 1; i <= nx - 2; ++i) {
                const std::size_t p = (k * ny + j) * nx + i;
                const double m = mapfac[j * nx + i];
                zeta[p] = (v[p + 1] - v[p - 1]) / (2.0 * dx * m) - (u[p + nx] - u[p - nx]) / (2.0 * dy * m);
            }
        }
    }
    return zeta;
}

// Value of a level-pair field at height z inside [zk, zk1].
double at_height(double z, double zk, double zk1, double fk, double fk1) {
    if (z == zk) return fk;
    if (z == zk1) return fk1;
    const double depth = zk1 - zk;
    if (std::fabs(depth) < kFlatLayer) return 0.5 * (fk + fk1);
    return fk + (fk1 - fk) * (z - zk) / depth;
}

}  // namespace

Result<std::vector<double>> compute_uhel(WrfFile& file, std::size_t t, const ComputeOpts& opts) {
    auto w = file.w_destag(t);
    if (!w) return std::unexpected(w.error());
    auto u = file.u_destag(t);
    if (!u) return std::unexpected(u.error());
    auto v = file.v_destag(t);
    if (!v) return std::unexpected(v.error());
    auto z = file.height_agl(t);
    if (!z) return std::unexpected(z.error());
    const double bottom = opts.bottom_m.value_or(kDefaultBottom);
    const double top = opts.top_m.value_or(kDefaultTop);

    const std::size_t nx = file.nx(), ny = file.ny(), nz = file.nz(), n2 = nx * ny;
    std::vector<double> mapfac(n2, 1.0);
    if (auto m = file.read_var("MAPFAC_M", t)) {
        // A map factor field that does not cover the grid is an error, not
        // a read past its end.
        if (m->size() != n2) {
            return fail(ErrorKind::DimMismatch,
                        "MAPFAC_M has " + std::to_string(m->size()) + " values, expected " + std::to_string(n2));
        }
        mapfac = std::move(*m);
    }

    const std::vector<double>& ww = **w;
    const std::vector<double>& zz = **z;
    std::vector<double> product = dcalcuh_vorticity(**u, **v, mapfac, nz, ny, nx, file.dx(), file.dy());
    for (std::size_t p = 0; p < product.size(); ++p) product[p] = ww[p] * product[p];

    std::vector<double> uh(n2, 0.0);
    if (nx < 4 || ny < 4 || nz < 2) return uh;
    // Level by level over all columns, so each pass reads whole planes; per
    // column the layers still add up from the ground.
    std::vector<double> depth(n2, 0.0), w_integral(n2, 0.0), p_integral(n2, 0.0);
    for (std::size_t k = 0; k + 1 < nz; ++k) {
        const double* z0 = zz.data() + k * n2;
        const double* z1 = z0 + n2;
        const double* w0 = ww.data() + k * n2;
        const double* w1 = w0 + n2;
        const double* p0 = product.data() + k * n2;
        const double* p1 = p0 + n2;
        for (std::size_t j = 1; j <= ny - 3; ++j) {
            for (std::size_t c = j * nx + 1; c <= j * nx + nx - 3; ++c) {
                const double zk = z0[c], zk1 = z1[c];
                if (!(zk < zk1)) continue;
                const double lo = std::max(zk, bottom), hi = std::min(zk1, top);
                if (!(hi - lo > 0.0)) continue;
                const double dz = hi - lo;
                depth[c] += dz;
                w_integral[c] += 0.5 * (at_height(lo, zk, zk1, w0[c], w1[c]) + at_height(hi, zk, zk1, w0[c], w1[c])) * dz;
                p_integral[c] += 0.5 * (at_height(lo, zk, zk1, p0[c], p1[c]) + at_height(hi, zk, zk1, p0[c], p1[c])) * dz;
            }
        }
    }
    for (std::size_t c = 0; c < n2; ++c) {
        if (depth[c] > 0.0 && w_integral[c] / depth[c] > 0.0) uh[c] = p_integral[c];
    }
    return uh;
}

}  // namespace wrf::diag::helicity
