#!/usr/bin/env python3
"""An ensemble of random log-normal cascades against the law's exact expected tau(q), and
where a single realization leaves it.

Each cell of the dyadic log-normal cascade gives its two children the weights
W = exp(sigma N - sigma^2 / 2) / 2 (N standard normal), so that the expected partition sums
over the 2^j cells of level j are exactly E Z_q(2^j) = 2^(-j tau(q)), with
tau(q) = q - 1 - sigma^2 (q^2 - q) / (2 ln 2). The script draws REALIZATIONS reproducible
realizations at 2^J bins (veltrane.random_partition_sums keeps their partition sums, never
their bins) and fits, as a box-counting estimator would, tau(q) as the slope of ln Z_q(N)
against ln(1/N) over N = 2^4 .. 2^J:

- for one realization, which follows it between q*- and q*+, where f(alpha(q)) = 0, and
  beyond them turns into a straight line: the largest (smallest) bins of one realization
  are all that its sums see there;
- for the mean of Z_q(N) over the ensemble, which follows the expected tau(q) further, and
  bends away later: beyond q*+ the mean is made by rarer and rarer realizations, and an
  ensemble of R holds those of probability above about 1/R only.

    PYTHONPATH=build/python python3 examples/python/random_cascades.py [REALIZATIONS [J [picture.png]]]

REALIZATIONS is 1000 and J is 16 by default (some seconds on two cores); the picture
(random_cascades.png, drawn unless the numbers alone are given) needs matplotlib.
"""

import sys

import numpy as np

import veltrane

LAW = veltrane.models.LogNormal(b=2, sigma2=0.1)
SEED = 2026
ORDERS = np.arange(-5.0, 8.01, 0.5)


def fitted_tau(bins, log_z):
    """-slope of the columns of log_z against ln N: the box-counting estimate of tau(q)."""
    return -np.polyfit(np.log(bins), log_z, 1)[0]


def main(argv):
    realizations = int(argv[1]) if len(argv) > 1 else 1000
    levels = int(argv[2]) if len(argv) > 2 else 16
    bins = [2**j for j in range(4, levels + 1)]
    sums = veltrane.random_partition_sums(LAW, SEED, bins=bins, q=ORDERS,
                                          realizations=realizations)
    expected = LAW.tau(ORDERS)
    ensemble = fitted_tau(bins, sums.log_mean())
    single = fitted_tau(bins, sums.log_z[0])
    q_minus, q_plus = LAW.q_star
    print(f"# {LAW}: q*- = {q_minus:.4f}, q*+ = {q_plus:.4f}, q_crit = {LAW.q_crit:.4f}")
    print(f"# {realizations} realizations of seed {SEED} at 2^{levels} bins")
    print(f"# {'q':>5} {'tau':>9} {'mean':>9} {'single':>9}")
    for row in zip(ORDERS, expected, ensemble, single):
        print(f"{row[0]:7.1f} {row[1]:9.4f} {row[2]:9.4f} {row[3]:9.4f}")
    if len(argv) > 3 or len(argv) == 1:
        draw(argv[3] if len(argv) > 3 else "random_cascades.png", expected, ensemble, single,
             (q_minus, q_plus), realizations, levels)


def draw(path, expected, ensemble, single, stars, realizations, levels):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(6.4, 4.2), layout="constrained")
    axes.plot(ORDERS, expected, "k-", label="expected tau(q), exact")
    axes.plot(ORDERS, ensemble, "o", mfc="none", label=f"mean of {realizations} realizations")
    axes.plot(ORDERS, single, "x", label="one realization")
    for star in stars:
        axes.axvline(star, color="grey", lw=0.8, ls=":")
    axes.set_xlabel("q")
    axes.set_ylabel("tau(q)")
    axes.set_title(f"log-normal cascade, sigma^2 = {LAW.sigma2}, 2^{levels} bins "
                   "(dotted: q*-, q*+)", fontsize=10)
    axes.legend()
    figure.savefig(path, dpi=100)
    print(f"drawn into {path}")


if __name__ == "__main__":
    main(sys.argv)
