"""Tiny WRF-shaped files holding exactly the fields a test gives.

``write_fields(path, nz, ny, nx, fields, attrs)`` writes a classic (CDF-2)
file in double precision, so analytic values survive exactly. ``fields``
maps a variable name to ``(layout, values)``; the layout letters name the
dimensions, slowest first: z/y/x mass, Z/Y/X staggered. Values without the
time axis are repeated for each of the ``nt`` times. An attribute given
as None is left out. ``T`` defaults to
zeros, since it fixes the grid sizes.
"""

from __future__ import annotations

import numpy as np

_DIMS = {
    "z": "bottom_top",
    "y": "south_north",
    "x": "west_east",
    "Z": "bottom_top_stag",
    "Y": "south_north_stag",
    "X": "west_east_stag",
}


def write_fields(path, nz, ny, nx, fields, attrs=None, nt=1):
    import netCDF4

    sizes = {"z": nz, "y": ny, "x": nx, "Z": nz + 1, "Y": ny + 1, "X": nx + 1}
    fields = {"T": ("zyx", np.zeros((nz, ny, nx))), **fields}
    with netCDF4.Dataset(path, "w", format="NETCDF3_64BIT_OFFSET") as ds:
        ds.createDimension("Time", None)
        used = {letter for layout, _ in fields.values() for letter in layout}
        for letter in sorted(used):
            ds.createDimension(_DIMS[letter], sizes[letter])
        attrs = {"DX": 1000.0, "DY": 1000.0, **(attrs or {})}
        ds.setncatts({k: v for k, v in attrs.items() if v is not None})
        for name, (layout, values) in fields.items():
            values = np.asarray(values, dtype="f8")
            var = ds.createVariable(name, "f8", ("Time", *(_DIMS[c] for c in layout)))
            shape = tuple(sizes[c] for c in layout)
            var[:] = values if values.shape == (nt, *shape) else np.broadcast_to(values, (nt, *shape))
    return str(path)
