"""The results of the analyses: named arrays of equal length, with a repr showing their ranges."""

from typing import Any

import numpy as np
import numpy.typing as npt


def _set(result: object, name: str, value: Any) -> None:
    """Sets an attribute of a read-only result; NumPy arrays are made read-only in fact (Dask's
    lazy arrays cannot be written anyway)."""
    array = value
    while isinstance(array, np.ndarray):  # and the arrays it views, which .base would hand out
        array.flags.writeable = False
        array = array.base
    object.__setattr__(result, name, value)


def _extent(values: npt.NDArray[Any]) -> str:
    if values.size == 0:
        return "[]"
    return f"[{values.min():.6g} .. {values.max():.6g}]"


def _counted(n: int, unit: str) -> str:
    return f"{n} {unit}" if n == 1 else f"{n} {unit}s"


def _axes(ax: Any) -> Any:
    """The axes to draw on: ax, or the current axes of pyplot, imported only now so that the
    package does not need matplotlib until something is drawn."""
    if ax is not None:
        return ax
    import matplotlib.pyplot as plt

    return plt.gca()


def _curve(ax: Any, x: Any, y: Any, **style: Any) -> None:
    """A curve, or for a table one a row; a spectrum of one point as a marker, as the
    windows draw it."""
    x, y = np.asarray(x), np.asarray(y)
    marker = "s" if x.shape[-1] == 1 else None
    ax.plot(x.T, y.T, marker=marker, **style)


class _Diagram:
    """The spectral diagram's drawing, shared by the results that hold one."""

    __slots__ = ()
    lyapunov: Any
    entropy: Any
    dimension: Any

    def plot(self, ax: Any = None) -> Any:
        """Draws entropy and dimension against the Lyapunov exponent, as the graph window does.

        Parameters
        ----------
        ax : matplotlib.axes.Axes, optional
            Where to draw; the current axes of pyplot when None.

        Returns
        -------
        matplotlib.axes.Axes
            The axes drawn on, with the two curves (a row each for a table), labels and a
            legend.
        """
        ax = _axes(ax)
        _curve(ax, self.lyapunov, self.entropy, color="green", label=r"entropy $h$")
        _curve(ax, self.lyapunov, self.dimension, color="red", label=r"dimension $h/\lambda$")
        ax.set(xlabel=r"Lyapunov exponent $\lambda$", ylabel="entropy, dimension")
        ax.legend()
        return ax


class _Arrays:
    """Arrays of equal length under the names in _names, read-only as attributes."""

    __slots__: tuple[str, ...] = ()
    _names: tuple[str, ...] = ()
    _unit = "point"

    def __init__(self, *arrays: Any) -> None:
        for name, values in zip(self._names, arrays, strict=True):
            _set(self, name, values)

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError(f"{type(self).__name__} is read-only")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"{type(self).__name__} is read-only")

    def __reduce__(self) -> tuple[type, tuple[Any, ...]]:
        # Rebuilt from its constructor's arguments, so that pickle (a Dask worker returning a
        # result), copy and deepcopy work without writing to the object.
        return type(self), tuple(getattr(self, name) for name in self._arguments())

    @classmethod
    def _arguments(cls) -> tuple[str, ...]:
        return cls._names

    def __len__(self) -> int:
        return len(getattr(self, self._names[0]))

    def __repr__(self) -> str:
        first = getattr(self, self._names[0])
        if not isinstance(first, np.ndarray):  # lazy arrays: their shapes only
            return (f"{type(self).__name__}({_counted(first.shape[0], 'row')} of "
                    f"{_counted(first.shape[1], self._unit)})")
        ranges = ", ".join(f"{name}={_extent(getattr(self, name))}" for name in self._names)
        size = f"{_counted(first.shape[0], 'row')} of " if first.ndim == 2 else ""
        return f"{type(self).__name__}({size}{_counted(first.shape[-1], self._unit)}, {ranges})"


class ClassicSpectrum(_Diagram, _Arrays):
    """The points the windows' analysis stores for a map, in single precision (float32).

    Parameters
    ----------
    lyapunov, entropy, dimension : numpy.ndarray
        The spectral diagram, point by point: the Lyapunov exponent (nats per iteration), the
        entropy (nats) and the dimension entropy / lyapunov, the very values the command line
        prints. Also the attributes of these names.
    break_points, exponents : numpy.ndarray
        The break points as read, and the branch exponents ln(1/length), left to right.
    messages : sequence of str
        What the analysis had to say on the way (the windows show each in a message box),
        also issued as RuntimeWarning; a tuple as the attribute.

    See Also
    --------
    spectrum : The call that makes it.

    Notes
    -----
    Results are read-only in fact, their arrays not writeable, and pickle and copy as values.
    plot(ax=None) draws the diagram with matplotlib, imported only then.

    Examples
    --------
    >>> veltrane.spectrum(0.5).exponents
    array([0.6931472, 0.6931472], dtype=float32)
    """

    __slots__ = ("lyapunov", "entropy", "dimension", "break_points", "exponents", "messages")
    lyapunov: npt.NDArray[np.float32]
    entropy: npt.NDArray[np.float32]
    dimension: npt.NDArray[np.float32]
    break_points: npt.NDArray[np.float32]
    exponents: npt.NDArray[np.float32]
    messages: tuple[str, ...]
    _names = ("lyapunov", "entropy", "dimension")

    def __init__(self, lyapunov: Any, entropy: Any, dimension: Any, break_points: Any,
                 exponents: Any, messages: Any) -> None:
        super().__init__(lyapunov, entropy, dimension)
        _set(self, "break_points", break_points)
        _set(self, "exponents", exponents)
        _set(self, "messages", tuple(messages))

    @classmethod
    def _arguments(cls) -> tuple[str, ...]:
        return cls.__slots__


