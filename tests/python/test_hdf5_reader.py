"""The netCDF-4 (HDF5) reader, seen through ``WrfFile``: values equal h5py's on the
shared files and on layout variants written here, time slicing follows the time
dimension, packed values are unpacked, and damaged files fail cleanly."""

from __future__ import annotations

import shutil
import struct
from pathlib import Path

import numpy as np
import pytest

import wrf

h5py = pytest.importorskip("h5py")
netCDF4 = pytest.importorskip("netCDF4")

# getvar computes the catalog's diagnostic for these names instead of reading
# them raw; their raw values are checked against the classic copies in C++.
CATALOG_NAMES = {"P", "QVAPOR", "T2", "XLAT", "XLONG"}

SHARED_WITH_T = [
    "wrfpython_ci_test_file.nc",
    "salem_wrf_d01_allvars_cropped.nc",
    "salem_wrf_d01_allvars_cropped_compressed.nc",
    "salem_wrf_cropped.nc",
    "salem_wrf_cropped_compressed.nc",
]


def expected_values(ds) -> np.ndarray:
    """h5py's values as float64, unpacked like the reader: v * scale + offset,
    fill values kept as stored."""
    raw = np.asarray(ds[()])
    if raw.dtype.kind == "S":
        raw = raw.view(np.uint8)
    values = raw.astype("f8")
    scale, offset = ds.attrs.get("scale_factor"), ds.attrs.get("add_offset")
    if scale is not None or offset is not None:
        scale = np.float64(np.ravel(scale)[0]) if scale is not None else 1.0
        offset = np.float64(np.ravel(offset)[0]) if offset is not None else 0.0
        unpacked = values * scale + offset
        fill = ds.attrs.get("_FillValue")
        if fill is not None:
            unpacked = np.where(values == np.float64(np.ravel(fill)[0]), values, unpacked)
        values = unpacked
    return values


def assert_reads_like_h5py(path: Path, names, sliced) -> int:
    """Every named variable at every time equals h5py's slice (or whole array
    when `sliced(name)` is false). Returns how many variables were compared."""
    f = wrf.WrfFile(str(path))
    with h5py.File(path, "r") as h5:
        for name in names:
            ds = h5[name]
            want = expected_values(ds)
            for t in range(f.nt):
                got = f.getvar(name, timeidx=t)
                exp = want[t] if sliced(name) else want
                np.testing.assert_array_equal(got.ravel(), exp.ravel(), err_msg=f"{name} t={t}")
    return len(names)


@pytest.mark.parametrize("filename", SHARED_WITH_T)
def test_shared_files_read_like_h5py(shared_data, filename):
    path = shared_data / "wrf" / filename
    with netCDF4.Dataset(path) as nc:
        names = [n for n, v in nc.variables.items() if n not in CATALOG_NAMES and v.dtype.kind in "fiuS"]
        time_dims = {d for d, dim in nc.dimensions.items() if d == "Time" or dim.isunlimited()}
        dims = {n: nc.variables[n].dimensions for n in names}
    compared = assert_reads_like_h5py(path, names, lambda n: len(dims[n]) >= 2 and dims[n][0] in time_dims)
    assert compared >= 9


@pytest.mark.parametrize(
    "filename, message",
    [
        ("salem_wrf_mercator.nc", "variable 'T' not found"),
        ("salem_wrf_tip_d1.nc", "variable 'T' not found"),
        ("salem_wrf_tip_d2.nc", "variable 'T' not found"),
        ("xwrf_wrfout_d03_2018-10-18_00-00-00_only_1time.nc", "T has 3-D shape"),
        ("xwrf_wrfout_d03_2018-10-18_00-00-00_only_attrs.nc", "T has 0-D shape"),
    ],
)
def test_shared_files_without_a_4d_t_do_not_open(shared_data, filename, message):
    with pytest.raises(OSError, match=message):
        wrf.WrfFile(str(shared_data / "wrf" / filename))


def test_static_fields_without_time_are_returned_whole(shared_data):
    f = wrf.WrfFile(str(shared_data / "wrf" / "salem_wrf_d01_allvars_cropped.nc"))
    with h5py.File(shared_data / "wrf" / "salem_wrf_d01_allvars_cropped.nc") as h5:
        hgt = h5["HGT"][()]
    assert hgt.shape == (8, 10)
    for t in range(f.nt):
        np.testing.assert_array_equal(f.getvar("HGT", timeidx=t), hgt)
    assert f.times()[3] == "2005-09-21_09:00:00"


# ---------------------------------------------------------------------------
# Layout variants written with h5py

NT, NZ, NY, NX = 3, 4, 5, 6
RNG = np.random.default_rng(7)


