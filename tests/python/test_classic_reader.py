"""The classic netCDF reader (CDF-1, CDF-2, CDF-5) seen from Python.

Every raw variable read through ``getvar`` must equal what netCDF4-python reads
(auto-masking off; packed values unpacked as value * scale_factor + add_offset,
with fill values left as stored). Damaged files must fail with an exception.
"""

from __future__ import annotations

import random

import numpy as np
import pytest

import wrf

netCDF4 = pytest.importorskip("netCDF4")

CLASSIC = {1: "NETCDF3_CLASSIC", 2: "NETCDF3_64BIT_OFFSET", 5: "NETCDF3_64BIT_DATA"}
REAL_FILES = [
    "salem_wrf_d01_allvars_cropped_cdf1.nc",
    "salem_wrf_d01_allvars_cropped_cdf5.nc",
    "wrfpython_ci_test_file_cdf2.nc",
]
# Raw WRF names that are also catalog names or aliases: getvar computes these.
CATALOG_ALIASES = {"p", "hgt", "xlat", "xlong", "qvapor"}


def expected(var: netCDF4.Variable, t: int) -> np.ndarray:
    """The values our reader must give for `var` at time t, from netCDF4-python."""
    var.set_auto_maskandscale(False)
    first = var.get_dims()[0] if var.ndim else None
    sliced = var.ndim >= 2 and (first.isunlimited() or first.name == "Time")
    raw = var[t] if sliced else var[...]
    values = np.asarray(raw).astype("f8")
    attrs = var.ncattrs()
    if "scale_factor" in attrs or "add_offset" in attrs:
        scale = float(var.getncattr("scale_factor")) if "scale_factor" in attrs else 1.0
        offset = float(var.getncattr("add_offset")) if "add_offset" in attrs else 0.0
        unpacked = values * scale + offset
        if "_FillValue" in attrs:
            unpacked = np.where(values == float(var.getncattr("_FillValue")), values, unpacked)
        values = unpacked
    return values


def raw_names(ds: netCDF4.Dataset, catalog: set[str]) -> list[str]:
    return [
        name
        for name, var in ds.variables.items()
        if var.dtype.kind != "S" and name.lower() not in catalog and name.lower() not in CATALOG_ALIASES
    ]


@pytest.fixture(scope="module")
def catalog() -> set[str]:
    return {row[0] for row in wrf.list_variables()}


def assert_reads_like_netcdf4(path, catalog, names=None):
    f = wrf.WrfFile(path)
    with netCDF4.Dataset(path) as ds:
        names = names or raw_names(ds, catalog)
        assert names
        for name in names:
            var = ds.variables[name]
            for t in range(f.nt):
                want = expected(var, t)
                got = f.getvar(name, timeidx=t)
                assert got.dtype == np.float64
                assert got.size == want.size, name
                np.testing.assert_array_equal(got.ravel(), want.ravel(), err_msg=f"{name} at time {t}")
        if "Times" in ds.variables:
            chars = ds.variables["Times"][:]
            assert f.times() == [b"".join(row).decode().rstrip("\0") for row in chars]


@pytest.mark.parametrize("name", REAL_FILES)
def test_real_files_match_netcdf4(shared_data, catalog, name):
    assert_reads_like_netcdf4(shared_data / "wrf" / name, catalog)


