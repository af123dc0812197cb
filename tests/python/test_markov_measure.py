"""veltrane.markov_multifractal: the command line's bits for the same measure, the multifractal
spectrum's for a Bernoulli measure written as a Markov one, and its refusals."""

import csv
import io
import os
import pathlib
import subprocess

import numpy as np
import pytest

import veltrane

CLI = pathlib.Path(__file__).resolve().parent.parent / "data" / "cli"
GOLDEN = [[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]]


def test_the_arrays_are_the_command_lines_bits():
    binary = os.environ.get("VELTRANE_BINARY")
    if not binary:
        pytest.skip("VELTRANE_BINARY is not set (CTest sets it)")
    done = subprocess.run([binary, "markov", str(CLI / "golden-mean.map"), "--weights-from",
                           str(CLI / "golden-mean.weights"), "--points", "41"],
                          capture_output=True, text=True, check=True, timeout=120)
    rows = list(csv.reader(io.StringIO(done.stdout)))[1:]
    result = veltrane.markov_multifractal(GOLDEN, [[1, 2], [1]], points=41)
    for k, name in enumerate(["alpha", "f", "q"], start=1):
        printed = np.array([row[k] for row in rows], dtype=np.float64)
        assert np.array_equal(getattr(result, name), printed), name
    # The command line's tau column is beta = -tau.
    assert np.array_equal(result.tau, -np.array([row[4] for row in rows], dtype=np.float64))


def test_a_bernoulli_measure_is_the_multifractal_spectrums():
    pieces = [[0, 0.3, 0, 1], [0.3, 1, 1, 0]]
    markov = veltrane.markov_multifractal(pieces, [[1, 2], [2, 4]], points=51, threads=2)
    bernoulli = veltrane.multifractal([0.3], [1, 2], points=51)
    for name in ["alpha", "f", "q", "tau"]:
        assert np.array_equal(getattr(markov, name), getattr(bernoulli, name)), name


@pytest.mark.parametrize("weights", [[[1, 2], [1, 1]], [[1], [1]], [[1, -2], [1]], [[1, 2]],
                                     "12", 3])
def test_refused_weights(weights):
    with pytest.raises(veltrane.InputError):
        veltrane.markov_multifractal(GOLDEN, weights)
