"""veltrane.models: the laws of random cascades and their expected spectra, against the
60-digit figures of tests/data/core/random-spectra.tsv, the deterministic cascade, and the
closed forms; then what a user does with a law (pickle, hash, arrays of any shape, errors)."""

import math
import pathlib
import pickle

import numpy as np
import pytest

import veltrane
from veltrane import models

TABLE = pathlib.Path(__file__).parents[1] / "data" / "core" / "random-spectra.tsv"


def law_of(text):
    """The class of veltrane.models a row of the table names."""
    name, rest = text.split(":", 1)
    if name == "generators":
        generators, pis = [], []
        for line in rest.split("\\n"):
            pi, breaks, weights = line.split("|")
            pis.append(float(pi))
            generators.append(([float(b) for b in breaks.split()],
                               [float(w) for w in weights.split()]))
        return models.Generators(generators, pis)
    p = dict(item.split("=") for item in rest.split(","))
    if name == "lognormal":
        return models.LogNormal(b=int(p["b"]), sigma2=float(p["sigma2"]))
    if name == "beta":
        return models.Beta(a=float(p["a"]))
    if name == "dirichlet":
        return models.Dirichlet(alpha=[float(a) for a in p["a"].split("/")])
    if name == "permutation":
        return models.Permutation(weights=[float(w) for w in p["w"].split("/")])
    return models.TwoValued(b=int(p["b"]), p=float(p["p"]), u=float(p["u"]))


def rows():
    for line in TABLE.read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            yield line.split("\t")


def test_the_sixty_digit_figures():
    by_law = {}
    for law, q, *want in rows():
        by_law.setdefault(law, []).append((float(q), [float(w) for w in want]))
    for text, points in by_law.items():
        e = law_of(text).exponents(np.array([q for q, _ in points]))
        for k, (q, (tau, alpha, f, dq, h)) in enumerate(points):
            scale = max(1e-3, abs(tau), abs(q * alpha))
            assert e.tau[k] == pytest.approx(tau, rel=1e-13, abs=1e-16), (text, q)
            assert e.alpha[k] == pytest.approx(alpha, rel=1e-13), (text, q)
            assert abs(e.f[k] - f) <= 1e-13 * scale, (text, q)
            assert e.dq[k] == pytest.approx(dq, rel=1e-13), (text, q)
            assert e.hurst[k] == pytest.approx(h, rel=1e-13), (text, q)


def test_a_permutation_has_the_deterministic_cascades_spectrum():
    q = np.linspace(-8, 8, 33)
    law = models.Permutation(weights=(1, 3))
    assert np.allclose(law.tau(q), veltrane.tau([0.5], [1, 3], q), rtol=1e-13, atol=0)
    g = models.Generators([((0.2, 0.5), (1, 2, 1))], [1.0])
    assert np.allclose(g.exponents(q).alpha, veltrane.exponents([0.2, 0.5], [1, 2, 1], q).alpha,
                       rtol=1e-12, atol=0)


def test_log_normal_closed_forms():
    law = models.LogNormal(b=3, sigma2=0.5)
    k = 0.5 / (2 * math.log(3))
    assert law.q_star == (-math.sqrt(1 / k), math.sqrt(1 / k))
    assert law.q_crit == 1 / k
    assert law.tau(law.q_crit) == pytest.approx(0, abs=1e-13)
    assert law.q_min == -math.inf


def test_orders_of_any_shape_in_any_order():
    law = models.Beta(a=0.7)
    q = np.array([[2.0, -0.5], [0.0, 2.0]])
    e = law.exponents(q)
    assert e.tau.shape == (2, 2) and not e.tau.flags.writeable
    assert e.tau[0, 0] == e.tau[1, 1] == law.tau(2.0)
    assert e.tau[1, 0] == -1.0
    assert isinstance(law.tau(1.0), float) and law.tau(1.0) == 0.0


def test_laws_are_values():
    law = models.Dirichlet(alpha=[1, 2, 3])
    again = pickle.loads(pickle.dumps(law))
    assert again == law and hash(again) == hash(law)
    assert again.tau(2.5) == law.tau(2.5)
    assert law.alpha == (1.0, 2.0, 3.0)
    assert law.describe() == "dirichlet:a=1/2/3"
    with pytest.raises(dataclasses_frozen_error()):
        law.alpha = (1.0, 1.0)
    assert models.LogNormal(sigma2=0.3) == models.LogNormal(b=2, sigma2=0.3)
    assert law._core.conservative and not models.LogNormal()._core.conservative


def dataclasses_frozen_error():
    import dataclasses
    return dataclasses.FrozenInstanceError


@pytest.mark.parametrize("make", [
    lambda: models.LogNormal(b=2, sigma2=1.4),      # degenerate: sigma2 >= 2 ln 2
    lambda: models.LogNormal(b=1),
    lambda: models.Beta(a=0),
    lambda: models.Dirichlet(alpha=[1]),
    lambda: models.Permutation(weights=[1, -1]),
    lambda: models.TwoValued(b=2, p=0.5, u=1.4),    # v < 0
    lambda: models.Generators([((), (1,))], [1]),   # no generator splits a cell
    lambda: models.Generators([((0.5,), (1,))], [1]),
])
def test_refused_laws(make):
    with pytest.raises(veltrane.InputError):
        make().tau(1.0)


def test_refused_orders():
    with pytest.raises(veltrane.InputError):
        models.Beta(a=0.5).tau(-0.5)
    with pytest.raises(veltrane.InputError):
        models.LogNormal().tau(np.inf)
