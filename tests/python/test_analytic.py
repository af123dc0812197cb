"""veltrane.analytic: pressures and dimensions against the closed forms of linear maps and their
smooth conjugates (tests/data/analytic/pressures.tsv, from mpmath), digits against a run of
more, the spectrum's type, and what it refuses."""

import pathlib

import mpmath
import numpy as np
import pytest

import veltrane

PRESSURES = pathlib.Path(__file__).resolve().parent.parent / "data" / "analytic" / "pressures.tsv"


def rows():
    out = []
    for line in PRESSURES.read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            out.append(line.split("\t"))
    return out


def maps():
    """Each map of the table with its betas, pressures and dimension."""
    by_map = {}
    for name, branches, beta, pressure, dimension in rows():
        entry = by_map.setdefault(name, (branches.split(";"), [], [], dimension))
        entry[1].append(beta)
        entry[2].append(pressure)
    return [pytest.param(*entry, id=name) for name, entry in by_map.items()]


@pytest.mark.parametrize("branches, betas, pressures, dimension", maps())
def test_pressures_and_dimensions_are_the_closed_forms(branches, betas, pressures, dimension):
    values = veltrane.analytic(branches, beta=np.array([float(b) for b in betas]))
    assert values.shape == (len(betas),)
    np.testing.assert_allclose(values, [float(p) for p in pressures], rtol=1e-13, atol=1e-13)
    assert veltrane.analytic(branches, dimension=True) == pytest.approx(float(dimension),
                                                                        abs=1e-14)
    precise = veltrane.analytic(branches, dimension=True, digits=35)
    with mpmath.workdps(60):
        assert abs(precise.mpf() - mpmath.mpf(dimension)) < mpmath.mpf("1e-34")
        p = veltrane.analytic(branches, beta=betas[1], digits=25)
        assert abs(mpmath.mpf(p.value) - mpmath.mpf(pressures[1])) < mpmath.mpf("1e-24") * max(
            1, abs(mpmath.mpf(pressures[1])))


def test_digits_hold_against_a_run_of_more():
    for digits in ([1, 2], [2, 3, 5]):
        few = veltrane.analytic(continued_fraction=digits, dimension=True, digits=25)
        many = veltrane.analytic(continued_fraction=digits, dimension=True, digits=50)
        assert few.digits == 25 and len(few.value) == 27
        assert many.value.startswith(few.value[:-1])
        assert float(few) == pytest.approx(float(many), abs=1e-16)
        assert mpmath.mpf(few.error) < mpmath.mpf("1e-25")


@pytest.mark.parametrize("beta", [0.25, "0.25", np.float64(0.25), np.array(0.25),
                                  np.array("0.25")])
def test_one_beta_with_digits_in_any_form(beta):
    v = veltrane.analytic(["x/3", "(2+x)/3"], beta=beta, digits=20)
    with mpmath.workdps(40):
        exact = mpmath.log(2) - mpmath.mpf("0.25") * mpmath.log(3)
        assert abs(v.mpf() - exact) < mpmath.mpf("1e-20") * abs(exact)


def test_a_pressure_of_0_has_no_digits():
    v = veltrane.analytic(["x/2", "(1+x)/2"], beta=1, digits=10)
    assert (v.value, v.digits, float(v)) == ("0", 0, 0.0)
    assert mpmath.mpf(v.error) < mpmath.mpf("1e-10")


def test_a_spectrum_keeps_its_bounds_and_ends():
    s = veltrane.analytic(["x/2", "(2+x)/3"], points=11, threads=2)
    assert isinstance(s, veltrane.ExactSpectrum)
    assert s.lyapunov[0] == pytest.approx(np.log(2), abs=1e-15)
    assert s.lyapunov[-1] == pytest.approx(np.log(3), abs=1e-15)
    assert np.all(s.entropy >= 0) and np.all(s.entropy <= np.log(2) + 1e-15)
    assert np.all(s.dimension <= 1)
    np.testing.assert_array_equal(s.exponents, [s.lyapunov[0], s.lyapunov[-1]])


@pytest.mark.parametrize("call, words", [
    (lambda: veltrane.analytic(["2*x", "x/3"], dimension=True), "branch 1"),
    (lambda: veltrane.analytic(["x/3", "(2+x)/3"]), "one of beta"),
    (lambda: veltrane.analytic(["x/3"], continued_fraction=[1], dimension=True), "one of them"),
    (lambda: veltrane.analytic(["x/3", "(2+x)/3"], dimension=True, digits=0), "digits"),
    (lambda: veltrane.analytic(["x/3", "(2+x)/3"], points=5, digits=5), "not with points"),
    (lambda: veltrane.analytic(["x/3", "(2+x)/3"], beta=[1, 2], digits=5), "one number"),
    (lambda: veltrane.analytic(["x/3", "(2+x)/3"], beta="two", digits=5), "decimal"),
    (lambda: veltrane.analytic(continued_fraction=[0, 1], dimension=True), "from 1"),
    (lambda: veltrane.analytic([1, 2], dimension=True), "as text"),
])
def test_refusals(call, words):
    with pytest.raises(veltrane.InputError, match=words):
        call()
