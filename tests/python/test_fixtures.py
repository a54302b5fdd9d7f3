"""The synthetic WRF writer produces a physically consistent model state."""

from __future__ import annotations

import math

import netCDF4
import numpy as np
import pytest

from tests.fixtures import FORMATS, LAKE, SEA, write_wrf
from tests.fixtures.wrfgen import main

G, RD, KAPPA = 9.81, 287.0, 0.2857142857


def read(path, t=None):
    with netCDF4.Dataset(path) as ds:
        ds.set_auto_mask(False)
        out = {name: (v[:] if t is None or v.dimensions[:1] != ("Time",) else v[t])
               for name, v in ds.variables.items()}
        out["attrs"] = {k: ds.getncattr(k) for k in ds.ncattrs()}
        out["format"] = ds.data_model
        out["unlimited"] = [d.name for d in ds.dimensions.values() if d.isunlimited()]
    return out


def column_state(f):
    """Full pressure, temperature, vapour and heights of one time read back from the file."""
    p = f["P"] + f["PB"]
    tk = (f["T"] + 300.0) * (p / 1.0e5) ** KAPPA
    z_w = (f["PH"] + f["PHB"]) / G
    return p, tk, f["QVAPOR"], z_w


def qsat(tk, p):
    es = 611.2 * np.exp(17.67 * (tk - 273.15) / (tk - 29.65))
    return 0.622 * es / (p - es)


def theta_e(tk, p, r):
    """Bolton (1980), eq. 43 with the condensation temperature of eq. 21; p in Pa, r in kg/kg."""
    e = p / 100.0 * r / (0.622 + r)
    t_l = 2840.0 / (3.5 * np.log(tk) - np.log(e) - 4.805) + 55.0
    rg = 1000.0 * r
    return (tk * (1.0e5 / p) ** (0.2854 * (1 - 0.00028 * rg))
            * np.exp((3.376 / t_l - 0.00254) * rg * (1 + 0.00081 * rg)))


def surface_parcel(p, tk, qv):
    """CAPE and CIN (J/kg) of the lowest-level parcel of one column: dry below its LCL, then
    conserving theta-e, buoyancy from virtual temperatures."""
    p0, t0, r0 = p[0], tk[0], qv[0]
    e = p0 / 100.0 * r0 / (0.622 + r0)
    t_lcl = 2840.0 / (3.5 * math.log(t0) - math.log(e) - 4.805) + 55.0
    p_lcl = p0 * (t_lcl / t0) ** (1 / KAPPA)
    target = theta_e(t0, p0, r0)
    tv_parcel = []
    for pk in p:
        if pk >= p_lcl:
            tv_parcel.append(t0 * (pk / p0) ** KAPPA * (1 + 0.61 * r0))
            continue
        lo, hi = 150.0, 350.0
        for _ in range(60):
            mid = 0.5 * (lo + hi)
            lo, hi = (mid, hi) if theta_e(mid, pk, qsat(mid, pk)) < target else (lo, mid)
        tv_parcel.append(lo * (1 + 0.61 * qsat(lo, pk)))
    buoy = RD * (np.array(tv_parcel) - tk * (1 + 0.61 * qv))
    layer = 0.5 * (buoy[1:] + buoy[:-1]) * np.log(p[:-1] / p[1:])
    below_peak = layer[: np.argmax(buoy)]
    return layer[layer > 0].sum(), below_peak[below_peak < 0].sum()


@pytest.fixture(scope="module")
def f8_file(tmp_path_factory):
    return write_wrf(tmp_path_factory.mktemp("f8") / "f8.nc", nx=40, ny=36, nz=40, nt=2,
                     dtype="f8")


