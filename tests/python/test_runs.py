"""How the calls run: the same bits on any number of threads, into a given array, with the GIL
released, and stopped by Ctrl+C."""

import copy
import os
import pickle
import signal
import threading
import time

import numpy as np
import pytest

import veltrane

MEASURE = ([0.1, 0.35, 0.5, 0.9], [3, 1e-3, 2, 1, 0.5])


def bits(value):
    arrays = [value] if isinstance(value, np.ndarray) else [
        getattr(value, name) for name in type(value).__slots__ if name != "messages"]
    return [array.tobytes() for array in arrays]


@pytest.mark.parametrize("run", [
    lambda threads: veltrane.exact(np.linspace(0.01, 0.99, 40) ** 2, points=3000,
                                   threads=threads),
    lambda threads: veltrane.multifractal(*MEASURE, points=2000, threads=threads),
    lambda threads: veltrane.tau(*MEASURE, np.linspace(-40, 40, 20001), threads=threads),
    lambda threads: veltrane.dq(*MEASURE, np.linspace(-3, 3, 20001), threads=threads),
    lambda threads: veltrane.cascade(*MEASURE, bins=3 * 2**15 + 7, threads=threads),
    lambda threads: veltrane.cells(*MEASURE, levels=7, threads=threads),
], ids=["exact", "multifractal", "tau", "dq", "cascade", "cells"])
def test_any_number_of_threads_gives_the_same_bits(run):
    one = run(1)
    assert bits(one) == bits(run(2)) == bits(run(None))


def test_a_window_of_bins_is_those_of_the_whole_and_out_is_the_result():
    whole = veltrane.cascade(*MEASURE, bins=5000)
    out = np.full(1200, np.nan)
    result = veltrane.cascade(*MEASURE, bins=5000, first=3000, count=1200, out=out)
    assert result is out and np.shares_memory(result, out)
    assert out.tobytes() == whole[3000:4200].tobytes()
    assert veltrane.cascade(*MEASURE, bins=5000, first=5000).size == 0


def test_tau_and_dq_keep_the_shape_of_q():
    q = np.linspace(-2, 2, 12).reshape(3, 4)
    assert veltrane.tau(*MEASURE, q).shape == (3, 4)
    assert isinstance(veltrane.dq(*MEASURE, 2), float)
    assert veltrane.tau(*MEASURE, 2.0) == veltrane.tau(*MEASURE, [2.0])[0]
    assert veltrane.tau(*MEASURE, 0.0) == -1.0 and veltrane.tau(*MEASURE, 1) == 0.0


def test_results_show_their_size_and_ranges():
    assert repr(veltrane.cells([0.5], [1, 3], levels=2)) == (
        "Cells(4 cells, left=[0 .. 0.75], width=[0.25 .. 0.25], mass=[0.0625 .. 0.5625])")
    assert repr(veltrane.exact([0.5])) == (
        "ExactSpectrum(1 point, lyapunov=[0.693147 .. 0.693147], entropy=[0.693147 .. "
        "0.693147], dimension=[1 .. 1], beta=[0 .. 0])")
    spectrum = veltrane.spectrum(0.3)
    assert repr(spectrum).startswith("ClassicSpectrum(101 points, lyapunov=[0.356675 .. 1.20397]")
    with pytest.raises(AttributeError):
        spectrum.entropy = None


def test_the_gil_is_free_while_cpp_works():
    counted = 0
    worker = threading.Thread(target=veltrane.cascade, args=MEASURE,
                              kwargs={"bins": 2**28, "count": 2**18, "threads": 1})
    worker.start()
    while worker.is_alive():
        counted += 1
    worker.join()
    assert counted > 10000


@pytest.mark.skipif(threading.current_thread() is not threading.main_thread(),
                    reason="signals reach the main thread only")
def test_ctrl_c_stops_a_long_call_promptly_leaving_out_written_in_part():
    out = np.full(2**23, np.nan)
    sent = []

    def interrupt():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(0.5, interrupt)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        veltrane.cascade(*MEASURE, bins=2**28, count=out.size, out=out)
    stopped = time.monotonic()
    timer.join()
    assert stopped - sent[0] < 0.5
    written = np.isfinite(out)
    assert 0 < written.sum() < out.size
    # What was written is right, and the package works on as before.
    first = int(np.argmax(written))
    again = veltrane.cascade(*MEASURE, bins=2**28, first=first, count=100)
    assert again.tobytes() == out[first:first + 100].tobytes()


