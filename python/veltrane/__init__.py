"""Exact spectra of piecewise-linear expanding maps of [0, 1] and of their Bernoulli measures.

A map with break points 0 < B_1 < ... < B_k < 1 has n = k + 1 branches, each stretching its
piece I_i = [B_(i-1), B_i] (B_0 = 0, B_n = 1) of length l_i onto [0, 1] with the exponent
L_i = ln(1/l_i). Weights p_1 ... p_n on the branches (any positive numbers, divided by their
sum) make a Bernoulli measure, the self-similar measure of the cascade that gives the cell
I_(i_1 ... i_m) the mass p_(i_1) ... p_(i_m).

    spectrum(c1, c2=None)      the windows' analysis of a two- or three-branch map (float32)
    exact(breaks, ...)         the exact spectral diagram of any number of branches
    markov(pieces, ...)        the exact spectral diagram of a piecewise-linear Markov map
    multifractal(breaks, weights, ...)   f(alpha), with q and tau(q)
    tau(breaks, weights, q)    tau(q); dq(...) the generalized dimensions D_q
    cascade(breaks, weights, bins=N)     the masses of N equal bins
    cells(breaks, weights, levels=M)     the n^M cells of level M

Break points and weights are any sequences or arrays of real numbers; results are NumPy arrays
made in C++ without a copy, read-only, in result objects that pickle and copy (a Dask worker
returns them). Numbers are taken as NumPy users expect of a function of reals, as numpy.log
takes them but stricter: arrays of integer or floating dtype, and sequences of Python or NumPy
ints and floats. InputError refuses, rather than convert, what would lose or invent meaning:
complex values (even with a zero imaginary part), masked arrays (the masked values would count),
bool, datetime and timedelta values, structured, string, bytes and object arrays (a str or bytes
is text, not a number, except for spectrum(), which reads its fields' text), and ints beyond
the range of doubles. Refused inputs raise InputError (a ValueError), run-time errors of an
analysis AnalysisError (an ArithmeticError). The long calls release the GIL, share the work
over threads (threads=None: one a core; the bits are the same on any number) and answer
Ctrl+C within a fraction of a second with KeyboardInterrupt.
"""

import operator
import sys
import warnings

import numpy as np

from . import _veltrane
from ._errors import AnalysisError, ErrorKind, InputError
from ._results import Cells, ClassicSpectrum, ExactSpectrum, MultifractalSpectrum

__version__: str = _veltrane.__version__

#: The most bins of cascade(), and cells of a level of cells(): 2^40, the core's limit. Bin
#: ends are placed with 106 bits, within about N 2^-100 of a bin, which keeps the masses'
#: precision up to it with a margin.
MAX_BINS: int = _veltrane.max_bins
_MAX_LEVELS = MAX_BINS.bit_length() - 1  # a map has two branches at least
_MAX_BINS_NOTE = f" (2^{_MAX_LEVELS})"

__all__ = [
    "AnalysisError", "Cells", "ClassicSpectrum", "ErrorKind", "ExactSpectrum", "InputError",
    "MAX_BINS", "MultifractalSpectrum", "cascade", "cells", "dq", "exact", "markov", "multifractal",
    "spectrum", "tau",
]

_MAX_THREADS = 1024


def _whole(value, name, low, high=None, note=""):
    """value as an int within [low, high], else InputError in the command line's words."""
    limits = f"from {low} to {high}{note}" if high is not None else f"of at least {low}"
    try:
        number = operator.index(value)
    except TypeError:
        number = None
    if isinstance(value, bool) or number is None or number < low or (
            high is not None and number > high):
        raise InputError(f"{name} takes a whole number {limits}")
    return number


def _threads(threads):
    if threads is None:
        return 0
    return _whole(threads, "threads", 1, _MAX_THREADS)


#: The most values a result may hold, rows times points: beyond, its arrays (32 bytes a point)
#: could not be addressed.
_MAX_VALUES = sys.maxsize // 32


