"""Raw reads of one time of six 3-D fields: ours against netCDF4-python and h5py."""

from __future__ import annotations

from common import Context, attempt, best_of, ratio, seconds, table

SECTION = "read"
ORDER = 10
FIELDS = ("T", "PB", "PH", "PHB", "QCLOUD", "U")


def run(ctx: Context) -> None:
    import h5py
    import netCDF4

    import wrf

    def nc4_open(path):
        def open_(i):
            ds = netCDF4.Dataset(path)
            ds.set_auto_maskandscale(False)  # the peer's fastest path: no masking pass
            return ds
        return open_

    for kind, title in (("cdf2", "CDF-2"), ("nc4", "netCDF-4, deflate 4 + shuffle, chunk per time")):
        path = ctx.bench_file(kind)
        peers = {"netCDF4": nc4_open(path)}
        if kind == "nc4":
            peers["h5py"] = lambda i: h5py.File(path, "r")
        print(f"\n  {title}: {path.name}, one time as float64, best of {ctx.repeat}")
        rows, totals = [], {"ours": 0.0, **{p: 0.0 for p in peers}}
        for name in FIELDS:
            t = {"ours": attempt(lambda: best_of(
                ctx.repeat, lambda f, i: f.getvar(name, timeidx=i % ctx.nt),
                lambda i: wrf.WrfFile(str(path))))}
            for peer, open_ in peers.items():
                t[peer] = best_of(ctx.repeat, lambda d, i: d[name][i % ctx.nt].astype("f8"), open_)
            for k in totals:
                totals[k] = totals[k] + t[k] if isinstance(t[k], float) else t[k]
            rows.append(t | {"name": name})
        rows.append(totals | {"name": "all six"})
        note = next((v for v in (r["ours"] for r in rows) if isinstance(v, str)), None)
        if note:
            print(f"  ours: {note}")
        ctx.results[f"read_{kind}"] = rows
        headers = ["field", "ours", *peers, *(f"{p}/ours" for p in peers)]
        if len(peers) > 1:
            headers.append("faster peer/ours")
        printed = []
        for r in rows:
            line = [r["name"], seconds(r["ours"]), *(seconds(r[p]) for p in peers),
                    *(ratio(r[p], r["ours"]) for p in peers)]
            if len(peers) > 1:
                line.append(ratio(min(r[p] for p in peers), r["ours"]))
            if not isinstance(r["ours"], float):
                line[1] = "n/a"
            printed.append(line)
        table(headers, printed)