def sample(shape, dtype):
    values = RNG.normal(0, 60, size=shape)
    dtype = np.dtype(dtype)
    if dtype.kind in "iu":
        info = np.iinfo(dtype)
        values = np.clip(values * (info.max / 200), max(info.min, -(2**53)), min(info.max, 2**53))
    return values.astype(dtype)


def lowlevel(f, name, data, chunks=None, compact=False, early=False):
    """Datasets h5py's high-level API cannot make: compact storage and the
    implicit index (early allocation, no filters)."""
    dcpl = h5py.h5p.create(h5py.h5p.DATASET_CREATE)
    if compact:
        dcpl.set_layout(h5py.h5d.COMPACT)
    if chunks:
        dcpl.set_chunk(chunks)
    if early:
        dcpl.set_alloc_time(h5py.h5d.ALLOC_TIME_EARLY)
    space = h5py.h5s.create_simple(data.shape)
    ds = h5py.h5d.create(f.id, name.encode(), h5py.h5t.py_create(data.dtype), space, dcpl=dcpl)
    ds.write(h5py.h5s.ALL, h5py.h5s.ALL, np.ascontiguousarray(data))


# name -> (dtype, shape, h5py create_dataset keywords)
VARIANTS = {
    "contiguous": ("f8", (NT, NZ, NY), {}),
    "single_chunk": ("f4", (NT, NY, NX), dict(chunks=(NT, NY, NX), compression="gzip", shuffle=True)),
    "fixed_array": ("i4", (NT, 7, 9), dict(chunks=(2, 3, 4), compression="gzip", shuffle=True)),
    "fixed_array_paged": ("f4", (NT, 1500), dict(chunks=(1, 1))),
    "ext_array": ("f4", (NT, 5, 7), dict(chunks=(1, 2, 3), maxshape=(None, 5, 7), compression="gzip")),
    "ext_array_inner": ("f4", (NT, 40, 4), dict(chunks=(1, 1, 4), maxshape=(NT, None, 4))),
    "btree2": ("f4", (NT, 6, 8), dict(chunks=(1, 4, 4), maxshape=(None, None, 8), compression="gzip", shuffle=True)),
    "big_endian_f4": (">f4", (NT, NY, NX), dict(chunks=(1, NY, NX), compression="gzip", shuffle=True)),
    "big_endian_f8": (">f8", (NT, NY, NX), {}),
    "big_endian_i2": (">i2", (NT, NY, NX), dict(chunks=(1, 2, NX))),
    "checksummed": ("f4", (NT, NY, NX), dict(chunks=(1, NY, NX), fletcher32=True, shuffle=True)),
    "edge_chunks": ("f8", (NT, 7, 9), dict(chunks=(2, 4, 4), compression="gzip")),
    **{
        f"int_{dt}": (dt, (NT, NY, NX), dict(chunks=(1, 2, NX), compression="gzip", shuffle=True))
        for dt in ["i1", "u1", "i2", "u2", "i4", "u4", "i8", "u8"]
    },
}


def write_variants(path: Path, libver: str) -> list[str]:
    with h5py.File(path, "w", libver=libver) as f:
        f.create_dataset("T", data=sample((NT, NZ, NY, NX), "f4"), chunks=(1, NZ, NY, NX))
        for name, (dtype, shape, kwargs) in VARIANTS.items():
            f.create_dataset(name, data=sample(shape, dtype), **kwargs)
        lowlevel(f, "compact", sample((NT, 2, 4), "f4"), compact=True)
        lowlevel(f, "implicit", sample((NT, 6, 10), "f8"), chunks=(1, 3, 4), early=True)
        packed = f.create_dataset("packed", data=sample((NT, NY, NX), "i2"), chunks=(1, NY, NX), compression="gzip")
        packed.attrs["scale_factor"] = np.float32(-0.01)
        packed.attrs["add_offset"] = np.float32(280.0)
        packed.attrs["_FillValue"] = np.int16(-32767)
        packed[0, 0, :3] = -32767
        gaps = f.create_dataset("missing_chunks", shape=(NT, 6, 6), dtype="f4", chunks=(1, 3, 3), fillvalue=-999.0)
        gaps[1, :3, :3] = 1.5
        for i in range(40):  # dense attribute storage on the root group and a variable
            f.attrs[f"attr{i:02d}"] = i * 0.5
            f["T"].attrs[f"note{i:02d}"] = i
        f.attrs["DX"] = np.float32(3000.0)
        f.attrs["DY"] = np.int16(2500)
        f.attrs["TITLE"] = "variants"
        for i in range(25):  # enough links for dense link storage
            f.create_dataset(f"extra{i:02d}", data=np.arange(i + 1, dtype="f4"))
        f.create_group("sub").create_dataset("hidden", data=np.arange(3.0))
        f["soft"] = h5py.SoftLink("/T")
        f["external"] = h5py.ExternalLink("elsewhere.h5", "/x")
        f["ctype"] = np.dtype("<f8")
        f.create_dataset("committed", data=sample((NT, 2, 2), "f8"), dtype=f["ctype"])
        return [n for n in f if isinstance(f.get(n, getlink=True), h5py.HardLink) and isinstance(f[n], h5py.Dataset)]