def _reals(values, what):
    """values as a float64 array, if they are real numbers as the module's docstring says;
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
        kinds = {"b": "bool", "c": "complex", "M": "datetime", "m": "timedelta",
                 "U": "text", "S": "bytes", "V": "structured"}
        raise InputError(refusal + kinds.get(array.dtype.kind, str(array.dtype)))
    return np.asarray(array, dtype=np.float64, order="C")


def _is_table(values):
    return values.ndim == 2


def _points(points, rows=1):
    """points as an int from 2, such that rows × points values can be held."""
    points = _whole(points, "points", 2)
    most = _MAX_VALUES // max(rows, 1)
    if points > most:
        raise InputError(f"points takes a whole number from 2 to {most}"
                         + (f" for a table of {rows} rows" if rows > 1 else ""))
    return points


_CONTROLS = {c: f"\\x{c:02x}" for c in [*range(0x20), 0x7f]}


def _field_text(value, name):
    """What the windows' field would hold for value: the text itself, or the shortest text
    that reads back as the number."""
    if isinstance(value, str):
        # A control character cannot be part of a number, nor held by a field; written \xNN
        # it stays refused, and the message quoting it shows it instead of ending at a NUL.
        return value.translate(_CONTROLS)
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.number)):
        raise InputError(f"{name} must be a number or its text")
    return str(value)


def spectrum(c1, c2=None) -> ClassicSpectrum:
    """The windows' analysis of the two-branch map of break point C = c1, or of the
    three-branch map of break points C1 = c1 < C2 = c2.

    The values are read as the windows read their fields, in single precision: a number is
    taken as the shortest text that reads back as it (0.3 as "0.3"), a str as it stands. The
    result holds the points of the spectral diagram the analysis stores, float32 arrays
    lyapunov (the Lyapunov exponent, in nats per iteration), entropy (nats) and dimension
    (entropy / lyapunov), bit for bit what ``veltrane spectrum`` prints.

    Raises InputError for a refused map ("C must be >0 and <1", a text that is not a number)
    and AnalysisError for a run-time error of the analysis.
    """
    first = _field_text(c1, "C" if c2 is None else "C1")
    second = None if c2 is None else _field_text(c2, "C2")
    break_points, exponents, (lyapunov, entropy, dimension), messages = _veltrane.spectrum(
        first, second)
    for message in messages:
        warnings.warn(message, RuntimeWarning, stacklevel=2)
    return ClassicSpectrum(lyapunov, entropy, dimension, break_points, exponents, messages)


def exact(breaks, points=101, threads=None) -> ExactSpectrum:
    """The exact spectral diagram of the map with break points 0 < B_1 < ... < B_k < 1.

    points (at least 2) Lyapunov exponents are evenly spaced from the smallest branch exponent
    min L_i to the largest, the first and last exactly those. At each, the entropy h (nats) is
    the largest of weights p with sum p_i L_i = lyapunov, reached by p_i = l_i^beta /
    sum_j l_j^beta, so h = beta lyapunov + ln sum_j l_j^beta, and the dimension is h /
    lyapunov. Branches of equal length give the single point (ln n, ln n / L). Each value is
    within a few units of 1e-15 of itself; float64 arrays lyapunov, entropy, dimension, beta.

    breaks may also be a table, one map a row (all with the same number of branches): then each
    array is (maps, points), a map's diagram a row (a single point repeated along it), and
    exponents is (maps, branches).
    """
    return _exact(breaks, points, threads)


def _exact(breaks, points, threads, first_row=0):
    """exact(); a table's rows named in messages from first_row (a Dask block's place)."""
    breaks = _reals(breaks, "break points")
    threads = _threads(threads)
    if _is_table(breaks):
        points = _points(points, breaks.shape[0])
        exponents, columns = _veltrane.exact_table(breaks, points, threads, first_row)
    else:
        points = _points(points)
        exponents, columns = _veltrane.exact(breaks, points, threads)
    return ExactSpectrum(*columns, exponents)


def markov(pieces, points=101, threads=None) -> ExactSpectrum:
    """The exact spectral diagram of a piecewise-linear Markov map.

    Parameters
    ----------
    pieces : (n, 4) array_like
        One piece a row, ``left, right, image_left, image_right``: [left, right] maps linearly
        onto the segment from image_left to image_right, decreasing when image_left >
        image_right. The pieces tile [0, 1] in order; each image end is an end of a piece
        (the map is Markov); each slope s_i has |s_i| > 1; every piece can be reached from
        every other (the transition graph is irreducible).
    points : int
        The number of Lyapunov exponents, at least 2 (default 101).
    threads : int or None
        Threads to share the points over (None: one a core); the bits are the same on any.

    Returns
    -------
    ExactSpectrum
        With A_ij = 1 where piece i covers piece j, the pressure is P(beta) = ln rho(M_beta),
        (M_beta)_ij = A_ij |s_i|^-beta. lyapunov is evenly spaced from the smallest mean of
        ln|s_i| over the cycles of pieces to the largest, the first and last exactly those;
        entropy h = min over beta of P(beta) + beta lyapunov (nats), with beta the minimizer
        (+inf and -inf at the ends, where h is the entropy of the cycles attaining them);
        dimension = h / lyapunov; exponents the ln|s_i|, a piece each. The entropy is within
        about 1e-13 of itself. A map whose every piece covers [0, 1] gives exact()'s values for
        its break points, bit for bit.

    Raises
    ------
    InputError
        For a map that is refused, naming the piece (counted from 1), in the command line's
        words.

    Examples
    --------
    The golden-mean map: its smallest cycle mean is (ln(5/3) + ln(3/2)) / 2, and its largest
    entropy ln((1 + sqrt 5) / 2).

    >>> s = veltrane.markov([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], points=3)
    >>> float(s.lyapunov[0]), float(s.entropy[1])
    (0.45814536593707755, 0.4773856262211097)
    """
    points, threads = _points(points), _threads(threads)
    exponents, columns = _veltrane.markov(_reals(pieces, "pieces"), points, threads)
    return ExactSpectrum(*columns, exponents)


def multifractal(breaks, weights, points=101, threads=None) -> MultifractalSpectrum:
    """The multifractal spectrum f(alpha) of the Bernoulli measure of weights p_i on the map's
    branches of lengths l_i.

    alpha, the local dimension, takes points (at least 2) evenly spaced values from
    min ln p_i / ln l_i to the largest ratio; at each, tau(q) solves sum p_i^q l_i^tau = 1 for
    the order q with alpha = -tau'(q), and f(alpha) = tau(q) + q alpha. At the ends q is
    -/+inf and tau infinite, and f is exact. Each value is within about 1e-12 of itself;
    float64 arrays alpha, f, q, tau.
    """
    (columns,) = _veltrane.multifractal(_reals(breaks, "break points"),
                                        _reals(weights, "weights"), _points(points),
                                        _threads(threads))
    return MultifractalSpectrum(*columns)


def _orders(dq, breaks, weights, q, threads, first_row=0):
    """tau() (dq False) or dq(); a table's rows named in messages from first_row."""
    breaks = _reals(breaks, "break points")
    weights = _reals(weights, "weights")
    values = _reals(q, "q")
    threads = _threads(threads)
    if _is_table(breaks):
        return _veltrane.orders_table(breaks, weights, values, dq, threads, first_row)
    return _veltrane.orders(breaks, weights, values, dq, threads)


