#!/usr/bin/env python3
"""The masses of the cells of a level as a NumPy user computes them, a loop of outer
products, for timing beside the benchmarks BinMassesOnOneCore and LevelCellsOnOneCore of
bench/core/bench_cascade.cpp: the median of several runs, in seconds and nanoseconds a cell.

    python3 bench/numpy/cascade.py [runs]
"""
import statistics
import sys
import time

import numpy as np


def cells(weights, levels):
    m = np.ones(1)
    for _ in range(levels):
        m = np.outer(m, weights).ravel()
    return m


def median_seconds(weights, levels, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        cells(weights, levels)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    for name, weights, levels in [
        ("binomial 0.3 0.7, 2^24", [0.3, 0.7], 24),
        ("four branches 0.1 .. 0.4, 4^12", [0.1, 0.2, 0.3, 0.4], 12),
        ("three branches 0.2 0.5 0.3, 3^15", [0.2, 0.5, 0.3], 15),
    ]:
        seconds = median_seconds(np.array(weights), levels, runs)
        count = len(weights) ** levels
        print(f"{name}: {seconds:.3f} s, {seconds / count * 1e9:.1f} ns a cell (median of {runs})")


if __name__ == "__main__":
    main()
