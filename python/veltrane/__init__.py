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
    exponents(breaks, weights, q)   every convention at once: tau, dq, hurst, zeta, beta,
                                    alpha and f
    tau(breaks, weights, q)    tau(q) = (q - 1) D_q, sum_I mu(I)^q ~ |I|^tau (tau(0) = -1);
                               dq(...) D_q; hurst(...) h = (tau + 1) / q of MFDFA;
                               zeta(...) tau + 1; beta(...) -tau, sum p^q l^beta = 1
    cascade(breaks, weights, *, bins)     the masses of N equal bins
    cells(breaks, weights, *, levels)     the n^M cells of level M
    markov_cells(pieces, weights, *, levels)   the cells of level M of a Markov measure
    cdf(breaks, weights, x), survival(...)    F(x) = mu([0, x]) and 1 - F(x)
    series(breaks, weights, *, bins)      the bin masses times N, for MFDFA
    cdf_at_bins(breaks, weights, *, bins) F at the bin ends k/N, for wavelet leaders
    partition_sums(breaks, weights, *, bins, q)   ln Z_q(N) at each N, and the slopes
    analytic(branches, *, beta | dimension | points, digits)   maps whose inverse branches
                               are formulas: pressure, dimension (to any digits), spectrum

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
from ._results import (Cells, ClassicSpectrum, ExactSpectrum, Exponents, MultifractalSpectrum,
                       PartitionSums)
from . import models
from ._realizations import RandomPartitionSums, random_cascade, random_partition_sums
from ._analytic import PreciseValue, analytic

__version__: str = _veltrane.__version__

#: The most bins of cascade(), and cells of a level of cells(): 2^40, the core's limit. Bin
#: ends are placed with 106 bits, within about N 2^-100 of a bin, which keeps the masses'
#: precision up to it with a margin.
MAX_BINS: int = _common.MAX_BINS

#: The kinds of AnalysisError, bound from the library's own list.
ErrorKind = _veltrane.ErrorKind

__all__ = [
    "AnalysisError", "Cells", "PreciseValue", "analytic", "ClassicSpectrum", "ErrorKind", "ExactSpectrum", "InputError",
    "Exponents", "MAX_BINS", "MultifractalSpectrum", "PartitionSums", "RandomPartitionSums",
    "beta", "cascade", "cdf", "cdf_at_bins", "cells", "dq", "exact", "exponents", "hurst",
    "markov", "markov_cascade", "markov_cells", "markov_multifractal", "models", "multifractal", "partition_sums", "random_cascade",
    "random_partition_sums", "series", "spectrum", "survival", "tau", "zeta",
]


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
        The float64 arrays alpha, f, q and tau (the partition-function exponent), a value a
        point.

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
    q is the order with alpha = tau'(q), tau(q) = (q - 1) D_q the partition-function exponent
    (sum_I mu(I)^q ~ |I|^tau), and f(alpha) = q alpha - tau(q). At the ends q is +/-inf and
    tau infinite, and f is exact. Interior values are within about 1e-12 of themselves. Ratios
    that all lie within 2^-50 of each other give the single point alpha = f = 1, q = 0,
    tau = -1.

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


