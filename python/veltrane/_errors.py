"""The exceptions of the package: a refused input, and a run-time error of an analysis. The
compiled module raises them; it imports this module as it loads, so nothing here imports it
but for type checking."""

from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from ._veltrane import ErrorKind as _ErrorKind


class InputError(ValueError):
    """An input the analyses refuse: break points, weights, a count or a range.

    Its message is the command line's for the same input.

    See Also
    --------
    AnalysisError : A run-time error of an analysis that took its input.

    Notes
    -----
    Code tells errors apart by their class, never by their message, which is written for
    people and may change.

    Examples
    --------
    >>> try:
    ...     veltrane.exact([0.3, 0.2])
    ... except veltrane.InputError as refused:
    ...     print(refused)
    break point 2 (0.2) must be greater than break point 1 (0.3)
    """


class AnalysisError(ArithmeticError):
    """A run-time error of an analysis, such as an overflow.

    Parameters
    ----------
    message : str
        What failed, the kind's name first, as the command line says it.
    kind : ErrorKind
        Which kind of error it is, also the attribute ``kind``.

    See Also
    --------
    InputError : An input refused before any analysis ran.

    Notes
    -----
    The errors pickle with their kind, so that one raised on a Dask worker reaches the
    client as it was raised.

    Examples
    --------
    >>> try:
    ...     veltrane.tau([1e-300], [1, 1e-300], -1e300)
    ... except veltrane.AnalysisError as failed:
    ...     print(failed.kind.name)
    OVERFLOW
    """

    def __init__(self, message: str, kind: "_ErrorKind") -> None:
        super().__init__(message)
        self.kind = kind

    def __reduce__(self) -> tuple[type["AnalysisError"], tuple[str, "_ErrorKind"]]:
        return type(self), (str(self), self.kind)
