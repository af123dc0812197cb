import enum
from collections.abc import Sequence
from typing import overload

import numpy as np
import numpy.typing as npt

__version__: str
MAX_BINS: int

_Numbers = Sequence[float] | npt.ArrayLike
_Threads = int | None

class InputError(ValueError): ...

class ErrorKind(enum.Enum):
    CONVERSION = "type mismatch"
    DIVISION_BY_ZERO = "division by zero"
    INVALID_OPERATION = "invalid floating-point operation"
    OVERFLOW = "overflow"
    SUBSCRIPT_OUT_OF_RANGE = "subscript out of range"
    PLATFORM = "platform error"
    INTERNAL = "internal error"

class AnalysisError(ArithmeticError):
    kind: ErrorKind
    def __init__(self, message: str, kind: ErrorKind) -> None: ...

class ClassicSpectrum:
    lyapunov: npt.NDArray[np.float32]
    entropy: npt.NDArray[np.float32]
    dimension: npt.NDArray[np.float32]
    break_points: npt.NDArray[np.float32]
    exponents: npt.NDArray[np.float32]
    messages: tuple[str, ...]
    def __len__(self) -> int: ...

class ExactSpectrum:
    lyapunov: npt.NDArray[np.float64]
    entropy: npt.NDArray[np.float64]
    dimension: npt.NDArray[np.float64]
    beta: npt.NDArray[np.float64]
    exponents: npt.NDArray[np.float64]
    def __len__(self) -> int: ...

class MultifractalSpectrum:
    alpha: npt.NDArray[np.float64]
    f: npt.NDArray[np.float64]
    q: npt.NDArray[np.float64]
    tau: npt.NDArray[np.float64]
    def __len__(self) -> int: ...

class Cells:
    left: npt.NDArray[np.float64]
    width: npt.NDArray[np.float64]
    mass: npt.NDArray[np.float64]
    def __len__(self) -> int: ...

def spectrum(c1: float | str, c2: float | str | None = None) -> ClassicSpectrum: ...
def exact(breaks: _Numbers, points: int = 101, threads: _Threads = None) -> ExactSpectrum: ...
def markov(pieces: npt.ArrayLike, points: int = 101, threads: _Threads = None) -> ExactSpectrum: ...
def multifractal(
    breaks: _Numbers, weights: _Numbers, points: int = 101, threads: _Threads = None
) -> MultifractalSpectrum: ...
# A float where q is a number or a 0-d array and breaks one measure; an array of q's shape for
# an array q, and of shape (measures,) + q's shape for a table of measures, whatever q is.
@overload
def tau(
    breaks: Sequence[float], weights: Sequence[float], q: float, threads: _Threads = None
) -> float: ...
@overload
def tau(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, threads: _Threads = None
) -> float | npt.NDArray[np.float64]: ...
@overload
def dq(
    breaks: Sequence[float], weights: Sequence[float], q: float, threads: _Threads = None
) -> float: ...
@overload
def dq(
    breaks: _Numbers, weights: _Numbers, q: npt.ArrayLike, threads: _Threads = None
) -> float | npt.NDArray[np.float64]: ...
def cascade(
    breaks: _Numbers,
    weights: _Numbers,
    bins: int,
    first: int = 0,
    count: int | None = None,
    out: npt.NDArray[np.float64] | None = None,
    threads: _Threads = None,
) -> npt.NDArray[np.float64]: ...
def cells(
    breaks: _Numbers,
    weights: _Numbers,
    levels: int,
    first: int = 0,
    count: int | None = None,
    threads: _Threads = None,
) -> Cells: ...
