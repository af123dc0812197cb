from collections.abc import Sequence
from typing import Any, overload

import numpy as np
import numpy.typing as npt

from ._errors import AnalysisError as AnalysisError
from ._errors import InputError as InputError
from . import models as models
from ._analytic import PreciseValue as PreciseValue
from ._analytic import analytic as analytic
from ._realizations import RandomPartitionSums as RandomPartitionSums
from ._realizations import random_cascade as random_cascade
from ._realizations import random_partition_sums as random_partition_sums
from ._veltrane import ErrorKind as ErrorKind

__version__: str
MAX_BINS: int
__all__ = [
    "AnalysisError",
    "Cells",
    "PreciseValue",
    "analytic",
    "ClassicSpectrum",
    "ErrorKind",
    "ExactSpectrum",
    "Exponents",
    "InputError",
    "MAX_BINS",
    "MultifractalSpectrum",
    "PartitionSums",
    "RandomPartitionSums",
    "beta",
    "cascade",
    "cdf",
    "cdf_at_bins",
    "cells",
    "dq",
    "exact",
    "exponents",
    "hurst",
    "markov",
    "markov_cascade",
    "markov_cells",
    "markov_multifractal",
    "models",
    "multifractal",
    "partition_sums",
    "random_cascade",
    "random_partition_sums",
    "series",
    "spectrum",
    "survival",
    "tau",
    "zeta",
]

_Numbers = Sequence[float] | npt.ArrayLike
_Threads = int | None

class ClassicSpectrum:
    lyapunov: npt.NDArray[np.float32]
    entropy: npt.NDArray[np.float32]
    dimension: npt.NDArray[np.float32]
    break_points: npt.NDArray[np.float32]
    exponents: npt.NDArray[np.float32]
    messages: tuple[str, ...]
    def __init__(
        self,
        lyapunov: npt.ArrayLike,
        entropy: npt.ArrayLike,
        dimension: npt.ArrayLike,
        break_points: npt.ArrayLike,
        exponents: npt.ArrayLike,
        messages: Sequence[str],
    ) -> None: ...
    def __len__(self) -> int: ...
    def plot(self, ax: Any = None) -> Any: ...

class ExactSpectrum:
    lyapunov: npt.NDArray[np.float64]
    entropy: npt.NDArray[np.float64]
    dimension: npt.NDArray[np.float64]
    beta: npt.NDArray[np.float64]
    exponents: npt.NDArray[np.float64]
    def __init__(
        self,
        lyapunov: npt.ArrayLike,
        entropy: npt.ArrayLike,
        dimension: npt.ArrayLike,
        beta: npt.ArrayLike,
        exponents: npt.ArrayLike,
    ) -> None: ...
    def __len__(self) -> int: ...
    def plot(self, ax: Any = None) -> Any: ...

class MultifractalSpectrum:
    alpha: npt.NDArray[np.float64]
    f: npt.NDArray[np.float64]
    q: npt.NDArray[np.float64]
    tau: npt.NDArray[np.float64]
    def __init__(
        self, alpha: npt.ArrayLike, f: npt.ArrayLike, q: npt.ArrayLike, tau: npt.ArrayLike
    ) -> None: ...
    def __len__(self) -> int: ...
    def plot(self, ax: Any = None) -> Any: ...

class Exponents:
    q: npt.NDArray[np.float64]
    tau: npt.NDArray[np.float64]
    dq: npt.NDArray[np.float64]
    hurst: npt.NDArray[np.float64]
    zeta: npt.NDArray[np.float64]
    beta: npt.NDArray[np.float64]
    alpha: npt.NDArray[np.float64]
    f: npt.NDArray[np.float64]
    def __init__(
        self,
        q: npt.ArrayLike,
        tau: npt.ArrayLike,
        dq: npt.ArrayLike,
        hurst: npt.ArrayLike,
        zeta: npt.ArrayLike,
        beta: npt.ArrayLike,
        alpha: npt.ArrayLike,
        f: npt.ArrayLike,
    ) -> None: ...
    def __len__(self) -> int: ...

class Cells:
    left: npt.NDArray[np.float64]
    width: npt.NDArray[np.float64]
    mass: npt.NDArray[np.float64]
    def __init__(self, left: npt.ArrayLike, width: npt.ArrayLike, mass: npt.ArrayLike) -> None: ...
    def __len__(self) -> int: ...

