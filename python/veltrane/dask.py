"""Cascades and sweeps as Dask collections: lazy arrays whose blocks the C++ core computes
wherever Dask runs them, on this machine's processes or on a cluster's.

    import veltrane.dask
    masses = veltrane.dask.cascade([0.2, 0.5], [0.5, 0.2, 0.3], bins=2**32, chunks=2**22)
    masses.to_zarr("masses.zarr")          # block k computed by a worker, for its bins only

A bin's mass depends only on the number of bins and its index, and a solver's result only on
its inputs, so the arrays hold the very bits of one call of the plain package, however they
are cut into blocks and wherever the blocks are computed (or recomputed after a worker is
lost). Dask is imported when a function here is first called; Debian packages it as
python3-dask, with python3-distributed for clusters and python3-zarr for stores.
"""

from typing import Any

import numpy as np
import numpy.typing as npt

import veltrane
from . import _common
from ._realizations import MAX_SEED

__all__ = ["beta", "cascade", "cdf_at_bins", "dq", "markov_cascade", "partition_sums",
           "random_cascade",
           "random_cascades", "random_partition_sums", "series", "spectra", "tau"]

#: Rows of a table in one block of a sweep: some milliseconds of work each.
TABLE_CHUNKS = 4096


def _dask() -> Any:
    try:
        import dask.array
        import dask.base
        import dask.delayed
    except ImportError as missing:
        raise ImportError(
            "veltrane.dask needs Dask (Debian: apt install python3-dask; python3-distributed "
            "for a cluster, python3-zarr to store arrays)") from missing
    return dask


def _bins(breaks: Any, weights: Any, bins: int, first: int, count: int,
          threads: int) -> npt.NDArray[np.float64]:
    return veltrane.cascade(breaks, weights, bins=bins, first=first, count=count,
                            threads=threads)


def cascade(breaks: object, weights: object, *, bins: int, chunks: Any = 2**22,
            threads: int = 1) -> Any:
    """The masses of N equal bins of a Bernoulli measure, as a lazy Dask array.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int
        N, the number of equal bins, 1 <= N <= veltrane.MAX_BINS (2^40).
    chunks : int or tuple of int, default 2**22
        Bins in a block, or the lengths of the blocks, adding up to bins.
    threads : int, default 1
        Threads a worker shares a block over (1: the worker's cores are Dask's to share out).

    Returns
    -------
    dask.array.Array
        The masses, float64 of shape (bins,), whose block k is ``veltrane.cascade(...,
        first=start_k, count=len_k)``, computed on whichever worker runs it.

    Raises
    ------
    InputError
        For refused break points, weights, bins, chunks or threads, raised here before Dask is
        imported rather than on a worker.
    ImportError
        Where Dask is not installed, naming the Debian packages.

    Notes
    -----
    A bin costs about 0.19 microseconds of one core, whatever N is, and 8 bytes stored: a
    block of 2^22 bins takes under a second. The bits are those of one veltrane.cascade()
    call, for any chunking, on any worker.

    Examples
    --------
    >>> masses = veltrane.dask.cascade([0.5], [1, 3], bins=8, chunks=3)
    >>> masses.chunks
    ((3, 3, 2),)
    >>> masses[2:6].compute()
    array([0.046875, 0.140625, 0.046875, 0.140625])
    """
    return _by_bins("cascade", _bins, breaks, weights, bins, bins, chunks, threads, "bins")


def _series(breaks: Any, weights: Any, bins: int, first: int, count: int,
            threads: int) -> npt.NDArray[np.float64]:
    return veltrane.series(breaks, weights, bins=bins, first=first, count=count,
                           threads=threads)


def _ends(breaks: Any, weights: Any, bins: int, first: int, count: int,
          threads: int) -> npt.NDArray[np.float64]:
    return veltrane.cdf_at_bins(breaks, weights, bins=bins, first=first, count=count - 1,
                                threads=threads)


