"""The Python face: file handle, entry points, options, errors, threads."""

import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import wrf

netCDF4 = pytest.importorskip("netCDF4")


def write_minimal(path, *, t_dims=4, with_t=True, times=None, attrs=True, fmt="NETCDF3_64BIT_OFFSET"):
    """A tiny classic file with just what a test needs."""
    nt, nz, ny, nx = 2, 3, 4, 5
    with netCDF4.Dataset(path, "w", format=fmt) as ds:
        ds.createDimension("Time", None)
        ds.createDimension("bottom_top", nz)
        ds.createDimension("south_north", ny)
        ds.createDimension("west_east", nx)
        ds.createDimension("DateStrLen", 19)
        ds.createDimension("other", 6)
        if attrs:
            ds.DX = 3000.0
            ds.DY = 2500.0
        ds.TITLE = "test"
        if with_t:
            dims = ("Time", "bottom_top", "south_north", "west_east")[4 - t_dims :]
            shape = (nt, nz, ny, nx)[4 - t_dims :]
            t = ds.createVariable("T", "f4", dims)
            t[:] = np.arange(np.prod(shape), dtype="f4").reshape(shape)
        t2 = ds.createVariable("T2", "f4", ("Time", "south_north", "west_east"))
        t2[:] = 280.0 + np.arange(nt * ny * nx, dtype="f4").reshape(nt, ny, nx)
        static = ds.createVariable("STATIC", "f8", ("other", "south_north"))
        static[:] = np.arange(24.0).reshape(6, 4)
        ds.createVariable("MYSTERY", "f4", ("Time", "south_north", "west_east"))[:] = 1.0
        tv = ds.createVariable("Times", "S1", ("Time", "DateStrLen"))
        for i, s in enumerate(times or ["2024-05-20_12:00:00", "2024-05-20_13:00:00"]):
            tv[i] = netCDF4.stringtochar(np.array([s.ljust(19, "\0")[:19]], dtype="S19"))[0]
    return str(path)


@pytest.fixture
def tiny(tmp_path):
    return wrf.WrfFile(write_minimal(tmp_path / "tiny.nc"))


def test_list_variables():
    rows = wrf.list_variables()
    assert len(rows) == 125
    assert rows[0] == ("pressure", "Full model pressure", "hPa")
    assert all(isinstance(x, str) for row in rows for x in row)
    assert len({row[0] for row in rows}) == 125


def test_file_properties_and_repr(tiny, tmp_path):
    assert (tiny.nt, tiny.nz, tiny.ny, tiny.nx) == (2, 3, 4, 5)
    assert (tiny.dx, tiny.dy) == (3000.0, 2500.0)
    assert repr(tiny) == f"WrfFile('{tmp_path / 'tiny.nc'}', nx=5, ny=4, nz=3, nt=2)"
    assert tiny.times() == ["2024-05-20_12:00:00", "2024-05-20_13:00:00"]
    assert tiny._global_attr_f64("DX") == 3000.0
    assert tiny._has_var("T2") and not tiny._has_var("t2") and not tiny._has_var("NOPE")
    with pytest.raises(KeyError, match="global attribute NOPE: global attribute not found: NOPE"):
        tiny._global_attr_f64("NOPE")
    with pytest.raises(KeyError, match="unexpected attribute type: 'TITLE' is not numeric"):
        tiny._global_attr_f64("TITLE")


def test_defaults_and_time_strings(tmp_path):
    path = write_minimal(tmp_path / "a.nc", attrs=False, times=["2024-05-20_12:00\0\0\0", "padded  "])
    f = wrf.WrfFile(path)
    assert (f.dx, f.dy) == (1000.0, 1000.0)
    # NUL padding goes, blanks stay.
    assert f.times() == ["2024-05-20_12:00", "padded  "]