def markov_multifractal(pieces: object, weights: object, *, points: int = 101,
                        threads: int | None = None) -> MultifractalSpectrum:
    """The multifractal spectrum f(alpha) of a Markov measure on a Markov map.

    Parameters
    ----------
    pieces : (n, 4) array_like
        The map, as :func:`markov` takes it: one piece a row, ``left, right, image_left,
        image_right``.
    weights : sequence of n sequences
        Row i holds the weights of the moves from piece i to the pieces its image covers, left
        to right in [0, 1], positive and finite, divided by their sum: the transition
        probabilities P_ij.
    points : int, default 101
        The number of local dimensions alpha, at least 2.
    threads : int or None, default None
        Threads to share the points over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    MultifractalSpectrum
        The float64 arrays alpha, f, q and tau (the partition-function exponent), a value a
        point.

    Raises
    ------
    InputError
        For a refused map, or weights that are not one row a piece, a row whose length is not
        its piece's number of moves, a weight that is not positive.
    AnalysisError
        INTERNAL where a point could not be proven within its bounds (in place of the point).

    Notes
    -----
    The cylinder [i_0 ... i_m] has the measure pi_{i_0} P_{i_0 i_1} ... P_{i_{m-1} i_m}, pi the
    stationary law of P. tau(q) is the root of rho(M) = 1, M_ij = A_ij P_ij^q |s_i|^tau; alpha
    runs from the smallest to the largest ratio sum(-ln P) / sum(ln |s|) over the cycles of
    the map. Every piece onto [0, 1] and equal rows make the Bernoulli measure of the row, and
    the values of :func:`multifractal`, to the bit.

    Examples
    --------
    The golden-mean map, piece 1 onto both pieces with weights 1 and 2, piece 2 onto piece 1:

    >>> m = veltrane.markov_multifractal([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], [[1, 2], [1]],
    ...                                  points=3)
    >>> m.alpha
    array([0.44250705, 1.29658358, 2.1506601 ])
    >>> m.f
    array([0.        , 0.99430814, 0.        ])
    """
    try:
        rows = [_common.reals(row, "weights") for row in weights]  # type: ignore[attr-defined]
    except TypeError:
        raise InputError("weights must be a sequence of rows, one a piece") from None
    (columns,) = _veltrane.markov_multifractal(_common.reals(pieces, "pieces"), rows,
                                               _common.points(points), _common.threads(threads))
    return MultifractalSpectrum(*columns)


@_common.orders_documented
def tau(breaks: object, weights: object, q: object, *, threads: int | None = None) -> Any:
    """The partition-function exponent tau(q) of a Bernoulli measure, as estimators define it.

    {sections}
    See Also
    --------
    exponents : Every convention at once, with alpha(q) and f.
    beta : The exponent of sum p_i^q l_i^beta = 1, which is -tau.

    Notes
    -----
    Boxes I of length |I| = 1/N hold sum_I mu(I)^q ~ |I|^tau(q) as N grows: box counting
    estimates this tau. tau(q) = (q - 1) D_q, tau(0) = -1 and tau(1) = 0 exactly; elsewhere
    within about 1e-14 of itself. The package's tau was formerly beta, of the other sign (the
    README says what changed).

    Examples
    --------
    >>> veltrane.tau([0.5], [1, 3], 2.0)
    0.6780719051126376
    >>> veltrane.tau([0.5], [1, 3], [0, 1])
    array([-1.,  0.])
    """
    return _common.orders("tau", breaks, weights, q, threads)


@_common.orders_documented
def beta(breaks: object, weights: object, q: object, *, threads: int | None = None) -> Any:
    """The exponent beta(q) of sum p_i^q l_i^beta = 1 over the branches of a Bernoulli measure.

    {sections}
    See Also
    --------
    tau : The partition-function exponent, -beta.

    Notes
    -----
    The exponent of the thermodynamic formalism of a self-similar measure, and the column
    "tau" of the command line's multifractal tables: beta(0) = 1 and beta(1) = 0 exactly,
    f(alpha) = beta(q) + q alpha; elsewhere within about 1e-14 of itself.

    Examples
    --------
    >>> veltrane.beta([0.5], [1, 3], 2.0)
    -0.6780719051126376
    """
    return _common.orders("beta", breaks, weights, q, threads)


@_common.orders_documented
def hurst(breaks: object, weights: object, q: object, *, threads: int | None = None) -> Any:
    """The generalized Hurst exponent h(q) that MFDFA finds on the series of bin masses.

    {sections}
    See Also
    --------
    series : The series of bin masses it describes.
    zeta : The product q h(q).

    Notes
    -----
    tau(q) = q h(q) - 1, so h(q) = (tau(q) + 1) / q, and h(0) = tau'(0) = alpha(0) in the
    limit; h(1) = 1 and h(2) is the Hurst exponent of the series' fluctuation function. Near
    q = 0, h comes from its own equation sum l_i expm1(q ln(p_i / l_i^h)) = 0 rather than
    from tau + 1, which loses its digits there: within about 1e-12 of itself for any q.

    Examples
    --------
    >>> veltrane.hurst([0.5], [1, 3], [1.0, 2.0])
    array([1.        , 0.83903595])
    """
    return _common.orders("hurst", breaks, weights, q, threads)


