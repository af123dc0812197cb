#!/usr/bin/env python3
"""The three-branch spectral diagram as a NumPy user would write it, for timing the whole
process against "veltrane spectrum C1 C2": the same 101 exponents, each with the largest
entropy over 101 trial values of the third weight, printed as CSV.

    python3 bench/numpy/spectrum.py 0.2 0.6
"""
import sys

import numpy as np


def spectrum(c1, c2):
    lm = -np.log(np.array([c1, c2 - c1, 1.0 - c2]))
    lmin, lmax = lm.min(), lm.max()
    if lm[0] == lm[1]:
        lm[[0, 2]] = lm[[2, 0]]
    steps = lmin + (lmax - lmin) * np.arange(101) / 100.0
    a3 = np.arange(101) * 0.01
    z1 = lm[1] - lm[0]
    # Every step against every trial at once: weights a1, a2 solved from a3 and the step.
    a2 = ((lm[0] - lm[2]) * a3[None, :] + (steps[:, None] - lm[0])) / z1
    a1 = ((lm[2] - lm[1]) * a3[None, :] + (lm[1] - steps[:, None])) / z1
    a3b = np.broadcast_to(a3, a2.shape)
    weights = np.stack([a1, a2, a3b])
    feasible = np.all((weights >= 0) & (weights <= 1), axis=0)
    with np.errstate(divide="ignore", invalid="ignore"):
        terms = np.where(weights > 0, weights * np.log(weights), 0.0)
    entropy = np.where(feasible, -terms.sum(axis=0), -np.inf)
    best = entropy.max(axis=1)
    keep = best >= 0
    return steps[keep], best[keep], best[keep] / steps[keep]


def main():
    x, h, d = spectrum(float(sys.argv[1]), float(sys.argv[2]))
    lines = ["index,lyapunov,entropy,dimension"]
    lines += [f"{i},{a:.8g},{b:.8g},{c:.8g}" for i, (a, b, c) in enumerate(zip(x, h, d))]
    print("\n".join(lines))


if __name__ == "__main__":
    main()