def test_state_is_hydrostatic_on_eta_levels(f8_file):
    for t in range(2):
        f = read(f8_file, t)
        p, tk, qv, z_w = column_state(f)
        p_top = f["P_TOP"]
        p_w = f["ZNW"][:, None, None] * (f["PSFC"] - p_top) + p_top
        # Mass levels sit on their eta surfaces of the column's surface pressure.
        np.testing.assert_allclose(p, f["ZNU"][:, None, None] * (f["PSFC"] - p_top) + p_top,
                                   rtol=1e-12)
        # Each layer's thickness is the hypsometric one of its mass level's virtual temperature.
        thickness = RD * tk * (1 + 0.61 * qv) / G * np.log(p_w[:-1] / p_w[1:])
        np.testing.assert_allclose(np.diff(z_w, axis=0), thickness, rtol=1e-9)
        np.testing.assert_allclose(z_w[0], f["HGT"], atol=1e-9)
        assert np.all(np.diff(p, axis=0) < 0) and np.all(p[-1] > p_top)
        assert np.all(f["PSFC"] > p[0])

    # The base state is hydrostatic for its own temperature 290 K + 50 K ln(p/1000 hPa),
    # isothermal at 200 K, and starts at the terrain.
    pb_w = f["ZNW"][:, None, None] * f["MUB"] + f["P_TOP"]
    t_base = np.maximum(290.0 + 50.0 * np.log(f["PB"] / 1.0e5), 200.0)
    base_thickness = RD * t_base * np.log(pb_w[:-1] / pb_w[1:])
    np.testing.assert_allclose(np.diff(f["PHB"], axis=0), base_thickness, rtol=5e-3)
    np.testing.assert_allclose(f["PHB"][0], G * f["HGT"], rtol=1e-12)


def test_sounding_has_mixed_layer_cap_cape_and_stratosphere(f8_file):
    f = read(f8_file, 1)
    p, tk, qv, z_w = column_state(f)
    theta = f["T"] + 300.0
    zagl = 0.5 * (z_w[1:] + z_w[:-1]) - f["HGT"]
    rh = qv / qsat(tk, p)
    assert rh.max() < 1.0 and qv.min() > 0.0
    assert np.all(rh[0] > 0.4) and np.all(rh[zagl > 11000.0] < 0.15)

    land = f["LU_INDEX"] != SEA
    pbl = f["PBLH"]
    ml = zagl < 0.8 * pbl
    spread = np.where(ml, theta, -np.inf).max(axis=0) - np.where(ml, theta, np.inf).min(axis=0)
    assert ml[0].all() and spread[land].max() < 0.3  # dry-adiabatic mixed layer
    above_cap = np.argmax(zagl > pbl + 260.0, axis=0)[None]
    jump = np.take_along_axis(theta, above_cap, axis=0)[0] - theta[0]
    assert jump[land].min() > 2.0  # the cap
    strat = zagl > 15000.0
    assert np.ptp(tk[strat]) < 0.5  # isothermal stratosphere

    # Warm-sector surface parcels are capped but unstable.
    j, i = 16, 16
    cape, cin = surface_parcel(p[:, j, i], tk[:, j, i], qv[:, j, i])
    assert cape > 1500.0 and -150.0 < cin < -10.0