@_common.orders_documented
def zeta(breaks: object, weights: object, q: object, *, threads: int | None = None) -> Any:
    """The structure-function exponent zeta(q) of the distribution function F(x) = mu([0, x]).

    {sections}
    See Also
    --------
    hurst : The ratio zeta(q) / q.

    Notes
    -----
    zeta(q) = tau(q) + 1 = q h(q): the sum over the N boxes of |F((k+1)/N) - F(k/N)|^q,
    divided by N (the structure function normalised by the number of boxes, as wavelet
    leaders and structure functions take it), scales as N^-zeta(q). zeta(0) = 0 and
    zeta(1) = 1 exactly.

    Examples
    --------
    >>> veltrane.zeta([0.5], [1, 3], [0.0, 1.0, 2.0])
    array([0.        , 1.        , 1.67807191])
    """
    return _common.orders("zeta", breaks, weights, q, threads)


def exponents(breaks: object, weights: object, q: object, *,
              threads: int | None = None) -> Exponents:
    """Every exponent of a Bernoulli measure at the orders q, each in its own convention.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights p_i of the n branches, positive and finite, divided by their sum.
    q : float or array_like
        The orders, finite: a number or an array of any shape.
    threads : int or None, default None
        Threads to share the orders over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    Exponents
        The float64 arrays q, tau, dq, hurst, zeta, beta, alpha and f, each of q's shape (one
        value for a number q).

    Raises
    ------
    InputError
        For refused break points, weights or q.
    AnalysisError
        OVERFLOW where a value, or the largest local dimension, lies beyond the doubles.

    See Also
    --------
    tau, dq, hurst, zeta, beta : One of them alone, for one measure or a table.

    Notes
    -----
    tau(q) = (q - 1) D_q with sum_I mu(I)^q ~ |I|^tau; D_q; h = (tau + 1) / q; zeta = tau + 1
    = q h; beta = -tau; alpha = tau'(q), the local dimension the order q weighs most; and
    f = q alpha - tau, the dimension of the points of that local dimension. Each value is
    checked against the bounds the mathematics guarantees before it is handed back.

    Examples
    --------
    >>> e = veltrane.exponents([0.5], [1, 3], [0.0, 1.0])
    >>> e.tau, e.hurst
    (array([-1.,  0.]), array([1.20751875, 1.        ]))
    """
    columns = _veltrane.exponents(_common.reals(breaks, "break points"),
                                  _common.reals(weights, "weights"),
                                  np.atleast_1d(_common.reals(q, "q")),
                                  _common.threads(threads))
    return Exponents(*columns)


@_common.orders_documented
def dq(breaks: object, weights: object, q: object, *, threads: int | None = None) -> Any:
    """D_q, the generalized (Renyi) dimensions of a Bernoulli measure.

    {sections}
    See Also
    --------
    tau : The partition-function exponent (q - 1) D_q.

    Notes
    -----
    D_q = tau(q) / (q - 1), with tau the partition-function exponent; D_1 = sum p_i ln p_i /
    sum p_i ln l_i, the information dimension. Each value is within about 1e-14 of itself, also
    for q as close to 1 as a double gets.

    Examples
    --------
    >>> veltrane.dq([0.5], [1, 3], [0.0, 1.0, 2.0])
    array([1.        , 0.81127812, 0.67807191])
    >>> veltrane.dq([[0.3], [0.4]], [[1, 2], [1, 1]], 2.0)
    array([0.99210232, 0.94578995])
    """
    return _common.orders("dq", breaks, weights, q, threads)


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


