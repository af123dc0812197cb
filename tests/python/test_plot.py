"""Results draw themselves for notebooks: the curves hold the result's own arrays, and the
package imports matplotlib only when something is drawn."""

import subprocess
import sys

import numpy as np
import pytest

import veltrane

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

DRAWN = [
    # result, the arrays of each curve as (x, y) attribute names
    (lambda: veltrane.exact([0.2, 0.5], points=11),
     [("lyapunov", "entropy"), ("lyapunov", "dimension")]),
    (lambda: veltrane.spectrum(0.3), [("lyapunov", "entropy"), ("lyapunov", "dimension")]),
    (lambda: veltrane.markov([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], points=5),
     [("lyapunov", "entropy"), ("lyapunov", "dimension")]),
    (lambda: veltrane.multifractal([0.2, 0.5], [1, 2, 1], points=21), [("alpha", "f")]),
]


@pytest.mark.parametrize("make, curves", DRAWN, ids=["exact", "classic", "markov", "multifractal"])
def test_the_curves_are_the_results_arrays(make, curves):
    result = make()
    figure, ax = plt.subplots()
    assert result.plot(ax=ax) is ax
    assert len(ax.lines) == len(curves)
    for line, (x, y) in zip(ax.lines, curves):
        assert np.array_equal(line.get_xdata(), getattr(result, x))
        assert np.array_equal(line.get_ydata(), getattr(result, y))
    assert ax.get_xlabel() and ax.get_ylabel()
    plt.close(figure)


def test_one_point_is_a_marker_and_a_table_a_curve_a_row():
    figure, ax = plt.subplots()
    veltrane.multifractal([0.5], [1, 1]).plot(ax=ax)
    assert len(ax.lines) == 1 and ax.lines[0].get_marker() == "s"
    one = veltrane.exact([0.3], points=7)
    table = veltrane.ExactSpectrum(*(np.stack([getattr(one, name)] * 3) for name in (
        "lyapunov", "entropy", "dimension", "beta", "exponents")))
    ax.clear()
    table.plot(ax=ax)
    assert len(ax.lines) == 6
    plt.close(figure)


def test_without_an_axes_it_draws_on_pyplots_current_one():
    figure = plt.figure()
    ax = veltrane.exact([0.3], points=5).plot()
    assert ax is figure.gca()
    plt.close(figure)


def test_importing_the_package_does_not_import_matplotlib():
    done = subprocess.run(
        [sys.executable, "-c",
         "import sys, veltrane, veltrane.dask; veltrane.exact([0.3], points=5); "
         "print('matplotlib' in sys.modules)"],
        capture_output=True, text=True, check=True)
    assert done.stdout.strip() == "False"
