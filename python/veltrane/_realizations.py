"""Realizations of random cascades, and the partition sums of ensembles of them."""

from typing import Any

import numpy as np
import numpy.typing as npt

from . import _common, _veltrane
from ._errors import InputError

#: The largest seed, realization number: the key of the generator holds 64 bits of each.
MAX_SEED = 2**64 - 1


def core_model(model: object) -> Any:
    """The compiled law behind a model of veltrane.models (or the compiled law itself)."""
    core = getattr(model, "_core", model)
    if not isinstance(core, _veltrane.RandomModel):
        raise InputError("model must be a law of veltrane.models, such as "
                         f"veltrane.models.LogNormal(b=2, sigma2=0.2), not {type(model).__name__}")
    return core


def random_cascade(model: object, seed: int, bins: int, *, first: int = 0,
                   count: int | None = None, out: npt.NDArray[np.float64] | None = None,
                   realization: int = 0, levels: int | None = None,
                   threads: int | None = None) -> npt.NDArray[np.float64]:
    """The masses of equal bins of one realization of a random cascade.

    Parameters
    ----------
    model : veltrane.models law
        The law of the weights, such as ``veltrane.models.LogNormal(b=2, sigma2=0.2)``.
    seed : int
        The seed, 0 to 2^64 - 1: with realization, the key of the counter-based generator.
    bins : int
        N, the number of equal bins, 1 <= N <= MAX_BINS (2^40).
    first : int, default 0
        The first bin asked for.
    count : int or None, default None
        How many bins from first; None for all of them.
    out : numpy.ndarray or None, default None
        A writable, C-contiguous float64 array of count values that receives the masses.
    realization : int, default 0
        The number of the realization of this seed, 0 to 2^64 - 1: realizations 0, 1, 2, ...
        are independent, as are those of different seeds.
    levels : int or None, default None
        The level the cascade is stopped at, uniform within its cells there. None: for
        canonical laws (log-normal, two-valued) the least J with b^J >= N, so that N = b^J
        bins are the level-J cells, products of J weights; for conservative laws, none.
    threads : int or None, default None
        Threads to share the bins over (None: one a core); the bits are the same on any number.

    Returns
    -------
    numpy.ndarray
        The masses of bins first .. first + count - 1, float64 (out, when given).

    Raises
    ------
    InputError
        For a model that is not a law, a seed or bins out of range, or an out that cannot take
        the bins.

    Notes
    -----
    Every cell's weights are drawn from the seed, the realization and the cell's level and
    index alone (Philox-4x64), so any range of bins is computed without the others, with the
    same bits whatever the ranges, threads or machine of the same build. Bins that are not
    cells are sums of positive terms, the cells holding their ends followed down until what is
    left is below 2^-50 of the bin. A list of one generator is the deterministic cascade:
    ``veltrane.cascade`` of that generator, bit for bit.

    Examples
    --------
    >>> law = veltrane.models.Beta(a=2)
    >>> m = veltrane.random_cascade(law, 7, 2**10)
    >>> float(m.sum())  # doctest: +ELLIPSIS
    1.0...
    >>> bool((veltrane.random_cascade(law, 7, 2**10, first=512, count=4) == m[512:516]).all())
    True
    """
    core = core_model(model)
    key = _common.whole(seed, "seed", 0, MAX_SEED)
    n = _common.whole(bins, "bins", 1, _common.MAX_BINS, _common.MAX_BINS_NOTE)
    start = _common.whole(first, "first", 0, _common.MAX_BINS)
    if count is not None:
        count = _common.whole(count, "count", 0, _common.MAX_BINS)
    number = _common.whole(realization, "realization", 0, MAX_SEED)
    stop = 0 if levels is None else _common.whole(levels, "levels", 1, 2**31 - 1)
    return _veltrane.random_cascade(core, key, n, start, count, out, number, stop,
                                    _common.threads(threads))


