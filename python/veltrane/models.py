"""Laws of random multiplicative cascades and their exact expected multifractal spectra.

Every cell of a random cascade hands its children weights drawn from one law, independently
of every other cell. The laws here:

    LogNormal(b, sigma2)          W_i = b^-1 exp(sigma N_i - sigma2 / 2), canonical
    Beta(a)                       (W, 1 - W), W ~ Beta(a, a), conservative
    Dirichlet(alpha)              (W_1 .. W_b) ~ Dirichlet(alpha), conservative
    Permutation(weights)          the weights in a uniformly random order, conservative
    TwoValued(b, p, u)            W_i = u with probability p, else v, b (p u + (1 - p) v) = 1
    Generators(generators, probabilities)   a map's break points and weights drawn at random

Each has tau(q) and exponents(q) as veltrane.tau and veltrane.exponents have them for a
measure, with tau(q) = -log_b E sum W_i^q (generator lists: the root of
sum_k pi_k sum_i p^q l^-tau = 1), and the orders q_star (where f(alpha(q)) = 0), q_crit (where
tau is 0 again, for canonical laws) and q_min (where the moments end).

Notes
-----
A law is a frozen dataclass: it hashes, compares and pickles by its parameters, and its
compiled model (the property _core, which veltrane's realizations take) is made once, on first
use. The figures are exact to about 1e-13 of themselves against 60-digit ones.

Examples
--------
>>> law = veltrane.models.LogNormal(b=2, sigma2=0.2)
>>> law.q_star
(-2.6327688477341593, 2.6327688477341593)
>>> law.exponents([0.0, 1.0]).f
array([1.        , 0.8557305])
"""

from __future__ import annotations

import dataclasses
from typing import Any

import numpy as np

from . import _common, _veltrane
from ._results import Exponents

__all__ = ["LogNormal", "Beta", "Dirichlet", "Permutation", "TwoValued", "Generators"]


class _Law:
    """What every law shares: the compiled model, and the spectrum read from it."""

    __slots__ = ()

    def _make(self) -> Any:
        raise NotImplementedError

    @property
    def _core(self) -> Any:
        """The compiled model (veltrane._veltrane.RandomModel), made once a law."""
        cached = self.__dict__.get("_compiled")
        if cached is None:
            cached = self._make()
            object.__setattr__(self, "_compiled", cached)
        return cached

    def tau(self, q: object) -> Any:
        """The expected partition-function exponent tau(q) at the orders q.

        Parameters
        ----------
        q : float or array_like
            Finite orders above q_min, a number or an array of any shape.

        Returns
        -------
        float or numpy.ndarray
            tau(q) of q's shape, tau(0) = -1 (but where cells of mass 0 are left out) and
            tau(1) = 0 exactly.

        Raises
        ------
        InputError
            For q that is not finite or not above q_min.
        AnalysisError
            INTERNAL where a value breaks a bound the mathematics guarantees.

        Examples
        --------
        >>> veltrane.models.LogNormal(b=2, sigma2=0.2).tau(2.0)
        0.7114609918222072
        """
        orders = _common.reals(q, "q")
        values = self._core.exponents(np.atleast_1d(orders))[1]
        return values if np.ndim(orders) else float(values[0])

    def exponents(self, q: object) -> Exponents:
        """Every expected exponent at the orders q, in each convention.

        Parameters
        ----------
        q : float or array_like
            Finite orders above q_min, a number or an array of any shape.

        Returns
        -------
        Exponents
            The float64 arrays q, tau, dq, hurst, zeta, beta, alpha and f, each of q's shape
            (one value for a number q), as veltrane.exponents gives them for a measure.

        Raises
        ------
        InputError
            For q that is not finite or not above q_min.
        AnalysisError
            INTERNAL where a value breaks a bound the mathematics guarantees: checked are
            tau(0) and tau(1), tau concave, D_q not rising, f at most the support's dimension.

        Examples
        --------
        >>> veltrane.models.Beta(a=2).exponents([0.0, 1.0]).alpha
        array([1.20224587, 0.84157211])
        """
        return Exponents(*self._core.exponents(np.atleast_1d(_common.reals(q, "q"))))

    def spectrum(self, q: object = None) -> Exponents:
        """The expected exponents over a range of orders, for a table or a plot.

        Parameters
        ----------
        q : array_like or None, default None
            The orders; None: 201 orders evenly spaced from -10 (or just above q_min) to 10.

        Returns
        -------
        Exponents
            As exponents(q); f against alpha is the spectrum, negative beyond q_star.

        Examples
        --------
        >>> len(veltrane.models.LogNormal().spectrum().q)
        201
        """
        if q is None:
            low = max(-10.0, self.q_min + 1e-3 * (1.0 + abs(self.q_min)))
            q = np.linspace(low, 10.0, 201)
        return self.exponents(q)

    @property
    def q_star(self) -> tuple[float, float]:
        """(q*-, q*+): where f(alpha(q)) = 0, q*- < 0 < 1 < q*+, -inf and inf where f stays
        positive; beyond them a single realization's exponents are linear in q."""
        return (self._core.q_star_minus, self._core.q_star_plus)

    @property
    def q_crit(self) -> float:
        """The q > 1 where tau(q) = 0 again for a canonical law, below which the total mass has
        a finite moment of order q; inf for conservative laws and where tau stays positive."""
        return float(self._core.q_crit)

    @property
    def q_min(self) -> float:
        """The moments E W^q are finite exactly for q > q_min: -inf but for Dirichlet laws,
        where it is -min(alpha)."""
        return float(self._core.q_min)

    def __getstate__(self) -> dict[str, Any]:
        # The parameters alone: the compiled model is made again where the law is unpickled.
        return {k: v for k, v in self.__dict__.items() if k != "_compiled"}

    def __setstate__(self, state: dict[str, Any]) -> None:
        self.__dict__.update(state)

    def describe(self) -> str:
        """The law as the command line's --random reads it ("generators:K" for a list)."""
        return str(self._core.describe())


