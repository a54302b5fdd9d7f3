"""`make bench`: timings of this package against its peers on large synthetic WRF files.

Sections are the modules benchmarks/bench_*.py; each defines SECTION (its name), ORDER (its
place) and run(ctx). Input files are generated once into benchmarks/data/ and reused.

    python benchmarks/run.py                       # every section, 300 x 300 x 50, 3 times
    python benchmarks/run.py read --repeat 5       # one section
    python benchmarks/run.py --size 60x60x20       # a quick run on a small grid
"""

from __future__ import annotations

import argparse
import importlib
import json
import platform
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from common import DATA, Context  # noqa: E402


def sections() -> dict:
    found = [importlib.import_module(p.stem) for p in sorted(HERE.glob("bench_*.py"))]
    return {m.SECTION: m for m in sorted(found, key=lambda m: m.ORDER)}


def main(argv: list[str] | None = None) -> int:
    available = sections()
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("sections", nargs="*", metavar="SECTION",
                        help=f"sections to run (default: all of {', '.join(available)})")
    parser.add_argument("--repeat", type=int, default=3, help="best of N timings (3)")
    parser.add_argument("--size", default="300x300x50", help="grid NXxNYxNZ (300x300x50)")
    parser.add_argument("--nt", type=int, default=3, help="times in the file (3)")
    parser.add_argument("--threads", type=int, default=0,
                        help="our widest thread count (default: the package default)")
    args = parser.parse_args(argv)
    unknown = set(args.sections) - set(available)
    if unknown:
        parser.error(f"unknown section(s): {', '.join(sorted(unknown))}")
    nx, ny, nz = (int(v) for v in args.size.lower().split("x"))
    ctx = Context(nx=nx, ny=ny, nz=nz, nt=args.nt, repeat=args.repeat, threads=args.threads)

    import wrf

    print(f"wrf {wrf.__version__}, {wrf.num_threads()} worker threads by default;"
          f" Python {platform.python_version()} on {platform.machine()}")
    for name in args.sections or list(available):
        print(f"\n== {name} ==")
        start = time.perf_counter()
        available[name].run(ctx)
        print(f"  ({time.perf_counter() - start:.0f} s)")

    DATA.mkdir(parents=True, exist_ok=True)
    out = DATA / "results.json"
    out.write_text(json.dumps({"size": [nx, ny, nz, ctx.nt], "repeat": ctx.repeat,
                               **ctx.results}, indent=1, default=str))
    print(f"\nresults written to {out.relative_to(HERE.parent)}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
