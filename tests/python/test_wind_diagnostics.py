"""Winds, earth rotation, vorticity and updraft helicity."""

import math
import shutil

import numpy as np
import pytest

import wrf
from peers import wrfpython_getvar
from wrf_min import write_fields

netCDF4 = pytest.importorskip("netCDF4")

C30 = math.sqrt(3.0) / 2.0

# (latitude, cos alpha, sin alpha, grid u, grid v, earth u, earth v, direction)
ROTATION_CASES = [
    (45.0, 1.0, 0.0, 1.0, 0.0, 1.0, 0.0, 270.0),  # westerly
    (45.0, 1.0, 0.0, 0.0, 1.0, 0.0, 1.0, 180.0),  # southerly
    (45.0, 1.0, 0.0, -1.0, 0.0, -1.0, 0.0, 90.0),  # easterly
    (45.0, 1.0, 0.0, 0.0, -1.0, 0.0, -1.0, 0.0),  # northerly: 360 wraps to 0
    (45.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 270.0),  # calm
    (45.0, C30, 0.5, 2.0, 0.0, 2 * C30, 1.0, 240.0),
    (0.0, C30, 0.5, 2.0, 0.0, 2 * C30, 1.0, 240.0),  # the equator counts as north
    (-45.0, C30, 0.5, 2.0, 0.0, 2 * C30, -1.0, 300.0),  # south: sine negated
    (-45.0, C30, 0.5, 0.0, 2.0, 1.0, 2 * C30, 210.0),
]


def staggered_x(u_mass):
    """Staggered row whose x-averages are u_mass."""
    out = [u_mass[0]]
    for u in u_mass:
        out.append(2.0 * u - out[-1])
    return np.array(out)


@pytest.fixture(scope="module")
def rotation_file(tmp_path_factory):
    lat, cosa, sina, u, v, *_ = (np.array(c, dtype=float) for c in zip(*ROTATION_CASES))
    nz, nx = 2, len(ROTATION_CASES)
    path = tmp_path_factory.mktemp("rot") / "rot.nc"
    level = np.array([1.0, 3.0])[:, None, None]  # distinct levels, same directions
    fields = {
        "XLAT": ("yx", lat[None, :]),
        "COSALPHA": ("yx", cosa[None, :]),
        "SINALPHA": ("yx", sina[None, :]),
        "U10": ("yx", u[None, :]),
        "V10": ("yx", v[None, :]),
        "U": ("zyX", level * staggered_x(u)[None, None, :]),
        "V": ("zYx", level * np.broadcast_to(v, (2, nx))[None, :, :]),
    }
    return wrf.WrfFile(write_fields(path, nz, 1, nx, fields))


def test_earth_rotation_speed_and_direction(rotation_file):
    f = rotation_file
    _, _, _, u, v, ue, ve, wdir = (np.array(c, dtype=float) for c in zip(*ROTATION_CASES))
    tol = dict(rtol=1e-14, atol=1e-14)

    uv10 = f.getvar("uvmet10")
    assert uv10.shape == (2, 1, len(ROTATION_CASES))
    np.testing.assert_allclose(uv10[0, 0], ue, **tol)
    np.testing.assert_allclose(uv10[1, 0], ve, **tol)
    np.testing.assert_allclose(f.getvar("wdir10")[0], wdir, **tol)
    np.testing.assert_allclose(f.getvar("wspd10")[0], np.hypot(u, v), **tol)

    level = np.array([1.0, 3.0])[:, None]
    uv = f.getvar("uvmet")
    assert uv.shape == (2, 2, 1, len(ROTATION_CASES))
    np.testing.assert_allclose(uv[0, :, 0], level * ue, **tol)
    np.testing.assert_allclose(uv[1, :, 0], level * ve, **tol)
    np.testing.assert_allclose(f.getvar("wdir")[:, 0], np.broadcast_to(wdir, (2, len(wdir))), **tol)
    # Speed comes from the grid winds: rotation does not change it.
    np.testing.assert_allclose(f.getvar("wspd")[:, 0], level * np.hypot(u, v), **tol)
    np.testing.assert_allclose(f.getvar("ua")[:, 0], level * u, **tol)
    np.testing.assert_array_equal(f.getvar("lat")[0], [c[0] for c in ROTATION_CASES])


