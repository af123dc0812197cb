"""Calls as a user types them, checked by mypy against the package's stubs (never run): what the
calls return, and that options are keyword-only and a wrong type is caught. A line marked to
be refused must be, or the mark itself is reported as unused."""

from typing import assert_type

import numpy as np
import numpy.typing as npt

import veltrane
import veltrane.dask


def calls() -> None:
    assert_type(veltrane.tau([0.3], [1, 2], 2.0), float)
    assert_type(veltrane.dq([0.3], [1, 2], 2.0, threads=2), float)
    assert_type(veltrane.dq([[0.3]], [[1, 2]], np.zeros(3)), float | npt.NDArray[np.float64])
    assert_type(veltrane.cascade([0.3], [1, 2], bins=4, out=np.empty(4)),
                npt.NDArray[np.float64])
    assert_type(veltrane.exact([0.3], points=5).entropy, npt.NDArray[np.float64])
    assert_type(veltrane.markov([[0, 0.6, 0, 1], [0.6, 1, 0, 0.6]]).beta,
                npt.NDArray[np.float64])
    assert_type(veltrane.multifractal([0.3], [1, 2]).alpha, npt.NDArray[np.float64])
    assert_type(veltrane.cells([0.3], [1, 2], levels=3).mass, npt.NDArray[np.float64])
    assert_type(veltrane.spectrum("0.3", 0.6).lyapunov, npt.NDArray[np.float32])
    assert_type(veltrane.dask.spectra([[0.3]], points=3), veltrane.ExactSpectrum)
    kind = veltrane.ErrorKind.OVERFLOW
    assert_type(kind, veltrane.ErrorKind)
    assert_type(kind.name, str)
    try:
        veltrane.tau([1e-300], [1, 1e-300], -1e300)
    except veltrane.AnalysisError as failed:
        assert_type(failed.kind, veltrane.ErrorKind)
    veltrane.exact([0.3], 5)  # type: ignore[misc]
    veltrane.cascade([0.3], [1, 2], 4)  # type: ignore[misc]
    veltrane.dask.cascade([0.3], [1, 2], 4)  # type: ignore[misc]
    veltrane.cells([0.3], [1, 2], levels="3")  # type: ignore[arg-type]
    veltrane.ErrorKind.NO_SUCH_KIND  # type: ignore[attr-defined]
