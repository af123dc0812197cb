"""The results of the analyses: named arrays of equal length, with a repr showing their ranges."""

import numpy as np


def _set(result, name, value):
    """Sets an attribute of a read-only result; NumPy arrays are made read-only in fact (Dask's
    lazy arrays cannot be written anyway)."""
    array = value
    while isinstance(array, np.ndarray):  # and the arrays it views, which .base would hand out
        array.flags.writeable = False
        array = array.base
    object.__setattr__(result, name, value)


def _extent(values: np.ndarray) -> str:
    if values.size == 0:
        return "[]"
    return f"[{values.min():.6g} .. {values.max():.6g}]"


def _counted(n: int, unit: str) -> str:
    return f"{n} {unit}" if n == 1 else f"{n} {unit}s"


class _Arrays:
    """Arrays of equal length under the names in _names, read-only as attributes."""

    __slots__ = ()
    _names: tuple = ()
    _unit = "point"

    def __init__(self, *arrays):
        for name, values in zip(self._names, arrays, strict=True):
            _set(self, name, values)

    def __setattr__(self, name, value):
        raise AttributeError(f"{type(self).__name__} is read-only")

    def __delattr__(self, name):
        raise AttributeError(f"{type(self).__name__} is read-only")

    def __reduce__(self):
        # Rebuilt from its constructor's arguments, so that pickle (a Dask worker returning a
        # result), copy and deepcopy work without writing to the object.
        return type(self), tuple(getattr(self, name) for name in self._arguments())

    @classmethod
    def _arguments(cls):
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


class ClassicSpectrum(_Arrays):
    """The points the windows' analysis stores for the map, in single precision (float32).

    lyapunov, entropy, dimension: the spectral diagram, point by point, the very values the
    command line prints. break_points: the break points as read, and exponents the branch
    exponents ln(1/length), left to right. messages: what the analysis had to say on the way
    (the windows show each in a message box), also issued as RuntimeWarning.
    """

    __slots__ = ("lyapunov", "entropy", "dimension", "break_points", "exponents", "messages")
    _names = ("lyapunov", "entropy", "dimension")

    def __init__(self, lyapunov, entropy, dimension, break_points, exponents, messages):
        super().__init__(lyapunov, entropy, dimension)
        _set(self, "break_points", break_points)
        _set(self, "exponents", exponents)
        _set(self, "messages", tuple(messages))

    @classmethod
    def _arguments(cls):
        return cls.__slots__


class ExactSpectrum(_Arrays):
    """The exact spectral diagram in double precision (float64).

    At the Lyapunov exponent lyapunov (evenly spaced from the smallest branch exponent to the
    largest) the entropy is the largest of branch weights p with mean exponent sum p_i L_i
    equal to it, reached by p_i proportional to exp(-beta L_i); dimension = entropy /
    lyapunov. beta is +inf at the first point and -inf at the last. exponents: the branch
    exponents L_i = ln(1/length_i), left to right; for a Markov map (markov()) the ln|s_i| of
    its pieces' slopes, and the weights those of the pieces' cycles.
    """

    __slots__ = ("lyapunov", "entropy", "dimension", "beta", "exponents")
    _names = ("lyapunov", "entropy", "dimension", "beta")

    def __init__(self, lyapunov, entropy, dimension, beta, exponents):
        super().__init__(lyapunov, entropy, dimension, beta)
        _set(self, "exponents", exponents)

    @classmethod
    def _arguments(cls):
        return cls.__slots__


class MultifractalSpectrum(_Arrays):
    """The multifractal spectrum of a Bernoulli measure in double precision (float64).

    alpha is evenly spaced over the local dimensions of the measure; f is the dimension of the
    points of local dimension alpha; q is the order and tau = tau(q) = f - q alpha. q and tau are
    infinite at the ends.
    """

    __slots__ = ("alpha", "f", "q", "tau")
    _names = ("alpha", "f", "q", "tau")


class Cells(_Arrays):
    """The cells of a level of the cascade in order: left end, width and mass (float64)."""

    __slots__ = ("left", "width", "mass")
    _names = ("left", "width", "mass")
    _unit = "cell"