def spectrum(c1: float | str, c2: float | str | None = None) -> ClassicSpectrum: ...
def exact(breaks: _Numbers, *, points: int = 101, threads: _Threads = None) -> ExactSpectrum: ...
def markov(
    pieces: npt.ArrayLike, *, points: int = 101, threads: _Threads = None
) -> ExactSpectrum: ...
def multifractal(
    breaks: _Numbers, weights: _Numbers, *, points: int = 101, threads: _Threads = None
) -> MultifractalSpectrum: ...
def markov_multifractal(
    pieces: npt.ArrayLike,
    weights: Sequence[Sequence[float]],
    *,
    points: int = 101,
    threads: _Threads = None,
) -> MultifractalSpectrum: ...

# A float where q is a number or a 0-d array and breaks one measure; an array of q's shape for
# an array q, and of shape (measures,) + q's shape for a table of measures, whatever q is.
@overload
def tau(
    breaks: Sequence[float], weights: Sequence[float], q: float, *, threads: _Threads = None
) -> float: ...
@overload
def tau(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, *, threads: _Threads = None
) -> float | npt.NDArray[np.float64]: ...
@overload
def dq(
    breaks: Sequence[float], weights: Sequence[float], q: float, *, threads: _Threads = None
) -> float: ...
@overload
def dq(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, *, threads: _Threads = None
) -> float | npt.NDArray[np.float64]: ...
@overload
def beta(
    breaks: Sequence[float], weights: Sequence[float], q: float, *, threads: _Threads = None
) -> float: ...
@overload
def beta(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, *, threads: _Threads = None
) -> float | npt.NDArray[np.float64]: ...
@overload
def hurst(
    breaks: Sequence[float], weights: Sequence[float], q: float, *, threads: _Threads = None
) -> float: ...
@overload
def hurst(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, *, threads: _Threads = None
) -> float | npt.NDArray[np.float64]: ...
@overload
def zeta(
    breaks: Sequence[float], weights: Sequence[float], q: float, *, threads: _Threads = None
) -> float: ...
@overload
def zeta(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, *, threads: _Threads = None
) -> float | npt.NDArray[np.float64]: ...
def exponents(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, *, threads: _Threads = None
) -> Exponents: ...
def cascade(
    breaks: _Numbers,
    weights: _Numbers,
    *,
    bins: int,
    first: int = 0,
    count: int | None = None,
    out: npt.NDArray[np.float64] | None = None,
    threads: _Threads = None,
) -> npt.NDArray[np.float64]: ...
def markov_cascade(
    pieces: npt.ArrayLike,
    weights: Sequence[Sequence[float]],
    bins: int,
    *,
    first: int = 0,
    count: int | None = None,
    out: npt.NDArray[np.float64] | None = None,
    threads: _Threads = None,
) -> npt.NDArray[np.float64]: ...
def markov_cells(
    pieces: npt.ArrayLike,
    weights: Sequence[Sequence[float]],
    *,
    levels: int,
    first: int = 0,
    count: int | None = None,
    threads: _Threads = None,
) -> Cells: ...
def cdf(
    breaks: _Numbers, weights: _Numbers, x: npt.ArrayLike, *, threads: _Threads = None
) -> npt.NDArray[np.float64]: ...
def survival(
    breaks: _Numbers, weights: _Numbers, x: npt.ArrayLike, *, threads: _Threads = None
) -> npt.NDArray[np.float64]: ...
def series(
    breaks: _Numbers,
    weights: _Numbers,
    *,
    bins: int,
    first: int = 0,
    count: int | None = None,
    out: npt.NDArray[np.float64] | None = None,
    threads: _Threads = None,
) -> npt.NDArray[np.float64]: ...
def cdf_at_bins(
    breaks: _Numbers,
    weights: _Numbers,
    *,
    bins: int,
    first: int = 0,
    count: int | None = None,
    threads: _Threads = None,
) -> npt.NDArray[np.float64]: ...
def cells(
    breaks: _Numbers,
    weights: _Numbers,
    *,
    levels: int,
    first: int = 0,
    count: int | None = None,
    threads: _Threads = None,
) -> Cells: ...

class PartitionSums:
    bins: npt.NDArray[np.uint64]
    q: npt.NDArray[np.float64]
    log_z: npt.NDArray[np.float64]
    tau_apparent: npt.NDArray[np.float64]
    def __init__(
        self,
        bins: npt.NDArray[np.uint64],
        q: npt.NDArray[np.float64],
        log_z: npt.NDArray[np.float64],
        tau_apparent: npt.NDArray[np.float64],
    ) -> None: ...
    def __len__(self) -> int: ...

def partition_sums(
    breaks: _Numbers,
    weights: _Numbers,
    *,
    bins: int | Sequence[int],
    q: float | _Numbers,
    threads: _Threads = None,
) -> PartitionSums: ...
