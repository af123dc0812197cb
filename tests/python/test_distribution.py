"""The distribution function, its survival function and the bins as signals: shapes, dtypes,
their agreement with the bins and with each other, and the Dask arrays' bits."""

import numpy as np
import pytest

import veltrane

MEASURES = [([0.3], [1, 2]), ([0.25, 0.6], [1e-4, 0.8, 0.1999]),
            ([0.1, 0.15, 0.3, 0.5, 0.55, 0.8], [3, 1, 4, 1, 5, 9, 2])]


@pytest.mark.parametrize("shape", [(), (0,), (5,), (2, 3), (2, 1, 4)])
def test_cdf_and_survival_keep_the_shape_of_x_in_float64(shape):
    x = np.random.default_rng(1).uniform(size=shape)
    for function in (veltrane.cdf, veltrane.survival):
        got = function(*MEASURES[0], x)
        assert got.shape == shape and got.dtype == np.float64
    flat = veltrane.cdf(*MEASURES[0], x.ravel())
    assert np.array_equal(veltrane.cdf(*MEASURES[0], x).ravel(), flat)
    assert veltrane.cdf(*MEASURES[0], [0.25, 1]).dtype == np.float64  # a list, ints among them


@pytest.mark.parametrize("measure", MEASURES)
def test_cdf_and_survival_add_up_to_one_and_do_not_depend_on_threads(measure):
    x = np.sort(np.random.default_rng(2).uniform(size=20_000))
    f = veltrane.cdf(*measure, x, threads=1)
    s = veltrane.survival(*measure, x, threads=2)
    assert np.allclose(f + s, 1.0, rtol=0, atol=4 * 2.0**-53)
    assert np.array_equal(veltrane.cdf(*measure, x, threads=2), f)
    assert np.all(np.diff(f) >= -2.0**-52 * f[1:])  # falls by no more than its rounding
    assert (veltrane.cdf(*measure, [0.0, 1.0]) == [0.0, 1.0]).all()


@pytest.mark.parametrize("measure", MEASURES)
@pytest.mark.parametrize("bins", [1, 3, 1000, 1024])
def test_the_ends_integrate_the_series(measure, bins):
    ends = veltrane.cdf_at_bins(*measure, bins=bins)
    signal = veltrane.series(*measure, bins=bins)
    assert ends.shape == (bins + 1,) and signal.shape == (bins,)
    assert ends[0] == 0.0 and ends[-1] == 1.0
    assert np.allclose(np.diff(ends), signal / bins, rtol=0, atol=2e-15)
    assert abs(signal.mean() - 1.0) <= 1e-15 * max(1, np.log2(bins))
    # where k / N is a double the ends are cdf() at it, to the bit
    if bins & (bins - 1) == 0:
        assert np.array_equal(ends, veltrane.cdf(*measure, np.arange(bins + 1) / bins))
    part = veltrane.cdf_at_bins(*measure, bins=bins, first=bins // 3, count=min(5, bins // 3))
    assert np.array_equal(part, ends[bins // 3:bins // 3 + part.size])
    # without a count, the ends from first to the last
    assert np.array_equal(veltrane.cdf_at_bins(*measure, bins=bins, first=bins // 2),
                          ends[bins // 2:])


def test_series_fills_out_with_the_masses_times_n():
    out = np.empty(4)
    assert veltrane.series(*MEASURES[1], bins=3000, first=7, count=4, out=out) is out
    assert np.array_equal(out, veltrane.cascade(*MEASURES[1], bins=3000, first=7, count=4) * 3000)


@pytest.mark.parametrize("call", [
    lambda: veltrane.cdf([0.3], [1, 2], [0.5, 1.5]),
    lambda: veltrane.cdf([0.3], [1, 2], -1e-300),
    lambda: veltrane.survival([0.3], [1, 2], [np.nan]),
    lambda: veltrane.cdf([0.3], [1, 2], [np.inf]),
    lambda: veltrane.cdf([0.3], [1, 2], "0.5"),
    lambda: veltrane.cdf([0.3], [1, 2], [0.5j]),
    lambda: veltrane.cdf([0.3], [1, 2], np.ma.masked_array([0.5])),
    lambda: veltrane.cdf_at_bins([0.3], [1, 2], bins=4, first=5),
    lambda: veltrane.cdf_at_bins([0.3], [1, 2], bins=4, first=2, count=3),
    lambda: veltrane.cdf_at_bins([0.3], [1, 2], bins=0),
    lambda: veltrane.series([0.3], [1, 2], bins=2**41),
])
def test_refusals(call):
    with pytest.raises(veltrane.InputError):
        call()


def test_a_refused_point_is_named():
    with pytest.raises(veltrane.InputError, match=r"point 3 \(1\.5\) is not in \[0, 1\]"):
        veltrane.cdf([0.3], [1, 2], [[0.1, 0.2], [1.5, 0.3]])


@pytest.mark.parametrize("chunks", [1, 3, 7, 1000, (500, 501)])
def test_the_dask_arrays_hold_the_bits_of_one_call(chunks):
    dask = pytest.importorskip("dask")
    import veltrane.dask
    with dask.config.set(scheduler="synchronous"):
        ends = veltrane.dask.cdf_at_bins(*MEASURES[2], bins=1000, chunks=chunks).compute()
        signal = veltrane.dask.series(*MEASURES[2], bins=1001, chunks=chunks).compute()
    assert np.array_equal(ends, veltrane.cdf_at_bins(*MEASURES[2], bins=1000))
    assert np.array_equal(signal, veltrane.series(*MEASURES[2], bins=1001))
