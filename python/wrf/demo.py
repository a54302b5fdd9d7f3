"""A short tour of one WRF file: ``python -m wrf.demo [wrfout]``."""

from __future__ import annotations

import sys
import time

import numpy as np

import wrf

# (name, keyword options) shown after the raw fields.
DIAGNOSTICS = [
    ("pressure", {}),
    ("height_agl", {}),
    ("temp", {"units": "degC"}),
    ("theta_e", {}),
    ("td", {}),
    ("rh", {}),
    ("slp", {}),
    ("pw", {}),
    ("uvmet10", {"units": "kt"}),
    ("wspd", {}),
    ("avo", {}),
    ("uhel", {}),
]
RAW = ["T2", "PSFC", "U10", "V10", "HGT"]


def _summary(values: np.ndarray) -> str:
    finite = values[np.isfinite(values)]
    if finite.size == 0:
        return "all missing"
    return f"min {finite.min():10.3f}  mean {finite.mean():10.3f}  max {finite.max():10.3f}"


def run(path: str, out=sys.stdout) -> int:
    f = wrf.WrfFile(path)
    times = f.times()
    print(f"file      {f.path}", file=out)
    print(f"grid      nx={f.nx} ny={f.ny} nz={f.nz}  (dx={f.dx:g} m, dy={f.dy:g} m)", file=out)
    print(f"times     {f.nt}: {times[0] if times else '-'} .. {times[-1] if times else '-'}", file=out)
    print(f"catalog   {len(wrf.list_variables())} diagnostics; threads: {wrf.num_threads()}", file=out)
    print(file=out)
    print(f"{'field':<12}{'units':<10}{'shape':<18}range at time 0", file=out)
    for name in RAW:
        if not f._has_var(name):
            continue
        values = f.getvar(name, timeidx=0)
        print(f"{name:<12}{'(raw)':<10}{str(values.shape):<18}{_summary(values)}", file=out)
    units = {row[0]: row[2] for row in wrf.list_variables()}
    failures = 0
    for name, opts in DIAGNOSTICS:
        start = time.perf_counter()
        try:
            values = f.getvar(name, timeidx=0, **opts)
        except RuntimeError as err:
            print(f"{name:<12}{'':<10}{'':<18}{err}", file=out)
            failures += 1
            continue
        ms = (time.perf_counter() - start) * 1e3
        shown = opts.get("units", units.get(name, ""))
        print(f"{name:<12}{shown:<10}{str(values.shape):<18}{_summary(values)}  ({ms:.1f} ms)", file=out)
    if f.nt > 1:
        stacked = f.getvar_all_times("T2")
        print(f"\nT2 over all {f.nt} times: shape {stacked.shape}, {_summary(stacked)}", file=out)
    return 0


def main(argv: list[str] | None = None) -> int:
    argv = sys.argv[1:] if argv is None else argv
    if len(argv) != 1:
        print("usage: python -m wrf.demo WRFOUT_FILE", file=sys.stderr)
        return 2
    try:
        return run(argv[0])
    except OSError as err:
        print(f"cannot open {argv[0]}: {err}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
