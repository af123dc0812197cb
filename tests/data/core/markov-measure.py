#!/usr/bin/env python3
"""Writes markov-measure.tsv: exact spectra of Markov measures on small Markov maps, to 50 digits.

The map is taken as the doubles of its pieces and the weights as the doubles of their text, as
the library takes them, then worked in 50 digits with dense matrices: A_ij = 1 where piece i's
image covers piece j, P the weights normalised a row, M_ij(q, tau) = A_ij P_ij^q |s_i|^tau.
tau(q) is the root of rho(M) = 1 (the largest eigenvalue, mpmath's eig), bracketed and closed by
Illinois' rule; alpha = tau'(q) by a central difference of step 1e-15 (error about 1e-30);
f = q alpha - tau. The ends of the range of alpha are the smallest and largest ratio
sum(-ln P) / sum(ln |s|) over the simple cycles of the graph, listed one by one.

Rows: order NAME PIECES WEIGHTS Q TAU ALPHA F, and range NAME PIECES WEIGHTS ALPHAMIN ALPHAMAX,
each value to 25 significant digits. Run from this folder:
python3 markov-measure.py > markov-measure.tsv
"""
from mpmath import mp, mpf, log, nstr, eig, findroot, fabs

mp.dps = 50

MEASURES = [
    ("golden mean", "0 0.6 0 1; 0.6 1 0 0.6", "1 2; 1"),
    ("golden mean, one strongly uneven row", "0 0.6 0 1; 0.6 1 0 0.6", "1 1e6; 1"),
    ("period two", "0 0.2 0.5 1; 0.2 0.5 1 0.5; 0.5 0.7 0 0.5; 0.7 1 0.5 0", "1 3; 2 1; 1 1; 5 1"),
    ("a decreasing piece", "0 0.25 0 1; 0.25 0.5 1 0.25; 0.5 1 0 1", "1 2 3; 1 1; 2 1 1"),
    ("slopes near one", "0 0.45 0 0.5; 0.45 0.5 0.5 1; 0.5 0.55 0 0.5; 0.55 1 0.5 1",
     "1 1; 1 2; 3 1; 1 1"),
    ("full branches, rows unequal", "0 0.3 0 1; 0.3 1 0 1", "1 2; 3 1"),
    ("Bernoulli on the pieces of level two", "0 0.09 0 0.3; 0.09 0.3 0.3 1; 0.3 0.51 0 0.3; 0.51 1 0.3 1",
     "1 3; 1 3; 1 3; 1 3"),
]
ORDERS = ["-20", "-5", "-1", "-0.5", "0", "0.3", "1", "1.5", "2", "5", "20"]


def measure(pieces_text, weights_text):
    pieces = [[mpf(float(x)) for x in p.split()] for p in pieces_text.split(";")]
    n = len(pieces)
    log_s, cover = [], []
    for left, right, image_left, image_right in pieces:
        lo, hi = min(image_left, image_right), max(image_left, image_right)
        log_s.append(log((hi - lo) / (right - left)))
        cover.append([j for j in range(n) if pieces[j][0] >= lo and pieces[j][1] <= hi])
    rows = [[mpf(float(w)) for w in r.split()] for r in weights_text.split(";")]
    log_p = {}
    for i in range(n):
        assert len(rows[i]) == len(cover[i])
        total = sum(rows[i])
        for j, w in zip(cover[i], rows[i]):
            log_p[(i, j)] = log(w / total)
    return n, log_s, log_p


def log_rho(n, log_s, log_p, q, tau):
    m = mp.zeros(n, n)
    for (i, j), lp in log_p.items():
        m[i, j] = mp.exp(q * lp + tau * log_s[i])
    values = eig(m, left=False, right=False)
    return log(max(fabs(v) for v in values))


def tau_of(n, log_s, log_p, q):
    g = lambda t: log_rho(n, log_s, log_p, q, t)
    lo, hi = mpf(-1), mpf(1)
    while g(lo) > 0:
        lo *= 2
    while g(hi) < 0:
        hi *= 2
    return findroot(g, (lo, hi), solver="illinois", tol=mpf(10) ** -45)


def cycle_ratios(n, log_s, log_p):
    ratios = []

    def walk(start, path, cost, time):
        i = path[-1]
        for (a, j), lp in log_p.items():
            if a != i:
                continue
            if j == start:
                ratios.append((cost - lp) / (time + log_s[i]))
            elif j > start and j not in path:
                walk(start, path + [j], cost - lp, time + log_s[i])

    for s in range(n):
        walk(s, [s], mpf(0), mpf(0))
    return min(ratios), max(ratios)


def main():
    print("# Written by markov-measure.py: order NAME PIECES WEIGHTS Q TAU ALPHA F;"
          " range NAME PIECES WEIGHTS ALPHAMIN ALPHAMAX")
    h = mpf(10) ** -15
    for name, pieces, weights in MEASURES:
        n, log_s, log_p = measure(pieces, weights)
        low, high = cycle_ratios(n, log_s, log_p)
        print("\t".join(["range", name, pieces, weights, nstr(low, 25), nstr(high, 25)]))
        for q_text in ORDERS:
            q = mpf(q_text)
            tau = tau_of(n, log_s, log_p, q)
            alpha = (tau_of(n, log_s, log_p, q + h) - tau_of(n, log_s, log_p, q - h)) / (2 * h)
            f = q * alpha - tau
            print("\t".join(["order", name, pieces, weights, q_text, nstr(tau, 25),
                             nstr(alpha, 25), nstr(f, 25)]))


main()
