"""Type stubs of the native module."""

from collections.abc import Sequence
from os import PathLike
from typing import Any

import numpy as np
from numpy.typing import NDArray

class WrfFile:
    """A WRF output file handle."""

    def __init__(self, path: str | PathLike[str]) -> None: ...
    @property
    def nx(self) -> int: ...
    @property
    def ny(self) -> int: ...
    @property
    def nz(self) -> int: ...
    @property
    def nt(self) -> int: ...
    @property
    def dx(self) -> float: ...
    @property
    def dy(self) -> float: ...
    @property
    def path(self) -> str: ...
    def _global_attr_f64(self, name: str) -> float: ...
    def _has_var(self, name: str) -> bool: ...
    def times(self) -> list[str]: ...
    def getvar(
        self,
        name: str,
        timeidx: int | None = None,
        units: str | None = None,
        parcel_type: str | None = None,
        storm_motion: tuple[float, float] | Sequence[Sequence[Sequence[float]]] | NDArray[Any] | None = None,
        storm_motion_method: str | None = None,
        storm_motion_type: str | None = None,
        entrainment_rate: float | None = None,
        pseudoadiabatic: bool | None = None,
        top_m: float | None = None,
        bottom_m: float | None = None,
        depth_m: float | None = None,
        parcel_pressure: float | None = None,
        parcel_temperature: float | None = None,
        parcel_dewpoint: float | None = None,
        bottom_p: float | None = None,
        top_p: float | None = None,
        layer_type: str | None = None,
        use_virtual: bool | None = None,
        lake_interp: float | None = None,
        use_varint: bool | None = None,
        use_liqskin: bool | None = None,
        ecape_strict: bool | None = None,
    ) -> NDArray[np.float64]: ...
    def getvar_all_times(
        self,
        name: str,
        units: str | None = None,
        parcel_type: str | None = None,
        storm_motion: tuple[float, float] | Sequence[Sequence[Sequence[float]]] | NDArray[Any] | None = None,
        storm_motion_method: str | None = None,
        storm_motion_type: str | None = None,
        entrainment_rate: float | None = None,
        pseudoadiabatic: bool | None = None,
        top_m: float | None = None,
        bottom_m: float | None = None,
        depth_m: float | None = None,
        parcel_pressure: float | None = None,
        parcel_temperature: float | None = None,
        parcel_dewpoint: float | None = None,
        bottom_p: float | None = None,
        top_p: float | None = None,
        layer_type: str | None = None,
        use_virtual: bool | None = None,
        lake_interp: float | None = None,
        use_varint: bool | None = None,
        use_liqskin: bool | None = None,
        ecape_strict: bool | None = None,
    ) -> NDArray[np.float64]: ...

def getvar(
    wrffile: WrfFile,
    name: str,
    timeidx: int | None = None,
    units: str | None = None,
    parcel_type: str | None = None,
    storm_motion: tuple[float, float] | Sequence[Sequence[Sequence[float]]] | NDArray[Any] | None = None,
    storm_motion_method: str | None = None,
    storm_motion_type: str | None = None,
    entrainment_rate: float | None = None,
    pseudoadiabatic: bool | None = None,
    top_m: float | None = None,
    bottom_m: float | None = None,
    depth_m: float | None = None,
    parcel_pressure: float | None = None,
    parcel_temperature: float | None = None,
    parcel_dewpoint: float | None = None,
    bottom_p: float | None = None,
    top_p: float | None = None,
    layer_type: str | None = None,
    use_virtual: bool | None = None,
    lake_interp: float | None = None,
    use_varint: bool | None = None,
    use_liqskin: bool | None = None,
    ecape_strict: bool | None = None,
) -> NDArray[np.float64]: ...
def getvar_all_times(
    wrffile: WrfFile,
    name: str,
    units: str | None = None,
    parcel_type: str | None = None,
    storm_motion: tuple[float, float] | Sequence[Sequence[Sequence[float]]] | NDArray[Any] | None = None,
    storm_motion_method: str | None = None,
    storm_motion_type: str | None = None,
    entrainment_rate: float | None = None,
    pseudoadiabatic: bool | None = None,
    top_m: float | None = None,
    bottom_m: float | None = None,
    depth_m: float | None = None,
    parcel_pressure: float | None = None,
    parcel_temperature: float | None = None,
    parcel_dewpoint: float | None = None,
    bottom_p: float | None = None,
    top_p: float | None = None,
    layer_type: str | None = None,
    use_virtual: bool | None = None,
    lake_interp: float | None = None,
    use_varint: bool | None = None,
    use_liqskin: bool | None = None,
    ecape_strict: bool | None = None,
) -> NDArray[np.float64]: ...
def list_variables() -> list[tuple[str, str, str]]: ...
def _set_num_threads(n: int) -> None: ...
def _num_threads() -> int: ...