# --------------------------------------------------------------------------- vorticity

NZ, NY, NX, DX, DY = 2, 4, 5, 1000.0, 2000.0
A, B = 1e-4, 2e-4  # u = -A (k+1) y, v = B (k+1) x


def vorticity_fields(m=1.0, f=1e-4, nz=NZ, ny=NY, nx=NX):
    k = np.arange(nz)[:, None, None] + 1.0
    y_u = (np.arange(ny) * DY)[None, :, None]
    x_v = (np.arange(nx) * DX)[None, None, :]
    return {
        "U": ("zyX", np.broadcast_to(-A * k * y_u, (nz, ny, nx + 1))),
        "V": ("zYx", np.broadcast_to(B * k * x_v, (nz, ny + 1, nx))),
        "MAPFAC_U": ("yX", np.full((ny, nx + 1), m)),
        "MAPFAC_V": ("Yx", np.full((ny + 1, nx), m)),
        "MAPFAC_M": ("yx", np.full((ny, nx), m)),
        "F": ("yx", np.full((ny, nx), f)),
        "P": ("zyx", np.zeros((nz, ny, nx))),
        "PB": ("zyx", np.broadcast_to((100000.0 - 10000.0 * np.arange(nz))[:, None, None], (nz, ny, nx))),
    }


@pytest.mark.parametrize("m, f", [(1.0, 1e-4), (2.0, 0.0), (0.5, -5e-5)])
def test_avo_of_linear_winds_is_exact_everywhere(tmp_path, m, f):
    # Linear winds make the centred and the one-sided edge differences exact;
    # the map factors enter as m^2 over the staggered factors.
    path = write_fields(tmp_path / "avo.nc", NZ, NY, NX, vorticity_fields(m, f), {"DX": DX, "DY": DY})
    avo = wrf.getvar(wrf.WrfFile(path), "avo")
    k = np.arange(NZ)[:, None, None] + 1.0
    expected = np.broadcast_to((f + m * k * (A + B)) * 1e5, (NZ, NY, NX))
    np.testing.assert_allclose(avo, expected, rtol=1e-12, atol=1e-12)


def test_pvo_of_an_analytic_baroclinic_state(tmp_path):
    nz, ny, nx = 4, 3, 3
    beta, gamma, alpha, f, m = -1e-3, 1e-5, -1e-4, 1e-4, 1.5
    p = (100000.0 - 10000.0 * np.arange(nz))[:, None, None] * np.ones((nz, ny, nx))
    y = (np.arange(ny) * DY)[None, :, None]
    fields = vorticity_fields(m, f, nz, ny, nx)
    fields.update(
        {
            "PB": ("zyx", p),
            "T": ("zyx", beta * (p - 100000.0) + gamma * y),  # theta = 300 + T
            "U": ("zyX", np.broadcast_to(alpha * p[:, :, :1], (nz, ny, nx + 1))),
            "V": ("zYx", np.zeros((nz, ny + 1, nx))),
        }
    )
    path = write_fields(tmp_path / "pvo.nc", nz, ny, nx, fields, {"DX": DX, "DY": DY})
    pvo = wrf.getvar(wrf.WrfFile(path), "pvo")
    expected = -9.81 * (beta * f + alpha * gamma * m) * 1e6
    np.testing.assert_allclose(pvo, np.full((nz, ny, nx), expected), rtol=1e-10)


def _modify(fields, name, index, value):
    layout, values = fields[name]
    values = np.array(values, dtype=float)
    values[index] = value
    fields[name] = (layout, values)


