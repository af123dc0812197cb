"""The package gives the very bits the command line prints, and refuses what it refuses with the
same words."""

import csv
import io
import re

import numpy as np
import pytest

import veltrane
from conftest import call, table

AGREEMENT = table("agreement.tsv")
REFUSALS = table("refusals.tsv")


def printed(program, words, tmp_path):
    """The command line's columns for words, by name; "--output .npy" is read back as mass."""
    if "--output .npy" in words:
        path = tmp_path / "masses.npy"
        done = program(words.replace("--output .npy", f"--output {path}"))
        assert done.returncode == 0, done.stderr
        return {"mass": np.load(path)}
    done = program(words)
    assert done.returncode == 0, done.stderr
    rows = list(csv.reader(io.StringIO(done.stdout)))
    return {name: [row[i] for row in rows[1:]] for i, name in enumerate(rows[0])}


# The command line's names for the package's arrays where they differ: its "tau" columns hold
# beta, which the package's tau is the negative of.
PACKAGE_NAMES = {"tau": "beta", "partition_tau": "tau", "D_q": "dq", "h": "hurst"}


def package_array(result, name):
    """The result's array the command line's column name stands for."""
    name = PACKAGE_NAMES.get(name, name)
    if name == "beta" and "beta" not in type(result).__slots__:
        return 0.0 - result.tau  # exact, and 0 rather than -0
    return getattr(result, name) if name in type(result).__slots__ else None


def same_bits(ours, theirs):
    ours = np.asarray(ours)
    theirs = np.asarray(theirs, dtype=str).astype(ours.dtype) if not isinstance(
        theirs, np.ndarray) else theirs.astype(ours.dtype)
    unsigned = np.uint32 if ours.dtype == np.float32 else np.uint64
    return ours.shape == theirs.shape and np.array_equal(ours.view(unsigned),
                                                         theirs.view(unsigned))


@pytest.mark.parametrize("row", AGREEMENT, ids=[row[0] for row in AGREEMENT])
def test_the_arrays_are_the_command_lines_bits(row, program, tmp_path):
    expression, words, column = (row + [""])[:3]
    result = call(expression)
    columns = printed(program, words, tmp_path)
    name, start, stop = re.fullmatch(r"(\w*)(?:\[(\d+):(\d+)\])?", column).groups()
    window = slice(int(start), int(stop)) if start else slice(None)
    if isinstance(result, np.ndarray):
        pairs = [(result, columns[name or "mass"])]
    else:
        pairs = [(package_array(result, key), values) for key, values in columns.items()
                 if package_array(result, key) is not None]
    assert pairs, f"nothing to compare in {sorted(columns)}"
    for ours, theirs in pairs:
        assert same_bits(ours, np.asarray(theirs)[window]), expression


@pytest.mark.parametrize("row", REFUSALS, ids=[row[0] for row in REFUSALS])
def test_refusals_and_errors_say_what_the_command_line_says(row, program):
    expression, error, message, words = (row + [""])[:4]
    kind = None
    if " " in error:
        error, kind = error.split(" ")
    with pytest.raises(getattr(veltrane, error)) as raised:
        call(expression)
    assert str(raised.value) == message
    if kind:
        assert raised.value.kind is getattr(veltrane.ErrorKind, kind)
    if words:
        done = program(words)
        assert done.returncode == (3 if error == "AnalysisError" else 2)
        said = done.stderr.splitlines()[0]
        assert said in (message, f"veltrane: {message}", f"veltrane: --{message}")


def test_the_version_is_the_programs(program):
    assert program("--version").stdout == f"veltrane {veltrane.__version__}\n"
