"""The exceptions of the package: a refused input, and a run-time error of an analysis."""

import enum


class InputError(ValueError):
    """An input the analyses refuse: break points, weights, a count or a range.

    The message is the command line's for the same input, such as
    "break point 2 (0.2) must be greater than break point 1 (0.3)".
    """


class ErrorKind(enum.Enum):
    """What went wrong in an analysis; the value is the name the windows show."""

    CONVERSION = "type mismatch"
    DIVISION_BY_ZERO = "division by zero"
    INVALID_OPERATION = "invalid floating-point operation"
    OVERFLOW = "overflow"
    SUBSCRIPT_OUT_OF_RANGE = "subscript out of range"
    PLATFORM = "platform error"
    INTERNAL = "internal error"


class AnalysisError(ArithmeticError):
    """A run-time error of an analysis, such as an overflow; ``kind`` says which."""

    def __init__(self, message: str, kind: ErrorKind) -> None:
        super().__init__(message)
        self.kind = kind

    def __reduce__(self):
        return type(self), (str(self), self.kind)