@pytest.mark.parametrize("libver", ["latest", "earliest"])
def test_layout_variants_read_like_h5py(tmp_path, libver):
    path = tmp_path / f"variants_{libver}.h5"
    names = write_variants(path, libver)
    with h5py.File(path) as h5:
        ndim = {n: h5[n].ndim for n in names}
    # No dimension scales here: every variable of two or more dimensions is sliced.
    assert assert_reads_like_h5py(path, names, lambda n: ndim[n] >= 2) == len(names)

    f = wrf.WrfFile(str(path))
    assert (f.nt, f.nz, f.ny, f.nx) == (NT, NZ, NY, NX)
    assert f.dx == 3000.0 and f.dy == 2500.0
    assert f._has_var("extra24") and f._has_var("committed")
    # Every hard link of the root is listed (the group too); soft and external
    # links and the contents of subgroups are not.
    assert f._has_var("sub")
    for absent in ["soft", "external", "hidden"]:
        assert not f._has_var(absent)
    with pytest.raises(KeyError, match="'TITLE' is not numeric"):
        f._global_attr_f64("TITLE")


def test_few_links_in_compact_storage(tmp_path):
    path = tmp_path / "compact_links.h5"
    with h5py.File(path, "w", libver="latest") as f:
        f.create_dataset("T", data=sample((NT, NZ, NY, NX), "f4"))
        f.create_dataset("HGT", data=sample((NT, NY, NX), "f4"), chunks=(1, NY, NX))
        f.attrs["DX"] = 1000.0
    assert assert_reads_like_h5py(path, ["T", "HGT"], lambda n: True) == 2


def test_netcdf4_variants_read_like_h5py(tmp_path):
    path = tmp_path / "nc4.nc"
    with netCDF4.Dataset(path, "w", format="NETCDF4") as nc:
        for dim, size in [("Time", None), ("bottom_top", NZ), ("south_north", NY), ("west_east", NX), ("record", None)]:
            nc.createDimension(dim, size)
        full = ("Time", "bottom_top", "south_north", "west_east")
        nc.createVariable("T", "f4", full, zlib=True, complevel=4, shuffle=True)[0:NT] = sample((NT, NZ, NY, NX), "f4")
        nc.createVariable("W", ">f8", full, endian="big")[0:NT] = sample((NT, NZ, NY, NX), ">f8")
        nc.createVariable("QKEY", "i8", full, fletcher32=True)[0:NT] = sample((NT, NZ, NY, NX), "i8")
        nc.createVariable("LU", "u1", ("south_north", "west_east"))[:] = sample((NY, NX), "u1")
        nc.createVariable("XTIME", "f4", ("Time",))[0:NT] = np.arange(NT) * 60.0
        # A first dimension that is unlimited but not called Time is still sliced.
        nc.createVariable("R", "i2", ("record", "west_east"))[0:NT] = sample((NT, NX), "i2")
        packed = nc.createVariable("PACKED", "i2", full, zlib=True)
        packed.set_auto_maskandscale(False)
        packed.scale_factor, packed.add_offset = np.float32(-0.02), np.float32(300.0)
        packed[0:NT] = sample((NT, NZ, NY, NX), "i2")
        nc.DX = np.float32(1500.0)
    names = ["T", "W", "QKEY", "LU", "XTIME", "R", "PACKED"]
    sliced = {"T", "W", "QKEY", "R", "PACKED"}
    assert assert_reads_like_h5py(path, names, lambda n: n in sliced) == len(names)
    assert wrf.WrfFile(str(path)).getvar("LU", timeidx=2).shape == (NY, NX)


# ---------------------------------------------------------------------------
# Damaged copies of a real file


DAMAGED_SOURCE = "salem_wrf_cropped.nc"


def read_everything(path: Path, names: list[str]) -> list[str]:
    """Opens and reads every named variable at every time; returns the errors
    seen. Opening may fail only with OSError("NetCDF error: ..."), reading only
    with RuntimeError."""
    try:
        f = wrf.WrfFile(str(path))
    except OSError as e:
        assert str(e).startswith("NetCDF error: "), str(e)
        return [str(e)]
    errors = []
    for name in names:
        for t in range(f.nt):
            try:
                f.getvar(name, timeidx=t)
            except RuntimeError as e:
                errors.append(str(e))
    return errors


