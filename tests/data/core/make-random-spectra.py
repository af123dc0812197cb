#!/usr/bin/env python3
"""Writes random-spectra.tsv: the expected exponents of random cascade laws, to 30 digits.

Each row: the law (the command line's form, or "generators:" and a generator list with
"\\n" for its line ends), q, then tau, alpha, f, D_q and h rounded to 25 significant digits.
The law is taken as the doubles of its parameters, normalized in 60 digits. For the b-adic
laws tau = -log_b E sum W_i^q from the moment written out (log-normal: b^(1-q)
exp(sigma2 (q^2 - q) / 2); Dirichlet: the gamma functions; permutation and two-valued: the
sums), for generator lists the root of sum_k pi_k sum_i p^q l^-tau = 1; alpha = tau'(q) by
mpmath's differentiation, f = q alpha - tau, D_q = tau / (q - 1) (alpha at q = 1),
h = (tau + 1) / q (alpha at q = 0; "inf" where cells of mass 0 leave tau(0) > -1).
Run from this folder: python3 make-random-spectra.py > random-spectra.tsv
"""
from mpmath import mp, mpf, log, exp, loggamma, diff, findroot, nstr

mp.dps = 60

LAWS = [
    "lognormal:b=2,sigma2=0.2",
    "lognormal:b=3,sigma2=1.5",
    "beta:a=2",
    "beta:a=0.3",
    "dirichlet:a=0.5/1/2.5",
    "permutation:w=0.2/0.3/0.5",
    "permutation:w=1/9",
    "twovalued:b=2,p=0.5,u=0.7",
    "twovalued:b=3,p=0.2,u=1.2",
    "twovalued:b=4,p=0.5,u=0.5",
    "generators:0.5 | 0.3 | 0.4 0.6\\n0.5 | 0.5 0.75 | 1 2 1",
    "generators:0.2 | | 1\\n0.8 | 0.25 | 0.5 0.5",
    "generators:1 | 0.3 | 0.6 0.4",
]
ORDERS = ["-20", "-3", "-1", "-0.2", "-1e-06", "-1e-12", "0", "1e-12", "1e-06", "0.3", "0.5",
          "0.999999", "1", "1.000001", "1.5", "2", "5", "20"]


def d(text):
    return mpf(float(text))


def parameters(text):
    name, rest = text.split(":", 1)
    return name, dict(item.split("=") for item in rest.split(","))


def moment_law(text):
    """(b, M(q)) of a b-adic law."""
    name, p = parameters(text)
    if name == "lognormal":
        b, s2 = int(p["b"]), d(p["sigma2"])
        return b, lambda q: mpf(b) ** (1 - q) * exp(s2 * (q * q - q) / 2), None
    if name in ("beta", "dirichlet"):
        a = [d(p["a"])] * 2 if name == "beta" else [d(x) for x in p["a"].split("/")]
        total = sum(a)
        return len(a), lambda q: sum(
            exp(loggamma(ai + q) + loggamma(total) - loggamma(ai) - loggamma(total + q))
            for ai in a), -min(a)
    if name == "permutation":
        w = [d(x) for x in p["w"].split("/")]
        w = [x / sum(w) for x in w]
        return len(w), lambda q: sum(x ** q for x in w), None
    b, pr, u = int(p["b"]), d(p["p"]), d(p["u"])
    v = (1 - b * pr * u) / (b * (1 - pr))
    return b, lambda q: b * pr * u ** q + (b * (1 - pr) * v ** q if v > 0 else 0), None


def generator_tau(text):
    atoms = []
    lines = text.split(":", 1)[1].split("\\n")
    pis = [d(line.split("|")[0]) for line in lines]
    for line, pi in zip(lines, pis):
        _, breaks, weights = line.split("|")
        ends = [mpf(0)] + [d(x) for x in breaks.split()] + [mpf(1)]
        w = [d(x) for x in weights.split()]
        for i, wi in enumerate(w):
            atoms.append((pi / sum(pis), wi / sum(w), ends[i + 1] - ends[i]))

    def tau(q):
        if q == 1:
            return mpf(0)
        if q == 0:
            return mpf(-1)
        start = (q - 1) * mpf("0.9")
        return findroot(lambda t: sum(m * p ** q * l ** -t for m, p, l in atoms) - 1, start)
    return tau, None


def law(text):
    if text.startswith("generators:"):
        return generator_tau(text)
    b, moment, qmin = moment_law(text)
    return (lambda q: -log(moment(q)) / log(b)), qmin


def main():
    print("# Written by make-random-spectra.py: LAW Q TAU ALPHA F D_Q H")
    for text in LAWS:
        tau, qmin = law(text)
        for order in ORDERS:
            q = mpf(order)
            if qmin is not None and q <= qmin:
                continue
            t = tau(q)
            alpha = diff(tau, q)
            f = q * alpha - t
            dq = alpha if q == 1 else t / (q - 1)
            if q == 0:
                h = alpha if abs(t + 1) < mpf(10) ** -40 else "inf"
            else:
                h = (t + 1) / q
            row = [text, order] + [x if isinstance(x, str) else nstr(x, 25, min_fixed=-3,
                                                                     max_fixed=3)
                                   for x in (t, alpha, f, dq, h)]
            print("\t".join(row))


main()
