"""Realizations of random cascades from Python: the bits of one call whatever the ranges,
threads or Dask chunks (on a LocalCluster of two worker processes), the deterministic cascade
as the list of one generator, and the partition sums of an ensemble against the expectation of
the law."""

import numpy as np
import pytest

import veltrane
from veltrane.models import Beta, Generators, LogNormal, TwoValued
from conftest import table

ROWS = table("random-realizations.tsv")


def law_of(row):
    return eval(row[0], vars(veltrane.models))


@pytest.mark.parametrize("row", ROWS, ids=[row[0].split("(")[0] + row[2] for row in ROWS])
def test_ranges_and_threads_give_the_bits_of_one_call(row):
    law, seed, bins = law_of(row), int(row[1]), int(row[2])
    whole = veltrane.random_cascade(law, seed, bins, threads=1)
    assert veltrane.random_cascade(law, seed, bins, threads=2).tobytes() == whole.tobytes()
    out = np.empty(bins // 3)
    part = veltrane.random_cascade(law, seed, bins, first=bins // 2, count=bins // 3, out=out)
    assert part is out and out.tobytes() == whole[bins // 2:bins // 2 + bins // 3].tobytes()
    tail = veltrane.random_cascade(law, seed, bins, first=bins // 2)  # to the last bin
    assert tail.tobytes() == whole[bins // 2:].tobytes()
    if law._core.conservative:
        assert whole.sum() == pytest.approx(1.0, abs=1e-13)
    other = veltrane.random_cascade(law, seed, bins, realization=1)
    assert other.tobytes() != whole.tobytes()


def test_a_list_of_one_generator_is_the_deterministic_cascade():
    law = Generators([((0.2, 0.5), (1, 2, 1))], [3.0])
    for bins in (1, 10, 4096, 3**7):
        assert (veltrane.random_cascade(law, 123, bins).tobytes()
                == veltrane.cascade([0.2, 0.5], [1, 2, 1], bins=bins).tobytes())


def test_the_mean_partition_sums_follow_the_expected_tau():
    # E Z_q(2^j) = 2^(-j tau(q)) exactly at every level j for a dyadic law; the mean of 2000
    # seeded realizations within 5 of its standard errors.
    law = LogNormal(b=2, sigma2=0.15)
    q = np.array([-1.0, 0.5, 2.0, 3.0])
    bins = [2**j for j in (2, 5, 8)]
    sums = veltrane.random_partition_sums(law, 42, bins=bins, q=q, realizations=2000)
    z = np.exp(sums.log_z)
    mean = z.mean(axis=0)
    error = z.std(axis=0, ddof=1) / np.sqrt(len(z))
    expected = np.exp(-np.log(np.array(bins, dtype=float))[:, None] * law.tau(q)[None, :])
    assert np.all(np.abs(mean - expected) <= 5 * error + 1e-12 * expected)
    assert np.allclose(sums.log_mean(), np.log(mean), rtol=1e-12, atol=1e-12)


def test_an_ensemble_that_died_out_has_a_mean_of_nothing():
    # The beta model (v = 0) dies out in some realizations: their sums are all 0, ln Z = -inf,
    # and so is the mean of an ensemble of those alone.
    law = TwoValued(b=2, p=0.625, u=0.8)
    sums = veltrane.random_partition_sums(law, 1, bins=[4, 64], q=[-1.0, 0.0, 2.0],
                                          realizations=60)
    dead = np.all(np.isneginf(sums.log_z), axis=(1, 2))
    assert dead.any() and not dead.all()
    only_dead = veltrane.RandomPartitionSums(sums.bins, sums.q, sums.realizations[dead],
                                             sums.log_z[dead])
    assert np.all(np.isneginf(only_dead.log_mean()))
    assert np.all(np.isfinite(sums.log_mean()))


def test_refusals():
    with pytest.raises(veltrane.InputError, match="veltrane.models"):
        veltrane.random_cascade("lognormal", 1, 8)
    with pytest.raises(veltrane.InputError, match="seed"):
        veltrane.random_cascade(Beta(a=2), -1, 8)
    with pytest.raises(veltrane.InputError, match="bins"):
        veltrane.random_cascade(Beta(a=2), 1, 0)
    with pytest.raises(veltrane.InputError):
        veltrane.random_cascade(Beta(a=2), 1, 8, first=6, count=4)
    with pytest.raises(veltrane.InputError, match="realizations"):
        veltrane.random_partition_sums(Beta(a=2), 1, bins=8, q=2.0, realizations=0)
    with pytest.raises(veltrane.InputError, match="2\\^32 values"):
        veltrane.random_partition_sums(Beta(a=2), 1, bins=[2, 4], q=[0.0, 2.0],
                                       realizations=2**62)
    with pytest.raises(veltrane.InputError, match="first"):
        veltrane.dask.random_partition_sums(Beta(a=2), 1, bins=8, q=2.0, realizations=10,
                                            first=-3)
    with pytest.raises(veltrane.AnalysisError, match="deeper than"):
        veltrane.random_cascade(Generators([((), (1,)), ((0.5,), (0.7, 0.3))], [0.9999, 0.0001]),
                                42, 7, realization=1)


distributed = pytest.importorskip("distributed")
import veltrane.dask  # noqa: E402


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local:
        with distributed.Client(local) as client:
            yield client


@pytest.mark.parametrize("row", ROWS, ids=[row[0].split("(")[0] + row[2] for row in ROWS])
def test_dask_chunks_on_a_cluster_give_the_bits_of_one_call(row, cluster):
    law, seed, bins = law_of(row), int(row[1]), int(row[2])
    whole = veltrane.random_cascade(law, seed, bins, realization=2)
    for chunks in eval(row[3]):
        lazy = veltrane.dask.random_cascade(law, seed, bins, realization=2, chunks=chunks)
        assert lazy.compute().tobytes() == whole.tobytes()


def test_an_ensemble_on_a_cluster(cluster):
    law = Beta(a=1.5)
    grid = veltrane.dask.random_cascades(law, 8, 64, realizations=5, first=3, chunks=(2, 20))
    rows = np.stack([veltrane.random_cascade(law, 8, 64, realization=r) for r in range(3, 8)])
    assert grid.compute().tobytes() == rows.tobytes()
    lazy = veltrane.dask.random_partition_sums(law, 8, bins=[4, 64], q=[-1.0, 2.0],
                                               realizations=9, chunks=4)
    plain = veltrane.random_partition_sums(law, 8, bins=[4, 64], q=[-1.0, 2.0], realizations=9)
    assert lazy.compute().tobytes() == plain.log_z.tobytes()