@pytest.fixture
def damaged(shared_data, tmp_path):
    """A writable copy of a real file, a function that patches it, and the
    names of its variables that getvar reads raw."""
    original = shared_data / "wrf" / DAMAGED_SOURCE
    copy = tmp_path / "damaged.nc"
    shutil.copyfile(original, copy)
    with netCDF4.Dataset(original) as nc:
        names = [n for n in nc.variables if n not in CATALOG_NAMES]

    def patch(offset: int, data: bytes) -> Path:
        with open(copy, "r+b") as fh:
            fh.seek(offset)
            fh.write(data)
        return copy

    return copy, patch, names


def occurrences(data: bytes, signature: bytes) -> list[int]:
    out, at = [], data.find(signature)
    while at >= 0:
        out.append(at)
        at = data.find(signature, at + 1)
    return out


@pytest.mark.parametrize("fraction", [0.0005, 0.01, 0.2, 0.5, 0.9, 0.9999])
def test_truncated_copies_fail_cleanly(damaged, fraction):
    copy, _, names = damaged
    data = copy.read_bytes()
    copy.write_bytes(data[: int(len(data) * fraction)])
    assert read_everything(copy, names)


# Damage each reader must notice: signatures, versions, node types and levels.
@pytest.mark.parametrize(
    "signature, field",
    [(b"OHDR", 0), (b"OHDR", 4), (b"TREE", 1), (b"TREE", 4), (b"TREE", 5), (b"FRHP", 0), (b"FHDB", 0), (b"BTHD", 0), (b"BTLF", 0)],
)
def test_flipped_header_and_btree_bytes_fail_cleanly(damaged, signature, field):
    copy, patch, names = damaged
    data = copy.read_bytes()
    hits = occurrences(data, signature)
    assert hits
    for at in hits[:: max(1, len(hits) // 6)]:
        patch(at + field, bytes([data[at + field] ^ 0xFF]))
    assert read_everything(copy, names)


@pytest.mark.parametrize("signature, maxshape", [(b"FAHD", (NT, 8)), (b"EAHD", (None, 8))])
@pytest.mark.parametrize("entry_size", [0, 7, 30, 255])
def test_chunk_array_with_impossible_entry_size_fails_cleanly(tmp_path, signature, maxshape, entry_size):
    path = tmp_path / "array.h5"
    with h5py.File(path, "w", libver="latest") as f:
        f.create_dataset("T", data=sample((NT, NZ, NY, NX), "f4"))
        f.create_dataset("A", data=sample((NT, 8), "f4"), chunks=(1, 4), maxshape=maxshape, compression="gzip")
    data = bytearray(path.read_bytes())
    (at,) = occurrences(bytes(data), signature)
    data[at + 6] = entry_size
    path.write_bytes(bytes(data))
    with pytest.raises(RuntimeError):
        wrf.WrfFile(str(path)).getvar("A", timeidx=1)


def continuation_of_some_header(data: bytes, among: set[int]):
    """(header address, OCHK offset, OCHK length, message header size) of the
    first object header at one of the addresses `among` whose first chunk
    continues into an OCHK block."""
    for root in sorted(among):
        flags = data[root + 5]
        q = root + 6 + (16 if flags & 0x20 else 0) + (4 if flags & 0x10 else 0)
        width = 1 << (flags & 3)
        size = int.from_bytes(data[q : q + width], "little")
        header = 6 if flags & 0x04 else 4
        p, end = q + width, q + width + size
        while p + header <= end:
            mtype, msize = data[p], struct.unpack_from("<H", data, p + 1)[0]
            if mtype == 0 and msize == 0:
                break
            if mtype == 16:
                offset, length = struct.unpack_from("<QQ", data, p + header)
                if data[offset : offset + 4] == b"OCHK":
                    return root, offset, length, header
            p += header + msize
    raise AssertionError("no object header with a continuation block")


def test_continuation_pointing_to_itself_fails_cleanly(damaged):
    """A continuation block rewritten to continue into itself: the walk must
    end in an error, not loop."""
    copy, patch, names = damaged
    with h5py.File(copy) as h5:
        variables = {h5py.h5o.get_info(h5[n].id).addr for n in names}
    _, offset, length, header = continuation_of_some_header(copy.read_bytes(), variables)
    message = bytes([16]) + struct.pack("<H", 16) + bytes([0]) + bytes(header - 4) + struct.pack("<QQ", offset, length)
    patch(offset + 4, message)
    assert read_everything(copy, names)