@pytest.mark.parametrize(
    "change, rows, message",
    [
        (lambda f, a: _modify(f, "PB", (1, 1, 2), 100000.0), ["pvo"],
         "invalid parameter: PVO pressure difference at (k=0, j=1, i=2) must be finite and non-zero, got 0 Pa"),
        (lambda f, a: _modify(f, "P", (1, 0, 3), np.inf), ["pvo"],
         "invalid parameter: PVO pressure difference at (k=0, j=0, i=3) must be finite and non-zero, got inf Pa"),
        (lambda f, a: a.update(DX=0.0), ["avo", "pvo"],
         "invalid parameter: DX must be finite and positive for AVO/PVO, got 0"),
        (lambda f, a: a.update(DY=-5.0), ["avo", "pvo"],
         "invalid parameter: DY must be finite and positive for AVO/PVO, got -5"),
        (lambda f, a: a.update(DX=None), ["avo", "pvo"], "global attribute not found: DX"),
        (lambda f, a: _modify(f, "MAPFAC_M", (1, 2), 0.0), ["avo", "pvo"],
         "invalid parameter: MAPFAC_M[7] must be finite and positive for AVO/PVO, got 0"),
        (lambda f, a: _modify(f, "MAPFAC_V", (4, 4), -1.0), ["avo", "pvo"],
         "invalid parameter: MAPFAC_V[24] must be finite and positive for AVO/PVO, got -1"),
        (lambda f, a: _modify(f, "F", (0, 3), np.inf), ["avo", "pvo"],
         "invalid parameter: F[3] must be finite for AVO/PVO, got inf"),
        (lambda f, a: f.update(MAPFAC_U=("yx", np.ones((NY, NX)))), ["avo", "pvo"],
         "dimension mismatch: MAPFAC_U has shape [4, 5] for AVO/PVO, expected [4, 6]"),
        (lambda f, a: f.pop("F"), ["avo", "pvo"], "variable not found in WRF file: F"),
        (lambda f, a: f.pop("PB"), ["pvo"], "variable not found in WRF file: PB"),
    ],
)
def test_avo_pvo_errors(tmp_path, change, rows, message):
    fields, attrs = vorticity_fields(), {"DX": DX, "DY": DY}
    change(fields, attrs)
    path = write_fields(tmp_path / "bad.nc", NZ, NY, NX, fields, attrs)
    f = wrf.WrfFile(path)
    for row in rows:
        with pytest.raises(RuntimeError) as err:
            f.getvar(row)
        assert str(err.value) == message


@pytest.mark.parametrize(
    "nz, ny, nx, row, message",
    [
        (2, 1, 5, "avo", "dimension mismatch: AVO/PVO require at least a 2x2 horizontal mass grid, got 1x5"),
        (2, 4, 1, "pvo", "dimension mismatch: AVO/PVO require at least a 2x2 horizontal mass grid, got 4x1"),
        (1, 4, 5, "pvo", "dimension mismatch: PVO requires at least two bottom_top levels, got 1"),
    ],
)
def test_avo_pvo_grid_too_small(tmp_path, nz, ny, nx, row, message):
    path = write_fields(tmp_path / "small.nc", nz, ny, nx, vorticity_fields(nz=nz, ny=ny, nx=nx), {"DX": DX, "DY": DY})
    with pytest.raises(RuntimeError) as err:
        wrf.getvar(wrf.WrfFile(path), row)
    assert str(err.value) == message


def test_avo_on_a_single_level_is_defined(tmp_path):
    path = write_fields(tmp_path / "one.nc", 1, NY, NX, vorticity_fields(nz=1), {"DX": DX, "DY": DY})
    avo = wrf.getvar(wrf.WrfFile(path), "avo")
    np.testing.assert_allclose(avo, np.full((1, NY, NX), (1e-4 + A + B) * 1e5), rtol=1e-12)


# --------------------------------------------------------------------------- updraft helicity

UH_NZ, UH_NY, UH_NX = 10, 6, 7
UA, UB, W0 = 1e-3, 2e-3, 2.0  # relative vorticity UA + UB wherever it is computed


