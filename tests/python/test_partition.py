"""Partition sums through the package: the command line's bits, results that travel, and Dask's
workers summing chunks of bins that fold into the bits of one call."""

import csv
import io
import os
import pickle
import subprocess

import numpy as np
import pytest

import veltrane
from conftest import table

ROWS = table("partition.tsv")


def numbers(text):
    return [float(word) for word in text.split()]


def counts(text):
    return [int(word) for word in text.split()]


def run_program(words):
    program = os.environ.get("VELTRANE_BINARY", "veltrane")
    return subprocess.run([program, *words], capture_output=True, text=True, check=True,
                          timeout=300).stdout


@pytest.mark.parametrize("row", ROWS, ids=[row[2] for row in ROWS])
def test_the_command_line_prints_the_same_bits(row):
    breaks, weights, bins, q, _ = row
    ours = veltrane.partition_sums(numbers(breaks), numbers(weights), bins=counts(bins),
                                   q=numbers(q))
    orders = numbers(q)
    # One run for evenly spaced orders (the large rows), else one an order.
    steps = set(np.diff(orders))
    even = len(orders) > 2 and len(steps) == 1
    ranges = [(orders[0], orders[-1], steps.pop())] if even else [(o, o, 1.0) for o in orders]
    printed = {}
    for low, high, step in ranges:  # --q FROM:TO:STEP
        out = run_program(["partition", *breaks.split(), "--weights", *weights.split(),
                           "--bins", ",".join(bins.split()), "--q", f"{low!r}:{high!r}:{step!r}"])
        for n, order, log_z, tau in list(csv.reader(io.StringIO(out)))[1:]:
            printed[(int(n), float(order))] = (float(log_z), float(tau) if tau else None)
    for i, n in enumerate(ours.bins):
        for j, order in enumerate(orders):
            log_z, tau = printed[(int(n), order)]
            assert log_z == ours.log_z[i, j]
            assert tau == (None if i == 0 else ours.tau_apparent[i - 1, j])


def test_results_are_read_only_and_travel():
    z = veltrane.partition_sums([0.5], [0.3, 0.7], bins=[4, 16, 64], q=np.linspace(-2, 2, 9))
    assert z.log_z.shape == (3, 9) and z.tau_apparent.shape == (2, 9)
    assert not z.log_z.flags.writeable
    with pytest.raises(AttributeError):
        z.q = None
    again = pickle.loads(pickle.dumps(z))
    assert again.log_z.tobytes() == z.log_z.tobytes()
    assert again.bins.tolist() == [4, 16, 64]
    assert repr(z).startswith("PartitionSums(3 Ns from 4 to 64, 9 orders")


def test_the_apparent_exponents_are_tau():
    q = np.array([-3.0, -1.0, 0.5, 2.0, 5.0])
    z = veltrane.partition_sums([0.5], [0.3, 0.7], bins=[2**10, 2**11], q=q)
    np.testing.assert_allclose(z.tau_apparent[0], veltrane.tau([0.5], [0.3, 0.7], q),
                               rtol=0, atol=1e-12)


distributed = pytest.importorskip("distributed")
import veltrane.dask  # noqa: E402 (after the skip)


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local:
        with distributed.Client(local) as client:
            yield client


@pytest.mark.parametrize("row", ROWS, ids=[row[2] for row in ROWS])
def test_dask_workers_give_the_bits_of_one_call(row, cluster):
    breaks, weights, bins, q, chunks = row
    whole = veltrane.partition_sums(numbers(breaks), numbers(weights), bins=counts(bins),
                                    q=numbers(q))
    lazy = veltrane.dask.partition_sums(numbers(breaks), numbers(weights), bins=counts(bins),
                                        q=numbers(q), chunks=int(chunks))
    ours = cluster.compute(lazy).result(timeout=240)
    assert ours.bins.tolist() == whole.bins.tolist()
    assert ours.log_z.tobytes() == whole.log_z.tobytes()
    assert ours.tau_apparent.tobytes() == whole.tau_apparent.tobytes()


def test_dask_refuses_before_any_chunk_runs():
    with pytest.raises(veltrane.InputError, match="chunks must be a whole number of blocks"):
        veltrane.dask.partition_sums([0.5], [1, 1], bins=8, q=1, chunks=2**20 + 1)
    with pytest.raises(veltrane.InputError, match="none twice"):
        veltrane.dask.partition_sums([0.5], [1, 1], bins=[8, 8], q=1)
    with pytest.raises(veltrane.InputError):
        veltrane.dask.partition_sums([0.5], [1, -1], bins=8, q=1)
