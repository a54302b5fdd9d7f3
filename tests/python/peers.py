"""Peer packages used as black boxes in tests and benchmarks.

wrf-python imports as ``wrf``, like this package, and needs NumPy 1.x, so
it lives in an environment of its own (``.peer/wrfpython``, a virtualenv)
and is driven through one long-lived worker process per test session.

    from peers import wrfpython_getvar
    arr = wrfpython_getvar(path, "avo", timeidx=0)   # ndarray, or None if absent

``timeidx=None`` asks for all times. Keyword options are passed to the
peer's ``getvar`` unchanged (they must be JSON values). Results are plain
float arrays (``meta=False``); an error inside the peer raises
``PeerError`` with the peer's message.

Set ``WRF_PEER_WRFPYTHON`` to another interpreter that can import
wrf-python to use it instead. ``python tests/python/peers.py --install``
creates the environment (needs gfortran; wrf-python builds from source).
"""

from __future__ import annotations

import atexit
import io
import json
import os
import struct
import subprocess
import sys
import threading
from pathlib import Path

import numpy as np

_ROOT = Path(__file__).resolve().parents[2]
_DEFAULT_PYTHON = _ROOT / ".peer" / "wrfpython" / "bin" / "python"

# Runs inside the peer environment: length-prefixed JSON requests on stdin,
# status byte + length-prefixed .npy bytes (or error text) on stdout.
_WORKER = r"""
import io, json, struct, sys
import numpy as np
from netCDF4 import Dataset
import wrf

inp, out = sys.stdin.buffer, sys.stdout.buffer
files = {}

def reply(status, payload):
    out.write(status + struct.pack("<Q", len(payload)) + payload)
    out.flush()

while True:
    head = inp.read(4)
    if len(head) < 4:
        break
    req = json.loads(inp.read(struct.unpack("<I", head)[0]))
    try:
        if req["op"] == "ping":
            reply(b"o", b"")
            continue
        path = req["path"]
        if path not in files:
            files[path] = Dataset(path)
        timeidx = wrf.ALL_TIMES if req["timeidx"] is None else req["timeidx"]
        value = wrf.getvar(files[path], req["name"], timeidx=timeidx, meta=False, **req["kw"])
        buf = io.BytesIO()
        np.save(buf, np.asarray(value, dtype=np.float64), allow_pickle=False)
        reply(b"o", buf.getvalue())
    except Exception as exc:
        reply(b"e", ("%s: %s" % (type(exc).__name__, exc)).encode())
"""


class PeerError(RuntimeError):
    """The peer itself failed on a request."""


class _Worker:
    def __init__(self, python: str):
        self.proc = subprocess.Popen(
            [python, "-c", _WORKER],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
        )
        self.lock = threading.Lock()

    def request(self, req: dict) -> bytes:
        data = json.dumps(req).encode()
        with self.lock:
            self.proc.stdin.write(struct.pack("<I", len(data)) + data)
            self.proc.stdin.flush()
            head = self.proc.stdout.read(9)
            if len(head) < 9:
                raise PeerError("wrf-python worker exited")
            status, size = head[:1], struct.unpack("<Q", head[1:])[0]
            payload = self.proc.stdout.read(size)
        if status != b"o":
            raise PeerError(payload.decode(errors="replace"))
        return payload

    def close(self) -> None:
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()


_worker: _Worker | None = None
_absent = False
_start_lock = threading.Lock()


def wrfpython_python() -> str | None:
    """Interpreter of the wrf-python environment, or None when it is absent."""
    python = os.environ.get("WRF_PEER_WRFPYTHON", str(_DEFAULT_PYTHON))
    return python if Path(python).exists() else None


def _get_worker() -> _Worker | None:
    global _worker, _absent
    with _start_lock:
        if _worker is None and not _absent:
            python = wrfpython_python()
            if python is None:
                _absent = True
                return None
            worker = _Worker(python)
            try:
                worker.request({"op": "ping"})
            except PeerError:
                worker.close()
                _absent = True
                return None
            _worker = worker
            atexit.register(worker.close)
        return _worker


def wrfpython_available() -> bool:
    return _get_worker() is not None


def wrfpython_getvar(path, name: str, timeidx: int | None = 0, **kw) -> np.ndarray | None:
    """wrf-python's ``getvar(Dataset(path), name, timeidx, meta=False, **kw)``
    as a float64 array, or None when wrf-python is not installed."""
    worker = _get_worker()
    if worker is None:
        return None
    payload = worker.request({"op": "getvar", "path": str(path), "name": name, "timeidx": timeidx, "kw": kw})
    return np.load(io.BytesIO(payload), allow_pickle=False)


# wrf-python 1.3 builds with numpy.distutils and runs on NumPy 1.x only; its
# iteration over a Dataset needs wrapt < 2 and netCDF4 < 1.7. basemap (a
# declared but unused dependency for getvar) is left out.
_PEER_PINS = ["numpy==1.26.4", "wrapt<2", "xarray<2025", "pandas<2.3", "netCDF4<1.7"]


def install_wrfpython(prefix: Path = _DEFAULT_PYTHON.parents[1]) -> None:
    python = prefix / "bin" / "python"
    check = [str(python), "-c", "import wrf, netCDF4"]
    if python.exists() and subprocess.run(check, capture_output=True).returncode == 0:
        return
    subprocess.run(["python3", "-m", "venv", "--clear", str(prefix)], check=True)
    pip = [str(python), "-m", "pip", "install", "-q", "--disable-pip-version-check"]
    subprocess.run([*pip, "setuptools<65", "wheel", *_PEER_PINS], check=True)
    subprocess.run([*pip, "--no-build-isolation", "--no-deps", "wrf-python==1.3.4.1"], check=True)
    subprocess.run(check, check=True)


if __name__ == "__main__":
    if sys.argv[1:] == ["--install"]:
        install_wrfpython()
    else:
        sys.exit("usage: peers.py --install")