def test_storm_is_small_moving_and_has_an_updraft_with_rotation(f8_file):
    centres = []
    for t in range(2):
        f = read(f8_file, t)
        hydro = sum(f[n] for n in ("QCLOUD", "QRAIN", "QICE", "QSNOW", "QGRAUP"))
        assert min(f[n].min() for n in ("QCLOUD", "QRAIN", "QICE", "QSNOW", "QGRAUP")) >= 0.0
        assert all(f[n].max() > 1e-4 for n in ("QCLOUD", "QRAIN", "QICE", "QSNOW", "QGRAUP"))
        cloudy = hydro.max(axis=0) > 0.0
        assert 0.005 < cloudy.mean() < 0.15
        w = f["W"]
        assert np.all(w[0] == 0.0)
        core = f["QCLOUD"].max(axis=0) > 5e-4
        assert w.max(axis=0)[core].min() > 5.0 and np.abs(w).max(axis=0)[~cloudy].max() < 0.1
        j, i = np.unravel_index(np.argmax(f["QCLOUD"].max(axis=0)), cloudy.shape)
        centres.append((j, i))
        # Mid-level relative vorticity at the storm has the sign of the Coriolis parameter.
        k = 15
        zeta = ((f["V"][k, j, i + 1] - f["V"][k, j, i - 1]) / (2 * 3000.0)
                - (f["U"][k, j + 1, i] - f["U"][k, j - 1, i]) / (2 * 3000.0))
        assert zeta * f["F"][j, i] > 0
    assert centres[0] != centres[1]

    # Deep-layer shear: the winds at the lowest level and near 6 km differ by more than 15 m/s.
    u = 0.5 * (f["U"][:, :, 1:] + f["U"][:, :, :-1])
    v = 0.5 * (f["V"][:, 1:, :] + f["V"][:, :-1, :])
    zagl = 0.5 * (f["PH"] + f["PHB"])[1:] / G + 0.5 * (f["PH"] + f["PHB"])[:-1] / G - f["HGT"]
    k6 = np.argmin(np.abs(zagl - 6000.0), axis=0)[None]
    shear = np.hypot(np.take_along_axis(u, k6, 0)[0] - u[0], np.take_along_axis(v, k6, 0)[0] - v[0])
    assert np.median(shear) > 15.0
    # 10-m wind is weaker than, but along, the lowest model-level wind.
    speed10, speed1 = np.hypot(f["U10"], f["V10"]), np.hypot(u[0], v[0])
    assert np.all(speed10 < speed1 + 1e-9)


@pytest.mark.parametrize("south", [False, True], ids=["north", "south"])
def test_lambert_grid_geometry(tmp_path, south):
    dx = 30000.0
    f = read(write_wrf(tmp_path / "g.nc", nx=30, ny=24, nz=4, nt=1, dtype="f8", dx=dx,
                       south=south), 0)
    lat, lon = np.radians(f["XLAT"]), np.radians(f["XLONG"])
    assert np.all(np.sign(lat) == (-1 if south else 1)) and np.all(np.diff(lat, axis=0) > 0)

    # Neighbours are DX apart on the map: the distance on the sphere times the map factor.
    dlat, dlon = np.diff(lat, axis=1), np.diff(lon, axis=1)
    mid = 0.5 * (lat[:, 1:] + lat[:, :-1])
    east, north = 6370000.0 * dlon * np.cos(mid), 6370000.0 * dlat
    m = 0.5 * (f["MAPFAC_M"][:, 1:] + f["MAPFAC_M"][:, :-1])
    np.testing.assert_allclose(np.hypot(east, north) * m, dx, rtol=1e-3)

    # The grid's x axis points along (cos, sin) of the rotation, with the readers' convention
    # that negates the stored sine south of the equator.
    sin = 0.5 * (f["SINALPHA"][:, 1:] + f["SINALPHA"][:, :-1]) * (-1 if south else 1)
    cos = 0.5 * (f["COSALPHA"][:, 1:] + f["COSALPHA"][:, :-1])
    norm = np.hypot(east, north)
    np.testing.assert_allclose(east / norm, cos, atol=2e-4)
    np.testing.assert_allclose(north / norm, sin, atol=2e-4)
    assert np.abs(sin).max() > 0.05

    np.testing.assert_allclose(f["F"], 2 * 7.2921e-5 * np.sin(lat), rtol=1e-12)
    for stag, axis in (("U", 1), ("V", 0)):
        assert f[f"MAPFAC_{stag}"].shape[axis] == f["MAPFAC_M"].shape[axis] + 1
    assert (f["attrs"]["TRUELAT1"] < 0) == south and f["attrs"]["MAP_PROJ"] == 1