class ExactSpectrum(_Diagram, _Arrays):
    """The exact spectral diagram in double precision (float64).

    Parameters
    ----------
    lyapunov, entropy, dimension, beta : array_like
        A value a point (a row a map for a table): the Lyapunov exponent, evenly spaced from
        the smallest branch exponent to the largest; the entropy, the largest of branch
        weights p with mean exponent sum p_i L_i equal to it, reached by p_i proportional to
        exp(-beta L_i); the dimension entropy / lyapunov; and beta, +inf at the first point
        and -inf at the last. Also the attributes of these names.
    exponents : array_like
        The branch exponents L_i = ln(1/length_i), left to right; for a Markov map the
        ln|s_i| of its pieces' slopes.

    See Also
    --------
    exact, markov : The calls that make it.

    Notes
    -----
    Results are read-only in fact, their arrays not writeable, and pickle and copy as values;
    veltrane.dask.spectra() holds Dask arrays in it instead. plot(ax=None) draws the diagram
    with matplotlib, imported only then.

    Examples
    --------
    >>> e = veltrane.exact([0.5], points=2)
    >>> e
    ExactSpectrum(1 point, lyapunov=[0.693147 .. 0.693147], entropy=[0.693147 .. 0.693147], \
dimension=[1 .. 1], beta=[0 .. 0])
    >>> e.beta.flags.writeable
    False
    """

    __slots__ = ("lyapunov", "entropy", "dimension", "beta", "exponents")
    lyapunov: Any  # NumPy arrays, or Dask arrays from veltrane.dask.spectra()
    entropy: Any
    dimension: Any
    beta: Any
    exponents: Any
    _names = ("lyapunov", "entropy", "dimension", "beta")

    def __init__(self, lyapunov: Any, entropy: Any, dimension: Any, beta: Any,
                 exponents: Any) -> None:
        super().__init__(lyapunov, entropy, dimension, beta)
        _set(self, "exponents", exponents)

    @classmethod
    def _arguments(cls) -> tuple[str, ...]:
        return cls.__slots__


class MultifractalSpectrum(_Arrays):
    """The multifractal spectrum of a Bernoulli measure in double precision (float64).

    Parameters
    ----------
    alpha, f, q, tau : numpy.ndarray
        A value a point: alpha evenly spaced over the local dimensions of the measure; f the
        dimension of the points of local dimension alpha; q the order and tau = tau(q) =
        q alpha - f, the partition-function exponent, both infinite at the ends. Also the
        attributes of these names.

    See Also
    --------
    multifractal : The call that makes it.

    Notes
    -----
    Results are read-only in fact, their arrays not writeable, and pickle and copy as values.
    plot(ax=None) draws f against alpha with matplotlib, imported only then.

    Examples
    --------
    >>> m = veltrane.multifractal([0.5], [1, 3], points=2)
    >>> m.q, m.tau
    (array([ inf, -inf]), array([ inf, -inf]))
    """

    __slots__ = ("alpha", "f", "q", "tau")
    alpha: npt.NDArray[np.float64]
    f: npt.NDArray[np.float64]
    q: npt.NDArray[np.float64]
    tau: npt.NDArray[np.float64]
    _names = ("alpha", "f", "q", "tau")

    def __init__(self, alpha: Any, f: Any, q: Any, tau: Any) -> None:
        super().__init__(alpha, f, q, tau)

    def plot(self, ax: Any = None) -> Any:
        """Draws f against alpha.

        Parameters
        ----------
        ax : matplotlib.axes.Axes, optional
            Where to draw; the current axes of pyplot when None.

        Returns
        -------
        matplotlib.axes.Axes
            The axes drawn on, with the curve and its labels.
        """
        ax = _axes(ax)
        _curve(ax, self.alpha, self.f, color="blue", label=r"$f(\alpha)$")
        ax.set(xlabel=r"local dimension $\alpha$", ylabel=r"$f(\alpha)$")
        return ax


