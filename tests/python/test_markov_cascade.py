"""veltrane.markov_cascade and veltrane.dask.markov_cascade: the command line's bits for the same
measure, the cascade's bins for a Bernoulli measure written as a Markov one, out= and ranges,
Dask blocks that are one call's bits, and the refusals; veltrane.markov_cells likewise."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import veltrane

CLI = pathlib.Path(__file__).resolve().parent.parent / "data" / "cli"
GOLDEN = [[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]]
THREE = [[0, 0.25, 0, 1], [0.25, 0.5, 1, 0.25], [0.5, 1, 0, 1]]
THREE_WEIGHTS = [[1, 2, 3], [1, 1], [3, 1, 2]]


def test_the_array_is_the_command_lines_bits(tmp_path):
    binary = os.environ.get("VELTRANE_BINARY")
    if not binary:
        pytest.skip("VELTRANE_BINARY is not set (CTest sets it)")
    out = tmp_path / "m.f64"
    subprocess.run([binary, "cascade", "--markov", str(CLI / "three-pieces.map"),
                    "--weights-from", str(CLI / "three-pieces.weights"), "--bins", "10007",
                    "--output", str(out)], check=True, timeout=120)
    masses = veltrane.markov_cascade(THREE, THREE_WEIGHTS, 10007)
    assert masses.tobytes() == out.read_bytes()


def test_a_bernoulli_measure_has_the_cascades_bins():
    pieces = [[0, 0.3, 0, 1], [0.3, 1, 0, 1]]
    markov = veltrane.markov_cascade(pieces, [[1, 2], [2, 4]], 4096, threads=2)
    bernoulli = veltrane.cascade([0.3], [1, 2], bins=4096)
    np.testing.assert_allclose(markov, bernoulli, rtol=1e-14, atol=0)


def test_a_range_into_out_is_the_whole_calls_bits():
    whole = veltrane.markov_cascade(THREE, THREE_WEIGHTS, 50000, threads=1)
    out = np.empty(9001)
    got = veltrane.markov_cascade(THREE, THREE_WEIGHTS, 50000, first=4097, count=9001, out=out,
                                  threads=2)
    assert got is out
    assert out.tobytes() == whole[4097:4097 + 9001].tobytes()
    # without a count, the bins from first to the last
    tail = veltrane.markov_cascade(THREE, THREE_WEIGHTS, 50000, first=49000)
    assert tail.tobytes() == whole[49000:].tobytes()
    assert float(np.sum(whole)) == pytest.approx(1.0, abs=50000 * 2**-50)


@pytest.mark.parametrize("call", [
    lambda: veltrane.markov_cascade(GOLDEN, [[1, 2], [1]], 0),
    lambda: veltrane.markov_cascade(GOLDEN, [[1, 2], [1]], veltrane.MAX_BINS + 1),
    lambda: veltrane.markov_cascade(GOLDEN, [[1, 2], [1]], 10, first=7, count=4),
    lambda: veltrane.markov_cascade(GOLDEN, [[1, 2], [1, 1]], 10),
    lambda: veltrane.markov_cascade(GOLDEN, "12", 10),
    lambda: veltrane.markov_cascade(GOLDEN, [[1, 2], [1]], 4, out=np.empty(3)),
])
def test_refusals(call):
    with pytest.raises(veltrane.InputError):
        call()


def test_dask_blocks_are_one_calls_bits():
    pytest.importorskip("dask")
    import veltrane.dask
    masses = veltrane.dask.markov_cascade(THREE, THREE_WEIGHTS, bins=20011, chunks=4099)
    assert masses.shape == (20011,) and masses.dtype == np.float64
    whole = veltrane.markov_cascade(THREE, THREE_WEIGHTS, 20011)
    assert masses.compute(scheduler="synchronous").tobytes() == whole.tobytes()
    with pytest.raises(veltrane.InputError):
        veltrane.dask.markov_cascade(THREE, [[1, 2, 3]], bins=10)


def test_the_cells_are_the_command_lines_bits(tmp_path):
    binary = os.environ.get("VELTRANE_BINARY")
    if not binary:
        pytest.skip("VELTRANE_BINARY is not set (CTest sets it)")
    out = tmp_path / "m.f64"
    subprocess.run([binary, "cascade", "--markov", str(CLI / "three-pieces.map"),
                    "--weights-from", str(CLI / "three-pieces.weights"), "--levels", "9",
                    "--output", str(out)], check=True, timeout=120)
    cells = veltrane.markov_cells(THREE, THREE_WEIGHTS, levels=9)
    assert cells.mass.tobytes() == out.read_bytes()


def test_the_cells_of_a_bernoulli_measure_are_the_cascades_a_level_down():
    pieces = [[0, 0.3, 0, 1], [0.3, 1, 0, 1]]
    markov = veltrane.markov_cells(pieces, [[1, 2], [2, 4]], levels=9, threads=2)
    bernoulli = veltrane.cells([0.3], [1, 2], levels=10)
    for got, want in [(markov.left, bernoulli.left), (markov.width, bernoulli.width),
                      (markov.mass, bernoulli.mass)]:
        np.testing.assert_allclose(got, want, rtol=1e-15, atol=0)


def test_a_range_of_cells_is_the_whole_calls_bits():
    whole = veltrane.markov_cells(THREE, THREE_WEIGHTS, levels=10, threads=1)
    part = veltrane.markov_cells(THREE, THREE_WEIGHTS, levels=10, first=4097, count=9001,
                                 threads=2)
    for got, want in [(part.left, whole.left), (part.width, whole.width),
                      (part.mass, whole.mass)]:
        assert got.tobytes() == want[4097:4097 + 9001].tobytes()
    assert float(np.sum(whole.mass)) == pytest.approx(1.0, abs=len(whole.mass) * 2**-50)
    np.testing.assert_allclose(whole.left[1:], whole.left[:-1] + whole.width[:-1], rtol=2**-50)


@pytest.mark.parametrize("call", [
    lambda: veltrane.markov_cells(GOLDEN, [[1, 2], [1]], levels=0),
    lambda: veltrane.markov_cells(THREE, THREE_WEIGHTS, levels=28),
    lambda: veltrane.markov_cells(GOLDEN, [[1, 2], [1]], levels=2, first=3, count=3),
    lambda: veltrane.markov_cells(GOLDEN, [[1, 2], [1, 1]], levels=2),
])
def test_cells_refusals(call):
    with pytest.raises(veltrane.InputError):
        call()


# A map of few moves has levels beyond 40 of at most 2^40 cells: F(59) = 956722026041 at level
# 56 of the golden mean; the next is refused for its cells, not its level.
@pytest.mark.parametrize("levels, first, cells", [(41, 701408731, 2), (56, 956722026039, 2)])
def test_levels_beyond_40_of_few_cells(levels, first, cells):
    got = veltrane.markov_cells(GOLDEN, [[1, 2], [1]], levels=levels, first=first)
    assert len(got.mass) == cells
    assert got.left[-1] + got.width[-1] == pytest.approx(1.0, abs=2**-50)
    with pytest.raises(veltrane.InputError, match="more than 1099511627776 cells"):
        veltrane.markov_cells(GOLDEN, [[1, 2], [1]], levels=57, count=1)