def write_classic(path, fmt, *, lone_record=False):
    """A WRF-shaped classic file with every type the format allows."""
    rng = np.random.default_rng(3)
    nt, nz, ny, nx = 3, 2, 3, 5
    with netCDF4.Dataset(path, "w", format=fmt) as ds:
        # With lone_record, Time is a fixed dimension and the only record
        # variable is an odd-sized int16 one, whose records are not padded.
        ds.createDimension("Time", nt if lone_record else None)
        ds.createDimension("bottom_top", nz)
        ds.createDimension("south_north", ny)
        ds.createDimension("west_east", nx)
        ds.createDimension("DateStrLen", 19)
        ds.DX = np.float32(3000.0)
        ds.DY = 2500.0
        ds.TITLE = "classic"
        ds.createVariable("T", "f4", ("Time", "bottom_top", "south_north", "west_east"))[:] = rng.normal(
            300, 10, (nt, nz, ny, nx)
        )
        times = ds.createVariable("Times", "S1", ("Time", "DateStrLen"))
        for i in range(nt):
            times[i] = netCDF4.stringtochar(np.array([f"2024-05-20_1{i}:00:00"], dtype="S19"))[0]
        if lone_record:
            ds.createDimension("rec", None)
            ds.createVariable("ODD", "i2", ("rec", "west_east"))[:] = np.arange(nt * 2 * nx).reshape(2 * nt, nx)
            return path
        types = ["i1", "i2", "i4", "f4", "f8"]
        if fmt == "NETCDF3_64BIT_DATA":
            types += ["u1", "u2", "u4", "i8", "u8"]
        for code in types:
            info = np.iinfo(code) if np.dtype(code).kind in "iu" else np.finfo(code)
            data = rng.uniform(float(info.min) / 2, float(info.max) / 2, (nt, ny, nx)).astype(code)
            data.flat[0], data.flat[1] = info.min, info.max
            ds.createVariable(f"V_{code}", code, ("Time", "south_north", "west_east"))[:] = data
        ds.createVariable("STATIC", "f8", ("south_north", "west_east"))[:] = rng.normal(size=(ny, nx))
        ds.createVariable("SERIES", "i2", ("Time",))[:] = [7, 8, 9]
        ds.createVariable("SCALAR", "f4", ())[...] = 1.5
        packed = ds.createVariable("PACKED", "i2", ("Time", "south_north", "west_east"))
        packed.set_auto_maskandscale(False)
        packed.scale_factor = np.float32(-0.01)
        packed.add_offset = 280.0
        packed[:] = rng.integers(-30000, 30000, (nt, ny, nx), dtype="i2")
        filled = ds.createVariable("FILLED", "i2", ("Time", "south_north", "west_east"), fill_value=-32767)
        filled.set_auto_maskandscale(False)
        filled.scale_factor = 0.5
        data = rng.integers(-1000, 1000, (nt, ny, nx), dtype="i2")
        data[:, 0, 0] = -32767
        filled[:] = data
        offset_only = ds.createVariable("OFFSET_ONLY", "i4", ("Time", "south_north", "west_east"))
        offset_only.set_auto_maskandscale(False)
        offset_only.add_offset = np.int32(-5)
        offset_only[:] = np.arange(nt * ny * nx).reshape(nt, ny, nx)
    return path


@pytest.mark.parametrize("version", CLASSIC)
def test_written_files_every_type_match_netcdf4(tmp_path, catalog, version):
    path = write_classic(tmp_path / f"cdf{version}.nc", CLASSIC[version])
    with open(path, "rb") as fh:
        assert fh.read(4) == b"CDF" + bytes([version])
    assert_reads_like_netcdf4(path, catalog)
    f = wrf.WrfFile(path)
    assert (f.nt, f.nz, f.ny, f.nx, f.dx, f.dy) == (3, 2, 3, 5, 3000.0, 2500.0)
    # The 1-D record variable is not sliced: all of it at any time.
    np.testing.assert_array_equal(f.getvar("SERIES", timeidx=2), [7, 8, 9])
    with pytest.raises(KeyError, match="not numeric"):
        f._global_attr_f64("TITLE")
    with pytest.raises(KeyError, match="NOPE"):
        f._global_attr_f64("NOPE")


@pytest.mark.parametrize("version", CLASSIC)
def test_lone_record_variable_and_fixed_time(tmp_path, catalog, version):
    path = write_classic(tmp_path / f"lone{version}.nc", CLASSIC[version], lone_record=True)
    assert_reads_like_netcdf4(path, catalog, names=["T", "ODD"])


def test_damaged_copies_fail_cleanly(shared_data, tmp_path, catalog):
    source = shared_data / "wrf" / "salem_wrf_d01_allvars_cropped_cdf1.nc"
    data = source.read_bytes()
    rng = random.Random(11)
    header_end = 39716  # where the first variable's data begins
    cuts = [0, 3, 4, 8, 100, header_end - 1, header_end + 5, len(data) // 2, len(data) - 1]
    for n in cuts:
        path = tmp_path / "cut.nc"
        path.write_bytes(data[:n])
        with pytest.raises(OSError) as err:
            wrf.WrfFile(path)
        assert str(err.value).startswith("NetCDF error: "), (n, str(err.value))

    positions = rng.sample(range(header_end), 150) + rng.sample(range(header_end, len(data)), 20)
    for i in positions:
        corrupt = bytearray(data)
        corrupt[i] ^= rng.choice([0x01, 0x10, 0x80, 0xFF])
        path = tmp_path / "flipped.nc"
        path.write_bytes(bytes(corrupt))
        try:
            f = wrf.WrfFile(path)
        except OSError:
            continue
        for name in ["T", "U", "PH", "COSALPHA", "ZNU", "Times"]:
            try:
                f.getvar(name, timeidx=f.nt - 1 if f.nt else 0)
            except RuntimeError:
                pass
        try:
            f.times()
        except RuntimeError:
            pass