def _by_bins(kind: str, compute: Any, breaks: object, weights: object, bins: int,
             length: int, chunks: Any, threads: int, unit: str = "values") -> Any:
    """A lazy array of length values (unit in messages), indexed as bins or bin ends are,
    whose block from start of size values is compute(breaks, weights, bins, start, size,
    threads)."""
    cuts = _common.reals(breaks, "break points")
    masses = _common.reals(weights, "weights")
    veltrane.cascade(cuts, masses, bins=bins, count=0)
    shared = _common.threads(threads)
    dask = _dask()
    try:
        blocks = dask.array.core.normalize_chunks(chunks, shape=(length,), dtype=np.float64)
    except (TypeError, ValueError, ZeroDivisionError):
        blocks = None
    if blocks is None or min(blocks[0], default=0) < 1:
        raise veltrane.InputError(f"chunks must be a whole number of {unit} from 1, or block "
                                  f"lengths from 1 that add up to {length}")
    name = f"veltrane-{kind}-" + dask.base.tokenize(cuts, masses, bins, blocks, shared)
    starts = np.cumsum((0,) + blocks[0][:-1])
    graph = {(name, k): (compute, cuts, masses, bins, int(start), int(size), shared)
             for k, (start, size) in enumerate(zip(starts, blocks[0]))}
    return dask.array.Array(graph, name, blocks, dtype=np.float64, meta=np.empty((0,)))


def _markov_bins(pieces: Any, weights: Any, bins: int, first: int, count: int,
                 threads: int) -> npt.NDArray[np.float64]:
    return veltrane.markov_cascade(pieces, weights, bins, first=first, count=count,
                                   threads=threads)


def markov_cascade(pieces: object, weights: object, *, bins: int, chunks: Any = 2**22,
                   threads: int = 1) -> Any:
    """The masses of N equal bins of a Markov measure, as a lazy Dask array.

    Parameters
    ----------
    pieces : (n, 4) array_like
        The map, a piece a row, as veltrane.markov_cascade() takes it.
    weights : sequence of n sequences
        The transition weights, a row a piece.
    bins : int
        N, the number of equal bins, 1 <= N <= veltrane.MAX_BINS (2^40).
    chunks : int or tuple of int, default 2**22
        Bins in a block, or the lengths of the blocks, adding up to bins.
    threads : int, default 1
        Threads a worker shares a block over.

    Returns
    -------
    dask.array.Array
        The masses, float64 of shape (bins,), whose block k is
        ``veltrane.markov_cascade(..., first=start_k, count=len_k)``.

    Raises
    ------
    InputError
        For a refused map, weights, bins, chunks or threads, raised here before Dask is
        imported rather than on a worker.
    ImportError
        Where Dask is not installed, naming the Debian packages.

    Notes
    -----
    The bits are those of one veltrane.markov_cascade() call, for any chunking, on any worker:
    a bin depends only on N and its index.

    Examples
    --------
    >>> masses = veltrane.dask.markov_cascade([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]],
    ...                                       [[1, 2], [1]], bins=8, chunks=3)
    >>> masses.chunks
    ((3, 3, 2),)
    """
    table = _common.reals(pieces, "pieces")
    try:
        rows = [_common.reals(row, "weights") for row in weights]  # type: ignore[attr-defined]
    except TypeError:
        raise veltrane.InputError("weights must be a sequence of rows, one a piece") from None
    veltrane.markov_cascade(table, rows, bins, count=0)
    shared = _common.threads(threads)
    dask = _dask()
    try:
        blocks = dask.array.core.normalize_chunks(chunks, shape=(bins,), dtype=np.float64)
    except (TypeError, ValueError, ZeroDivisionError):
        blocks = None
    if blocks is None or min(blocks[0], default=0) < 1:
        raise veltrane.InputError("chunks must be a whole number of bins from 1, or block "
                                  f"lengths from 1 that add up to {bins}")
    name = "veltrane-markov-cascade-" + dask.base.tokenize(table, rows, bins, blocks, shared)
    starts = np.cumsum((0,) + blocks[0][:-1])
    graph = {(name, k): (_markov_bins, table, rows, bins, int(start), int(size), shared)
             for k, (start, size) in enumerate(zip(starts, blocks[0]))}
    return dask.array.Array(graph, name, blocks, dtype=np.float64, meta=np.empty((0,)))


