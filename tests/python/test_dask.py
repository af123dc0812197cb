"""Cascades and sweeps as Dask collections, computed on Dask's distributed scheduler: two
worker processes of a LocalCluster, and dask-scheduler and dask-worker started as programs
talking TCP. A worker killed in the middle of a run, or a Zarr store the cluster writes, still
gives the bits of one call."""

import os
import pathlib
import signal
import socket
import subprocess
import sys
import time

import numpy as np
import pytest

import veltrane
from conftest import table

distributed = pytest.importorskip("distributed")
import dask  # noqa: E402 (after the skip)
import veltrane.dask  # noqa: E402

CHUNKINGS = table("chunkings.tsv")
MEASURE = ([0.2, 0.45, 0.7], [0.1, 0.4, 0.2, 0.3])


def numbers(text):
    return [float(word) for word in text.split()]


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as local:
        with distributed.Client(local) as client:
            yield local, client


@pytest.mark.parametrize("row", CHUNKINGS, ids=["-".join(row[2:]) for row in CHUNKINGS])
def test_any_chunking_gives_the_bits_of_one_call(row, cluster):
    breaks, weights, bins, chunks = numbers(row[0]), numbers(row[1]), int(row[2]), eval(row[3])
    masses = veltrane.dask.cascade(breaks, weights, bins=bins, chunks=chunks)
    assert masses.shape == (bins,) and masses.dtype == np.float64
    whole = veltrane.cascade(breaks, weights, bins=bins)
    assert masses.compute().tobytes() == whole.tobytes()
    assert masses[bins // 3:bins // 2].compute().tobytes() == whole[bins // 3:bins // 2].tobytes()
    assert float(masses.sum().compute()) == pytest.approx(1.0, abs=1e-12)


def test_sweeps_are_the_row_by_row_calls(cluster):
    rng = np.random.default_rng(7)
    cuts = np.sort(rng.uniform(0.01, 0.99, (500, 2)), axis=1)
    weights = rng.uniform(0.01, 1.0, (500, 3))
    q = np.linspace(-4, 4, 21)
    swept = veltrane.dask.dq(cuts, dask.array.from_array(weights, chunks=(77, 3)), q, chunks=64)
    assert swept.shape == (500, 21)
    rows = np.stack([veltrane.dq(c, w, q) for c, w in zip(cuts, weights)])
    assert swept.compute().tobytes() == rows.tobytes()
    assert veltrane.dask.tau(cuts, weights, 2.0).compute().tobytes() == np.array(
        [veltrane.tau(c, w, 2.0) for c, w in zip(cuts, weights)]).tobytes()
    spectra = veltrane.dask.spectra(cuts, points=9, chunks=100)
    entropy, exponents = dask.compute(spectra.entropy, spectra.exponents)
    for i in (0, 123, 499):
        alone = veltrane.exact(cuts[i], points=9)
        assert entropy[i].tobytes() == alone.entropy.tobytes()
        assert exponents[i].tobytes() == alone.exponents.tobytes()


def test_refusals_are_raised_before_any_block_runs():
    with pytest.raises(veltrane.InputError, match="weight 2"):
        veltrane.dask.cascade([0.3], [1, -1], bins=10)
    with pytest.raises(veltrane.InputError, match="rows of weights"):
        veltrane.dask.dq(np.full((3, 1), 0.3), np.ones((2, 2)), [2.0])
    with pytest.raises(veltrane.InputError, match="measure 1: weight 2"):
        veltrane.dask.dq([[0.3], [0.3]], [[1, 1], [1, -1]], [2.0]).compute(
            scheduler="synchronous")


def test_a_refused_row_is_named_by_its_place_in_the_whole_table():
    weights = np.ones((6000, 2))
    weights[5000, 1] = -1
    breaks = np.full((6000, 1), 0.3)
    for sweep in (veltrane.dask.dq(breaks, weights, [2.0], chunks=4096),
                  veltrane.dask.tau(breaks, weights, 2.0, chunks=1000)):
        with pytest.raises(veltrane.InputError, match="^measure 5000: weight 2"):
            sweep.compute(scheduler="synchronous")
    breaks[4500, 0] = 2
    with pytest.raises(veltrane.InputError, match="^measure 4500: break point 1"):
        veltrane.dask.spectra(breaks, points=3, chunks=4096).entropy.compute(
            scheduler="synchronous")


def test_a_worker_returns_result_objects(cluster):
    _, client = cluster
    for future, alone in [
            (client.submit(veltrane.exact, [0.1, 0.3, 0.6], points=7),
             veltrane.exact([0.1, 0.3, 0.6], points=7)),
            (client.submit(veltrane.multifractal, *MEASURE, points=5),
             veltrane.multifractal(*MEASURE, points=5)),
            (client.submit(veltrane.cells, *MEASURE, levels=2),
             veltrane.cells(*MEASURE, levels=2))]:
        returned = future.result()
        assert type(returned) is type(alone) and repr(returned) == repr(alone)
        for name in type(alone)._names:
            assert getattr(returned, name).tobytes() == getattr(alone, name).tobytes()
            assert not getattr(returned, name).flags.writeable


def test_a_worker_killed_mid_run_loses_nothing(cluster):
    local, client = cluster
    bins = 2**22
    masses = veltrane.dask.cascade(*MEASURE, bins=bins, chunks=2**16)
    future = client.compute(masses)
    pids = client.run(os.getpid)
    while sum(state == "memory" for state in client.processing().values()) == 0 and \
            not client.has_what().get(next(iter(pids)), ()):
        time.sleep(0.05)
    time.sleep(0.3)
    os.kill(next(iter(pids.values())), signal.SIGKILL)
    assert future.result(timeout=240).tobytes() == veltrane.cascade(*MEASURE, bins=bins).tobytes()
    assert len(client.run(os.getpid)) >= 1


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@pytest.fixture
def programs(tmp_path):
    """dask-scheduler and two dask-worker programs on 127.0.0.1; yields the scheduler's
    address."""
    address = f"tcp://127.0.0.1:{free_port()}"
    common = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "cwd": tmp_path}
    started = [subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_scheduler",
                                 "--host", "127.0.0.1", "--port", address.rsplit(":", 1)[1],
                                 "--dashboard-address", ":0"], **common)]
    for _ in range(2):
        started.append(subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_worker",
                                         address, "--nthreads", "1", "--no-nanny",
                                         "--dashboard-address", ":0"], **common))
    try:
        yield address
    finally:
        for process in started:
            process.terminate()
        for process in started:
            # A worker still closing its connections when the machine is busy is killed
            # rather than left behind or waited on for ever.
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=30)


def test_a_zarr_store_the_programs_write_reads_back_as_one_call(programs, tmp_path):
    zarr = pytest.importorskip("zarr")
    with distributed.Client(programs, timeout=60) as client:
        client.wait_for_workers(2, timeout=60)
        masses = veltrane.dask.cascade(*MEASURE, bins=3 * 2**18 + 5, chunks=2**17)
        store = tmp_path / "masses.zarr"
        masses.to_zarr(str(store))
    assert zarr.open(str(store), mode="r")[:].tobytes() == veltrane.cascade(
        *MEASURE, bins=3 * 2**18 + 5).tobytes()


def test_without_dask_the_message_names_the_packages(tmp_path):
    script = ("import sys; sys.modules['dask'] = None\n"
              "import veltrane.dask\n"
              "try:\n    veltrane.dask.cascade([0.3], [1, 1], bins=8)\n"
              "except ImportError as e:\n    print(e)\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          env=os.environ, check=True, cwd=pathlib.Path(tmp_path))
    assert "python3-dask" in done.stdout
