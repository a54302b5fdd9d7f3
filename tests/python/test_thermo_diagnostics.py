"""Thermodynamic, moisture and pressure rows: formulas, moisture edge cases, peers."""

import shutil

import numpy as np
import pytest

import wrf

netCDF4 = pytest.importorskip("netCDF4")

G = 9.81


def read_raw(path, t=0):
    """The raw fields these rows start from, as float64, one time."""
    with netCDF4.Dataset(path) as ds:
        ds.set_auto_mask(False)
        return {
            name: np.asarray(ds.variables[name][t], dtype=np.float64)
            for name in ("P", "PB", "T", "PH", "PHB", "QVAPOR", "W", "HGT", "PSFC", "T2", "Q2")
        }


def clip(q):
    return np.where(q > 0, q, 0.0)  # NaN counts as zero


def es(tc):
    return 6.112 * np.exp(17.67 * tc / (tc + 243.5))


def rh_ref(p, tc, q):
    qs = 0.622 * es(tc) / (p - 0.378 * es(tc))
    return 100.0 * np.clip(clip(q) / qs, 0.0, 1.0)


def td_ref(p, q):
    e = p * clip(q) / (clip(q) + 0.622)
    e = np.where(e > 0.001, e, 0.001)
    return (243.5 * np.log(e) - 440.8) / (19.48 - np.log(e))


def theta_e_ref(p, tc, q):
    e = p * clip(q) / (clip(q) + 0.622)
    esat = es(tc)
    e1 = esat * np.clip(100.0 * e / esat, 0.0, 100.0) / 100.0
    lg = np.log(e1 / 6.112)
    td = 243.5 * lg / (17.67 - lg)
    tk, tdk = tc + 273.15, td + 273.15
    tl = 56.0 + 1.0 / (1.0 / (tdk - 56.0) + np.log(tk / tdk) / 800.0)
    e2 = es(td)
    r = 0.62197 * e2 / (p - e2)
    return tk * (1000.0 / (p - e2)) ** 0.28571426 * (tk / tl) ** (0.28 * r) * np.exp((3036.0 / tl - 1.78) * r * (1 + 0.448 * r))


def slp_ref(p, tk, q, z):
    """Per-column reference; also returns which sea-level temperature branch each column took."""
    nz, ny, nx = p.shape
    out = np.empty((ny, nx))
    clamped = np.zeros((ny, nx), dtype=bool)
    for j in range(ny):
        for i in range(nx):
            col = p[:, j, i]
            k = next((k for k in range(1, nz) if col[0] - col[k] >= 10000.0), nz - 1)
            tv = tk[:, j, i] * (1 + 0.608 * clip(q[:, j, i]))
            ps = col[0] - 10000.0
            if abs(col[k] - col[k - 1]) < 1.0:
                ts_, zs = tv[k], z[k, j, i]
            else:
                f = np.log(ps / col[k - 1]) / np.log(col[k] / col[k - 1])
                ts_ = tv[k - 1] + f * (tv[k] - tv[k - 1])
                zs = z[k - 1, j, i] + f * (z[k, j, i] - z[k - 1, j, i])
            t_surf = ts_ * (col[0] / ps) ** 0.1901630988786952
            t_sea = ts_ + 0.0065 * zs
            if t_sea >= 290.66 and t_surf <= 290.66:
                t_sea, clamped[j, i] = 290.66, True
            else:
                t_sea = 290.66 - 0.005 * (t_surf - 290.66) ** 2
            out[j, i] = 0.01 * col[0] * np.exp(19.62 * z[0, j, i] / (287.0 * (t_surf + t_sea)))
    return out, clamped


def pw_ref(p, q):
    return (np.abs(np.diff(p, axis=0)) * (clip(q)[:-1] + clip(q)[1:]) / 2).sum(axis=0) / G


