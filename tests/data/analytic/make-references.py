#!/usr/bin/env python3
"""Writes pressures.tsv: P(beta) and dimensions of analytic maps whose pressure has a closed form,
from mpmath at 120 digits, independently of the solver.

A map whose inverse branches are linear, psi_i(x) = a_i + c_i x, has P(beta) = ln sum |c_i|^beta,
and so has any smooth conjugate of it: the branches h o psi_i o h^-1 for the diffeomorphism
h(x) = (e^(k x) - 1) / (e^k - 1) of [0, 1], written below as formulas in x. Its dimension is the
root of sum |c_i|^s = 1.

    python3 tests/data/analytic/make-references.py > tests/data/analytic/pressures.tsv
"""
from fractions import Fraction

from mpmath import mp, mpf, log, findroot, fsum, nstr

mp.dps = 120


def linear(parts):
    """Branches a + c x (c may be negative: a decreasing branch)."""
    return [f"{a}+({c})*x" for a, c in parts]


def conjugate(parts, k):
    """h o psi o h^-1 with h(x) = (e^(k x) - 1)/(e^k - 1): h^-1(x) = ln(1 + x (e^k - 1))/k."""
    out = []
    for a, c in parts:
        inner = f"({a}+({c})*log(1+x*(exp({k})-1))/{k})"
        out.append(f"(exp({k}*{inner})-1)/(exp({k})-1)")
    return out


MAPS = [
    ("thirds", [("0", "1/3"), ("2/3", "1/3")]),
    ("half-third", [("0", "0.5"), ("2/3", "1/3")]),
    ("three-uneven", [("0", "0.2"), ("0.4", "0.2"), ("0.7", "0.3")]),
    ("decreasing", [("0.5", "-0.5"), ("1", "-0.25")]),
    # Exponents 13.8 and 6.9: the second eigenvalue about 1e-3 of the first.
    ("uneven", [("0", "1e-6"), ("0.999", "1e-3")]),
]

BETAS = ["-3", "-0.5", "0", "0.25", "1", "2.5", "7"]


def main():
    print("# Written by make-references.py: NAME\tBRANCHES (;-separated)\tBETA\tP(BETA)\tDIMENSION")
    for name, parts in MAPS:
        slopes = [abs(mpf(Fraction(c).numerator) / Fraction(c).denominator) for _, c in parts]
        dim = findroot(lambda s: fsum(c ** s for c in slopes) - 1, (mpf("0.01"), mpf(1)),
                       solver="illinois")
        forms = [("linear", linear(parts)),
                 ("conjugate", conjugate(parts, "0.5"))]
        # Beside the dimension P is about 1e-46: its digits are below ρ's leading 1.
        near = nstr(dim, 45, strip_zeros=False)
        for kind, branches in forms:
            for beta in BETAS + [near]:
                p = log(fsum(c ** mpf(beta) for c in slopes))
                print(f"{name}-{kind}\t{';'.join(branches)}\t{beta}\t{nstr(p, 60)}\t{nstr(dim, 60)}")


if __name__ == "__main__":
    main()