def series(breaks: object, weights: object, *, bins: int, chunks: Any = 2**22,
           threads: int = 1) -> Any:
    """The bin masses times N, veltrane.series(), as a lazy Dask array.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int
        N, the number of equal bins, 1 <= N <= veltrane.MAX_BINS (2^40).
    chunks : int or tuple of int, default 2**22
        Bins in a block, or the lengths of the blocks, adding up to bins.
    threads : int, default 1
        Threads a worker shares a block over.

    Returns
    -------
    dask.array.Array
        N mu_k, float64 of shape (bins,), whose block k is ``veltrane.series(...,
        first=start_k, count=len_k)``, the same bits for any chunking, on any worker.

    Raises
    ------
    InputError
        For refused break points, weights, bins, chunks or threads, raised here.
    ImportError
        Where Dask is not installed, naming the Debian packages.

    Notes
    -----
    In MFDFA the series has the generalized Hurst exponent h(q) = (tau(q) + 1) / q, tau(q) =
    (q - 1) D_q the partition-function exponent of veltrane.tau.

    Examples
    --------
    >>> veltrane.dask.series([0.5], [1, 3], bins=8, chunks=3).compute()
    array([0.125, 0.375, 0.375, 1.125, 0.375, 1.125, 1.125, 3.375])
    """
    return _by_bins("series", _series, breaks, weights, bins, bins, chunks, threads)


def cdf_at_bins(breaks: object, weights: object, *, bins: int, chunks: Any = 2**22,
                threads: int = 1) -> Any:
    """F at the N + 1 bin ends, veltrane.cdf_at_bins(), as a lazy Dask array.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int
        N, the number of equal bins, 1 <= N <= veltrane.MAX_BINS (2^40).
    chunks : int or tuple of int, default 2**22
        Ends in a block, or the lengths of the blocks, adding up to bins + 1.
    threads : int, default 1
        Threads a worker shares a block over.

    Returns
    -------
    dask.array.Array
        F(k / N) for k = 0 .. N, float64 of shape (bins + 1,), whose block of the ends from
        start_k is ``veltrane.cdf_at_bins(..., first=start_k, count=len_k - 1)``, the same bits
        for any chunking, on any worker.

    Raises
    ------
    InputError
        For refused break points, weights, bins, chunks or threads, raised here.
    ImportError
        Where Dask is not installed, naming the Debian packages.

    Notes
    -----
    As a signal it has the structure-function exponent zeta(q) = tau(q) + 1: its increments
    are the bin masses.

    Examples
    --------
    >>> veltrane.dask.cdf_at_bins([0.5], [1, 3], bins=4, chunks=2).compute()
    array([0.    , 0.0625, 0.25  , 0.4375, 1.    ])
    """
    return _by_bins("cdf-at-bins", _ends, breaks, weights, bins, bins + 1, chunks, threads)


def _table(dask: Any, values: Any, what: str, chunks: object) -> Any:
    """values as a Dask array of float64 in blocks of chunks rows (a Dask array keeps its
    own blocks of rows)."""
    if not isinstance(values, dask.array.Array):
        values = _common.reals(values, what)
    if values.ndim != 2:
        raise veltrane.InputError(f"{what} must be a table of numbers, one row a measure")
    if isinstance(values, dask.array.Array):
        table = values.astype(np.float64)
    else:
        rows = _common.whole(chunks, "chunks", 1)
        table = dask.array.from_array(values, chunks=(rows, -1))
    return table.rechunk({0: table.chunks[0], 1: -1})


def _first_row(block_info: Any) -> int:
    """The place in the whole table of the first row of the block map_blocks hands over, so
    that a message names the row as the table counts it."""
    return int(block_info[0]["array-location"][0][0]) if block_info else 0