def references(raw):
    p = raw["P"] + raw["PB"]
    ph = p / 100.0
    theta = raw["T"] + 300.0
    tk = theta * (p / 100000.0) ** 0.2857142857
    tc = tk + -273.15
    phi = raw["PH"] + raw["PHB"]
    geopt = (phi[:-1] + phi[1:]) * 0.5
    z = geopt / 9.81
    q = raw["QVAPOR"]
    psfc, t2, q2 = raw["PSFC"] / 100.0, raw["T2"], raw["Q2"]
    return {
        "pressure": ph,
        "pres": p,
        "height": z,
        "height_agl": z - raw["HGT"],
        "geopt": geopt,
        "terrain": raw["HGT"],
        "t2": t2,
        "tv2m": t2 * (1 + 0.61 * clip(q2)),
        "temp": tk,
        "tc": tc,
        "theta": theta,
        "mixing_ratio": q,
        "specific_humidity": q / (1 + q),
        "tv": tk * (1 + 0.61 * clip(q)),
        "td": td_ref(ph, q),
        "dp2m": td_ref(psfc, q2),
        "rh": rh_ref(ph, tc, q),
        "rh2m": rh_ref(psfc, t2 - 273.15, q2),
        "theta_e": theta_e_ref(ph, tc, q),
        "omega": -9.81 * (raw["W"][:-1] + raw["W"][1:]) * 0.5 * p / (287.058 * tk * (1 + 0.61 * clip(q))),
        "pw": pw_ref(p, q),
        "slp": slp_ref(p, tk, q, z)[0],
    }


def edit(src, dst, **changes):
    """Copy a file and replace variables at time 0 by the results of functions of their values."""
    shutil.copy(src, dst)
    with netCDF4.Dataset(dst, "a") as ds:
        ds.set_auto_mask(False)
        for name, fn in changes.items():
            var = ds.variables[name]
            var[0] = fn(np.asarray(var[0], dtype=np.float64)).astype(var.dtype)
    return dst


def test_rows_follow_their_formulas(small_wrf):
    f = wrf.WrfFile(str(small_wrf))
    for name, want in references(read_raw(small_wrf)).items():
        got = wrf.getvar(f, name)
        assert got.shape == want.shape, name
        np.testing.assert_allclose(got, want, rtol=1e-12, atol=1e-12, err_msg=name)


def test_rows_follow_their_formulas_on_a_grid_of_odd_size(make_wrf):
    # 7 x 3 x 5 = 105 points: rows that work through points in batches end on a short one.
    path = make_wrf(nx=7, ny=3, nz=5, nt=1)
    f = wrf.WrfFile(str(path))
    for name, want in references(read_raw(path)).items():
        np.testing.assert_allclose(f.getvar(name), want, rtol=1e-12, atol=1e-12, err_msg=name)


def test_aliases_and_all_times(small_wrf):
    f = wrf.WrfFile(str(small_wrf))
    for alias, name in [("z", "height"), ("TK", "temp"), ("eth", "theta_e"), ("td2", "dp2m"), ("rh2", "rh2m"),
                        ("mslp", "slp"), ("q", "specific_humidity"), ("p", "pres")]:
        np.testing.assert_array_equal(wrf.getvar(f, alias), wrf.getvar(f, name))
    stacked = wrf.getvar_all_times(f, "slp")
    assert stacked.shape == (3, 10, 12)
    for t in range(3):
        np.testing.assert_allclose(stacked[t], references(read_raw(small_wrf, t))["slp"], rtol=1e-12)
    np.testing.assert_allclose(wrf.getvar(f, "tc", units="K"), wrf.getvar(f, "temp"), rtol=1e-12)


