#!/usr/bin/env python3
"""Writes cdf.tsv beside it: the distribution function F(x) = mu([0, x]) and 1 - F(x) of
Bernoulli measures to 50 digits, with mpmath at 700 digits (enough for branches of 1e-300).

A branch's runs are taken in closed form: a point at x in branch k of [B_k, B_k + l] stays
there while x* + (x - x*) / l^i does, x* = B_k / (1 - l) the branch's fixed point, and the
levels it stays give sum_i p_k^i of the weight left of k. The weights are normalized in
700 digits: the reference is the measure the raw weights define, not its rounding to doubles.

    python3 tests/data/core/cdf-reference.py
"""
import os
import random

import mpmath
from mpmath import mp, mpf

mp.dps = 700
CUT = mpf(10) ** -70  # the mass left undivided, relative to F, where the descent stops

MEASURES = [
    # name, break points, raw weights
    ("two", [0.3], [1.0, 2.0]),
    ("three-uneven", [0.25, 0.6], [1e-4, 0.8, 0.1999]),
    ("seven", [0.1, 0.15, 0.3, 0.5, 0.55, 0.8], [3.0, 1.0, 4.0, 1.0, 5.0, 9.0, 2.0]),
    ("dyadic", [0.5], [1.0, 3.0]),
    ("tiny-branch", [1e-300], [3e-300, 1.0]),
]

# Relative tolerances of the C++ values: a few units of rounding in general; within 1e-6 of 0 or 1
# the weights' rounding to doubles, compounded over the hundreds of levels down to x; where a
# branch within 1/64 of the whole takes its runs in closed form, their error.
TOL_PLAIN = 1e-15
TOL_TINY = 1e-13
TOL_RUNS = 1e-12


def branch_of(breaks, x):
    k = 0
    while k + 1 < len(breaks) - 1 and x >= breaks[k + 1]:
        k += 1
    return k


def stay(breaks, k, x):
    """The levels i = 0, 1, ... for which the point stays in branch k, and where it is then."""
    lo, hi = breaks[k], breaks[k + 1]
    length = hi - lo
    fixed = lo / (1 - length)
    d = x - fixed
    if d == 0:
        return None, x

    def at(i):
        return fixed + d / length**i

    def inside(y):
        return lo <= y < hi

    # m: the first level out of branch k, from logarithms, then checked.
    bound = (hi - fixed) / d if d > 0 else (fixed - lo) / -d
    m = int(mpmath.floor(mpmath.log(bound) / -mpmath.log(length))) if bound > 1 else 0
    m = max(m - 2, 1)
    while not inside(at(m - 1)):
        m -= 1
    while inside(at(m)):
        m += 1
    return m, at(m)


def cdf(breaks, p, x):
    before = [sum(p[:k]) for k in range(len(p))]
    total, mass = mpf(0), mpf(1)
    while x > 0:
        if x >= 1:
            return total + mass
        k = branch_of(breaks, x)
        m, y = stay(breaks, k, x)
        if m is None:  # on the fixed point for ever
            return total + mass * before[k] / (1 - p[k])
        total += mass * before[k] * (1 - p[k] ** m) / (1 - p[k])
        mass *= p[k] ** m
        x = y
        if total > 0 and mass < CUT * total:
            break
    return total


def text(v):
    return mpmath.nstr(v, 50, min_fixed=0, max_fixed=0) if v != 0 else "0"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    rng = random.Random(28)
    lines = [
        "# F(x) = mu([0, x]) and 1 - F(x) = mu([x, 1]) of Bernoulli measures to 50 digits, written",
        "# by cdf-reference.py beside this file (mpmath, 700 digits), for tests/core/cascade_test.cpp.",
        "# NAME<TAB>break points<TAB>raw weights<TAB>x<TAB>F<TAB>1 - F<TAB>relative tolerance of each",
    ]
    for name, breaks, weights in MEASURES:
        b = [mpf(0)] + [mpf(v) for v in breaks] + [mpf(1)]
        s = sum(mpf(w) for w in weights)
        p = [mpf(w) / s for w in weights]
        rb = [1 - v for v in reversed(b)]
        rp = list(reversed(p))
        xs = [0.0, 1.0, 1e-300, 5e-324, 1.0 - 2.0**-53, 1.0 - 1e-10, 0.5] + list(breaks)
        xs += [rng.random() for _ in range(6)]
        runs = any(v < 1 / 64 for v in breaks) or any(1 - v < 1 / 64 for v in breaks)
        for x in xs:
            f = cdf(b, p, mpf(x))
            g = cdf(rb, rp, 1 - mpf(x))
            near_end = 0 < x < 1e-6 or 0 < 1 - x < 1e-6
            tol = TOL_RUNS if runs else TOL_TINY if near_end else TOL_PLAIN
            lines.append("\t".join([name, " ".join(repr(v) for v in breaks),
                                    " ".join(repr(v) for v in weights), repr(x), text(f),
                                    text(g), repr(tol)]))
    with open(os.path.join(here, "cdf.tsv"), "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