_TABLE_ORDERS = """Parameters
    ----------
    breaks_table : array_like or dask.array.Array
        A 2-D table of break points, one measure a row, all with the same number; a Dask
        array keeps its own blocks of rows.
    weights_table : array_like or dask.array.Array
        The weights, a row a measure, as many rows as breaks_table.
    q : float or array_like
        The orders: a number or a one-dimensional array, finite.
    chunks : int, default TABLE_CHUNKS
        Rows in a block of a table given as NumPy (4096: some milliseconds of work).
    threads : int, default 1
        Threads a worker shares a block over.

    Returns
    -------
    dask.array.Array
        The float64 values, of shape (measures, len(q)), or (measures,) for a number q; each
        block as veltrane.{name}() computes it.

    Raises
    ------
    InputError
        At once for tables that are not 2-D or of different numbers of rows, or refused q or
        chunks; when computed, for a refused row, named by its place in the whole table.
    AnalysisError
        When computed, where the value lies beyond the range of doubles.
"""


def _order_rows(breaks: Any, weights: Any, q: Any, exponent: str, threads: int,
                block_info: Any = None) -> Any:
    return _common.orders(exponent, breaks, weights, q, threads, _first_row(block_info))


def _orders(breaks_table: object, weights_table: object, q: object, exponent: str, chunks: object,
            threads: object) -> Any:
    dask = _dask()
    orders = _common.reals(q, "q")
    if orders.ndim > 1:
        raise veltrane.InputError("q must be a number or a one-dimensional array of numbers")
    breaks = _table(dask, breaks_table, "break points", chunks)
    weights = _table(dask, weights_table, "weights", chunks)
    if weights.shape[0] != breaks.shape[0]:
        raise veltrane.InputError(f"{weights.shape[0]} rows of weights given for "
                                  f"{breaks.shape[0]} rows of break points")
    weights = weights.rechunk({0: breaks.chunks[0]})
    if orders.ndim == 1:
        shape = {"chunks": (breaks.chunks[0], (orders.size,)), "meta": np.empty((0, 0))}
    else:
        shape = {"chunks": (breaks.chunks[0],), "drop_axis": 1, "meta": np.empty((0,))}
    return dask.array.map_blocks(
        _order_rows, breaks, weights, dtype=np.float64, q=orders, exponent=exponent,
        threads=_common.threads(threads), **shape)


@_common.sections(_TABLE_ORDERS)
def tau(breaks_table: object, weights_table: object, q: object, *, chunks: int = TABLE_CHUNKS,
        threads: int = 1) -> Any:
    """The partition-function exponents tau(q) of every measure of a table, as a Dask array.

    {sections}
    See Also
    --------
    veltrane.tau : One measure, or one table, in one call.
    beta : -tau, the solution of sum p_i^q l_i^beta = 1.

    Notes
    -----
    tau(q) = (q - 1) D_q with sum_I mu(I)^q ~ |I|^tau. A measure costs about 0.43 microseconds
    of one core per order.

    Examples
    --------
    >>> veltrane.dask.tau([[0.5], [0.25]], [[1, 3], [1, 1]], [0.0, 2.0]).compute()
    array([[-1.        ,  0.67807191],
           [-1.        ,  0.73364445]])
    """
    return _orders(breaks_table, weights_table, q, "tau", chunks, threads)


@_common.sections(_TABLE_ORDERS)
def beta(breaks_table: object, weights_table: object, q: object, *, chunks: int = TABLE_CHUNKS,
         threads: int = 1) -> Any:
    """The exponent beta(q) of sum p_i^q l_i^beta = 1 of every measure of a table, in Dask.

    {sections}
    See Also
    --------
    veltrane.beta : One measure, or one table, in one call.

    Notes
    -----
    beta = -tau, the command line's "tau" column; beta(0) = 1 and beta(1) = 0 exactly.

    Examples
    --------
    >>> veltrane.dask.beta([[0.5], [0.25]], [[1, 3], [1, 1]], 2.0).compute()
    array([-0.67807191, -0.73364445])
    """
    return _orders(breaks_table, weights_table, q, "beta", chunks, threads)