def test_moisture_clipping_and_saturation(small_wrf, tmp_path):
    # The same grid rows with different humidity in two files: negative against
    # zero, undefined against zero, and two supersaturations against each other.
    def rows(values):
        def set_rows(q):
            q = q.copy()
            for j, v in enumerate(values):
                q[:, j, :] = v
            return q
        return set_rows

    names = ("rh", "td", "tv", "twb", "theta_e", "mixing_ratio", "specific_humidity")
    odd = wrf.WrfFile(str(edit(small_wrf, tmp_path / "odd.nc", QVAPOR=rows([-0.001, np.nan, 0.5]))))
    plain = wrf.WrfFile(str(edit(small_wrf, tmp_path / "plain.nc", QVAPOR=rows([0.0, 0.0, 1.0]))))
    a = {name: wrf.getvar(odd, name)[:, :3] for name in names}
    b = {name: wrf.getvar(plain, name)[:, :3] for name in names}
    for name in ("rh", "td", "tv", "twb"):
        # Negative and undefined humidity behave exactly like none at all.
        np.testing.assert_array_equal(a[name][:, :2], b[name][:, :2], err_msg=name)
    td0 = (243.5 * np.log(0.001) - 440.8) / (19.48 - np.log(0.001))
    assert np.all(b["td"][:, :2] == td0) and abs(td0 + 80.45) < 0.01
    assert np.isnan(a["theta_e"][:, :2]).all() and np.isnan(b["theta_e"][:, :2]).all()
    # Supersaturated air is at 100 % and its theta-e uses the saturation vapour pressure.
    assert np.all(a["rh"][:, 2] == 100.0) and np.all(b["rh"][:, 2] == 100.0)
    np.testing.assert_array_equal(a["theta_e"][:, 2], b["theta_e"][:, 2])
    assert np.isfinite(a["theta_e"][:, 2]).all()
    # The stored mixing ratio is returned as is, and specific humidity uses it unclipped.
    q = np.float64(np.float32(-0.001))
    assert np.all(a["mixing_ratio"][:, 0] == q)
    assert np.all(a["specific_humidity"][:, 0] == q / (1 + q))
    assert np.isnan(a["mixing_ratio"][:, 1]).all()


def test_pw_does_not_depend_on_level_order(small_wrf, tmp_path):
    flip = {name: (lambda a: a[::-1]) for name in ("P", "PB", "QVAPOR")}
    path = edit(small_wrf, tmp_path / "flipped.nc", **flip)
    want = wrf.getvar(wrf.WrfFile(str(small_wrf)), "pw")
    assert (want > 1.0).all()
    np.testing.assert_array_equal(wrf.getvar(wrf.WrfFile(str(path)), "pw"), want)


def test_slp_branches(make_wrf, tmp_path):
    src = make_wrf(nx=30, ny=4, nz=6, nt=1)
    nx = 30
    # Sweep the temperature across columns so that both sea-level temperature rules occur.
    sweep = np.linspace(-25.0, 15.0, 4 * nx).reshape(4, nx)
    warm = edit(src, tmp_path / "sweep.nc", T=lambda th: th + sweep)
    # A thin column: every level within 100 hPa of the lowest one, so the top two levels extrapolate.
    thin = edit(src, tmp_path / "thin.nc", P=lambda p: np.zeros_like(p),
                PB=lambda pb: pb[0] - 1000.0 * np.arange(pb.shape[0])[:, None, None])
    seen = np.zeros(2, dtype=int)
    for path in (warm, thin):
        raw = read_raw(path)
        p = raw["P"] + raw["PB"]
        tk = (raw["T"] + 300.0) * (p / 100000.0) ** 0.2857142857
        phi = raw["PH"] + raw["PHB"]
        want, clamped = slp_ref(p, tk, raw["QVAPOR"], (phi[:-1] + phi[1:]) * 0.5 / 9.81)
        seen += [clamped.sum(), (~clamped).sum()]
        fresh = wrf.getvar(wrf.WrfFile(str(path)), "slp")
        np.testing.assert_allclose(fresh, want, rtol=1e-12)
        # With temperature and height already derived, the same values to the last bit.
        f = wrf.WrfFile(str(path))
        f.getvar("temp"), f.getvar("height")
        np.testing.assert_array_equal(f.getvar("slp"), fresh)
    assert (seen > 0).all()