RESULTS = {
    "exact": lambda: veltrane.exact([0.2, 0.6], points=5),
    "exact table": lambda: veltrane.exact([[0.2], [0.7]], points=3),
    "markov": lambda: veltrane.markov([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]], points=3),
    "spectrum": lambda: veltrane.spectrum(0.3),
    "multifractal": lambda: veltrane.multifractal(*MEASURE, points=4),
    "cells": lambda: veltrane.cells(*MEASURE, levels=2),
}


def test_a_tables_rows_are_each_rows_own_call():
    cuts = np.array([[0.2, 0.5], [0.7, 0.9], [0.05, 0.95], [0.3, 0.31]])
    table = veltrane.exact(cuts, points=7, threads=2)
    for i, row in enumerate(cuts):
        alone = veltrane.exact(row, points=7)
        for name in type(alone).__slots__:
            if name != "messages":
                assert getattr(table, name)[i].tobytes() == getattr(alone, name).tobytes(), name


@pytest.mark.parametrize("make", RESULTS.values(), ids=RESULTS.keys())
def test_results_pickle_and_copy_and_stay_read_only(make):
    result = make()
    names = [name for name in type(result).__slots__ if name != "messages"]
    for other in (pickle.loads(pickle.dumps(result)), copy.copy(result), copy.deepcopy(result)):
        assert type(other) is type(result) and repr(other) == repr(result)
        assert [getattr(other, n).tobytes() for n in names] == bits(result)
    for held in (result, pickle.loads(pickle.dumps(result))):
        for name in names:
            array = getattr(held, name)
            assert not array.flags.writeable
            with pytest.raises(ValueError):
                array[...] = 0
            if isinstance(array.base, np.ndarray):
                assert not array.base.flags.writeable
        with pytest.raises(AttributeError):
            setattr(held, names[0], None)
        with pytest.raises(AttributeError):
            delattr(held, names[0])


def test_an_error_and_its_kind_pickle_as_themselves():
    with pytest.raises(veltrane.AnalysisError) as raised:
        veltrane.tau([1e-300], [1, 1e-300], -1e300)
    again = pickle.loads(pickle.dumps(raised.value))
    assert type(again) is veltrane.AnalysisError and str(again) == str(raised.value)
    assert again.kind is raised.value.kind is veltrane.ErrorKind.OVERFLOW
    assert copy.deepcopy(again.kind) is veltrane.ErrorKind.OVERFLOW


def test_one_of_anything_is_counted_in_the_singular():
    assert repr(veltrane.multifractal([0.5], [1, 1])).startswith("MultifractalSpectrum(1 point,")
    assert repr(veltrane.exact([[0.5]], points=2)).startswith("ExactSpectrum(1 row of 2 points,")
    assert repr(veltrane.cells([0.5], [1, 1], levels=1, count=1)).startswith("Cells(1 cell,")


def test_q_is_returned_as_the_stubs_say():
    table = ([[0.3], [0.4]], [[1, 2], [1, 1]])
    assert isinstance(veltrane.tau(*MEASURE, 2.0), float)
    assert isinstance(veltrane.tau(*MEASURE, np.float64(2.0)), float)
    assert isinstance(veltrane.dq(*MEASURE, np.array(2.0)), float)
    assert veltrane.dq(*table, 2.0).shape == (2,)
    assert veltrane.dq(*table, [2.0]).shape == (2, 1)


@pytest.mark.parametrize("breaks, bins", [([1e-10], 2**36), ([1e-8], 2**40), ([1e-7], 2**24)])
def test_a_bin_narrower_than_a_short_branch_costs_what_any_bin_costs(breaks, bins):
    # Bins narrower than the short branch beside one almost the whole interval: each level
    # passed a few bin ends to the short branch, so a bin deep in the long one cost a level
    # for every few bins before it (hours for the middle of 2^36 bins); now a few in the
    # middle, the least mass, take milliseconds.
    started = time.monotonic()
    middle = veltrane.cascade(breaks, [1, 1], bins=bins, first=bins // 2 - 1, count=3, threads=1)
    assert time.monotonic() - started < 5.0
    assert middle.tobytes() == np.zeros(3).tobytes()  # below the doubles, as the reference says