def tau(breaks, weights, q, threads=None):
    """tau(q), the mass exponent of the Bernoulli measure: the solution of
    sum p_i^q l_i^tau(q) = 1.

    q is a number or 0-d array (a float is returned) or an array of any shape (an array of that
    shape), finite (InputError otherwise). tau(0) = 1 and tau(1) = 0 exactly; elsewhere within about 1e-14 of itself. AnalysisError
    (OVERFLOW) where tau lies beyond the range of doubles.

    breaks and weights may also be tables, one measure a row (all with the same number of
    branches): the result is then (measures,) + q's shape, and an error names its measure.
    """
    return _orders(False, breaks, weights, q, threads)


def dq(breaks, weights, q, threads=None):
    """D_q = tau(q) / (1 - q), the generalized (Renyi) dimensions of the Bernoulli measure;
    D_1 = sum p_i ln p_i / sum p_i ln l_i, the information dimension.

    q is a number (a float is returned) or an array of any shape (an array of that shape);
    each value within about 1e-14 of itself, also near q = 1. Tables of measures as for tau.
    """
    return _orders(True, breaks, weights, q, threads)


def cascade(breaks, weights, bins, first=0, count=None, out=None, threads=None) -> np.ndarray:
    """The masses of the equal bins [j/N, (j+1)/N] of the Bernoulli measure, N = bins.

    Bins first .. first + count - 1 (all from first when count is None, 8 bytes a bin: ask
    a range of a large N); 1 <= N <= MAX_BINS (2^40).
    Each mass is a sum of positive terms, so it keeps its relative precision however small:
    within 1e-12 of itself (about 1e-14 for ordinary measures; masses below the normal range
    of doubles lose digits). out, when given, is a writable, C-contiguous float64 array of count values that
    receives the masses and is returned; on Ctrl+C it is left written in part.
    """
    bins = _whole(bins, "bins", 1, MAX_BINS, _MAX_BINS_NOTE)
    first = _whole(first, "first", 0, MAX_BINS)
    if count is not None:
        count = _whole(count, "count", 0, MAX_BINS)
    return _veltrane.cascade(_reals(breaks, "break points"), _reals(weights, "weights"), bins,
                             first, count, out, _threads(threads))


def cells(breaks, weights, levels, first=0, count=None, threads=None) -> Cells:
    """The n^M cells of level M = levels of the cascade, in order of position, numbered from
    0: their left ends, widths and masses p_(i_1) ... p_(i_M), cells first .. first + count - 1
    (all from first when count is None), n^M <= MAX_BINS. Each left end and each width is the
    double nearest its true value, within half a unit in its own last place (they are carried
    to 106 bits; an end far from 0 cannot be held closer, even where the cell is narrower than
    that unit); the masses within M units of rounding of themselves.
    """
    levels = _whole(levels, "levels", 1, _MAX_LEVELS)
    first = _whole(first, "first", 0, MAX_BINS)
    if count is not None:
        count = _whole(count, "count", 0, MAX_BINS)
    return Cells(*_veltrane.cells(_reals(breaks, "break points"), _reals(weights, "weights"),
                                  levels, first, count, _threads(threads)))