def uh_fields(w=W0, mapfac=None):
    nz, ny, nx = UH_NZ, UH_NY, UH_NX
    # Staggered levels every 1000 m over flat ground: mass levels at 500 + 1000 k.
    ph = 9.81 * 1000.0 * np.arange(nz + 1)[:, None, None] * np.ones((nz + 1, ny, nx))
    fields = {
        "PH": ("Zyx", np.zeros((nz + 1, ny, nx))),
        "PHB": ("Zyx", ph),
        "HGT": ("yx", np.zeros((ny, nx))),
        "U": ("zyX", np.broadcast_to(-UA * (np.arange(ny) * 1000.0)[None, :, None], (nz, ny, nx + 1))),
        "V": ("zYx", np.broadcast_to(UB * (np.arange(nx) * 1000.0)[None, None, :], (nz, ny + 1, nx))),
        "W": ("Zyx", np.full((nz + 1, ny, nx), w)),
    }
    if mapfac is not None:
        fields["MAPFAC_M"] = ("yx", np.full((ny, nx), mapfac))
    return fields


P_UH = W0 * (UA + UB)


@pytest.mark.parametrize(
    "w, mapfac, opts, interior",
    [
        (W0, None, {}, P_UH * 3000.0),  # default layer 2-5 km, map factor 1 without MAPFAC_M
        (W0, 2.0, {}, P_UH * 1500.0),
        (W0, None, {"bottom_m": 1000.0, "top_m": 3000.0}, P_UH * 1875.0),  # ramps from 0 at k=0
        (W0, None, {"bottom_m": 5000.0, "top_m": 2000.0}, 0.0),
        (-W0, None, {}, 0.0),  # no mean updraft
    ],
)
def test_uhel_layer_integral_and_edge_bands(tmp_path, w, mapfac, opts, interior):
    path = write_fields(tmp_path / "uh.nc", UH_NZ, UH_NY, UH_NX, uh_fields(w, mapfac))
    uh = wrf.getvar(wrf.WrfFile(path), "uhel", **opts)
    expected = np.zeros((UH_NY, UH_NX))
    expected[1 : UH_NY - 2, 1 : UH_NX - 2] = interior  # zero on the first and last two rows/columns
    np.testing.assert_allclose(uh, expected, rtol=1e-12, atol=1e-12)


def test_uhel_needs_no_map_factor_but_avo_does(tmp_path):
    path = write_fields(tmp_path / "uh.nc", UH_NZ, UH_NY, UH_NX, uh_fields())
    f = wrf.WrfFile(path)
    assert f.getvar("uhel").max() > 0
    with pytest.raises(RuntimeError, match="variable not found in WRF file: MAPFAC_U"):
        f.getvar("avo")


# --------------------------------------------------------------------------- peer


@pytest.fixture(scope="module", params=["wrfpython_ci_test_file_cdf2.nc", "wrfpython_ci_test_file.nc"])
def katrina(shared_data, request):
    # The same data as classic CDF-2 and as netCDF-4.
    path = shared_data / "wrf" / request.param
    if not path.exists():
        pytest.skip(f"{path} is absent")
    return path


def _peer(path, name, t):
    ref = wrfpython_getvar(path, name, timeidx=t)
    if ref is None:
        pytest.skip("wrf-python is not installed")
    return ref


@pytest.mark.peer
@pytest.mark.parametrize("name", ["ua", "va", "wa", "avo"])
def test_same_formula_rows_match_wrf_python(katrina, name):
    f = wrf.WrfFile(str(katrina))
    for t in range(f.nt):
        ref = _peer(katrina, name, t)
        ours = f.getvar(name, timeidx=t)
        assert ours.shape == ref.shape
        np.testing.assert_allclose(ours, ref, rtol=1e-5, atol=1e-5 * np.abs(ref).max())


