"""Requested units through getvar, on catalog rows and raw variables."""

import numpy as np
import pytest

import wrf


@pytest.fixture(scope="module")
def wrffile(small_wrf):
    return wrf.WrfFile(str(small_wrf))


def same_bits(got, expected):
    return np.array_equal(got.view(np.uint64), np.asarray(expected, dtype=np.float64).view(np.uint64))


# name, requested units, conversion applied to the values in their own units
CONVERSIONS = [
    ("t2", "degC", lambda x: x + (-273.15)),
    ("t2", " DEGF ", lambda x: (x + (-273.15)) * 9 / 5 + 32),
    ("TSK", "\u212a", lambda x: x),
    ("pres", "hPa", lambda x: x / 100),
    ("PSFC", "inHg", lambda x: x / 3386.39),
    ("U10", "kt", lambda x: x / 0.514444),
    ("RAINNC", "in", lambda x: x / 25.4),
    ("PSFC", "Pa", lambda x: x),
]


@pytest.mark.parametrize("name, units, rule", CONVERSIONS)
def test_requested_units_convert_every_value_exactly(wrffile, name, units, rule):
    own = wrffile.getvar(name, timeidx=1)
    got = wrf.getvar(wrffile, name, timeidx=1, units=units)
    assert got.shape == own.shape
    assert same_bits(got, rule(own))


@pytest.mark.parametrize(
    "name, units, message",
    [
        ("Q2", "g/kg", "unit conversion error: cannot convert raw variable 'Q2' to 'g/kg': source units are unknown"),
        ("pvo", "PVU", "unit conversion error: unrecognized unit string: 'pvu'"),
        ("pres", "inch", "unit conversion error: unrecognized unit string: 'inch'"),
        ("PSFC", "K", "unit conversion error: cannot convert Pascal to Kelvin"),
        ("RAINNC", "ft", "unit conversion error: cannot convert Millimeters to Feet"),
    ],
)
def test_unconvertible_requests_fail(wrffile, name, units, message):
    with pytest.raises(RuntimeError) as err:
        wrf.getvar(wrffile, name, timeidx=0, units=units)
    assert str(err.value) == message


@pytest.mark.parametrize("name, good, bad", [("t2", "degF", "hPa"), ("PSFC", "hPa", "K")])
def test_conversion_leaves_later_results_alone(wrffile, name, good, bad):
    # Conversion works in place; it must never reach values another request sees.
    before = wrffile.getvar(name, timeidx=2)
    wrffile.getvar(name, timeidx=2, units=good)
    with pytest.raises(RuntimeError):
        wrffile.getvar(name, timeidx=2, units=bad)
    assert same_bits(wrffile.getvar(name, timeidx=2), before)