@_common.sections(_TABLE_ORDERS)
def dq(breaks_table: object, weights_table: object, q: object, *, chunks: int = TABLE_CHUNKS,
       threads: int = 1) -> Any:
    """D_q of every measure of a table, as a lazy Dask array.

    {sections}
    See Also
    --------
    veltrane.dq : One measure, or one table, in one call.

    Notes
    -----
    D_q = tau(q) / (q - 1), within about 1e-14 of itself, as veltrane.dq() gives it.

    Examples
    --------
    >>> veltrane.dask.dq([[0.5], [0.25]], [[1, 3], [1, 1]], 2.0).compute()
    array([0.67807191, 0.73364445])
    """
    return _orders(breaks_table, weights_table, q, "dq", chunks, threads)


def _spectrum_rows(breaks: Any, points: int, threads: int, block_info: Any = None) -> Any:
    spectrum = _common.exact(breaks, points, threads, _first_row(block_info))
    return np.stack([spectrum.lyapunov, spectrum.entropy, spectrum.dimension, spectrum.beta],
                    axis=-1)


def _exponent_rows(breaks: Any) -> Any:
    return veltrane.exact(breaks, points=2, threads=1).exponents


def spectra(breaks_table: object, *, points: int = 101, chunks: int = TABLE_CHUNKS,
            threads: int = 1) -> veltrane.ExactSpectrum:
    """The exact spectral diagram of every map of a table, with Dask arrays.

    Parameters
    ----------
    breaks_table : array_like or dask.array.Array
        A 2-D table of break points, one map a row, all with the same number.
    points : int, default 101
        The number of Lyapunov exponents, at least 2.
    chunks : int, default TABLE_CHUNKS
        Rows in a block of a table given as NumPy.
    threads : int, default 1
        Threads a worker shares a block over.

    Returns
    -------
    ExactSpectrum
        Of Dask arrays: lyapunov, entropy, dimension and beta (maps, points), exponents
        (maps, branches), as veltrane.exact(table) gives them.

    Raises
    ------
    InputError
        At once for a table that is not 2-D or refused points or chunks; when computed, for
        a refused row, named by its place in the whole table.

    Notes
    -----
    The four arrays of the diagram share one computation: compute them together
    (dask.compute) to run it once.

    Examples
    --------
    >>> s = veltrane.dask.spectra([[0.5], [0.25]], points=3)
    >>> s
    ExactSpectrum(2 rows of 3 points)
    >>> s.entropy.compute()
    array([[0.69314718, 0.69314718, 0.69314718],
           [0.        , 0.69314718, 0.        ]])
    """
    dask = _dask()
    count = _common.whole(points, "points", 2)
    breaks = _table(dask, breaks_table, "break points", chunks)
    shared = _common.threads(threads)
    stacked = dask.array.map_blocks(
        _spectrum_rows, breaks, chunks=(breaks.chunks[0], (count,), (4,)), new_axis=2,
        dtype=np.float64, meta=np.empty((0, 0, 0)), points=count, threads=shared)
    exponents = dask.array.blockwise(
        _exponent_rows, "ib", breaks, "ij", new_axes={"b": breaks.shape[1] + 1},
        concatenate=True, dtype=np.float64, meta=np.empty((0, 0)))
    lyapunov, entropy, dimension, beta = (stacked[..., k] for k in range(4))
    return veltrane.ExactSpectrum(lyapunov, entropy, dimension, beta, exponents)


def _block_sums(breaks: Any, weights: Any, bins: int, first: int, count: int, q: Any,
                threads: int) -> npt.NDArray[np.float64]:
    return veltrane._veltrane.partition_block_sums(breaks, weights, bins, first, count, q,
                                                   threads)


def _fold(total: Any, blocks: Any, orders: int) -> npt.NDArray[np.float64]:
    return veltrane._veltrane.fold_block_sums(total, blocks, orders)


def _result(bins: list[int], q: Any, *totals: Any) -> veltrane.PartitionSums:
    return veltrane.PartitionSums(*veltrane._veltrane.partition_result(bins, q, np.stack(totals)))