@pytest.mark.parametrize(
    "content, message",
    [
        (b"CDF", "NetCDF error: unsupported"),
        (b"hello world, not a model file", "NetCDF error: unsupported"),
        (b"\0" * 512 + b"\x89HDF\r\n\x1a\n" + b"\0" * 64, "NetCDF error: unsupported"),
        (b"", "NetCDF error: unsupported"),
    ],
)
def test_unsupported_files(tmp_path, content, message):
    path = tmp_path / "bad.nc"
    path.write_bytes(content)
    with pytest.raises(OSError, match=message):
        wrf.WrfFile(str(path))


def test_open_errors(tmp_path):
    with pytest.raises(OSError, match="^NetCDF error: .*No such file"):
        wrf.WrfFile(str(tmp_path / "missing.nc"))
    with pytest.raises(TypeError, match="path"):
        wrf.WrfFile(3)
    no_t = write_minimal(tmp_path / "no_t.nc", with_t=False)
    with pytest.raises(OSError, match="variable not found in WRF file: Cannot determine grid dimensions: variable 'T' not found"):
        wrf.WrfFile(no_t)
    t3 = write_minimal(tmp_path / "t3.nc", t_dims=3)
    with pytest.raises(OSError, match=r"dimension mismatch: T has 3-D shape, expected 4-D \[Time, nz, ny, nx\]"):
        wrf.WrfFile(t3)
    # A path-like object is accepted too.
    write_minimal(tmp_path / "ok.nc")
    assert wrf.WrfFile(tmp_path / "ok.nc").nt == 2


def test_raw_variables(tiny):
    t2 = tiny.getvar("T2")  # timeidx None reads time 0
    assert t2.shape == (4, 5) and t2.dtype == np.float64 and t2.flags.c_contiguous and t2.flags.owndata is False
    assert t2[0, 0] == 280.0
    assert wrf.getvar(tiny, "t2", timeidx=1).shape == (4, 5)  # the catalog row, not the raw name
    assert tiny.getvar("T", timeidx=1).shape == (3, 4, 5)
    assert tiny.getvar("T", timeidx=1)[0, 0, 0] == 60.0
    assert tiny.getvar("STATIC").shape == (6, 4)  # first dimension is not time: kept
    stacked = tiny.getvar_all_times("T2")
    assert stacked.shape == (2, 4, 5) and stacked[1, 0, 0] == 300.0
    np.testing.assert_array_equal(wrf.getvar_all_times(tiny, "T"), np.stack([tiny.getvar("T", timeidx=t) for t in (0, 1)]))


def test_raw_units(tiny):
    assert np.allclose(tiny.getvar("T2", units="degC")[0, 0], 280.0 - 273.15)
    with pytest.raises(RuntimeError, match="cannot convert raw variable 'MYSTERY' to 'K': source units are unknown"):
        tiny.getvar("MYSTERY", units="K")
    tiny.getvar("MYSTERY")  # fine without units


@pytest.mark.parametrize(
    "name, kwargs, message",
    [
        ("T2", {"timeidx": 2}, r"^invalid parameter: timeidx 2 out of range \(file has 2 times\)$"),
        ("nothing", {}, r"^unknown variable: nothing \(not in computed registry and not found as raw variable in file\)$"),
        (" pressure", {}, r"^unknown variable:  pressure "),
        # Present but not numeric: the reader's reason, not "not found".
        ("Times", {}, r"^NetCDF error: variable `Times` holds characters"),
        ("t2", {"units": "furlongs"}, r"^unit conversion error: unrecognized unit string: 'furlongs'$"),
        ("t2", {"units": "hPa"}, r"^unit conversion error: cannot convert Kelvin to Hectopascal$"),
        ("slp", {}, r"^variable not found in WRF file: P$"),
    ],
)
def test_engine_errors(tiny, name, kwargs, message):
    with pytest.raises(RuntimeError, match=message):
        tiny.getvar(name, **kwargs)
    tiny.getvar("T2")  # still usable


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"storm_motion": [10, 5]}, r"storm_motion must be a scalar \(u, v\), a pair of 2D arrays with shape \(4, 5\), or a stacked array with shape \(2, 4, 5\)"),
        ({"storm_motion": "10,5"}, "storm_motion must be a scalar"),
        ({"storm_motion": np.zeros((3, 4, 5))}, "storm_motion must be a scalar"),
        ({"storm_motion": (np.zeros((4, 5)), np.zeros((3, 5)))}, r"storm_motion\[1\] has shape \(3, \.\.\.\), expected \(4, 5\)"),
        ({"storm_motion": [np.zeros((4, 5)), [[0] * 5] * 3 + [[0] * 4]]}, r"storm_motion\[1\] row 3 has length 4, expected 5"),
        ({"storm_motion_method": "non pressure weighted"}, "storm_motion_method must be one of 'pressure_weighted', 'weighted', 'non_pressure_weighted', 'unweighted', or 'classic'"),
        ({"storm_motion_type": "sideways"}, "storm_motion_type must be one of 'bunkers_rm', 'bunkers_lm', or 'mean_wind'"),
    ],
)
def test_invalid_options(tiny, kwargs, message):
    # Options are checked before the name is looked at.
    with pytest.raises(ValueError, match=message):
        tiny.getvar("t2", **kwargs)
    with pytest.raises(ValueError, match=message):
        wrf.getvar_all_times(tiny, "no_such_variable", **kwargs)