def _floats(values: object, what: str) -> tuple[float, ...]:
    return tuple(float(v) for v in np.atleast_1d(_common.reals(values, what)))


@dataclasses.dataclass(frozen=True)
class LogNormal(_Law):
    """The log-normal cascade: W_i = b^-1 exp(sigma N_i - sigma2 / 2), N_i standard normal.

    Parameters
    ----------
    b : int, default 2
        Children a cell, 2 to 64, each 1/b long.
    sigma2 : float, default 0.2
        The variance sigma^2 of ln W, from 0 up to (not including) 2 ln b, where the cascade
        becomes degenerate.

    Notes
    -----
    Canonical: E sum W_i = 1. tau(q) = q - 1 - sigma2 (q^2 - q) / (2 ln b),
    q_star = -+sqrt(2 ln b / sigma2), q_crit = 2 ln b / sigma2.

    Examples
    --------
    >>> veltrane.models.LogNormal(b=2, sigma2=0.2).q_crit
    6.931471805599452
    """

    b: int = 2
    sigma2: float = 0.2

    def _make(self) -> Any:
        return _veltrane.RandomModel.log_normal(int(self.b), float(self.sigma2))


@dataclasses.dataclass(frozen=True)
class Beta(_Law):
    """The symmetric Beta split: (W, 1 - W) with W ~ Beta(a, a), the Dirichlet law (a, a).

    Parameters
    ----------
    a : float, default 2.0
        Positive and finite; large a splits evenly, small a unevenly.

    Notes
    -----
    Conservative, b = 2; E W^q = Gamma(a + q) Gamma(2a) / (Gamma(a) Gamma(2a + q)), finite for
    q > -a.

    Examples
    --------
    >>> veltrane.models.Beta(a=0.5).q_min
    -0.5
    """

    a: float = 2.0

    def _make(self) -> Any:
        return _veltrane.RandomModel.beta(float(self.a))