def markov_cascade(pieces: object, weights: object, bins: int, *, first: int = 0,
                   count: int | None = None, out: npt.NDArray[np.float64] | None = None,
                   threads: int | None = None) -> npt.NDArray[np.float64]:
    """The masses of equal bins of a Markov measure on a Markov map.

    Parameters
    ----------
    pieces : (n, 4) array_like
        The map, as :func:`markov` takes it: one piece a row, ``left, right, image_left,
        image_right``; at most 2048 pieces.
    weights : sequence of n sequences
        The transition weights, as :func:`markov_multifractal` takes them.
    bins : int
        N, the number of equal bins [j/N, (j+1)/N], 1 <= N <= MAX_BINS (2^40).
    first : int, default 0
        The first bin asked for.
    count : int or None, default None
        How many bins from first; None for all of them, 8 bytes a bin.
    out : numpy.ndarray or None, default None
        A writable, C-contiguous float64 array of count values that receives the masses and
        is returned; on Ctrl+C it is left written in part.
    threads : int or None, default None
        Threads to share the bins over, 1 to 1024 (None: one a core); the bits are the same
        on any number, and a bin's are the same in any range.

    Returns
    -------
    numpy.ndarray
        The masses of bins first .. first + count - 1, float64 (out, when given).

    Raises
    ------
    InputError
        For a refused map or weights (as :func:`markov_multifractal`), more than 2048 pieces,
        bins that do not exist, or an out that cannot take them.
    AnalysisError
        Where a bin end lies so near a periodic point of several pieces whose slopes multiply
        to nearly 1 (1 + 1e-9) that more than 2^-40 of a bin is left undivided after 2^27
        levels, rather than share it by length.

    Notes
    -----
    The cylinder [i_0 ... i_m], the part of piece i_0 the map takes through pieces i_1 ... i_m
    in turn, has the mass pi_{i_0} P_{i_0 i_1} ... P_{i_{m-1} i_m}. Each bin is a sum of
    positive terms, as :func:`cascade`'s: the cylinders whole in it and the parts of those
    around its ends, split until what is left is below 2^-50 of the smaller bin beside the end.

    Examples
    --------
    The golden-mean map, piece 1 onto both pieces with weights 1 and 2, piece 2 onto piece 1:

    >>> veltrane.markov_cascade([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], [[1, 2], [1]], 2)
    array([0.30312162, 0.69687838])
    """
    n = _common.whole(bins, "bins", 1, MAX_BINS, _common.MAX_BINS_NOTE)
    start = _common.whole(first, "first", 0, MAX_BINS)
    if count is not None:
        count = _common.whole(count, "count", 0, MAX_BINS)
    try:
        rows = [_common.reals(row, "weights") for row in weights]  # type: ignore[attr-defined]
    except TypeError:
        raise InputError("weights must be a sequence of rows, one a piece") from None
    return _veltrane.markov_cascade(_common.reals(pieces, "pieces"), rows, n, start, count, out,
                                    _common.threads(threads))


_MOST_MARKOV_LEVELS = 2**32 - 1  # the levels the library counts in


def markov_cells(pieces: object, weights: object, *, levels: int, first: int = 0,
                 count: int | None = None, threads: int | None = None) -> Cells:
    """The cells of level M of a Markov measure on a Markov map, in order of position.

    Parameters
    ----------
    pieces : (n, 4) array_like
        The map, as :func:`markov_cascade` takes it; at most 2048 pieces.
    weights : sequence of n sequences
        The transition weights, as :func:`markov_cascade` takes them.
    levels : int
        M, from 1: the cells are the cylinders [i_0 ... i_M] of M + 1 pieces, 1^T A^M 1 of
        them for the map's 0/1 matrix of moves A, at most MAX_BINS (which allows levels beyond
        40 where the pieces cover few others).
    first : int, default 0
        The first cell asked for, numbered from 0.
    count : int or None, default None
        How many cells from first; None for all of them.
    threads : int or None, default None
        Threads to share the cells over, 1 to 1024 (None: one a core); the bits are the same
        on any number, and a cell's are the same in any range.

    Returns
    -------
    Cells
        Their left ends, widths and masses pi_(i_0) P_(i_0 i_1) ... P_(i_(M-1) i_M), float64.

    Raises
    ------
    InputError
        For a refused map or weights, more than 2048 pieces, a level of more than MAX_BINS
        cells, or cells that do not exist.

    Notes
    -----
    A decreasing branch reverses the order of its sub-cylinders. Each left end and width is the
    double nearest its value carried to 106 bits; a Bernoulli measure written as a Markov one
    (every piece onto [0, 1], rows equal) has at level M the cells of :func:`cells` at M + 1.

    Examples
    --------
    >>> c = veltrane.markov_cells([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], [[1, 2], [1]], levels=1)
    >>> c.left
    array([0.  , 0.36, 0.6 ])
    >>> c.mass
    array([0.2, 0.4, 0.4])
    """
    # Not 40 as for n^M cells: a map whose pieces cover few others has many more levels of at
    # most 2^40 cells (56 for the golden mean), refused by their count of cells instead.
    depth = _common.whole(levels, "levels", 1, _MOST_MARKOV_LEVELS)
    start = _common.whole(first, "first", 0, MAX_BINS)
    if count is not None:
        count = _common.whole(count, "count", 0, MAX_BINS)
    try:
        rows = [_common.reals(row, "weights") for row in weights]  # type: ignore[attr-defined]
    except TypeError:
        raise InputError("weights must be a sequence of rows, one a piece") from None
    return Cells(*_veltrane.markov_cells(_common.reals(pieces, "pieces"), rows, depth, start,
                                         count, _common.threads(threads)))


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


