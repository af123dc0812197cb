#!/usr/bin/env python3
"""Two multifractal estimators checked against exact answers, telling the estimator's error
from the resolution's.

The measure gives the branches [0, 0.2], [0.2, 0.5] and [0.5, 1] the weights 0.5, 0.2 and 0.3,
and every sub-cell the product of its branches' weights: its cells are not dyadic. On its 2^J
equal bins the script runs

- box counting: tau(q) as the slope of ln Z_q(N) = ln sum mu(B)^q against ln(1/N) over the
  dyadic N from 2^8 to 2^J, fitted by least squares (sum_I mu(I)^q ~ |I|^tau);
- MFDFA with first-order detrending on the series N mu_k of bin masses: h(q) as the slope of
  ln F_q(s) against ln s over segments of 2^4 to 2^(J-4) bins, F_q(s) the q-th order mean of
  the segments' detrended fluctuations (tau(q) = q h(q) - 1);

and prints each beside two exact figures: the asymptotic exponent (veltrane.tau,
veltrane.hurst) and the exponent an ideal estimator finds at these resolutions, the same fit
over the exact partition sums (veltrane.partition_sums). The first difference is the
resolution's, the second the estimator's own.

    PYTHONPATH=build/python python3 examples/python/estimators.py [J [picture.png]]

J is 20 by default (a few seconds); the picture (estimators.png, drawn unless J alone is
given) needs matplotlib (python3-matplotlib).
"""

import sys

import numpy as np

import veltrane

BREAKS = [0.2, 0.5]
WEIGHTS = [0.5, 0.2, 0.3]
ORDERS = np.array([-3.0, -2.0, -1.0, -0.5, 0.5, 1.0, 2.0, 3.0, 4.0, 5.0])


def fitted_slope(x, y):
    """The least-squares slopes of the columns of y against x."""
    return np.polyfit(x, y, 1)[0]


def box_counting(masses_by_level, levels):
    """tau(q) by box counting on the bins of every level: the fitted slope of ln Z_q(N)
    against ln(1/N)."""
    log_z = np.array([[np.log(np.sum(m**q)) for q in ORDERS] for m in masses_by_level])
    return fitted_slope(-levels * np.log(2.0), log_z)


def mfdfa(series, scales):
    """h(q) by MFDFA-1: the profile of the series, cut into segments of each scale s, each
    detrended by its least-squares line; F_q(s) = (mean of F^2(v, s)^(q/2))^(1/q)."""
    profile = np.cumsum(series - series.mean())
    log_f = []
    for s in scales:
        segments = profile[: len(profile) // s * s].reshape(-1, s)
        t = np.arange(s)
        slope, offset = np.polyfit(t, segments.T, 1)
        residual = segments - (np.outer(slope, t) + offset[:, None])
        variance = np.mean(residual**2, axis=1)
        log_f.append([np.log(np.mean(variance ** (q / 2))) / q for q in ORDERS])
    return fitted_slope(np.log(scales), np.array(log_f))


def main():
    top = int(sys.argv[1]) if len(sys.argv) > 1 else 20
    levels = np.arange(8, top + 1)
    bins = 2**levels
    masses = veltrane.cascade(BREAKS, WEIGHTS, bins=int(bins[-1]))
    by_level = [masses.reshape(int(n), -1).sum(axis=1) for n in bins[:-1]] + [masses]

    exact_tau = veltrane.tau(BREAKS, WEIGHTS, ORDERS)
    exact_h = veltrane.hurst(BREAKS, WEIGHTS, ORDERS)
    sums = veltrane.partition_sums(BREAKS, WEIGHTS, bins=bins, q=ORDERS)
    ideal_tau = fitted_slope(-np.log(sums.bins.astype(float)), sums.log_z)
    box_tau = box_counting(by_level, levels)

    # MFDFA's segments of s bins are boxes of s / N: the ideal h at these scales is that of
    # the exact partition sums over N / s boxes.
    scales = 2 ** np.arange(4, top - 3)
    coarse = veltrane.partition_sums(BREAKS, WEIGHTS, bins=[int(bins[-1]) // s for s in scales],
                                     q=ORDERS)
    ideal_h = (fitted_slope(-np.log(coarse.bins.astype(float)), coarse.log_z) + 1) / ORDERS
    series = veltrane.series(BREAKS, WEIGHTS, bins=int(bins[-1]))
    mfdfa_h = mfdfa(series, scales)

    print(f"bins 2^8 .. 2^{top}; MFDFA segments 2^4 .. 2^{top - 4} bins")
    print("    q   tau(q)   at these N  box count  its error    h(q)  at these s    MFDFA"
          "  its error")
    for row in zip(ORDERS, exact_tau, ideal_tau, box_tau, exact_h, ideal_h, mfdfa_h):
        q, t, t_n, t_box, h, h_n, h_dfa = row
        print(f"{q:5.1f} {t:8.4f} {t_n:12.4f} {t_box:10.4f} {t_box - t_n:10.1e} "
              f"{h:7.4f} {h_n:11.4f} {h_dfa:8.4f} {h_dfa - h_n:10.1e}")
    if len(sys.argv) > 2 or len(sys.argv) == 1:
        draw(sys.argv[2] if len(sys.argv) > 2 else "estimators.png", ideal_tau, box_tau,
             ideal_h, mfdfa_h)


def draw(picture, ideal_tau, box_tau, ideal_h, mfdfa_h):
    try:
        import matplotlib
    except ImportError:
        sys.exit("drawing needs matplotlib (python3-matplotlib); give J alone to print only")

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fine = np.linspace(ORDERS[0], ORDERS[-1], 161)
    figure, (left, right) = plt.subplots(1, 2, figsize=(10, 4))
    left.plot(fine, veltrane.tau(BREAKS, WEIGHTS, fine), label="exact tau(q)")
    left.plot(ORDERS, ideal_tau, "s", mfc="none", label="exact at these N")
    left.plot(ORDERS, box_tau, "x", label="box counting")
    left.set(xlabel="q", ylabel="tau(q)", title="Partition-function exponent")
    left.legend()
    right.plot(fine, veltrane.hurst(BREAKS, WEIGHTS, fine), label="exact h(q)")
    right.plot(ORDERS, ideal_h, "s", mfc="none", label="exact at these scales")
    right.plot(ORDERS, mfdfa_h, "x", label="MFDFA-1")
    right.set(xlabel="q", ylabel="h(q)", title="Generalized Hurst exponent")
    right.legend()
    figure.tight_layout()
    figure.savefig(picture, dpi=80)
    print(f"drawn into {picture}")


if __name__ == "__main__":
    main()
