"""What veltrane and veltrane.dask share: the checks of their arguments, in the command line's
words, and the sweeps over tables whose rows messages name from a given place (the place of a
Dask block's first row in the whole table)."""

import operator
import sys
from typing import Any, Callable, TypeVar

import numpy as np
import numpy.typing as npt

from . import _veltrane
from ._errors import InputError
from ._results import ExactSpectrum

#: The most bins of cascade(), and cells of a level of cells(): 2^40, the core's limit.
MAX_BINS: int = _veltrane.max_bins
#: The deepest level of cells(): a map has two branches at least.
MAX_LEVELS = MAX_BINS.bit_length() - 1
MAX_BINS_NOTE = f" (2^{MAX_LEVELS})"
MAX_THREADS = 1024
#: The most values a result may hold, rows times points: beyond, its arrays (32 bytes a point)
#: could not be addressed.
MAX_VALUES = sys.maxsize // 32

Floats = npt.NDArray[np.float64]


def whole(value: object, name: str, low: int, high: int | None = None, note: str = "") -> int:
    """value as an int within [low, high], else InputError in the command line's words."""
    limits = f"from {low} to {high}{note}" if high is not None else f"of at least {low}"
    try:
        number = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        number = None
    if isinstance(value, bool) or number is None or number < low or (
            high is not None and number > high):
        raise InputError(f"{name} takes a whole number {limits}")
    return number


def threads(value: object) -> int:
    """The threads to share a call over, 0 for one a core (None)."""
    if value is None:
        return 0
    return whole(value, "threads", 1, MAX_THREADS)


def points(value: object, rows: int = 1) -> int:
    """value as an int from 2, such that rows × points values can be held."""
    count = whole(value, "points", 2)
    most = MAX_VALUES // max(rows, 1)
    if count > most:
        raise InputError(f"points takes a whole number from 2 to {most}"
                         + (f" for a table of {rows} rows" if rows > 1 else ""))
    return count


_KINDS = {"b": "bool", "c": "complex", "M": "datetime", "m": "timedelta", "U": "text",
          "S": "bytes", "V": "structured"}


def reals(values: object, what: str) -> Floats:
    """values as a float64 array, if they are real numbers as the package's docstring says;
    InputError naming what otherwise."""
    refusal = f"{what} must be real numbers (int or float), not "
    if isinstance(values, np.ma.MaskedArray):
        raise InputError(f"{what} must not be a masked array: its masked values would be taken")
    if isinstance(values, (str, bytes)):
        raise InputError(refusal + "text")
    try:
        array = np.asarray(values)
    except ValueError:  # rows of different lengths
        shape = "an array" if what == "q" else "a table whose rows have the same length"
        raise InputError(f"{what} must be {shape}") from None
    if array.dtype == object:
        flat = array.ravel()
        if not all(isinstance(v, (int, float, np.integer, np.floating))
                   and not isinstance(v, (bool, np.bool_)) for v in flat):
            raise InputError(refusal + "other objects")
        try:
            return np.array([float(v) for v in flat], dtype=np.float64).reshape(array.shape)
        except OverflowError:
            raise InputError(f"{what} must be within the range of doubles") from None
    if array.dtype.kind not in "iuf":
        raise InputError(refusal + _KINDS.get(array.dtype.kind, str(array.dtype)))
    return np.asarray(array, dtype=np.float64, order="C")


_CONTROLS = {c: f"\\x{c:02x}" for c in [*range(0x20), 0x7f]}


def field_text(value: object, name: str) -> str:
    """What the windows' field would hold for value: the text itself, or the shortest text
    that reads back as the number."""
    if isinstance(value, str):
        # A control character cannot be part of a number, nor held by a field; written \xNN
        # it stays refused, and the message quoting it shows it instead of ending at a NUL.
        return value.translate(_CONTROLS)
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.number)):
        raise InputError(f"{name} must be a number or its text")
    return str(value)


def exact(breaks: object, count: object, threads_asked: object,
          first_row: int = 0) -> ExactSpectrum:
    """veltrane.exact(); a table's rows named in messages from first_row."""
    cuts = reals(breaks, "break points")
    shared = threads(threads_asked)
    if cuts.ndim == 2:
        exponents, columns = _veltrane.exact_table(cuts, points(count, cuts.shape[0]), shared,
                                                   first_row)
    else:
        exponents, columns = _veltrane.exact(cuts, points(count), shared)
    return ExactSpectrum(*columns, exponents)


def orders(exponent: str, breaks: object, weights: object, q: object, threads_asked: object,
           first_row: int = 0) -> Any:
    """The exponent of that name ("tau", "dq", "hurst", "zeta" or "beta") of one measure or of
    a table; a table's rows named in messages from first_row."""
    cuts = reals(breaks, "break points")
    masses = reals(weights, "weights")
    values = reals(q, "q")
    shared = threads(threads_asked)
    if cuts.ndim == 2:
        return _veltrane.orders_table(cuts, masses, values, exponent, shared, first_row)
    return _veltrane.orders(cuts, masses, values, exponent, shared)


_ORDERS_SECTIONS = """Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1); or a table, one measure a row, all
        with the same number of break points.
    weights : array_like
        The weights of the branches, positive, divided by their sum; a table of as many rows
        when breaks is one.
    q : float or array_like
        The orders: a number or 0-d array, or an array of any shape, finite.
    threads : int or None, default None
        Threads to share the orders over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    float or numpy.ndarray
        A float for a number q and one measure; otherwise a float64 array of q's shape, and
        of shape (measures,) + q's shape for a table.

    Raises
    ------
    InputError
        For refused break points, weights or q (NaN or infinite); a table's row is named by
        its index ("measure 2: ...").
    AnalysisError
        OVERFLOW where the value lies beyond the range of doubles.
"""

_Documented = TypeVar("_Documented", bound=Callable[..., Any])


def sections(text: str) -> Callable[[_Documented], _Documented]:
    """A decorator that writes text, the sections several functions share, into a function's
    docstring at its "{sections}" mark, "{name}" in text standing for the function's name."""
    def document(function: _Documented) -> _Documented:
        if function.__doc__:  # none under python -OO
            function.__doc__ = function.__doc__.replace(
                "{sections}", text.replace("{name}", function.__name__))
        return function
    return document


#: veltrane.tau(), dq(), hurst(), zeta() and beta().
orders_documented = sections(_ORDERS_SECTIONS)


def bin_counts(bins: object) -> list[int]:
    """A single count of bins, or any sequence of them, each checked by whole()."""
    given = np.asarray(bins, dtype=object)
    counts = list(given.ravel()) if given.ndim else [bins]
    return [whole(n, "bins", 1, MAX_BINS, MAX_BINS_NOTE) for n in counts]


def order_list(q: object) -> npt.NDArray[np.float64]:
    """q as a one-dimensional float64 array of orders (a number as one order)."""
    orders = np.atleast_1d(reals(q, "q"))
    if orders.ndim != 1:
        raise InputError("q must be a number or a one-dimensional array of numbers")
    return orders