@dataclasses.dataclass(frozen=True)
class Dirichlet(_Law):
    """The Dirichlet split: (W_1 .. W_b) ~ Dirichlet(alpha_1 .. alpha_b).

    Parameters
    ----------
    alpha : sequence of float
        2 to 64 positive finite parameters, one a child.

    Examples
    --------
    >>> veltrane.models.Dirichlet(alpha=(1, 2, 3)).tau(0.0)
    -1.0
    """

    alpha: tuple[float, ...] = (1.0, 1.0)

    def __post_init__(self) -> None:
        object.__setattr__(self, "alpha", _floats(self.alpha, "alpha"))

    def _make(self) -> Any:
        return _veltrane.RandomModel.dirichlet(np.asarray(self.alpha, dtype=float))


@dataclasses.dataclass(frozen=True)
class Permutation(_Law):
    """A fixed weight vector in a uniformly random order among the b children.

    Parameters
    ----------
    weights : sequence of float
        2 to 64 positive finite weights, divided by their sum.

    Notes
    -----
    Conservative; its expected spectrum is that of the deterministic b-adic cascade with
    these weights, E sum W_i^q = sum w_i^q.

    Examples
    --------
    >>> veltrane.models.Permutation(weights=(1, 3)).tau(2.0)
    0.6780719051126376
    """

    weights: tuple[float, ...] = (0.5, 0.5)

    def __post_init__(self) -> None:
        object.__setattr__(self, "weights", _floats(self.weights, "weights"))

    def _make(self) -> Any:
        return _veltrane.RandomModel.permutation(np.asarray(self.weights, dtype=float))


@dataclasses.dataclass(frozen=True)
class TwoValued(_Law):
    """The binomial law: each W_i is u with probability p, else v = (1 - b p u) / (b (1 - p)).

    Parameters
    ----------
    b : int, default 2
        Children a cell, 2 to 64.
    p : float, default 0.5
        In (0, 1).
    u : float, default 0.7
        In (1/b, 1/(b p)], so that 0 <= v < u; v = 0 is the beta-model, whose cells of mass
        0 are left out of the sums (tau(0) = -log_b(b p)).

    Notes
    -----
    Canonical, E sum W_i = 1; refused where E sum W ln W >= 0 (degenerate).

    Examples
    --------
    >>> veltrane.models.TwoValued(b=2, p=0.5, u=0.7).q_star
    (-inf, inf)
    """

    b: int = 2
    p: float = 0.5
    u: float = 0.7

    def _make(self) -> Any:
        return _veltrane.RandomModel.two_valued(int(self.b), float(self.p), float(self.u))


@dataclasses.dataclass(frozen=True)
class Generators(_Law):
    """A list of generators, one drawn for each cell: generator k with probability pi_k.

    Parameters
    ----------
    generators : sequence of (breaks, weights)
        Each the break points of a map (increasing within (0, 1), empty for a cell left
        whole) and one positive weight a branch, divided by their sum; at least one generator
        must split.
    probabilities : sequence of float
        pi_k, positive and finite, one a generator, divided by their sum.

    Notes
    -----
    Conservative. tau solves sum_k pi_k sum_i p_ki^q l_ki^-tau = 1; a single generator is the
    deterministic cascade of veltrane.exponents.

    Examples
    --------
    >>> g = veltrane.models.Generators([((0.5,), (1, 3))], [1.0])
    >>> g.tau(2.0)
    0.6780719051126376
    """

    generators: tuple[tuple[tuple[float, ...], tuple[float, ...]], ...] = ()
    probabilities: tuple[float, ...] = ()

    def __post_init__(self) -> None:
        generators = tuple((tuple(float(b) for b in breaks), _floats(weights, "weights"))
                           for breaks, weights in self.generators)
        object.__setattr__(self, "generators", generators)
        object.__setattr__(self, "probabilities",
                           _floats(self.probabilities, "probabilities"))

    def _make(self) -> Any:
        return _veltrane.RandomModel.generators(
            [np.asarray(breaks, dtype=float) for breaks, _ in self.generators],
            [np.asarray(weights, dtype=float) for _, weights in self.generators],
            np.asarray(self.probabilities, dtype=float))