class RandomPartitionSums:
    """The partition sums ln Z_q(N) of each realization of an ensemble, at each N and q.

    Parameters
    ----------
    bins : numpy.ndarray
        The numbers of bins N.
    q : numpy.ndarray
        The orders q.
    realizations : numpy.ndarray
        The numbers of the realizations.
    log_z : numpy.ndarray
        The ln Z_q(N), of shape (len(realizations), len(bins), len(q)).

    Attributes
    ----------
    bins : numpy.ndarray
        The numbers of bins N, as given (uint64).
    q : numpy.ndarray
        The orders q (float64).
    realizations : numpy.ndarray
        The numbers of the realizations, first .. first + count - 1 (uint64).
    log_z : numpy.ndarray
        ln Z_q(N), float64 of shape (len(realizations), len(bins), len(q)).

    Notes
    -----
    veltrane.random_partition_sums makes them; each realization's rows are checked as
    veltrane.partition_sums checks a measure's.

    Examples
    --------
    >>> law = veltrane.models.Beta(a=2)
    >>> sums = veltrane.random_partition_sums(law, 3, bins=[4, 16], q=[0.0, 2.0],
    ...                                       realizations=5)
    >>> sums.log_mean().shape
    (2, 2)
    """

    def __init__(self, bins: npt.NDArray[np.uint64], q: npt.NDArray[np.float64],
                 realizations: npt.NDArray[np.uint64], log_z: npt.NDArray[np.float64]) -> None:
        self.bins = bins
        self.q = q
        self.realizations = realizations
        self.log_z = log_z

    def log_mean(self) -> npt.NDArray[np.float64]:
        """ln of the mean of Z_q(N) over the realizations, shape (len(bins), len(q)), summed
        on the scale of the largest so that no Z overflows."""
        top = self.log_z.max(axis=0)
        # Where every realization's sum is 0 (a law with empty cells that died out), so is
        # the mean: -inf, not the NaN of -inf - -inf.
        scale = np.where(np.isfinite(top), top, 0.0)
        mean: npt.NDArray[np.float64] = top + np.log(np.exp(self.log_z - scale).mean(axis=0))
        return np.where(np.isfinite(top), mean, top)

    def __repr__(self) -> str:
        return (f"RandomPartitionSums({len(self.realizations)} realizations, "
                f"bins={self.bins.tolist()}, {len(self.q)} q)")


def random_partition_sums(model: object, seed: int, *, bins: object, q: object,
                          realizations: int = 1, first: int = 0,
                          threads: int | None = None) -> RandomPartitionSums:
    """The partition sums of an ensemble of realizations, without keeping their bins.

    Parameters
    ----------
    model : veltrane.models law
        The law of the weights.
    seed : int
        The seed shared by the ensemble, 0 to 2^64 - 1.
    bins : int or sequence of int
        The numbers of bins N, each 1 <= N <= MAX_BINS, none twice.
    q : float or array_like
        The orders, finite.
    realizations : int, default 1
        How many realizations, numbered first .. first + realizations - 1.
    first : int, default 0
        The number of the first realization.
    threads : int or None, default None
        Threads to share the realizations over, one realization a thread (None: one a core);
        the bits are the same on any number.

    Returns
    -------
    RandomPartitionSums
        The ln Z_q(N) of each realization, each checked as veltrane.partition_sums checks.

    Raises
    ------
    InputError
        For a refused model, seed, bins, q or count.
    AnalysisError
        Where a mass underflows below the doubles for some q <= 0.

    Notes
    -----
    Z_q(N) = sum over the bins of mu^q, bins of mass 0 of a two-valued law with v = 0 left
    out. At N = b^J the measure of a canonical law is the cascade stopped at level J, so that
    the mean of Z_q(b^J) over realizations tends to (E sum_i W_i^q)^J = b^(-J tau(q)), tau of
    the law's model.tau(q).

    Examples
    --------
    >>> law = veltrane.models.LogNormal(b=2, sigma2=0.1)
    >>> sums = veltrane.random_partition_sums(law, 1, bins=[2**4, 2**8], q=[2.0],
    ...                                       realizations=8)
    >>> sums.log_z.shape
    (8, 2, 1)
    """
    core = core_model(model)
    key = _common.whole(seed, "seed", 0, MAX_SEED)
    ns = _common.bin_counts(bins)
    orders = _common.order_list(q)
    start = _common.whole(first, "first", 0, MAX_SEED)
    count = _common.whole(realizations, "realizations", 1, MAX_SEED - start + 1)
    log_z = _veltrane.random_partition_sums(core, key, start, count, ns, orders,
                                            _common.threads(threads))
    log_z.flags.writeable = False
    return RandomPartitionSums(np.asarray(ns, dtype=np.uint64), orders,
                               np.arange(start, start + count, dtype=np.uint64), log_z)