@pytest.mark.parametrize(
    "kwargs",
    [
        {"storm_motion": (10, 5)},
        {"storm_motion": (10.5, np.float32(5))},
        {"storm_motion": np.ones((2, 4, 5))},
        {"storm_motion": (np.ones((4, 5)), np.ones((4, 5)))},
        {"storm_motion": [[[1.0] * 5] * 4, [[2.0] * 5] * 4]},
        {"storm_motion_method": "  Non-Pressure-Weighted "},
        {"storm_motion_method": "CLASSIC"},
        {"storm_motion_type": "Bunkers RM"},
        {"storm_motion_type": "right-moving"},
        {"storm_motion_type": "MW"},
        {"parcel_type": "  ML ", "layer_type": "whatever", "top_m": 3000, "lake_interp": 0.0, "use_virtual": True},
        {"pseudoadiabatic": np.bool_(True), "entrainment_rate": 1e-4},
    ],
)
def test_valid_options(tiny, kwargs):
    assert tiny.getvar("T2", **kwargs).shape == (4, 5)


@pytest.mark.parametrize(
    "kwargs, arg",
    [
        ({"units": 5}, "units"),
        ({"top_m": "3000"}, "top_m"),
        ({"use_virtual": 1}, "use_virtual"),
        ({"timeidx": "0"}, "timeidx"),
        ({"timeidx": 1.0}, "timeidx"),
        ({"parcel_type": b"ml"}, "parcel_type"),
    ],
)
def test_wrong_argument_types(tiny, kwargs, arg):
    with pytest.raises(TypeError, match=f"'{arg}'"):
        tiny.getvar("T2", **kwargs)
    with pytest.raises(TypeError, match="'wrffile'"):
        wrf.getvar("not a file", "T2")
    with pytest.raises(TypeError, match="'name'"):
        wrf.getvar(tiny, 3)


def test_negative_timeidx(tiny):
    with pytest.raises(ValueError, match="timeidx"):
        tiny.getvar("T2", timeidx=-1)
    assert tiny.getvar("T2", timeidx=np.int64(1))[0, 0] == 300.0


def test_rows_not_built_fail_honestly(tiny):
    with pytest.raises(RuntimeError, match="^computation error: "):
        tiny.getvar("ecape")


