#!/usr/bin/env python3
"""What veltrane.dask gives on this machine's cores, measured with Dask's distributed
scheduler and worker processes.

    PYTHONPATH=build/python python3 bench/python/bench_dask.py [--program build/veltrane]
        [--quick] [--store DIR]

Prints, as medians over runs taken in turn:
- the throughput of 2^28 bins written to an uncompressed Zarr store by a LocalCluster of two
  worker processes, against `veltrane cascade --bins 268435456 --output x.f64 --threads 2`
  (goal at least 0.8 of it);
- the time of each of the 64 chunks of 2^22 bins of that cascade, computed one by one in one
  thread (goal: the slowest at most 1.5 times the median), and the cascade's throughput on
  one worker and on two;
- D_q of 10^5 three-branch measures at 21 orders on one worker and on two (goal: two at least
  1.7 times as fast).
The store (2 GiB) and the raw file go to a temporary folder under --store (default: the
system's). --quick runs smaller sizes once, to check that the benchmark runs; its figures
mean nothing.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import distributed
import numpy as np
import zarr

import veltrane
import veltrane.dask

BREAKS = [0.2, 0.45, 0.7]
WEIGHTS = [0.1, 0.4, 0.2, 0.3]


def seconds(function):
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


def report(name, figure, goal, met):
    verdict = "" if goal is None else ("met" if met else "MISSED")
    print(f"{name:<52} {figure:<34} {goal or '':<16} {verdict}", flush=True)
    return met


def cluster(workers):
    """A LocalCluster of worker processes of one thread each, and its client."""
    local = distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                     dashboard_address=None)
    return local, distributed.Client(local)


def cascade_to_zarr(bins, chunks, folder):
    store = os.path.join(folder, "masses.zarr")
    masses = veltrane.dask.cascade(BREAKS, WEIGHTS, bins=bins, chunks=chunks)
    # Uncompressed, as the program's raw file is: the comparison is of the computation.
    masses.to_zarr(zarr.DirectoryStore(store), compressor=None, overwrite=True)
    shutil.rmtree(store)


def program_to_file(program, bins, folder):
    path = os.path.join(folder, "masses.f64")
    weights = [str(w) for w in WEIGHTS]
    subprocess.run([program, "cascade", *map(str, BREAKS), "--weights", *weights,
                    "--bins", str(bins), "--output", path, "--threads", "2"], check=True)
    os.remove(path)


def cascade_figures(program, bins, chunks, repeats, folder):
    """Zarr through two workers against the program, then one worker against two."""
    results = []
    times = {1: [], 2: []}
    program_times = []
    for workers in (2, 1):
        local, client = cluster(workers)
        with local, client:
            client.run(lambda: veltrane.cascade(BREAKS, WEIGHTS, bins=16))  # imports on workers
            for _ in range(repeats):
                times[workers].append(seconds(lambda: cascade_to_zarr(bins, chunks, folder)))
                if workers == 2:
                    program_times.append(seconds(lambda: program_to_file(program, bins,
                                                                         folder)))
    two, one, alone = (statistics.median(t) for t in (times[2], times[1], program_times))
    results.append(report(f"cascade 2^{bins.bit_length() - 1} bins, program --output",
                          f"{alone:.3f} s  {bins / alone / 1e6:.1f} M bins/s", None, True))
    results.append(report("  to Zarr, 2 workers", f"{two:.3f} s  {bins / two / 1e6:.1f} M bins/s",
                          ">= 0.8x program", alone / two >= 0.8))
    results.append(report("  to Zarr, 1 worker", f"{one:.3f} s  {bins / one / 1e6:.1f} M bins/s",
                          None, True))
    report("  2 workers over 1", f"{one / two:.3f}x", None, True)
    return results


def chunk_figures(bins, chunks, repeats):
    """Each chunk of the cascade on its own, in one thread: where it lies must not matter.
    Every chunk is timed once a round, the rounds taken in turn, and has its median."""
    out = np.zeros(chunks)  # written once, so that no chunk pays for the first touch
    firsts = range(0, bins, chunks)
    rounds = [[seconds(lambda: veltrane.cascade(BREAKS, WEIGHTS, bins=bins, first=first,
                                                count=chunks, out=out, threads=1))
               for first in firsts] for _ in range(repeats)]
    times = [statistics.median(chunk) for chunk in zip(*rounds)]
    median, slowest = statistics.median(times), max(times)
    where = times.index(slowest)
    return [report(f"{len(times)} chunks of {chunks} bins, one thread",
                   f"median {median * 1e3:.1f} ms ({median / chunks * 1e9:.0f} ns/bin), "
                   f"slowest (chunk {where}) {slowest / median:.3f}x",
                   "<= 1.5x median", slowest / median <= 1.5)]


def sweep_figures(measures, repeats):
    """D_q of a table of random three-branch measures at 21 orders, on one worker and two."""
    generator = np.random.default_rng(20261207)
    breaks = np.sort(generator.uniform(0.05, 0.95, (measures, 2)), axis=1)
    breaks[:, 1] = np.maximum(breaks[:, 1], breaks[:, 0] + 0.01)
    weights = generator.uniform(0.1, 1.0, (measures, 3))
    weights /= weights.sum(axis=1, keepdims=True)
    q = np.linspace(-5, 5, 21)
    times = {}
    for workers in (1, 2):
        local, client = cluster(workers)
        with local, client:
            client.run(lambda: veltrane.tau([0.5], [0.5, 0.5], 2.0))
            runs = [seconds(lambda: veltrane.dask.dq(breaks, weights, q).compute())
                    for _ in range(repeats)]
            times[workers] = statistics.median(runs)
    speedup = times[1] / times[2]
    report(f"D_q of {measures} measures x 21 orders, 1 worker", f"{times[1]:.3f} s", None, True)
    report("  2 workers", f"{times[2]:.3f} s", None, True)
    return [report("  2 workers over 1", f"{speedup:.3f}x", ">= 1.7x", speedup >= 1.7)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default="build/veltrane")
    parser.add_argument("--store", default=None)
    parser.add_argument("--quick", action="store_true")
    arguments = parser.parse_args()
    quick = arguments.quick
    bins, chunks = (2**18, 2**12) if quick else (2**28, 2**22)
    repeats = 1 if quick else 3
    with tempfile.TemporaryDirectory(dir=arguments.store) as folder:
        results = cascade_figures(arguments.program, bins, chunks, repeats, folder)
    results += chunk_figures(bins, chunks, min(repeats, 3))
    results += sweep_figures(10**3 if quick else 10**5, repeats)
    return 0 if quick or all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
