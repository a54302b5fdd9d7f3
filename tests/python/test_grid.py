"""Derived base fields as the catalog rows built on them see them: formulas,
destaggering, fields that do not fit the grid, and the lake correction of
the 2-m fields."""

import math

import numpy as np
import pytest

import wrf
from wrf_min import write_fields

netCDF4 = pytest.importorskip("netCDF4")

NZ, NY, NX = 3, 2, 3


def base_fields():
    p = np.array([100000.0, 50000.0, 25000.0])[:, None, None] * np.ones((NZ, NY, NX))
    geo = np.array([0.0, 9810.0, 29430.0, 49050.0])[:, None, None] * np.ones((NZ + 1, NY, NX))
    u_row = np.array([1.0, 3.0, 5.0, -1.0])
    return {
        "T": ("zyx", np.array([0.0, 10.0, 20.0])[:, None, None] * np.ones((NZ, NY, NX))),
        "P": ("zyx", p - 1000.0),
        "PB": ("zyx", np.full((NZ, NY, NX), 1000.0)),
        "PH": ("Zyx", geo / 2.0),
        "PHB": ("Zyx", geo / 2.0),
        "HGT": ("yx", np.array([[0.0, 10.0, 20.0], [30.0, 40.0, 50.0]])),
        "U": ("zyX", np.broadcast_to(u_row, (NZ, NY, NX + 1))),
        "V": ("zYx", np.broadcast_to(np.array([0.0, 2.0, 6.0])[:, None], (NZ, NY + 1, NX))),
        "W": ("Zyx", np.arange(NZ + 1.0)[:, None, None] * np.ones((NZ + 1, NY, NX))),
        "QVAPOR": ("zyx", np.full((NZ, NY, NX), 0.01)),
    }


@pytest.fixture(scope="module")
def base_file(tmp_path_factory):
    return wrf.WrfFile(write_fields(tmp_path_factory.mktemp("base") / "base.nc", NZ, NY, NX, base_fields()))


def levels(values):
    return np.broadcast_to(np.asarray(values, dtype=float)[:, None, None], (NZ, NY, NX))


def test_base_field_formulas(base_file):
    theta = np.array([300.0, 310.0, 320.0])
    kappa = 0.2857142857
    hgt = np.array([[0.0, 10.0, 20.0], [30.0, 40.0, 50.0]])
    z_msl = np.array([4905.0, 19620.0, 39240.0]) / 9.81
    cases = {
        "theta": levels(theta),
        "temp": levels([theta[0], theta[1] * math.pow(0.5, kappa), theta[2] * math.pow(0.25, kappa)]),
        "pressure": levels([1000.0, 500.0, 250.0]),
        "geopt": levels([4905.0, 19620.0, 39240.0]),
        "height": levels(z_msl),
        "height_agl": levels(z_msl) - hgt,
        "ua": np.broadcast_to([2.0, 4.0, 2.0], (NZ, NY, NX)),
        "va": np.broadcast_to(np.array([1.0, 4.0])[:, None], (NZ, NY, NX)),
        "wa": levels([0.5, 1.5, 2.5]),
        "mixing_ratio": np.full((NZ, NY, NX), 0.01),
    }
    for name, expected in cases.items():
        np.testing.assert_allclose(base_file.getvar(name), expected, rtol=1e-15, err_msg=name)


def add_variable(path, name, dims, values):
    """Adds a variable over custom dimensions (created as needed)."""
    with netCDF4.Dataset(path, "a") as ds:
        for dim, size in dims:
            if dim not in ds.dimensions:
                ds.createDimension(dim, size)
        var = ds.createVariable(name, "f8", tuple(d for d, _ in dims))
        var[:] = values