def test_other_threads_run_during_a_long_call(tmp_path):
    """The interpreter lock is released while the engine works."""
    nt, nz, ny, nx = 3, 40, 200, 200
    path = tmp_path / "big.nc"
    with netCDF4.Dataset(path, "w", format="NETCDF3_64BIT_OFFSET") as ds:
        for name, size in (("Time", None), ("bottom_top", nz), ("south_north", ny), ("west_east", nx)):
            ds.createDimension(name, size)
        v = ds.createVariable("T", "f4", ("Time", "bottom_top", "south_north", "west_east"))
        v[:] = np.ones((nt, nz, ny, nx), dtype="f4")
    f = wrf.WrfFile(str(path))

    ticks = 0
    stop = threading.Event()

    def count():
        nonlocal ticks
        while not stop.is_set():
            ticks += 1

    worker = threading.Thread(target=count)
    worker.start()
    try:
        progressed = []
        for _ in range(5):
            before = ticks
            f.getvar_all_times("T")
            progressed.append(ticks - before)
    finally:
        stop.set()
        worker.join()
    # With the lock held through the call the counter could only move at the
    # call's edges; released, it runs throughout.
    assert max(progressed) > 1000


def test_threads_share_one_file(tiny):
    expected = {t: tiny.getvar("T", timeidx=t) for t in (0, 1)}
    errors = []

    def work(t):
        try:
            for _ in range(50):
                np.testing.assert_array_equal(tiny.getvar("T", timeidx=t), expected[t])
        except Exception as err:  # noqa: BLE001 - reported below
            errors.append(err)

    threads = [threading.Thread(target=work, args=(i % 2,)) for i in range(4)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    assert not errors


def test_thread_cap_from_environment():
    code = "import wrf; print(wrf.num_threads()); wrf.set_num_threads(1); print(wrf.num_threads())"
    env = dict(os.environ, WRF_NUM_THREADS="3")
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, check=True)
    assert out.stdout.split() == ["3", "1"]
    with pytest.raises(ValueError):
        wrf.set_num_threads(-1)


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_forked_child_computes(tiny):
    wrf.set_num_threads(2)
    expected = tiny.getvar_all_times("T")
    pid = os.fork()
    if pid == 0:
        try:
            ok = np.array_equal(tiny.getvar_all_times("T"), expected) and wrf.num_threads() == 1
        except BaseException:  # noqa: BLE001 - the child must always exit
            ok = False
        os._exit(0 if ok else 1)
    _, status = os.waitpid(pid, 0)
    wrf.set_num_threads(0)
    assert os.waitstatus_to_exitcode(status) == 0


def test_file_edge_shapes(tmp_path):
    """No records at all, and a Times variable that is not 2-D."""
    path = tmp_path / "empty.nc"
    with netCDF4.Dataset(path, "w", format="NETCDF3_64BIT_OFFSET") as ds:
        for name, size in (("Time", None), ("bottom_top", 2), ("south_north", 3), ("west_east", 4), ("len", 5)):
            ds.createDimension(name, size)
        ds.createVariable("T", "f4", ("Time", "bottom_top", "south_north", "west_east"))
        ds.createVariable("Times", "S1", ("len",))
    f = wrf.WrfFile(str(path))
    assert f.nt == 0
    with pytest.raises(RuntimeError, match="^invalid parameter: cannot stack ALL_TIMES for a file with zero timesteps$"):
        f.getvar_all_times("T")
    with pytest.raises(RuntimeError, match=r"^invalid parameter: timeidx 0 out of range \(file has 0 times\)$"):
        f.getvar("T")
    with pytest.raises(RuntimeError, match="^dimension mismatch: Times variable has unexpected shape$"):
        f.times()


def test_zero_sized_grid_is_an_orderly_error(tmp_path):
    h5py = pytest.importorskip("h5py")
    path = tmp_path / "zero.h5"
    with h5py.File(path, "w") as h:
        for name in ("T", "P", "PB"):
            h.create_dataset(name, shape=(1, 0, 3, 4), dtype="f4")
        h.create_dataset("T2", data=np.ones((1, 3, 4), "f4"))
    f = wrf.WrfFile(str(path))
    assert (f.nt, f.nz) == (1, 0)
    for name in ("pressure", "theta", "slp"):
        with pytest.raises(RuntimeError, match="^dimension mismatch: .*zero-sized"):
            f.getvar(name)
    assert f.getvar("T").shape == (0, 3, 4)
    assert f.getvar("t2").shape == (3, 4)
