from collections.abc import Sequence
from typing import Any

import numpy.typing as npt

from . import ExactSpectrum

__all__ = [
    "beta",
    "cascade",
    "cdf_at_bins",
    "dq",
    "markov_cascade",
    "partition_sums",
    "random_cascade",
    "random_cascades",
    "random_partition_sums",
    "series",
    "spectra",
    "tau",
]
TABLE_CHUNKS: int

# Dask ships no type information: its arrays are Any here.
_Table = npt.ArrayLike | Any

def markov_cascade(
    pieces: npt.ArrayLike,
    weights: Sequence[Sequence[float]],
    *,
    bins: int,
    chunks: Any = 4194304,
    threads: int = 1,
) -> Any: ...
def cascade(
    breaks: npt.ArrayLike,
    weights: npt.ArrayLike,
    *,
    bins: int,
    chunks: int | tuple[int, ...] = 4194304,
    threads: int = 1,
) -> Any: ...
def series(
    breaks: npt.ArrayLike,
    weights: npt.ArrayLike,
    *,
    bins: int,
    chunks: int | tuple[int, ...] = 4194304,
    threads: int = 1,
) -> Any: ...
def cdf_at_bins(
    breaks: npt.ArrayLike,
    weights: npt.ArrayLike,
    *,
    bins: int,
    chunks: int | tuple[int, ...] = 4194304,
    threads: int = 1,
) -> Any: ...
def tau(
    breaks_table: _Table,
    weights_table: _Table,
    q: npt.ArrayLike,
    *,
    chunks: int = 4096,
    threads: int = 1,
) -> Any: ...
def beta(
    breaks_table: _Table,
    weights_table: _Table,
    q: npt.ArrayLike,
    *,
    chunks: int = 4096,
    threads: int = 1,
) -> Any: ...
def dq(
    breaks_table: _Table,
    weights_table: _Table,
    q: npt.ArrayLike,
    *,
    chunks: int = 4096,
    threads: int = 1,
) -> Any: ...
def spectra(
    breaks_table: _Table, *, points: int = 101, chunks: int = 4096, threads: int = 1
) -> ExactSpectrum: ...
def partition_sums(
    breaks: npt.ArrayLike,
    weights: npt.ArrayLike,
    *,
    bins: int | Sequence[int],
    q: npt.ArrayLike,
    chunks: int = 16777216,
    threads: int = 1,
) -> Any: ...
def random_cascades(
    model: object,
    seed: int,
    bins: int,
    *,
    realizations: int,
    first: int = 0,
    levels: int | None = None,
    chunks: Any = (1, 4194304),
    threads: int = 1,
) -> Any: ...
def random_cascade(
    model: object,
    seed: int,
    bins: int,
    *,
    realization: int = 0,
    levels: int | None = None,
    chunks: Any = 4194304,
    threads: int = 1,
) -> Any: ...
def random_partition_sums(
    model: object,
    seed: int,
    *,
    bins: int | Sequence[int],
    q: npt.ArrayLike,
    realizations: int,
    first: int = 0,
    chunks: int = 100,
    threads: int = 1,
) -> Any: ...
