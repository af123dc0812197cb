#!/usr/bin/env python3
"""Box counting checked against the exact tau(q) of a non-dyadic three-branch cascade.

The measure gives the branches [0, 0.2], [0.2, 0.5] and [0.5, 1] of the map the weights 0.5,
0.2 and 0.3, and every sub-cell the product of its branches' weights: its cells are not dyadic,
so box counting on dyadic bins has to find its scaling through the bins' boundaries.

    PYTHONPATH=build/python python3 examples/python/box_counting.py [picture.png]

prints tau(q) from box counting beside the exact value, and draws both with f(alpha) into
the picture (box_counting.png by default).
"""

import sys

import numpy as np

import veltrane

BREAKS = [0.2, 0.5]
WEIGHTS = [0.5, 0.2, 0.3]
ORDERS = np.linspace(-3, 5, 17)
LEVELS = np.arange(8, 21)  # bins of width 2^-8 .. 2^-20


def box_counting_tau(q):
    """tau(q) as box counting estimates it: the slope of ln sum mu(B)^q against ln eps over
    the bins B of width eps = 2^-k, fitted by least squares (sum mu(B)^q ~ eps^tau)."""
    sums = np.empty((len(LEVELS), len(q)))
    for row, level in enumerate(LEVELS):
        masses = veltrane.cascade(BREAKS, WEIGHTS, bins=2**level)
        sums[row] = [np.sum(masses**order) for order in q]
    log_width = -LEVELS * np.log(2.0)
    return np.polyfit(log_width, np.log(sums), 1)[0]


def main():
    exact = veltrane.tau(BREAKS, WEIGHTS, ORDERS)
    estimate = box_counting_tau(ORDERS)
    print("    q   exact tau(q)   box counting   difference")
    for q, t, e in zip(ORDERS, exact, estimate):
        print(f"{q:5.1f} {t:14.10f} {e:14.10f} {e - t:12.2e}")

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    spectrum = veltrane.multifractal(BREAKS, WEIGHTS, points=201)
    figure, (left, right) = plt.subplots(1, 2, figsize=(10, 4))
    left.plot(ORDERS, exact, label="exact")
    left.plot(ORDERS, estimate, "o", label="box counting, bins 2^-8 .. 2^-20")
    left.set(xlabel="q", ylabel="tau(q)", title="Partition-function exponent")
    left.legend()
    right.plot(spectrum.alpha, spectrum.f)
    right.set(xlabel="alpha", ylabel="f(alpha)", title="Multifractal spectrum (exact)")
    figure.tight_layout()
    picture = sys.argv[1] if len(sys.argv) > 1 else "box_counting.png"
    figure.savefig(picture, dpi=100)
    print(f"drawn into {picture}")


if __name__ == "__main__":
    main()
