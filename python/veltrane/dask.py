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

import numpy as np

import veltrane
from ._errors import InputError
from ._results import ExactSpectrum

__all__ = ["cascade", "dq", "spectra", "tau"]

#: Rows of a table in one block of a sweep: some milliseconds of work each.
TABLE_CHUNKS = 4096


def _dask():
    try:
        import dask.array
        import dask.base
    except ImportError as missing:
        raise ImportError(
            "veltrane.dask needs Dask (Debian: apt install python3-dask; python3-distributed "
            "for a cluster, python3-zarr to store arrays)") from missing
    return dask


def _bins(breaks, weights, bins, first, count, threads):
    return veltrane.cascade(breaks, weights, bins=bins, first=first, count=count,
                            threads=threads)


def cascade(breaks, weights, bins, chunks=2**22, threads=1):
    """The masses of the N = bins equal bins of the Bernoulli measure, as a lazy
    dask.array.Array of float64 cut into blocks of chunks bins (an int, or a tuple of block
    lengths summing to bins). Block k is veltrane.cascade(..., first=start_k, count=len_k)
    computed on whichever worker runs it, with threads threads there (1: the worker's cores
    are Dask's to share out); 1 <= bins <= veltrane.MAX_BINS (2^40), where a block of 2^22
    bins takes under a second. The inputs are checked at once, before Dask is imported, so
    that a refusal is raised here rather than on a worker."""
    breaks = veltrane._reals(breaks, "break points")
    weights = veltrane._reals(weights, "weights")
    veltrane.cascade(breaks, weights, bins=bins, count=0)
    threads = veltrane._threads(threads)
    dask = _dask()
    try:
        chunks = dask.array.core.normalize_chunks(chunks, shape=(bins,), dtype=np.float64)
    except (TypeError, ValueError, ZeroDivisionError):
        chunks = None
    if chunks is None or min(chunks[0], default=0) < 1:
        raise InputError(f"chunks must be a whole number of bins from 1, or block lengths "
                         f"from 1 that add up to {bins}")
    name = "veltrane-cascade-" + dask.base.tokenize(breaks, weights, bins, chunks, threads)
    starts = np.cumsum((0,) + chunks[0][:-1])
    graph = {(name, k): (_bins, breaks, weights, bins, int(start), int(size), threads)
             for k, (start, size) in enumerate(zip(starts, chunks[0]))}
    return dask.array.Array(graph, name, chunks, dtype=np.float64, meta=np.empty((0,)))


def _table(dask, values, what, chunks):
    """values as a Dask array of float64 in blocks of chunks rows (a Dask array keeps its
    own blocks of rows)."""
    if not isinstance(values, dask.array.Array):
        values = veltrane._reals(values, what)
    if values.ndim != 2:
        raise InputError(f"{what} must be a table of numbers, one row a measure")
    if isinstance(values, dask.array.Array):
        table = values.astype(np.float64)
    else:
        chunks = veltrane._whole(chunks, "chunks", 1)
        table = dask.array.from_array(values, chunks=(chunks, -1))
    return table.rechunk({0: table.chunks[0], 1: -1})


def _first_row(block_info):
    """The place in the whole table of the first row of the block map_blocks hands over, so
    that a message names the row as the table counts it."""
    return block_info[0]["array-location"][0][0] if block_info else 0


def _order_rows(breaks, weights, q, dq, threads, block_info=None):
    return veltrane._orders(dq, breaks, weights, q, threads, _first_row(block_info))


def _orders(breaks_table, weights_table, q, dq, chunks, threads):
    dask = _dask()
    q = veltrane._reals(q, "q")
    if q.ndim > 1:
        raise InputError("q must be a number or a one-dimensional array of numbers")
    breaks = _table(dask, breaks_table, "break points", chunks)
    weights = _table(dask, weights_table, "weights", chunks)
    if weights.shape[0] != breaks.shape[0]:
        raise InputError(f"{weights.shape[0]} rows of weights given for {breaks.shape[0]} "
                         "rows of break points")
    weights = weights.rechunk({0: breaks.chunks[0]})
    if q.ndim == 1:
        shape = {"chunks": (breaks.chunks[0], (q.size,)), "meta": np.empty((0, 0))}
    else:
        shape = {"chunks": (breaks.chunks[0],), "drop_axis": 1, "meta": np.empty((0,))}
    return dask.array.map_blocks(
        _order_rows, breaks, weights, dtype=np.float64, q=q, dq=dq,
        threads=veltrane._threads(threads), **shape)


def tau(breaks_table, weights_table, q, chunks=TABLE_CHUNKS, threads=1):
    """tau(q) of every measure of a table (a 2-D array or Dask array, one measure a row, all
    with the same number of branches) as a Dask array of shape (measures, len(q)), or
    (measures,) for a number q; blocks of chunks rows, as veltrane.tau computes them."""
    return _orders(breaks_table, weights_table, q, False, chunks, threads)


def dq(breaks_table, weights_table, q, chunks=TABLE_CHUNKS, threads=1):
    """D_q of every measure of a table, as tau() gives tau(q)."""
    return _orders(breaks_table, weights_table, q, True, chunks, threads)


def _spectrum_rows(breaks, points, threads, block_info=None):
    spectrum = veltrane._exact(breaks, points, threads, _first_row(block_info))
    return np.stack([spectrum.lyapunov, spectrum.entropy, spectrum.dimension, spectrum.beta],
                    axis=-1)


def _exponent_rows(breaks):
    return veltrane.exact(breaks, points=2, threads=1).exponents


def spectra(breaks_table, points=101, chunks=TABLE_CHUNKS, threads=1):
    """The exact spectral diagram of every map of a table (one map's break points a row, all
    with the same number), as veltrane.exact(table) gives it but with Dask arrays: lyapunov,
    entropy, dimension and beta (maps, points), exponents (maps, branches). The four share one
    computation: compute them together (dask.compute) to run it once."""
    dask = _dask()
    points = veltrane._whole(points, "points", 2)
    breaks = _table(dask, breaks_table, "break points", chunks)
    threads = veltrane._threads(threads)
    stacked = dask.array.map_blocks(
        _spectrum_rows, breaks, chunks=(breaks.chunks[0], (points,), (4,)), new_axis=2,
        dtype=np.float64, meta=np.empty((0, 0, 0)), points=points, threads=threads)
    exponents = dask.array.blockwise(
        _exponent_rows, "ib", breaks, "ij", new_axes={"b": breaks.shape[1] + 1},
        concatenate=True, dtype=np.float64, meta=np.empty((0, 0)))
    return ExactSpectrum(*(stacked[..., k] for k in range(4)), exponents)