def _distribution(survival: bool, breaks: object, weights: object, x: object,
                  threads: object) -> npt.NDArray[np.float64]:
    return _veltrane.distribution(_common.reals(breaks, "break points"),
                                  _common.reals(weights, "weights"), _common.reals(x, "x"),
                                  survival, _common.threads(threads))


def cdf(breaks: object, weights: object, x: object, *,
        threads: int | None = None) -> npt.NDArray[np.float64]:
    """The distribution function F(x) = mu([0, x]) of a Bernoulli measure.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    x : array_like
        Points in [0, 1], of any shape.
    threads : int or None, default None
        Threads to share the points over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    numpy.ndarray
        F at each point, float64 of x's shape (0-d for a number).

    Raises
    ------
    InputError
        For refused break points or weights, or a point outside [0, 1] or NaN (named by its
        place in x's flattened order, from 1).

    Notes
    -----
    Each value is a sum of positive terms: the cells whole left of x and the parts of the cell
    holding x, split until what is left is below 2^-64 of either side. So F keeps its relative
    precision however small it is, near x = 0 too (down to the smallest double): within a few
    units of 1e-16 of itself, up to about 2e-13 where a branch within 1/64 of the whole is
    taken down in closed form; values below the normal range of doubles lose digits. F(0) = 0
    and F(1) = 1 exactly. Two points between which the measure is below a unit in the last
    place of F may come out in either order.

    Examples
    --------
    >>> veltrane.cdf([0.5], [1, 3], [0, 0.25, 0.5, 0.75, 1])
    array([0.    , 0.0625, 0.25  , 0.4375, 1.    ])
    >>> float(veltrane.cdf([0.3], [1, 2], 1e-300))
    1.858469425492089e-274
    """
    return _distribution(False, breaks, weights, x, threads)


def survival(breaks: object, weights: object, x: object, *,
             threads: int | None = None) -> npt.NDArray[np.float64]:
    """The survival function 1 - F(x) = mu([x, 1]) of a Bernoulli measure.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    x : array_like
        Points in [0, 1], of any shape.
    threads : int or None, default None
        Threads to share the points over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    numpy.ndarray
        1 - F at each point, float64 of x's shape (0-d for a number).

    Raises
    ------
    InputError
        For refused break points or weights, or a point outside [0, 1] or NaN.

    Notes
    -----
    Computed as cdf() is, from the right end, never as 1 minus F: near x = 1 it keeps its
    relative precision as F does near 0 (1 - F(1 - 2^-53) below, where 1 - cdf() gives 0).

    Examples
    --------
    >>> veltrane.survival([0.5], [1, 3], [0, 0.25, 0.5, 0.75, 1])
    array([1.    , 0.9375, 0.75  , 0.5625, 0.    ])
    >>> float(veltrane.survival([0.3], [1, 2], 1 - 2**-53))
    7.290389783550386e-19
    """
    return _distribution(True, breaks, weights, x, threads)


