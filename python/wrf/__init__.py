"""Diagnostics and sounding analyses from WRF model output.

Open a file with :class:`WrfFile` and ask for any of the catalog's variables
(``list_variables()``) or any raw variable of the file by name::

    import wrf
    f = wrf.WrfFile("wrfout_d01_2024-05-20_12:00:00")
    slp = f.getvar("slp", timeidx=0)            # (ny, nx) float64, hPa
    t = wrf.getvar(f, "temp", units="degC")     # (nz, ny, nx)
"""

from ._wrf import WrfFile, getvar, getvar_all_times, list_variables
from ._wrf import _num_threads, _set_num_threads

__all__ = [
    "WrfFile",
    "getvar",
    "getvar_all_times",
    "list_variables",
    "num_threads",
    "set_num_threads",
]

__version__ = "0.1.0"


def set_num_threads(n: int) -> None:
    """Cap the worker threads used inside one computation.

    ``n`` of 0 restores the default: the ``WRF_NUM_THREADS`` environment
    variable when set, otherwise one thread per core. Call it between
    computations. In a process forked after the pool started, work always
    runs on the calling thread.
    """
    if isinstance(n, bool) or not isinstance(n, int) or n < 0:
        raise ValueError(f"set_num_threads() needs a non-negative int, got {n!r}")
    _set_num_threads(n)


def num_threads() -> int:
    """Number of worker threads a computation may use."""
    return _num_threads()