@pytest.mark.parametrize(
    "name, dims, row, opts, message",
    [
        ("T2", [("Time", None), ("short", 5)], "t2", {}, "T2 has 5 values, expected 6"),
        ("XLAT", [("Time", None), ("south_north", NY), ("long", NX + 1)], "lat", {}, "XLAT has 8 values, expected 6"),
        ("LU_INDEX", [("Time", None), ("short", 5)], "t2", {"lake_interp": 10.0}, "LU_INDEX has 5 values, expected 6"),
        ("U", [("Time", None), ("bottom_top", NZ), ("south_north", NY), ("west_east", NX)], "ua", {},
         "U has west_east_stag size 3, expected 4"),
        ("U", [("Time", None), ("bottom_top", NZ), ("one", 1), ("west_east_stag", NX + 1)], "ua", {},
         "U has 12 values, expected 24"),
        ("V", [("Time", None), ("bottom_top", NZ), ("south_north", NY), ("west_east", NX)], "va", {},
         "V has south_north_stag size 2, expected 3"),
        ("W", [("Time", None), ("bottom_top", NZ), ("south_north", NY), ("west_east", NX)], "wa", {},
         "W has 18 values, expected 24"),
        ("PHB", [("Time", None), ("bottom_top", NZ), ("south_north", NY), ("west_east", NX)], "height", {},
         "PHB has 18 values, expected 24"),
        ("QVAPOR", [("Time", None), ("one", 1), ("south_north", NY), ("west_east", NX)], "mixing_ratio", {},
         "QVAPOR has 6 values, expected 18"),
    ],
)
def test_fields_that_do_not_fit_the_grid_are_refused(tmp_path, name, dims, row, opts, message):
    fields = base_fields()
    fields["T2"] = ("yx", np.full((NY, NX), 290.0))
    fields["XLAT"] = ("yx", np.zeros((NY, NX)))
    fields.pop(name, None)
    path = write_fields(tmp_path / "bad.nc", NZ, NY, NX, fields)
    shape = [1 if s is None else s for _, s in dims]
    add_variable(path, name, dims, np.arange(float(np.prod(shape))).reshape(shape))
    with pytest.raises(RuntimeError) as err:
        wrf.getvar(wrf.WrfFile(path), row, **opts)
    assert str(err.value) == "dimension mismatch: " + message


# --------------------------------------------------------------------------- lakes

LAKE_NY, LAKE_NX = 5, 6
WATER = 250.0  # 2-m temperature on water, far from the land values
# A 6-cell sea (17) along the southern row, a single lake cell (21), and two
# cells (16, 16.5 -> 16) that touch only at a corner.
LANDUSE = np.array(
    [
        [17, 17, 17, 17, 17, 17],
        [1, 1, 1, 1, 1, 1],
        [1, 21, 1, 1, 1, 1],
        [1, 1, 1, 16, 1, 1],
        [1, 1, 1, 1, 16.5, 1],
    ],
    dtype=float,
)
SINGLE, PAIR, SEA = {(2, 1)}, {(3, 3), (4, 4)}, {(0, i) for i in range(6)}


@pytest.fixture(scope="module")
def lake_file(tmp_path_factory):
    j, i = np.mgrid[0:LAKE_NY, 0:LAKE_NX]
    t2 = 280.0 + j + 0.1 * i**2
    water = LANDUSE != 1
    t2[water] = WATER
    q2 = np.where(water, 0.002, 0.01 + 0.001 * i)
    fields = {
        "LU_INDEX": ("yx", LANDUSE),
        "T2": ("yx", t2),
        "Q2": ("yx", q2),
        "PSFC": ("yx", np.full((LAKE_NY, LAKE_NX), 100000.0)),
    }
    path = tmp_path_factory.mktemp("lake") / "lake.nc"
    # 1 km2 cells: lake_interp counts cells directly.
    return wrf.WrfFile(write_fields(path, 2, LAKE_NY, LAKE_NX, fields, {"DX": 1000.0, "DY": 1000.0})), t2


@pytest.mark.parametrize(
    "lake_interp, corrected",
    [
        (None, set()),
        (0.0, set()),
        (-5.0, set()),
        (float("nan"), set()),
        (1.5, set()),  # N = 1: a single cell is not fewer than 1
        (2.0, SINGLE),  # the corner-touching pair is one body of 2 cells
        (3.0, SINGLE | PAIR),
        (6.0, SINGLE | PAIR),  # a body of exactly N cells stays
        (7.0, SINGLE | PAIR | SEA),
    ],
)
def test_lake_correction_of_t2_masks_small_water_bodies(lake_file, lake_interp, corrected):
    f, t2 = lake_file
    opts = {} if lake_interp is None else {"lake_interp": lake_interp}
    out = f.getvar("t2", **opts)
    changed = {tuple(c) for c in np.argwhere(out != t2)}
    assert changed == corrected


def test_single_lake_cell_takes_the_weighted_mean_of_its_neighbours(lake_file):
    f, t2 = lake_file
    out = f.getvar("t2", lake_interp=2.0)
    ring = t2[1:4, 0:3]
    weights = np.array([[1 / math.sqrt(2), 1, 1 / math.sqrt(2)], [1, 0, 1], [1 / math.sqrt(2), 1, 1 / math.sqrt(2)]])
    assert out[2, 1] == pytest.approx((weights * ring).sum() / weights.sum(), rel=1e-15)


def test_lake_correction_reaches_the_2m_humidity(lake_file):
    f, _ = lake_file
    plain = f.getvar("dp2m")
    fixed = f.getvar("dp2m", lake_interp=2.0)
    changed = {tuple(c) for c in np.argwhere(fixed != plain)}
    assert changed == SINGLE
