"""Maps whose inverse branches are formulas in x: pressure, dimension and Lyapunov spectrum."""

from dataclasses import dataclass
from typing import Any

import numpy as np

from . import _common, _veltrane
from ._errors import InputError
from ._results import ExactSpectrum

#: The most significant digits analytic() computes, and the most branches and the longest
#: formula it takes.
MAX_DIGITS: int = 1000


@dataclass(frozen=True)
class PreciseValue:
    """A value to a number of significant digits, with its estimated error.

    Parameters
    ----------
    value : str
        The decimal digits, as many significant ones as digits says.
    error : str
        The error estimated from two runs of different numbers of collocation points, one
        significant digit rounded up ("3e-102").
    digits : int
        The significant digits of value; 0 for a pressure that is 0 to three times the
        working precision (beta the dimension of a linear map), whose value is "0" and whose
        size the error bounds.
    nodes : int
        The collocation points of the run printed.
    bits : int
        Its working precision.

    See Also
    --------
    analytic : The call that makes it.

    Notes
    -----
    ``float(v)`` is the nearest double; ``v.mpf()`` an mpmath number of the value at its
    precision (mpmath is imported only then).

    Examples
    --------
    >>> v = veltrane.analytic(["x/3", "(2+x)/3"], dimension=True, digits=20)
    >>> v.value
    '0.63092975357145743710'
    """

    value: str
    error: str
    digits: int
    nodes: int
    bits: int

    def __float__(self) -> float:
        return float(self.value)

    def mpf(self) -> Any:
        """The value as an mpmath number, read at its own precision.

        Returns
        -------
        mpmath.mpf
            The value, with bits bits of mantissa.

        Notes
        -----
        mpmath's later arithmetic rounds to its working precision, mpmath.mp.dps.

        Examples
        --------
        >>> v = veltrane.analytic(["x/3", "(2+x)/3"], dimension=True, digits=20)
        >>> import mpmath
        >>> mpmath.nstr(v.mpf(), 20)
        '0.6309297535714574371'
        """
        import mpmath

        with mpmath.workprec(self.bits):
            return mpmath.mpf(self.value)


def _branches(branches: object, continued_fraction: object) -> tuple[list[str], Any]:
    if (branches is None) == (continued_fraction is None):
        raise InputError("analytic takes the branches or continued_fraction, one of them")
    if continued_fraction is not None:
        digits = np.asarray(continued_fraction)
        if digits.ndim != 1 or digits.dtype.kind not in "iu":
            raise InputError("continued_fraction must be a sequence of whole numbers")
        if np.any(digits < 1) or np.any(digits > 10**6):
            raise InputError("continued_fraction's digits must be whole numbers from 1 to "
                             "1000000")
        return [], [int(d) for d in digits]
    if isinstance(branches, str):
        return [branches], None
    formulas = list(branches)  # type: ignore[call-overload]
    if not all(isinstance(f, str) for f in formulas):
        raise InputError("branches must be formulas in x, as text")
    return formulas, None


def _beta_text(beta: object) -> str:
    if isinstance(beta, np.ndarray) and beta.ndim == 0:
        beta = beta[()]  # one number, as beta without digits takes it
    if isinstance(beta, str):
        return beta
    if isinstance(beta, (bool, np.bool_)) or not isinstance(beta, (int, float, np.integer,
                                                                    np.floating)):
        raise InputError("beta with digits must be one number, or its decimal text")
    return repr(float(beta)) if isinstance(beta, (float, np.floating)) else str(int(beta))


def analytic(branches: object = None, *, continued_fraction: object = None,
             beta: object = None, dimension: bool = False, digits: int | None = None,
             points: int | None = None, threads: int | None = None) -> Any:
    """The pressure, dimension or Lyapunov spectrum of a map with analytic branches.

    Parameters
    ----------
    branches : sequence of str, optional
        The inverse branches psi_1 .. psi_n as formulas in x: numbers, x, pi, e, + - * / ^,
        parentheses, exp log sqrt sin cos tan atan sinh cosh. Each must take [0, 1] into
        [0, 1], contract on the interval the branches map into itself, and the images meet
        at most at their ends; each is checked with ball arithmetic.
    continued_fraction : sequence of int, optional
        Instead of branches: the digits a of a continued-fraction set, branches 1/(a + x).
    beta : float or array_like or str, optional
        The pressure P(beta) = ln of the leading eigenvalue of the transfer operator
        L f(x) = sum_i |psi_i'(x)|^beta f(psi_i(x)); with digits one number, read from its
        text (a float from its shortest repr).
    dimension : bool, default False
        The Hausdorff dimension of the repeller, the zero of P.
    digits : int, optional
        For beta or dimension: that many significant digits (1 .. 1000), as a PreciseValue.
    points : int, optional
        The Lyapunov spectrum over that many exponents (at least 2), as an ExactSpectrum.
    threads : int or None, default None
        Threads to share the spectrum's points over (None: one a core).

    Returns
    -------
    float or numpy.ndarray or PreciseValue or ExactSpectrum
        P(beta) (an array for an array beta) or the dimension as floats; a PreciseValue with
        digits; the spectrum, whose exponents attribute holds the ends of its range, for
        points.

    Raises
    ------
    InputError
        For branches that are refused (naming the branch and why), no or several of beta,
        dimension and points, digits out of range, or a map converging too slowly for the
        digits asked.

    Notes
    -----
    The operator is collocated at Chebyshev points of an interval the branches map into
    itself; in double precision with enough points for 13 digits, with digits in Arb's ball
    arithmetic with enough for them, checked by a run with more points. The spectrum's
    entropy is h = P(beta) + beta lambda at lambda = -P'(beta), with P' from the left and
    right eigenvectors; its range ends at the extreme exponents of the periodic orbits (up to
    a period of some thousands of orbits), or nearer where the collocations cannot resolve
    the equilibrium states that far.

    Examples
    --------
    >>> round(veltrane.analytic(continued_fraction=[1, 2], dimension=True), 12)
    0.531280506277
    >>> veltrane.analytic(continued_fraction=[1, 2], dimension=True, digits=30).value
    '0.531280506277205141624468647368'
    >>> s = veltrane.analytic(["x/2", "(2+x)/3"], points=3)
    >>> float(s.entropy[1])
    0.6931471805599453
    """
    formulas, cf = _branches(branches, continued_fraction)
    asked = (beta is not None) + bool(dimension) + (points is not None)
    if asked != 1:
        raise InputError("analytic computes one of beta, dimension and points")
    if digits is not None and points is not None:
        raise InputError("digits go with beta or dimension, not with points")
    solver = _veltrane.AnalyticSolver(formulas, cf)
    if points is not None:
        columns = solver.spectrum(_common.points(points), _common.threads(threads))
        low, high, _, _ = solver.range()
        return ExactSpectrum(*columns, np.array([low, high]))
    if digits is not None:
        count = _common.whole(digits, "digits", 1, MAX_DIGITS)
        if dimension:
            return PreciseValue(*solver.precise_dimension(count))
        return PreciseValue(*solver.precise_pressure(_beta_text(beta), count))
    if dimension:
        return solver.dimension()
    values = _common.reals(beta, "beta")
    out = np.array([solver.pressure(float(b)) for b in values.ravel()]).reshape(values.shape)
    return float(out) if out.ndim == 0 else out
