"""Diagnostics: our first call of a time on a fresh file against wrf-python's getvar, at equal
thread count, and the peak memory of getvar_all_times("slp")."""

from __future__ import annotations

from common import Context, attempt, best_of, peer_python, ratio, run_python, seconds, table

SECTION = "diagnostics"
ORDER = 20

# Our catalog name, and wrf-python's name where it computes the same product.
ROWS = [
    ("pressure", "pressure"), ("pres", "p"), ("height", "z"), ("height_agl", "height_agl"),
    ("geopt", "geopt"), ("terrain", "ter"), ("t2", None), ("tv2m", None), ("temp", "tk"),
    ("tc", "tc"), ("theta", "theta"), ("theta_e", "eth"), ("tv", "tv"), ("twb", "twb"),
    ("td", "td"), ("rh", "rh"), ("slp", "slp"), ("omega", "omg"), ("pw", "pw"),
    ("rh2m", "rh2"), ("dp2m", "td2"), ("mixing_ratio", None), ("specific_humidity", None),
    ("ua", "ua"), ("va", "va"), ("wa", "wa"), ("lat", "lat"), ("lon", "lon"), ("wspd", None),
    ("wdir", None), ("uvmet", "uvmet"), ("uvmet10", "uvmet10"), ("wspd10", None),
    ("wdir10", None), ("avo", "avo"), ("pvo", "pvo"), ("uhel", "updraft_helicity"),
]

PEER_TIMING = r"""
import gc, json, sys, time
import wrf
from netCDF4 import Dataset
req = json.load(sys.stdin)
omp = bool(wrf.omp_enabled())
if omp:
    wrf.omp_set_num_threads(req["threads"])
out = {"threads": wrf.omp_get_max_threads() if omp else 1, "times": {}}
for name in req["names"]:
    best = None
    for i in range(req["repeat"]):
        ds = Dataset(req["path"])
        gc.collect()
        start = time.perf_counter()
        try:
            wrf.getvar(ds, name, timeidx=i % req["nt"], meta=False)
        except Exception as exc:
            ds.close()
            best = "%s: %s" % (type(exc).__name__, exc)
            break
        elapsed = time.perf_counter() - start
        ds.close()
        best = elapsed if best is None else min(best, elapsed)
    out["times"][name] = best
print(json.dumps(out))
"""

# The rise of the process's resident high-water mark across the call is the peak the call added
# (tracemalloc would miss the native engine's memory). VmHWM is reset by exec; ru_maxrss is not
# (a child of a large runner would report the runner's size), so it is only the fallback.
HIGH_WATER = r"""
import json, resource, sys
def high_water_kib():
    try:
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
req = json.load(sys.stdin)
"""

OUR_MEMORY = HIGH_WATER + r"""
import numpy, wrf
f = wrf.WrfFile(req["path"])
before = high_water_kib()
out = wrf.getvar_all_times(f, "slp")
after = high_water_kib()
print(json.dumps({"added_kib": after - before, "out_bytes": out.nbytes, "shape": out.shape}))
"""

PEER_MEMORY = HIGH_WATER + r"""
import numpy, wrf
from netCDF4 import Dataset
ds = Dataset(req["path"])
before = high_water_kib()
out = wrf.getvar(ds, "slp", timeidx=wrf.ALL_TIMES, meta=False)
after = high_water_kib()
print(json.dumps({"added_kib": after - before, "out_bytes": out.nbytes, "shape": out.shape}))
"""


def _ours(ctx: Context, path, names, threads: int) -> dict:
    import wrf

    wrf.set_num_threads(threads)
    times = {}
    try:
        for name in names:
            times[name] = attempt(lambda: best_of(
                ctx.repeat, lambda f, i: f.getvar(name, timeidx=i % ctx.nt),
                lambda i: wrf.WrfFile(str(path))))
    finally:
        wrf.set_num_threads(0)
    return times


def run(ctx: Context) -> None:
    import wrf

    path = ctx.bench_file("cdf2")
    names = [ours for ours, _ in ROWS]
    peer_names = [peer for _, peer in ROWS if peer]

    python = peer_python()
    peer = None
    if python is None:
        print("  wrf-python is not installed (make peer): its column is left empty")
    else:
        print(f"  timing wrf-python on {path.name} ...", flush=True)
        peer = run_python(python, PEER_TIMING, {"path": str(path), "names": peer_names,
                                                "repeat": ctx.repeat, "nt": ctx.nt, "threads": 1})
    equal = peer["threads"] if peer else 1
    wide = ctx.threads or wrf.num_threads()
    print(f"  timing ours at {equal} and at {wide} threads ...", flush=True)
    ours_equal = _ours(ctx, path, names, equal)
    ours_wide = _ours(ctx, path, names, wide) if wide != equal else ours_equal

    def value(v):
        return v if isinstance(v, float) else None

    rows, printed = [], []
    for name, peer_name in ROWS:
        p = value(peer["times"].get(peer_name)) if peer and peer_name else None
        a, b = value(ours_equal[name]), value(ours_wide[name])
        note = next((v for v in (ours_equal[name], peer and peer_name and peer["times"][peer_name])
                     if isinstance(v, str)), "")
        rows.append({"name": name, "peer_name": peer_name, "ours": a, "ours_wide": b, "peer": p,
                     "note": note})
        printed.append([name, peer_name or "", seconds(a), seconds(p), ratio(p, a), seconds(b),
                        ratio(p, b), note[:60]])
    ctx.results["diagnostics"] = {"threads_equal": equal, "threads_wide": wide, "rows": rows}
    print(f"\n  {path.name}: first call of a time on a fresh file, best of {ctx.repeat};"
          f" ratio = wrf-python time / ours")
    table(["product", "wrf-python name", f"ours {equal}t", f"wrf-python {equal}t", "ratio",
           f"ours {wide}t", "ratio", "note"], printed)

    print("\n  peak memory of getvar_all_times('slp'): rise of the resident high-water mark")
    import sys

    mem_rows = []
    for who, interpreter, script in (("ours", sys.executable, OUR_MEMORY),
                                     ("wrf-python", python, PEER_MEMORY)):
        if interpreter is None:
            continue
        m = run_python(interpreter, script, {"path": str(path)})
        if m is None:
            continue
        added = m["added_kib"] * 1024
        mem_rows.append([who, f"{added / 2**20:.1f} MiB", f"{m['out_bytes'] / 2**20:.2f} MiB",
                         f"{added / m['out_bytes']:.0f}x", "x".join(map(str, m["shape"]))])
        ctx.results[f"memory_slp_{who}"] = m
    table(["who", "peak added", "output", "peak/output", "shape"], mem_rows)
