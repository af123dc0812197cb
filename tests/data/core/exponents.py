#!/usr/bin/env python3
"""Writes exponents.tsv: the exponents of Bernoulli measures in every convention, to 50 digits.

Each row: the break points, the raw weights, q, then tau, D_q, h, zeta, beta, alpha and f
rounded to 20 significant digits. The measure is taken as the doubles of its break points and
weights, as the library takes them; beta solves sum p^q l^beta = 1 by Newton in 50 digits (exactly 1 - q at q = 0 and 1),
tau = -beta, alpha = -beta'(q), f = q alpha - tau, D_q = tau / (q - 1), h = (tau + 1) / q
(alpha at q = 0) and zeta = tau + 1. Run from this folder: python3 exponents.py > exponents.tsv
"""
from mpmath import mp, mpf, log, nstr

mp.dps = 50

MEASURES = [
    ("0.3333333333333333", "1 1"),
    ("0.2 0.5", "1 2 1"),
    ("0.25 0.5", "1 1 4"),
    ("0.1 0.15 0.4 0.5 0.7 0.9", "3 1 4 1 5 9 2"),
    ("0.5", "0.0001 0.9999"),
    ("1e-08", "1 1"),
    ("0.5", "1 1"),
]
ORDERS = ["-50", "-10", "-1", "-1e-06", "-1e-12", "0", "1e-12", "1e-09", "2e-09", "5e-08",
          "1e-06", "0.5", "0.999999999", "1", "1.000000001", "2", "8.5", "10", "50"]


def exponents(breaks, weights, q):
    ends = [mpf(0)] + [mpf(float(b)) for b in breaks.split()] + [mpf(1)]
    lengths = [b - a for a, b in zip(ends, ends[1:])]
    raw = [mpf(float(w)) for w in weights.split()]
    p = [w / sum(raw) for w in raw]
    lp = [log(x) for x in p]
    ll = [log(x) for x in lengths]

    def sums(beta):
        w = [mp.exp(q * a + beta * b) for a, b in zip(lp, ll)]
        return mp.log(sum(w)), sum(x * b for x, b in zip(w, ll)) / sum(w), w

    # Newton on ln sum p^q l^beta, convex in beta, from the line through (0, 1) and (1, 0).
    beta = mpf(1) - q
    for _ in range(500):
        g, slope, _ = sums(beta)
        step = g / slope
        beta -= step
        if abs(step) < mpf(10) ** -45 * (1 + abs(beta)):
            break
    if q == 0 or q == 1:
        beta = 1 - q  # the lengths, and the weights, sum to 1 exactly
    _, _, w = sums(beta)
    alpha = sum(x * a for x, a in zip(w, lp)) / sum(x * b for x, b in zip(w, ll))
    tau = -beta
    dq = alpha if q == 1 else tau / (q - 1)
    hurst = alpha if q == 0 else (tau + 1) / q
    return [tau, dq, hurst, tau + 1, beta, alpha, q * alpha - tau]


print("# Written by exponents.py: BREAKS  WEIGHTS  Q  TAU  D_Q  H  ZETA  BETA  ALPHA  F")
for breaks, weights in MEASURES:
    for order in ORDERS:
        values = exponents(breaks, weights, mpf(float(order)))
        print("\t".join([breaks, weights, order] + [nstr(v, 20) for v in values]))
