"""Shared pieces of the benchmark sections: cached input files, timing, the peer process and tables."""

from __future__ import annotations

import gc
import hashlib
import json
import os
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
DATA = ROOT / "benchmarks" / "data"
for extra in (ROOT, ROOT / "tests" / "python"):
    if str(extra) not in sys.path:
        sys.path.insert(0, str(extra))

from tests.fixtures import write_wrf  # noqa: E402

GENERATOR = ROOT / "tests" / "fixtures" / "wrfgen.py"


@dataclass
class Context:
    """What every section receives: the run's options and a place to put results."""

    nx: int = 300
    ny: int = 300
    nz: int = 50
    nt: int = 3
    repeat: int = 3
    threads: int = 0  # ours at full width; 0 = the package default
    results: dict = field(default_factory=dict)

    def bench_file(self, kind: str) -> Path:
        return bench_file(kind, self.nx, self.ny, self.nz, self.nt)


# Variants of the benchmark file: the classic one, and netCDF-4 with deflate 4 + shuffle,
# one chunk per time of each variable.
FILE_KINDS = {
    "cdf2": {"fmt": "NETCDF3_64BIT_OFFSET"},
    "nc4": {"fmt": "NETCDF4", "compress": 4, "shuffle": True, "chunks": "time"},
}


def bench_file(kind: str, nx: int, ny: int, nz: int, nt: int) -> Path:
    """The cached benchmark file, written once (and again when the generator changes)."""
    options = FILE_KINDS[kind]
    path = DATA / f"bench_{nx}x{ny}x{nz}x{nt}_{kind}.nc"
    stamp = path.with_suffix(".json")
    key = {"generator": hashlib.sha256(GENERATOR.read_bytes()).hexdigest(), **options,
           "nx": nx, "ny": ny, "nz": nz, "nt": nt}
    if path.exists() and stamp.exists() and json.loads(stamp.read_text()) == key:
        return path
    DATA.mkdir(parents=True, exist_ok=True)
    print(f"  writing {path.name} ...", end="", flush=True)
    start = time.perf_counter()
    partial = path.with_suffix(".partial")
    write_wrf(partial, nx=nx, ny=ny, nz=nz, nt=nt, **options)
    partial.replace(path)
    stamp.write_text(json.dumps(key))
    print(f" {time.perf_counter() - start:.1f} s, {path.stat().st_size / 2**20:.0f} MiB")
    return path


def best_of(repeat: int, run, open_=None) -> float:
    """Smallest wall time of ``run(handle, i)`` over ``repeat`` runs. ``open_(i)`` (untimed)
    gives each run a freshly opened file, closed afterwards, so no run sees another's cache.
    One untimed run first brings the file into the page cache for every contender alike."""
    best = float("inf")
    for i in range(-1, repeat):
        handle = open_(i) if open_ else None
        gc.collect()
        start = time.perf_counter()
        run(handle, max(i, 0))
        if i >= 0:
            best = min(best, time.perf_counter() - start)
        if hasattr(handle, "close"):
            handle.close()
        del handle
    return best


def attempt(measure):
    """``measure()``, or its error text when our side cannot do it yet (a reader or a
    diagnostic not built): the row is then printed with a note instead of a time."""
    try:
        return measure()
    except (OSError, RuntimeError, ValueError, KeyError) as exc:
        return f"{type(exc).__name__}: {exc}"


def peer_python() -> str | None:
    """Interpreter of the wrf-python environment, through the tests' peer gateway."""
    try:
        from peers import wrfpython_python
    except ImportError:
        return None
    return wrfpython_python()


def run_python(python: str, script: str, payload: dict, env: dict | None = None) -> dict | None:
    """Run ``script`` under ``python`` with ``payload`` as JSON on stdin; its last stdout line is
    a JSON answer. Returns None (and says why) when the process fails."""
    proc = subprocess.run([python, "-c", script], input=json.dumps(payload), text=True,
                          capture_output=True, env={**os.environ, **(env or {})})
    if proc.returncode != 0:
        tail = (proc.stderr.strip().splitlines() or ["?"])[-1]
        print(f"  (subprocess failed: {tail})")
        return None
    return json.loads(proc.stdout.strip().splitlines()[-1])


def seconds(value) -> str:
    if not isinstance(value, float):
        return "-"
    return f"{value * 1e3:.1f} ms" if value < 10 else f"{value:.1f} s"


def ratio(peer, ours) -> str:
    if not isinstance(peer, float) or not isinstance(ours, float) or ours <= 0:
        return "-"
    return f"{peer / ours:.1f}x"


def table(headers: list[str], rows: list[list[str]]) -> None:
    widths = [max(len(str(r[i])) for r in [headers, *rows]) for i in range(len(headers))]
    line = "  ".join("-" * w for w in widths)
    print("  " + "  ".join(h.ljust(w) for h, w in zip(headers, widths)))
    print("  " + line)
    for r in rows:
        print("  " + "  ".join(str(c).rjust(w) if i else str(c).ljust(w)
                               for i, (c, w) in enumerate(zip(r, widths))))