def partition_sums(breaks: object, weights: object, *, bins: object, q: object,
                   chunks: int = 2**24, threads: int = 1) -> Any:
    """The partition sums Z_q(N), their bins summed in chunks on Dask's workers.

    Parameters
    ----------
    breaks : array_like
        The map's break points, increasing within (0, 1).
    weights : array_like
        The weights of the branches, positive, divided by their sum.
    bins : int or sequence of int
        The numbers of equal bins N, each 1 <= N <= veltrane.MAX_BINS (2^40), none twice.
    q : float or array_like
        The orders q, finite.
    chunks : int, default 2**24
        Bins a task sums, a whole number of the core's blocks of 2^20 bins.
    threads : int, default 1
        Threads a worker shares a chunk over.

    Returns
    -------
    dask.delayed.Delayed
        Its compute() gives the veltrane.PartitionSums of veltrane.partition_sums().

    Raises
    ------
    InputError
        For refused break points, weights, bins, q, chunks or threads, raised here before
        Dask is imported rather than on a worker.
    ImportError
        Where Dask is not installed, naming the Debian packages.

    Notes
    -----
    Each task returns the scaled, compensated sums of its chunk's blocks, one (shift, sum,
    carry) for each block and q, so that nothing overflows between machines; they are folded
    in the order of the blocks by a chain of small tasks, the very fold of the plain call, so
    the result has its bits, however the chunks are cut and wherever they run. Memory on the
    workers is a chunk's few blocks of bins; the fold holds one sum a q.

    Examples
    --------
    >>> z = veltrane.dask.partition_sums([0.5], [1, 3], bins=[2, 4], q=[0, 2])
    >>> z.compute().log_z
    array([[ 0.69314718, -0.47000363],
           [ 1.38629436, -0.94000726]])
    """
    cuts = _common.reals(breaks, "break points")
    masses = _common.reals(weights, "weights")
    veltrane.cascade(cuts, masses, bins=1, count=0)
    counts = sorted(veltrane._bin_counts(bins))
    orders = veltrane._orders(q)
    if not counts or len(set(counts)) != len(counts):
        raise veltrane.InputError("bins must give at least one number of bins, none twice")
    if orders.size == 0 or not np.all(np.isfinite(orders)):
        raise veltrane.InputError("q must give at least one order, each a finite number")
    block = veltrane._veltrane.partition_block
    blocks_a_chunk = _common.whole(chunks, "chunks", block, veltrane.MAX_BINS) // block
    if blocks_a_chunk * block != chunks:
        raise veltrane.InputError(f"chunks must be a whole number of blocks of {block} bins")
    shared = _common.threads(threads)
    dask = _dask()
    name = "veltrane-partition-" + dask.base.tokenize(cuts, masses, counts, orders,
                                                       blocks_a_chunk, shared)
    graph: dict[Any, Any] = {}
    totals = []
    for i, n in enumerate(counts):
        previous: Any = np.array([[-np.inf, 0.0, 0.0]] * len(orders))
        all_blocks = -(-n // block)
        for k, first in enumerate(range(0, all_blocks, blocks_a_chunk)):
            count = min(blocks_a_chunk, all_blocks - first)
            graph[(name + "-chunk", i, k)] = (_block_sums, cuts, masses, n, first, count, orders,
                                              shared)
            graph[(name + "-fold", i, k)] = (_fold, previous, (name + "-chunk", i, k),
                                             len(orders))
            previous = (name + "-fold", i, k)
        totals.append(previous)
    graph[name] = (_result, counts, orders, *totals)
    from dask.delayed import Delayed
    return Delayed(name, graph)


def _random_block(model: Any, seed: int, bins: int, first: int, count: int,
                  realizations: tuple[int, int], levels: int | None,
                  threads: int) -> npt.NDArray[np.float64]:
    rows = [veltrane.random_cascade(model, seed, bins, first=first, count=count, realization=r,
                                    levels=levels, threads=threads)
            for r in range(realizations[0], realizations[0] + realizations[1])]
    return np.stack(rows)


def _cuts(dask: Any, chunks: Any, length: int, what: str) -> tuple[int, ...]:
    try:
        blocks = dask.array.core.normalize_chunks(chunks, shape=(length,), dtype=np.float64)
    except (TypeError, ValueError, ZeroDivisionError):
        blocks = None
    if blocks is None or min(blocks[0], default=0) < 1:
        raise veltrane.InputError(f"chunks must be a whole number of {what} from 1, or block "
                                  f"lengths from 1 that add up to {length}")
    return tuple(int(b) for b in blocks[0])


def _starts(blocks: tuple[int, ...]) -> list[int]:
    return [int(s) for s in np.cumsum((0,) + blocks[:-1])]


def random_cascades(model: object, seed: int, bins: int, *, realizations: int, first: int = 0,
                    levels: int | None = None, chunks: Any = (1, 2**22),
                    threads: int = 1) -> Any:
    """The realizations of a random cascade side by side, as a lazy Dask array.

    Parameters
    ----------
    model : veltrane.models law
        The law of the weights.
    seed : int
        The seed shared by the realizations, 0 to 2^64 - 1.
    bins : int
        N, the number of equal bins of each realization, 1 <= N <= veltrane.MAX_BINS.
    realizations : int
        How many realizations, numbered first .. first + realizations - 1.
    first : int, default 0
        The number of the first realization.
    levels : int or None, default None
        The level a canonical cascade is stopped at, as veltrane.random_cascade takes it.
    chunks : tuple, default (1, 2**22)
        Realizations and bins in a block, or the lengths of the blocks along each axis.
    threads : int, default 1
        Threads a worker shares a block over.

    Returns
    -------
    dask.array.Array
        The masses, float64 of shape (realizations, bins): row r is
        ``veltrane.random_cascade(model, seed, bins, realization=first + r)``, bit for bit,
        however the blocks are cut and wherever they are computed.

    Raises
    ------
    InputError
        For a refused model, seed, bins, count or chunks, here rather than on a worker.

    Notes
    -----
    A block is a few realizations' bins from one start: each cell's weights are drawn from
    the seed, the realization and the cell's address alone, so a worker computes its block
    without the others, 8 bytes a bin stored.

    Examples
    --------
    >>> law = veltrane.models.Beta(a=2)
    >>> m = veltrane.dask.random_cascades(law, 7, 16, realizations=3, chunks=(2, 5))
    >>> m.shape, m.chunks
    ((3, 16), ((2, 1), (5, 5, 5, 1)))
    >>> bool((m[1].compute() == veltrane.random_cascade(law, 7, 16, realization=1)).all())
    True
    """
    veltrane.random_cascade(model, seed, bins, count=0, realization=first, levels=levels)
    count = _common.whole(realizations, "realizations", 1)
    veltrane.random_cascade(model, seed, bins, count=0, realization=first + count - 1)
    shared = _common.threads(threads)
    dask = _dask()
    if not isinstance(chunks, tuple) or len(chunks) != 2:
        raise veltrane.InputError("chunks must be a pair: realizations and bins in a block")
    rows = _cuts(dask, chunks[0], count, "realizations")
    columns = _cuts(dask, chunks[1], bins, "bins")
    name = "veltrane-random-cascades-" + dask.base.tokenize(
        model, seed, bins, first, levels, rows, columns, shared)
    graph = {(name, i, k): (_random_block, model, seed, bins, start, size, (first + r, height),
                            levels, shared)
             for i, (r, height) in enumerate(zip(_starts(rows), rows))
             for k, (start, size) in enumerate(zip(_starts(columns), columns))}
    return dask.array.Array(graph, name, (rows, columns), dtype=np.float64,
                            meta=np.empty((0, 0)))


def random_cascade(model: object, seed: int, bins: int, *, realization: int = 0,
                   levels: int | None = None, chunks: Any = 2**22, threads: int = 1) -> Any:
    """One realization of a random cascade, as a lazy Dask array.

    Parameters
    ----------
    model : veltrane.models law
        The law of the weights.
    seed : int
        The seed, 0 to 2^64 - 1.
    bins : int
        N, the number of equal bins, 1 <= N <= veltrane.MAX_BINS (2^40).
    realization : int, default 0
        The number of the realization of this seed.
    levels : int or None, default None
        The level a canonical cascade is stopped at, as veltrane.random_cascade takes it.
    chunks : int or tuple of int, default 2**22
        Bins in a block, or the lengths of the blocks, adding up to bins.
    threads : int, default 1
        Threads a worker shares a block over.

    Returns
    -------
    dask.array.Array
        The masses, float64 of shape (bins,), whose block k is ``veltrane.random_cascade(...,
        first=start_k, count=len_k)``: the bits of one call, for any chunking, on any worker.

    Raises
    ------
    InputError
        For a refused model, seed, bins or chunks, here rather than on a worker.

    Notes
    -----
    The row of random_cascades() for one realization: a worker computes the bins of its block
    only, as veltrane.random_cascade(first=, count=) does.

    Examples
    --------
    >>> law = veltrane.models.LogNormal(b=2, sigma2=0.2)
    >>> m = veltrane.dask.random_cascade(law, 1, 2**12, chunks=1000)
    >>> bool((m.compute() == veltrane.random_cascade(law, 1, 2**12)).all())
    True
    """
    if isinstance(chunks, tuple):
        chunks = (chunks,)
    return random_cascades(model, seed, bins, realizations=1, first=realization, levels=levels,
                           chunks=(1, chunks), threads=threads)[0]


def _ensemble_block(model: Any, seed: int, first: int, count: int, bins: list[int], q: Any,
                    threads: int) -> npt.NDArray[np.float64]:
    return veltrane.random_partition_sums(model, seed, bins=bins, q=q, realizations=count,
                                          first=first, threads=threads).log_z


def random_partition_sums(model: object, seed: int, *, bins: object, q: object,
                          realizations: int, first: int = 0, chunks: int = 100,
                          threads: int = 1) -> Any:
    """The ln Z_q(N) of an ensemble of realizations, a block of realizations a task.

    Parameters
    ----------
    model : veltrane.models law
        The law of the weights.
    seed : int
        The seed shared by the ensemble, 0 to 2^64 - 1.
    bins : int or sequence of int
        The numbers of bins N, none twice.
    q : float or array_like
        The orders, finite.
    realizations : int
        How many realizations, numbered first .. first + realizations - 1.
    first : int, default 0
        The number of the first realization.
    chunks : int, default 100
        Realizations a task computes; no task keeps their bins.
    threads : int, default 1
        Threads a worker shares a task's realizations over.

    Returns
    -------
    dask.array.Array
        The ln Z_q(N), float64 of shape (realizations, len(bins), len(q)): the log_z of
        veltrane.random_partition_sums(), bit for bit, however the realizations are cut.

    Raises
    ------
    InputError
        For a refused model, seed, bins, q, count or chunks, here rather than on a worker.

    Notes
    -----
    A task draws its realizations one after the other and keeps only their sums (one value a
    realization, N and q), never their bins: an ensemble of 10^4 realizations at 2^16 bins is
    10^4 len(bins) len(q) values however the work is shared.

    Examples
    --------
    >>> law = veltrane.models.LogNormal(b=2, sigma2=0.2)
    >>> z = veltrane.dask.random_partition_sums(law, 1, bins=[16, 256], q=[2.0, 3.0],
    ...                                         realizations=10, chunks=4)
    >>> z.shape, z.chunks[0]
    ((10, 2, 2), (4, 4, 2))
    """
    counts = _common.bin_counts(bins)
    orders = _common.order_list(q)
    count = _common.whole(realizations, "realizations", 1)
    origin = _common.whole(first, "first", 0, MAX_SEED)
    veltrane.random_cascade(model, seed, 1, count=0, realization=origin + count - 1)
    if len(set(counts)) != len(counts) or not np.all(np.isfinite(orders)):
        raise veltrane.InputError("bins must give each number of bins once, and q finite orders")
    shared = _common.threads(threads)
    dask = _dask()
    rows = _cuts(dask, _common.whole(chunks, "chunks", 1), count, "realizations")
    name = "veltrane-random-partition-" + dask.base.tokenize(model, seed, counts, orders, first,
                                                              rows, shared)
    graph = {(name, i, 0, 0): (_ensemble_block, model, seed, origin + start, size, counts, orders,
                               shared)
             for i, (start, size) in enumerate(zip(_starts(rows), rows))}
    return dask.array.Array(graph, name, (rows, (len(counts),), (len(orders),)),
                            dtype=np.float64, meta=np.empty((0, 0, 0)))