@pytest.mark.peer
def test_pvo_matches_wrf_python_given_its_single_precision_inputs(katrina, tmp_path):
    # The peer forms theta = T + 300 and p = P + PB in single precision, which
    # moves its PV by up to ~5e-5 of the field's range where the vertical
    # differences are small. Handing both sides the same rounded theta and p
    # (exactly representable here) leaves only float32 output rounding.
    with netCDF4.Dataset(katrina) as ds:
        ds.set_auto_mask(False)
        nt, nz, ny, nx = ds["T"].shape
        theta = ds["T"][:] + np.float32(300.0)
        pressure = ds["P"][:] + ds["PB"][:]
        fields = {
            "T": ("zyx", theta.astype("f8") - 300.0),
            "P": ("zyx", pressure.astype("f8")),
            "PB": ("zyx", 0.0),
            **{n: (lay, ds[n][:]) for n, lay in
               (("U", "zyX"), ("V", "zYx"), ("MAPFAC_U", "yX"), ("MAPFAC_V", "Yx"), ("MAPFAC_M", "yx"), ("F", "yx"))},
        }
        attrs = {"DX": float(ds.DX), "DY": float(ds.DY)}
    f = wrf.WrfFile(write_fields(tmp_path / "rounded.nc", nz, ny, nx, fields, attrs, nt=nt))
    for t in range(nt):
        ref = _peer(katrina, "pvo", t)
        np.testing.assert_allclose(f.getvar("pvo", timeidx=t), ref, rtol=1e-5, atol=1e-6 * np.abs(ref).max())


@pytest.mark.peer
@pytest.mark.parametrize("name", ["uvmet", "uvmet10"])
def test_earth_winds_match_wrf_python(katrina, tmp_path, name):
    # The sample is on a Mercator grid without COSALPHA/SINALPHA, where the
    # rotation is the identity; add it explicitly so both sides agree on it.
    path = tmp_path / katrina.name
    shutil.copy(katrina, path)
    with netCDF4.Dataset(path, "a") as ds:
        for var, value in (("COSALPHA", 1.0), ("SINALPHA", 0.0)):
            v = ds.createVariable(var, "f4", ("Time", "south_north", "west_east"))
            v[:] = value
    f = wrf.WrfFile(str(path))
    for t in range(f.nt):
        ref = _peer(katrina, name, t)
        ours = f.getvar(name, timeidx=t)
        assert ours.shape == ref.shape
        np.testing.assert_allclose(ours, ref, rtol=1e-5, atol=1e-5 * np.abs(ref).max())


@pytest.fixture(scope="module", params=[False, True], ids=["north", "south"])
def lambert(request, tmp_path_factory):
    from tests.fixtures import write_wrf

    folder = tmp_path_factory.mktemp("lambert")
    # Double precision, so both sides start from the same numbers.
    return write_wrf(folder / "lambert.nc", nx=14, ny=11, nz=8, nt=1, dtype="f8", south=request.param)


@pytest.mark.peer
@pytest.mark.parametrize(
    "name, peer_name, component",
    [
        ("uvmet", "uvmet", None),
        ("uvmet10", "uvmet10", None),
        ("wdir", "uvmet_wspd_wdir", 1),
        ("wdir10", "uvmet10_wspd_wdir", 1),
        ("wspd", "wspd_wdir", 0),
        ("wspd10", "wspd_wdir10", 0),
        ("avo", "avo", None),
        ("pvo", "pvo", None),
    ],
)
def test_lambert_grid_in_both_hemispheres_matches_wrf_python(lambert, name, peer_name, component):
    ref = wrfpython_getvar(lambert, peer_name)
    if ref is None:
        pytest.skip("wrf-python is not installed")
    if component is not None:
        ref = ref[component]
    ours = wrf.getvar(wrf.WrfFile(str(lambert)), name)
    np.testing.assert_allclose(ours, ref, rtol=1e-12, atol=1e-12 * np.abs(ref).max())


def test_static_fields_stored_without_time_serve_every_time(shared_data):
    # This sample stores XLAT, COSALPHA, MAPFAC_* and F without a Time axis.
    path = shared_data / "wrf" / "salem_wrf_d01_allvars_cropped.nc"
    if not path.exists():
        pytest.skip(f"{path} is absent")
    f = wrf.WrfFile(str(path))
    last = f.nt - 1
    np.testing.assert_array_equal(f.getvar("lat", timeidx=last), f.getvar("XLAT", timeidx=last))
    assert f.getvar("uvmet", timeidx=last).shape == (2, f.nz, f.ny, f.nx)
    assert np.isfinite(f.getvar("avo", timeidx=last)).all()