def series(breaks: object, weights: object, *, bins: int, first: int = 0,
           count: int | None = None, out: npt.NDArray[np.float64] | None = None,
           threads: int | None = None) -> npt.NDArray[np.float64]:
    """The bin masses times N, a signal of mean 1 for MFDFA and wavelet leaders.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int
        N, the number of equal bins, 1 <= N <= MAX_BINS (2^40).
    first : int, default 0
        The first bin asked for.
    count : int or None, default None
        How many bins from first; None for all of them.
    out : numpy.ndarray or None, default None
        A writable, C-contiguous float64 array of count values that receives the signal and is
        returned.
    threads : int or None, default None
        Threads to share the bins over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    numpy.ndarray
        N mu_k for k = first .. first + count - 1, float64 (out, when given).

    Raises
    ------
    InputError
        As cascade() does.

    Notes
    -----
    The masses of cascade(), each multiplied by N (exactly, where N is a power of two;
    else with one rounding): the mean of all N values is 1 within rounding. Its exponents are
    the measure's: in MFDFA the series N mu_k has the generalized Hurst exponent
    h(q) = (tau(q) + 1) / q, where tau(q) = (q - 1) D_q is the partition-function exponent
    (veltrane.tau), since its profile is N F(k / N), whose increments over s bins are N times
    the masses of boxes of s / N.

    Examples
    --------
    >>> veltrane.series([0.5], [1, 3], bins=4)
    array([0.25, 0.75, 0.75, 2.25])
    """
    n = _common.whole(bins, "bins", 1, MAX_BINS, _common.MAX_BINS_NOTE)
    masses = cascade(breaks, weights, bins=n, first=first, count=count, out=out,
                     threads=threads)
    masses *= float(n)
    return masses


def cdf_at_bins(breaks: object, weights: object, *, bins: int, first: int = 0,
                count: int | None = None,
                threads: int | None = None) -> npt.NDArray[np.float64]:
    """The distribution function F at the bin ends k / N, the integral of series() / N.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int
        N, the number of equal bins, 1 <= N <= MAX_BINS (2^40).
    first : int, default 0
        The first bin end asked for.
    count : int or None, default None
        How many bins from first: count + 1 ends, first .. first + count; None for all of
        them, to N.
    threads : int or None, default None
        Threads to share the ends over, 1 to 1024 (None: one a core); the bits are the same
        on any number.

    Returns
    -------
    numpy.ndarray
        F(k / N) for k = first .. first + count, float64 (count + 1 values).

    Raises
    ------
    InputError
        For refused break points or weights, or ends that do not exist.

    Notes
    -----
    Each value is computed as cdf() computes a point, at the exact k / N (placed with 106
    bits), not summed from the bins, so it depends only on N and k and keeps its relative
    precision near 0; F(0) = 0 and F(1) = 1 exactly. Its differences are the bin masses of
    cascade() within 2e-15 of F. As a signal, F at the bin ends has the structure-function
    exponent zeta(q) = tau(q) + 1: its increments over s bins are the masses of boxes of
    s / N, whose q-th moments summed over the N / s boxes scale as (s / N)^tau(q).

    Examples
    --------
    >>> veltrane.cdf_at_bins([0.5], [1, 3], bins=4)
    array([0.    , 0.0625, 0.25  , 0.4375, 1.    ])
    >>> veltrane.cdf_at_bins([0.5], [1, 3], bins=2**40, first=2**39, count=1)
    array([0.25, 0.25])
    """
    n = _common.whole(bins, "bins", 1, MAX_BINS, _common.MAX_BINS_NOTE)
    start = _common.whole(first, "first", 0, MAX_BINS)
    if count is not None:
        count = _common.whole(count, "count", 0, MAX_BINS)
    return _veltrane.cdf_at_bins(_common.reals(breaks, "break points"),
                                 _common.reals(weights, "weights"), n, start, count,
                                 _common.threads(threads))


_bin_counts = _common.bin_counts


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
    with Z_q(N) ~ N^(-tau(q)); it is veltrane.tau().

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


_orders = _common.order_list
