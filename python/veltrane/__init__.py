"""Exact spectra of piecewise-linear expanding maps of [0, 1] and of their Bernoulli measures.

A map with break points 0 < B_1 < ... < B_k < 1 has n = k + 1 branches, each stretching its
piece I_i = [B_(i-1), B_i] (B_0 = 0, B_n = 1) of length l_i onto [0, 1] with the exponent
L_i = ln(1/l_i). Weights p_1 ... p_n on the branches (any positive numbers, divided by their
sum) make a Bernoulli measure, the self-similar measure of the cascade that gives the cell
I_(i_1 ... i_m) the mass p_(i_1) ... p_(i_m).

    spectrum(c1, c2=None)      the windows' analysis of a two- or three-branch map (float32)
    exact(breaks, *, points)   the exact spectral diagram of any number of branches
    markov(pieces, *, points)  the exact spectral diagram of a piecewise-linear Markov map
    multifractal(breaks, weights, *, points)   f(alpha), with q and tau(q)
    tau(breaks, weights, q)    tau(q); dq(...) the generalized dimensions D_q
    cascade(breaks, weights, *, bins)     the masses of N equal bins
    cells(breaks, weights, *, levels)     the n^M cells of level M

The data (break points, weights, pieces, q, C) are positional; every option is keyword-only.
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

import warnings
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _common, _veltrane
from ._errors import AnalysisError, InputError
from ._results import Cells, ClassicSpectrum, ExactSpectrum, MultifractalSpectrum
from ._results import PartitionSums

__version__: str = _veltrane.__version__

#: The most bins of cascade(), and cells of a level of cells(): 2^40, the core's limit. Bin
#: ends are placed with 106 bits, within about N 2^-100 of a bin, which keeps the masses'
#: precision up to it with a margin.
MAX_BINS: int = _common.MAX_BINS

#: The kinds of AnalysisError, bound from the library's own list.
ErrorKind = _veltrane.ErrorKind

__all__ = [
    "AnalysisError", "Cells", "ClassicSpectrum", "ErrorKind", "ExactSpectrum", "InputError",
    "MAX_BINS", "MultifractalSpectrum", "cascade", "cells", "dq", "exact", "markov", "multifractal",
    "spectrum", "tau",
]
__all__ += ["PartitionSums", "partition_sums"]


def spectrum(c1: object, c2: object = None) -> ClassicSpectrum:
    """The windows' analysis of a two- or a three-branch map, in single precision.

    Parameters
    ----------
    c1 : float or str
        The break point C of a two-branch map, or C1 of a three-branch map. A number is read
        as the shortest text that reads back as it (0.3 as "0.3"), a str as it stands: the
        values are read as the windows read their fields, in single precision.
    c2 : float or str, optional
        The second break point C2 > C1 of a three-branch map; None for a two-branch map.

    Returns
    -------
    ClassicSpectrum
        The points of the spectral diagram the analysis stores, float32 arrays, bit for bit
        what ``veltrane spectrum`` prints.

    Raises
    ------
    InputError
        For a refused map ("C must be >0 and <1") or a text that is not a number, in the
        windows' words.
    AnalysisError
        For a run-time error of the analysis (a break point so small that 1 - C is 1 in
        double precision gives INVALID_OPERATION).

    Warns
    -----
    RuntimeWarning
        For each message the analysis shows on the way (the windows show each in a box).

    Notes
    -----
    The Lyapunov exponent is in nats per iteration, the entropy in nats and the dimension is
    entropy / lyapunov. The values are those of single precision arithmetic, as the windows
    show them; `exact` gives the same diagram in double precision, exactly.

    Examples
    --------
    >>> s = veltrane.spectrum(0.3)
    >>> len(s), s.lyapunov.dtype
    (101, dtype('float32'))
    >>> float(s.entropy.max())
    0.6931471824645996
    """
    first = _common.field_text(c1, "C" if c2 is None else "C1")
    second = None if c2 is None else _common.field_text(c2, "C2")
    break_points, exponents, (lyapunov, entropy, dimension), messages = _veltrane.spectrum(
        first, second)
    for message in messages:
        warnings.warn(message, RuntimeWarning, stacklevel=2)
    return ClassicSpectrum(lyapunov, entropy, dimension, break_points, exponents, messages)


def exact(breaks: object, *, points: int = 101, threads: int | None = None) -> ExactSpectrum:
    """The exact spectral diagram of the map with break points 0 < B_1 < ... < B_k < 1.

    Parameters
    ----------
    breaks : array_like
        The break points, increasing within (0, 1); or a table, one map a row, all with the
        same number of break points.
    points : int, default 101
        The number of Lyapunov exponents, at least 2.
    threads : int or None, default None
        Threads to share the points over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    ExactSpectrum
        The float64 arrays lyapunov, entropy, dimension and beta, a value a point, and
        exponents L_i, a value a branch. For a table each is (maps, points), a map's diagram
        a row (a single point repeated along it), and exponents is (maps, branches).

    Raises
    ------
    InputError
        For break points that are not increasing within (0, 1), not numbers, or a points or
        threads out of range; a table's row is named by its index ("measure 2: ...").
    AnalysisError
        INVALID_OPERATION for a branch whose exponent is 0 (1 - B_k is 1 in double precision).

    Notes
    -----
    The exponents are evenly spaced from the smallest branch exponent min L_i to the largest,
    the first and last exactly those. At each, the entropy h (nats) is the largest of weights
    p with sum p_i L_i = lyapunov, reached by p_i = l_i^beta / sum_j l_j^beta, so
    h = beta lyapunov + ln sum_j l_j^beta, and the dimension is h / lyapunov. Branches of
    equal length give the single point (ln n, ln n / L). Each value is within a few units of
    1e-15 of itself.

    Examples
    --------
    >>> e = veltrane.exact([0.5, 0.75], points=3)
    >>> e.lyapunov
    array([0.69314718, 1.03972077, 1.38629436])
    >>> e.entropy
    array([0.        , 1.03972077, 0.69314718])
    >>> veltrane.exact([[0.5], [0.25]], points=2).lyapunov.shape
    (2, 2)
    """
    return _common.exact(breaks, points, threads)


def markov(pieces: object, *, points: int = 101, threads: int | None = None) -> ExactSpectrum:
    """The exact spectral diagram of a piecewise-linear Markov map.

    Parameters
    ----------
    pieces : (n, 4) array_like
        One piece a row, ``left, right, image_left, image_right``: [left, right] maps linearly
        onto the segment from image_left to image_right, decreasing when image_left >
        image_right. The pieces tile [0, 1] in order; each image end is an end of a piece
        (the map is Markov); each slope s_i has |s_i| > 1; every piece can be reached from
        every other (the transition graph is irreducible).
    points : int, default 101
        The number of Lyapunov exponents, at least 2.
    threads : int or None, default None
        Threads to share the points over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    ExactSpectrum
        The arrays lyapunov, entropy, dimension and beta, a value a point, and exponents, the
        ln|s_i| of the pieces.

    Raises
    ------
    InputError
        For a map that is refused, naming the piece (counted from 1), in the command line's
        words.

    Notes
    -----
    With A_ij = 1 where piece i covers piece j, the pressure is P(beta) = ln rho(M_beta),
    (M_beta)_ij = A_ij |s_i|^-beta. lyapunov is evenly spaced from the smallest mean of
    ln|s_i| over the cycles of pieces to the largest, the first and last exactly those;
    entropy h = min over beta of P(beta) + beta lyapunov (nats), with beta the minimizer
    (+inf and -inf at the ends, where h is the entropy of the cycles attaining them);
    dimension = h / lyapunov. The entropy is within about 1e-13 of itself. A map whose every
    piece covers [0, 1] gives exact()'s values for its break points, bit for bit.

    Examples
    --------
    The golden-mean map: its smallest cycle mean is (ln(5/3) + ln(3/2)) / 2, and its largest
    entropy ln((1 + sqrt 5) / 2).

    >>> s = veltrane.markov([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], points=3)
    >>> float(s.lyapunov[0]), float(s.entropy[1])
    (0.45814536593707755, 0.4773856262211096)
    """
    count, shared = _common.points(points), _common.threads(threads)
    exponents, columns = _veltrane.markov(_common.reals(pieces, "pieces"), count, shared)
    return ExactSpectrum(*columns, exponents)


def multifractal(breaks: object, weights: object, *, points: int = 101,
                 threads: int | None = None) -> MultifractalSpectrum:
    """The multifractal spectrum f(alpha) of a Bernoulli measure.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights p_i of the n branches, positive and finite, divided by their sum.
    points : int, default 101
        The number of local dimensions alpha, at least 2.
    threads : int or None, default None
        Threads to share the points over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    MultifractalSpectrum
        The float64 arrays alpha, f, q and tau, a value a point.

    Raises
    ------
    InputError
        For refused break points or weights (not one a branch, not positive), or points or
        threads out of range.
    AnalysisError
        OVERFLOW where the largest local dimension is beyond the range of doubles.

    Notes
    -----
    alpha takes evenly spaced values from min ln p_i / ln l_i to the largest ratio; at each,
    tau(q) solves sum p_i^q l_i^tau = 1 for the order q with alpha = -tau'(q), and
    f(alpha) = tau(q) + q alpha. At the ends q is -/+inf and tau infinite, and f is exact.
    Interior values are within about 1e-12 of themselves. Ratios that all lie within 2^-50 of
    each other give the single point alpha = f = 1, q = 0, tau = 1.

    Examples
    --------
    The two-scale cascade on pieces of 1/3 and 2/3 with equal weights: alpha from
    ln 2 / ln 3 to ln 2 / ln(3/2).

    >>> m = veltrane.multifractal([1/3], [1, 1], points=3)
    >>> m.alpha
    array([0.63092975, 1.17022052, 1.70951129])
    >>> m.f
    array([0.        , 0.98398861, 0.        ])
    """
    (columns,) = _veltrane.multifractal(_common.reals(breaks, "break points"),
                                        _common.reals(weights, "weights"),
                                        _common.points(points), _common.threads(threads))
    return MultifractalSpectrum(*columns)


def tau(breaks: object, weights: object, q: object, *, threads: int | None = None) -> Any:
    """The mass exponents tau(q) of a Bernoulli measure.

    Parameters
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
        OVERFLOW where tau lies beyond the range of doubles.

    See Also
    --------
    dq : The generalized dimensions tau(q) / (1 - q).

    Notes
    -----
    tau(q) is the solution of sum p_i^q l_i^tau(q) = 1. tau(0) = 1 and tau(1) = 0 exactly;
    elsewhere within about 1e-14 of itself.

    Examples
    --------
    >>> veltrane.tau([0.5], [1, 3], 2.0)
    -0.6780719051126376
    >>> veltrane.tau([0.5], [1, 3], [0, 1])
    array([1., 0.])
    """
    return _common.orders(False, breaks, weights, q, threads)


def dq(breaks: object, weights: object, q: object, *, threads: int | None = None) -> Any:
    """D_q, the generalized (Renyi) dimensions of a Bernoulli measure.

    Parameters
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
        OVERFLOW where D_q lies beyond the range of doubles.

    See Also
    --------
    tau : The mass exponents.

    Notes
    -----
    D_q = tau(q) / (1 - q); D_1 = sum p_i ln p_i / sum p_i ln l_i, the information dimension.
    Each value is within about 1e-14 of itself, also for q as close to 1 as a double gets.

    Examples
    --------
    >>> veltrane.dq([0.5], [1, 3], [0.0, 1.0, 2.0])
    array([1.        , 0.81127812, 0.67807191])
    >>> veltrane.dq([[0.3], [0.4]], [[1, 2], [1, 1]], 2.0)
    array([0.99210232, 0.94578995])
    """
    return _common.orders(True, breaks, weights, q, threads)


def cascade(breaks: object, weights: object, *, bins: int, first: int = 0,
            count: int | None = None, out: npt.NDArray[np.float64] | None = None,
            threads: int | None = None) -> npt.NDArray[np.float64]:
    """The masses of equal bins of a Bernoulli measure.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int
        N, the number of equal bins [j/N, (j+1)/N], 1 <= N <= MAX_BINS (2^40).
    first : int, default 0
        The first bin asked for.
    count : int or None, default None
        How many bins from first; None for all of them, 8 bytes a bin: ask for a range of a
        large N.
    out : numpy.ndarray or None, default None
        A writable, C-contiguous float64 array of count values that receives the masses and
        is returned; on Ctrl+C it is left written in part.
    threads : int or None, default None
        Threads to share the bins over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    numpy.ndarray
        The masses of bins first .. first + count - 1, float64 (out, when given).

    Raises
    ------
    InputError
        For refused break points or weights, bins that do not exist, or an out that cannot
        take them.

    Notes
    -----
    Each mass is a sum of positive terms, so it keeps its relative precision however small:
    within 1e-12 of itself (about 1e-14 for ordinary measures; masses below the normal range
    of doubles lose digits).

    Examples
    --------
    >>> veltrane.cascade([0.5], [1, 3], bins=4)
    array([0.0625, 0.1875, 0.1875, 0.5625])
    >>> out = np.empty(2)
    >>> veltrane.cascade([0.5], [1, 3], bins=2**36, first=2**35, count=2, out=out) is out
    True
    """
    n = _common.whole(bins, "bins", 1, MAX_BINS, _common.MAX_BINS_NOTE)
    start = _common.whole(first, "first", 0, MAX_BINS)
    if count is not None:
        count = _common.whole(count, "count", 0, MAX_BINS)
    return _veltrane.cascade(_common.reals(breaks, "break points"),
                             _common.reals(weights, "weights"), n, start, count, out,
                             _common.threads(threads))


def cells(breaks: object, weights: object, *, levels: int, first: int = 0,
          count: int | None = None, threads: int | None = None) -> Cells:
    """The n^M cells of level M of the cascade, in order of position.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the n branches, positive, divided by their sum.
    levels : int
        M, from 1, with n^M <= MAX_BINS.
    first : int, default 0
        The first cell asked for, numbered from 0.
    count : int or None, default None
        How many cells from first; None for all of them.
    threads : int or None, default None
        Threads to share the cells over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    Cells
        Their left ends, widths and masses p_(i_1) ... p_(i_M), float64.

    Raises
    ------
    InputError
        For refused break points or weights, or cells that do not exist.

    Notes
    -----
    Each left end and each width is the double nearest its true value, within half a unit in
    its own last place (they are carried to 106 bits; an end far from 0 cannot be held
    closer, even where the cell is narrower than that unit); the masses are within M units
    of rounding of themselves.

    Examples
    --------
    >>> c = veltrane.cells([0.25], [1, 3], levels=2)
    >>> c.left
    array([0.    , 0.0625, 0.25  , 0.4375])
    >>> c.mass
    array([0.0625, 0.1875, 0.1875, 0.5625])
    """
    depth = _common.whole(levels, "levels", 1, _common.MAX_LEVELS)
    start = _common.whole(first, "first", 0, MAX_BINS)
    if count is not None:
        count = _common.whole(count, "count", 0, MAX_BINS)
    return Cells(*_veltrane.cells(_common.reals(breaks, "break points"),
                                  _common.reals(weights, "weights"), depth, start, count,
                                  _common.threads(threads)))


def _bin_counts(bins: object) -> list[int]:
    counts = [bins] if isinstance(bins, (int, np.integer)) else list(bins)  # type: ignore[call-overload]
    return [_common.whole(n, "bins", 1, MAX_BINS, _common.MAX_BINS_NOTE) for n in counts]


def partition_sums(breaks: object, weights: object, *, bins: object, q: object,
                   threads: int | None = None) -> PartitionSums:
    """The partition sums Z_q(N) of a Bernoulli measure's equal bins, exactly.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int or sequence of int
        The numbers of equal bins N, each 1 <= N <= MAX_BINS (2^40), in any order, none twice.
    q : float or array_like
        The orders q, finite, negative ones included.
    threads : int or None, default None
        Threads to share the bins over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    PartitionSums
        N ascending, q as given, ln Z_q(N) of shape (len(bins), len(q)) and the apparent
        exponents between consecutive N, of shape (len(bins) - 1, len(q)).

    Raises
    ------
    InputError
        For refused break points or weights, a number of bins out of range or given twice, or
        a q that is not finite.
    AnalysisError
        With kind OVERFLOW where a mass is below the doubles (0) and some q <= 0; with kind
        INTERNAL where a result breaks a bound the mathematics guarantees (Z_0 = N, Z_1 = 1,
        convex in q), in place of the result.

    Notes
    -----
    Z_q(N) = sum over k of mu([k/N, (k+1)/N])^q, with the masses of veltrane.cascade(), summed
    a block of 2^20 bins at a time with compensated sums held as a log, so that nothing
    overflows and memory does not grow with N. Each ln Z is within about 2^-52 max |q ln mu|
    of the sum of the bins' own powers. The partition-function exponent is tau(q) = (q - 1) D_q,
    with Z_q(N) ~ N^(-tau(q)); it is the negative of veltrane.tau().

    Examples
    --------
    >>> z = veltrane.partition_sums([0.5], [1, 3], bins=[4, 2], q=[-1, 0, 2])
    >>> z.bins
    array([2, 4], dtype=uint64)
    >>> z.log_z
    array([[ 1.67397643,  0.69314718, -0.47000363],
           [ 3.34795287,  1.38629436, -0.94000726]])
    >>> z.tau_apparent
    array([[-2.4150375 , -1.        ,  0.67807191]])
    """
    counts = _bin_counts(bins)
    return PartitionSums(*_veltrane.partition_sums(
        _common.reals(breaks, "break points"), _common.reals(weights, "weights"), counts,
        _orders(q), _common.threads(threads)))


def _orders(q: object) -> npt.NDArray[np.float64]:
    orders = np.atleast_1d(_common.reals(q, "q"))
    if orders.ndim != 1:
        raise InputError("q must be a number or a one-dimensional array of numbers")
    return orders