@pytest.mark.parametrize("nx, ny", [(12, 10), (40, 36), (300, 300)])
def test_land_use_has_a_sea_edge_and_a_corner_joined_lake(nx, ny):
    from tests.fixtures.wrfgen import _Model

    model = _Model(nx, ny, 2, 1, 3000.0, 3000.0, False, 0, "2024-05-20_12:00:00", 3600)
    lu = model.lu
    sea, lake = lu == SEA, lu == LAKE
    assert sea[0].all() and not sea[-1].any()
    assert np.all(model.hgt[sea] == 0.0) and np.all(model.hgt[~sea] > 0.0)
    js, is_ = np.nonzero(lake)
    assert len(js) == 3
    # One component under 8-neighbour connectivity, two cells only joined at a corner ...
    assert np.ptp(js) == 1 and np.ptp(is_) == 2 and lake[js.max(), is_.max()]
    # ... well clear of the sea, and the remaining categories are land only.
    assert js.min() - np.nonzero(sea.any(axis=1))[0].max() > 1
    assert not np.isin(lu[~(sea | lake)], [16, SEA, LAKE]).any()
    state = model.state(0)
    shore = np.zeros_like(lake)
    shore[js.min() - 1: js.max() + 2, is_.min() - 1: is_.max() + 2] = True
    shore &= ~lake
    assert state["T2"][lake].max() < state["T2"][shore].min() - 1.0


def test_formats_hold_the_same_file(wrf_file_formats, tmp_path):
    reference = read(wrf_file_formats["NETCDF3_64BIT_OFFSET"])
    assert reference["Times"].shape == (3, 19)
    assert [bytes(r).decode() for r in reference["Times"]] == [
        "2024-05-20_12:00:00", "2024-05-20_13:00:00", "2024-05-20_14:00:00"]
    assert reference["T"].shape == (3, 8, 10, 12) and reference["U"].shape == (3, 8, 10, 13)
    assert reference["V"].shape == (3, 8, 11, 12) and reference["PH"].shape == (3, 9, 10, 12)
    assert reference["unlimited"] == ["Time"]
    assert {"DX", "DY", "MAP_PROJ", "TRUELAT1", "TRUELAT2", "STAND_LON", "CEN_LAT",
            "CEN_LON", "MOAD_CEN_LAT"} <= set(reference["attrs"])
    for fmt in FORMATS:
        other = read(wrf_file_formats[fmt])
        assert other["format"] == fmt
        for name in ("T", "PB", "QVAPOR", "U", "Times", "XLAT", "LU_INDEX", "ZNW", "P_TOP"):
            np.testing.assert_array_equal(other[name], reference[name], err_msg=f"{fmt} {name}")

    # Deterministic, seeded, and the command line writes what it is asked for.
    again = write_wrf(tmp_path / "again.nc", nx=12, ny=10, nz=8, nt=3)
    assert again.read_bytes() == wrf_file_formats["NETCDF3_64BIT_OFFSET"].read_bytes()
    seeded = read(write_wrf(tmp_path / "seed.nc", nx=12, ny=10, nz=8, nt=3, seed=7))
    assert not np.array_equal(seeded["T"], reference["T"])
    assert main(["--out", str(tmp_path / "cli.nc"), "--nx", "5", "--ny", "4", "--nz", "3",
                 "--nt", "2", "--format", "NETCDF4"]) == 0
    cli = read(tmp_path / "cli.nc")
    assert cli["format"] == "NETCDF4" and cli["T"].shape == (2, 3, 4, 5)


@pytest.mark.parametrize("kwargs, absent, attrs", [
    ({"exclude": ["U", "Times"]}, {"U", "Times"}, {}),
    ({"attrs": {"DX": None, "DY": np.float32(250.0)}}, set(), {"DY": 250.0}),
])
def test_variants(make_wrf, kwargs, absent, attrs):
    f = read(make_wrf(**kwargs))
    assert not absent & set(f) and {"T", "V"} <= set(f)
    assert "DX" not in f["attrs"] if "attrs" in kwargs else "DX" in f["attrs"]
    assert all(f["attrs"][k] == v for k, v in attrs.items())
