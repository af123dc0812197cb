#!/usr/bin/env python3
"""What the Python package costs over the C++ core, measured in one run on one machine.

    PYTHONPATH=build/python:build/bench/python python3 bench/python/bench_python.py [--quick]

Prints, as medians over repeated runs taken in turn: the time per call of spectrum(0.2, 0.6)
and of tau(breaks, weights, 2.0) beside the core's own time for the same work (the difference
is the package's cost per call, goal at most 5 us); the throughput of cascade(bins=2**24) into
a preallocated array against the core's (goal at least 0.95 of it); and tau over 10^6 orders
against the core's loop (goal within 1.2 times). --quick runs smaller sizes once, to check
that the benchmark runs; its figures mean nothing.
"""

import statistics
import sys
import time

import numpy as np

import core_timing
import veltrane

BREAKS = np.array([0.2, 0.45, 0.7])
WEIGHTS = np.array([0.1, 0.4, 0.2, 0.3])


def per_call(function, calls):
    start = time.perf_counter()
    for _ in range(calls):
        function()
    return (time.perf_counter() - start) / calls


def once(function):
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


def medians(pairs, repeats):
    """The medians of (package, core) timings, the two taken in turn repeats times."""
    package, core = [], []
    for _ in range(repeats):
        package.append(pairs[0]())
        core.append(pairs[1]())
    return statistics.median(package), statistics.median(core)


def report(name, package, core, figure, goal, met):
    verdict = "met" if met else "MISSED"
    print(f"{name:<34} package {package:>11.6g} s  core {core:>11.6g} s  "
          f"{figure:<24} goal {goal:<14} {verdict}")
    return met


def main():
    quick = "--quick" in sys.argv
    repeats = 1 if quick else 9
    calls = 10 if quick else 2000
    bins = 2**16 if quick else 2**24
    orders = 10**4 if quick else 10**6
    results = []

    package, core = medians((
        lambda: per_call(lambda: veltrane.spectrum(0.2, 0.6), calls),
        lambda: core_timing.spectrum_seconds("0.2", "0.6", calls)), repeats)
    cost = (package - core) * 1e6
    results.append(report("spectrum(0.2, 0.6)", package, core, f"cost {cost:.2f} us/call",
                          "<= 5 us", cost <= 5))

    for label, breaks, weights in (("lists", list(BREAKS), list(WEIGHTS)),
                                   ("arrays", BREAKS, WEIGHTS)):
        package, core = medians((
            lambda: per_call(lambda: veltrane.tau(breaks, weights, 2.0), calls * 10),
            lambda: core_timing.tau_seconds(BREAKS, WEIGHTS, 2.0, calls * 10)), repeats)
        cost = (package - core) * 1e6
        results.append(report(f"tau(breaks, weights, 2.0), {label}", package, core,
                              f"cost {cost:.2f} us/call", "<= 5 us", cost <= 5))

    out = np.empty(bins)
    package, core = medians((
        lambda: once(lambda: veltrane.cascade(BREAKS, WEIGHTS, bins=bins, out=out)),
        lambda: core_timing.cascade_seconds(BREAKS, WEIGHTS, bins, out, 0)), repeats)
    results.append(report(f"cascade(bins=2**{bins.bit_length() - 1}) into out", package, core,
                          f"throughput {core / package:.3f}x", ">= 0.95x",
                          core / package >= 0.95))

    q = np.linspace(-20, 20, orders)
    package, core = medians((
        lambda: once(lambda: veltrane.tau(BREAKS, WEIGHTS, q)),
        lambda: core_timing.tau_array_seconds(BREAKS, WEIGHTS, q, 0)), repeats)
    results.append(report(f"tau over {orders} orders", package, core,
                          f"time {package / core:.3f}x", "<= 1.2x", package / core <= 1.2))
    return 0 if quick or all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
