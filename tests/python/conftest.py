"""Fixtures shared by every Python test.

``shared_data``      Path of the team's shared data folder (``../shared/data`` next to the
                     repository, or ``$WRF_SHARED_DATA``); tests that use it are skipped
                     when it is absent.
``small_wrf``        A synthetic WRF file, CDF-2, 12 x 10 points, 8 levels, 3 hourly times
                     from "2024-05-20_12:00:00", written once per session. Physically
                     consistent (hydrostatic, moist boundary layer under a cap, a storm,
                     a 3-cell lake and a sea along the southern edge); see tests/fixtures.
``wrf_file_formats`` The same file in every format: a dict from "NETCDF3_CLASSIC" (CDF-1),
                     "NETCDF3_64BIT_OFFSET" (CDF-2), "NETCDF3_64BIT_DATA" (CDF-5) and
                     "NETCDF4" (HDF5) to its path.
``make_wrf``         A factory for variants in the test's own tmp dir:
                     ``make_wrf(name="x.nc", **write_wrf_arguments) -> Path``, for example
                     ``make_wrf(exclude=["U"])`` or ``make_wrf(south=True)``.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
if str(ROOT) not in sys.path:
    sys.path.insert(0, str(ROOT))

from tests.fixtures import FORMATS, write_wrf  # noqa: E402

SMALL = {"nx": 12, "ny": 10, "nz": 8, "nt": 3}


def pytest_configure(config):
    config.addinivalue_line("markers", "peer: compares with an independent package; skips when absent")


@pytest.fixture(scope="session")
def shared_data() -> Path:
    path = Path(os.environ.get("WRF_SHARED_DATA", ROOT.parent / "shared" / "data"))
    if not path.is_dir():
        pytest.skip(f"shared data folder {path} is absent")
    return path


@pytest.fixture(scope="session")
def wrf_file_formats(tmp_path_factory) -> dict[str, Path]:
    folder = tmp_path_factory.mktemp("wrf_formats")
    return {fmt: write_wrf(folder / f"small_{fmt.lower()}.nc", fmt=fmt, **SMALL) for fmt in FORMATS}


@pytest.fixture(scope="session")
def small_wrf(wrf_file_formats) -> Path:
    return wrf_file_formats["NETCDF3_64BIT_OFFSET"]


@pytest.fixture
def make_wrf(tmp_path):
    def make(name: str = "variant.nc", **kwargs) -> Path:
        return write_wrf(tmp_path / name, **{**SMALL, **kwargs})

    return make