class Exponents(_Arrays):
    """The exponents of a Bernoulli measure at orders q, in every convention (float64).

    Parameters
    ----------
    q, tau, dq, hurst, zeta, beta, alpha, f : numpy.ndarray
        A value an order, each array of the shape of the q asked for: the order q; the
        partition-function exponent tau(q) = (q - 1) D_q (sum_I mu(I)^q ~ |I|^tau); the
        generalized dimension D_q; the generalized Hurst exponent h(q) = (tau + 1) / q of the
        series of bin masses; zeta(q) = tau + 1, the structure-function exponent of the
        distribution function; beta(q) = -tau, the solution of sum p_i^q l_i^beta = 1; the
        local dimension alpha(q) = tau'(q); and f = q alpha - tau. Also the attributes of
        these names.

    See Also
    --------
    exponents : The call that makes it.

    Notes
    -----
    Results are read-only in fact, their arrays not writeable, and pickle and copy as values.

    Examples
    --------
    >>> veltrane.exponents([0.5], [1, 3], [0.0, 2.0])
    Exponents(2 orders, q=[0 .. 2], tau=[-1 .. 0.678072], dq=[0.678072 .. 1], \
hurst=[0.839036 .. 1.20752], zeta=[0 .. 1.67807], beta=[-0.678072 .. 1], \
alpha=[0.573534 .. 1.20752], f=[0.468996 .. 1])
    """

    __slots__ = ("q", "tau", "dq", "hurst", "zeta", "beta", "alpha", "f")
    q: npt.NDArray[np.float64]
    tau: npt.NDArray[np.float64]
    dq: npt.NDArray[np.float64]
    hurst: npt.NDArray[np.float64]
    zeta: npt.NDArray[np.float64]
    beta: npt.NDArray[np.float64]
    alpha: npt.NDArray[np.float64]
    f: npt.NDArray[np.float64]
    _names = ("q", "tau", "dq", "hurst", "zeta", "beta", "alpha", "f")
    _unit = "order"

    def __init__(self, q: Any, tau: Any, dq: Any, hurst: Any, zeta: Any, beta: Any, alpha: Any,
                 f: Any) -> None:
        super().__init__(q, tau, dq, hurst, zeta, beta, alpha, f)


class Cells(_Arrays):
    """The cells of a level of the cascade in order of position (float64).

    Parameters
    ----------
    left, width, mass : numpy.ndarray
        A value a cell: its left end, its width and its mass. Also the attributes of these
        names.

    See Also
    --------
    cells : The call that makes it.

    Notes
    -----
    Results are read-only in fact, their arrays not writeable, and pickle and copy as values.

    Examples
    --------
    >>> veltrane.cells([0.25], [1, 3], levels=1)
    Cells(2 cells, left=[0 .. 0.25], width=[0.25 .. 0.75], mass=[0.25 .. 0.75])
    """

    __slots__ = ("left", "width", "mass")
    left: npt.NDArray[np.float64]
    width: npt.NDArray[np.float64]
    mass: npt.NDArray[np.float64]
    _names = ("left", "width", "mass")
    _unit = "cell"

    def __init__(self, left: Any, width: Any, mass: Any) -> None:
        super().__init__(left, width, mass)


class PartitionSums(_Arrays):
    """The partition sums Z_q(N) = sum over k of mu([k/N, (k+1)/N])^q of a cascade's measure.

    Parameters
    ----------
    bins : numpy.ndarray
        The numbers of equal bins N, ascending, uint64. Also the attributes of these names.
    q : numpy.ndarray
        The orders q, as given, float64.
    log_z : numpy.ndarray
        The natural log ln Z_q(N), float64 of shape (len(bins), len(q)): the sums themselves reach
        far beyond the doubles (q = -50 on masses of 1e-200).
    tau_apparent : numpy.ndarray
        The apparent exponents between consecutive N, -(ln Z_q(N_i+1) - ln Z_q(N_i)) /
        (ln N_i+1 - ln N_i), float64 of shape (len(bins) - 1, len(q)): what a box-counting
        estimator finds from those two resolutions, tending to tau(q) = (q - 1) D_q.

    Notes
    -----
    Made by veltrane.partition_sums() and checked there: Z_0(N) = N to the bit, Z_1(N) = 1
    within 1e-11, ln Z convex and not rising in q. Picklable, and read-only in fact.

    Examples
    --------
    >>> z = veltrane.partition_sums([0.5], [1, 3], bins=[2, 4, 8], q=[0, 2])
    >>> z
    PartitionSums(3 Ns from 2 to 8, 2 orders, log_z=[-1.41001 .. 2.07944], \
tau_apparent=[-1 .. 0.678072])
    >>> z.log_z.shape, z.tau_apparent.shape
    ((3, 2), (2, 2))
    """

    __slots__ = ("bins", "q", "log_z", "tau_apparent")
    bins: Any
    q: Any
    log_z: Any
    tau_apparent: Any
    _names = ("bins", "q", "log_z", "tau_apparent")
    _unit = "order"

    def __init__(self, bins: Any, q: Any, log_z: Any, tau_apparent: Any) -> None:
        super().__init__(bins, q, log_z, tau_apparent)

    def __len__(self) -> int:
        return len(self.bins)

    def __repr__(self) -> str:
        return (f"PartitionSums({_counted(len(self.bins), 'N')} from {self.bins[0]} to "
                f"{self.bins[-1]}, {_counted(len(self.q), self._unit)}, "
                f"log_z={_extent(self.log_z)}, tau_apparent={_extent(self.tau_apparent)})")
