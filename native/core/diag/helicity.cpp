#include "diag/helicity.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "grid.hpp"
#include "parallel.hpp"

namespace wrf::diag::helicity {

namespace {

constexpr double kDefaultBottom = 2000.0;  // m AGL
constexpr double kDefaultTop = 5000.0;     // m AGL
constexpr double kFlatLayer = 1e-06;

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
    // Heights above ground are read once per point: no need to derive them
    // into a field of their own first.
    auto z = grid::HeightAglPoints::of(file, t);
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

    const double* ww = (*w)->data();
    const double* uu = (*u)->data();
    const double* vv = (*v)->data();
    const double dx = file.dx(), dy = file.dy();

    std::vector<double> uh(n2, 0.0);
    if (nx < 4 || ny < 4 || nz < 2) return uh;
    // Relative vorticity exists at levels 1 .. nz-3 (and on interior points,
    // which every integrated column is); elsewhere it is 0 and w*0 is kept
    // as such, sign and NaN included. Only the levels a layer overlaps need
    // it, so the product w*zeta is formed where the integral reads it.
    const bool has_zeta = nz >= 4;
    auto product = [&](std::size_t k, std::size_t c) {
        const std::size_t p = k * n2 + c;
        double zeta = 0.0;
        if (has_zeta && k >= 1 && k <= nz - 3) {
            const double m = mapfac[c];
            zeta = (vv[p + 1] - vv[p - 1]) / (2.0 * dx * m) - (uu[p + nx] - uu[p - nx]) / (2.0 * dy * m);
        }
        return ww[p] * zeta;
    };
    // Rows on the pool; within a row, level by level so each pass reads
    // whole rows, and per column the layers still add up from the ground.
    parallel::parallel_for_range(
        ny - 3,
        [&](std::size_t r0, std::size_t r1) {
            std::vector<double> depth(nx), w_integral(nx), p_integral(nx), z_below(nx);
            for (std::size_t j = r0 + 1; j <= r1; ++j) {
                std::fill(depth.begin(), depth.end(), 0.0);
                std::fill(w_integral.begin(), w_integral.end(), 0.0);
                std::fill(p_integral.begin(), p_integral.end(), 0.0);
                for (std::size_t i = 1; i <= nx - 3; ++i) z_below[i] = z->at(j * nx + i, j * nx + i);
                for (std::size_t k = 0; k + 1 < nz; ++k) {
                    for (std::size_t i = 1; i <= nx - 3; ++i) {
                        const std::size_t c = j * nx + i;
                        const double zk = z_below[i], zk1 = z->at((k + 1) * n2 + c, c);
                        z_below[i] = zk1;
                        if (!(zk < zk1)) continue;
                        const double lo = std::max(zk, bottom), hi = std::min(zk1, top);
                        if (!(hi - lo > 0.0)) continue;
                        const double dz = hi - lo;
                        const double w0 = ww[k * n2 + c], w1 = ww[(k + 1) * n2 + c];
                        const double p0 = product(k, c), p1 = product(k + 1, c);
                        depth[i] += dz;
                        w_integral[i] +=
                            0.5 * (at_height(lo, zk, zk1, w0, w1) + at_height(hi, zk, zk1, w0, w1)) * dz;
                        p_integral[i] +=
                            0.5 * (at_height(lo, zk, zk1, p0, p1) + at_height(hi, zk, zk1, p0, p1)) * dz;
                    }
                }
                for (std::size_t i = 1; i <= nx - 3; ++i) {
                    if (depth[i] > 0.0 && w_integral[i] / depth[i] > 0.0) uh[j * nx + i] = p_integral[i];
                }
            }
        },
        4);
    return uh;
}

}  // namespace wrf::diag::helicity
