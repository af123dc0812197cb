"""veltrane.markov: the command line's bits for the same pieces, exact()'s for full-branch maps,
the same on any number of threads, and its refusals."""

import csv
import io
import os
import subprocess

import numpy as np
import pytest

import veltrane
from conftest import table

MAPS = table("markov.tsv")


def pieces_of(text):
    return np.array([[float(x) for x in piece.split()] for piece in text.split(";")])


def printed(pieces, points):
    """The command line's columns for the pieces given on standard input."""
    binary = os.environ.get("VELTRANE_BINARY")
    if not binary:
        pytest.skip("VELTRANE_BINARY is not set (CTest sets it)")
    text = "\n".join(" ".join(repr(x) for x in row) for row in pieces.tolist()) + "\n"
    done = subprocess.run([binary, "markov", "-", "--points", str(points)], input=text,
                          capture_output=True, text=True, check=False, timeout=120)
    assert done.returncode == 0, done.stderr
    rows = list(csv.reader(io.StringIO(done.stdout)))
    return {name: np.array([row[i] for row in rows[1:]], dtype=np.float64)
            for i, name in enumerate(rows[0])}


@pytest.mark.parametrize("row", MAPS, ids=[row[0] for row in MAPS])
def test_the_arrays_are_the_command_lines_bits(row):
    _, text, points, breaks = (row + [""])[:4]
    pieces = pieces_of(text)
    result = veltrane.markov(pieces, points=int(points))
    columns = printed(pieces, int(points))
    for name in ("lyapunov", "entropy", "dimension"):
        assert getattr(result, name).tobytes() == columns[name].tobytes(), name
    assert np.all(result.dimension <= 1 + 1e-13)
    if breaks:
        exact = veltrane.exact([float(b) for b in breaks.split()], points=int(points))
        for name in ("lyapunov", "entropy", "dimension", "exponents"):
            assert getattr(result, name).tobytes() == getattr(exact, name).tobytes(), name


def test_any_number_of_threads_gives_the_same_bits():
    pieces = pieces_of(MAPS[2][1])
    one = veltrane.markov(pieces, points=2000, threads=1)
    two = veltrane.markov(pieces, points=2000, threads=2)
    assert one.entropy.tobytes() == two.entropy.tobytes()
    assert one.beta[0] == np.inf and one.beta[-1] == -np.inf


@pytest.mark.parametrize("pieces, message", [
    ([[0, 0.5, 0, 1]], "piece 1 ends at 0.5: the last piece must end at 1"),
    ([[0, 0.5, 0, 1], [0.5, 1, 0.5, 1]],
     "piece 2 [0.5, 1] maps onto [0.5, 1] with a slope of size 1, at most 1: the map must be "
     "expanding"),
    ([[0, 0.3, 0, 1], [0.3, 1, 0, 0.5]],
     "piece 2's image end 0.5 is not an end of any piece: the map is not Markov"),
    ([0, 0.5, 0, 1], "pieces must be an (n, 4) array, a piece a row: left, right, image_left, "
                     "image_right"),
    (np.zeros((0, 4)), "a map needs at least one piece"),
])
def test_refusals_name_the_piece(pieces, message):
    with pytest.raises(veltrane.InputError) as raised:
        veltrane.markov(pieces)
    assert str(raised.value) == message


def test_points_are_checked_as_for_exact():
    with pytest.raises(veltrane.InputError, match="points takes a whole number of at least 2"):
        veltrane.markov([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], points=1)