def test_errors_name_the_missing_input(make_wrf):
    f1 = wrf.WrfFile(str(make_wrf("nz1.nc", nz=1, nt=1)))
    with pytest.raises(RuntimeError, match="computation error: slp needs at least two mass levels"):
        wrf.getvar(f1, "slp")
    assert (wrf.getvar(f1, "pw") == 0.0).all()
    no_q = wrf.WrfFile(str(make_wrf("noq.nc", exclude=["QVAPOR"], nt=1)))
    no_pb = wrf.WrfFile(str(make_wrf("nopb.nc", exclude=["PB"], nt=1)))
    no_ph = wrf.WrfFile(str(make_wrf("noph.nc", exclude=["PH"], nt=1)))
    for f, names, var in [
        (no_q, ("rh", "td", "tv", "twb", "theta_e", "pw", "slp", "omega", "mixing_ratio", "specific_humidity"),
         "QVAPOR"),
        (no_pb, ("pressure", "pres", "temp", "tc", "rh", "slp", "pw"), "PB"),
        (no_ph, ("geopt", "height", "slp"), "PH"),
    ]:
        for name in names:
            with pytest.raises(RuntimeError, match=f"variable not found in WRF file: .*{var}"):
                wrf.getvar(f, name)
    np.testing.assert_array_equal(wrf.getvar(no_q, "theta"), wrf.getvar(no_pb, "theta"))


# --------------------------------------------------------------------------- peers

PEER_FILE = "wrf/wrfpython_ci_test_file.nc"
PEER_FILE_CDF2 = "wrf/wrfpython_ci_test_file_cdf2.nc"

# (ours, wrf-python's name, scale of the float32 inputs the value comes from)
SAME_FORMULA = [
    ("temp", "tk", 300.0),
    ("tc", "tc", 300.0),
    ("theta", "theta", 300.0),
    ("td", "td", 30.0),
    ("dp2m", "td2", 30.0),
    ("rh", "rh", 100.0),
    ("rh2m", "rh2", 100.0),
    ("geopt", "geopt", 1e5),
    ("height", "z", 1e4),
    ("pressure", "pressure", 1000.0),
]


@pytest.fixture(scope="module")
def peer_case(shared_data):
    peers = pytest.importorskip("peers")
    path = shared_data / PEER_FILE
    try:
        ours = wrf.WrfFile(str(path))
    except OSError:  # netCDF-4 not readable in this build: the same data as CDF-2
        path = shared_data / PEER_FILE_CDF2
        ours = wrf.WrfFile(str(path))
    return peers, path, ours


@pytest.mark.peer
@pytest.mark.parametrize("timeidx", [0, 3])
@pytest.mark.parametrize("ours_name,peer_name,scale", SAME_FORMULA)
def test_same_formula_rows_match_wrfpython(peer_case, ours_name, peer_name, scale, timeidx):
    peers, path, ours = peer_case
    want = peers.wrfpython_getvar(path, peer_name, timeidx=timeidx)
    if want is None:
        pytest.skip("wrf-python is not installed")
    got = wrf.getvar(ours, ours_name, timeidx=timeidx)
    assert got.shape == want.shape
    # 1e-5 relative, or the round-off of float32 inputs of the row's magnitude.
    np.testing.assert_allclose(got, want, rtol=1e-5, atol=4 * np.finfo(np.float32).eps * scale)


# Rows whose formulas differ from wrf-python's: bounds a little above the
# differences measured on the peer file, so a fault (a wrong field, a lost
# clip) still shows. (ours, wrf-python's name, max abs difference, unit)
DIFFERENT_FORMULA = [
    ("slp", "slp", 0.05, "hPa"),
    ("theta_e", "eth", 0.5, "K"),
    ("twb", "twb", 0.4, "K"),
    ("pw", "pw", 4.0, "mm"),
]


@pytest.mark.peer
@pytest.mark.parametrize("ours_name,peer_name,bound,unit", DIFFERENT_FORMULA)
def test_different_formula_rows_stay_close_to_wrfpython(peer_case, ours_name, peer_name, bound, unit):
    peers, path, ours = peer_case
    for t in range(ours.nt):
        want = peers.wrfpython_getvar(path, peer_name, timeidx=t)
        if want is None:
            pytest.skip("wrf-python is not installed")
        got = wrf.getvar(ours, ours_name, timeidx=t)
        assert np.abs(got - want).max() < bound, f"{ours_name} at t={t} ({unit})"
