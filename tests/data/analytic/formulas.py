#!/usr/bin/python3
"""Writes formulas.tsv beside it: the value and derivative of each formula at x, from mpmath at
60 digits, printed to 30 significant digits. Run it again after changing the rows below."""
import pathlib
import re

import mpmath

mpmath.mp.dps = 60

# (formula in the analytic maps' grammar, x as exact decimal text)
ROWS = [
    ("1/(2+x)", "0.25"),
    ("1/(1+x)", "1"),
    ("x/3", "0"),
    ("(2+x)/3", "1"),
    ("(exp(x)-1)/(e-1)", "0.5"),
    ("sqrt(1+x)/2", "0.75"),
    ("log(1+x)/2", "0.5"),
    ("sin(x)/2", "0.625"),
    ("cos(x)/3", "0.25"),
    ("tan(x)/4", "0.5"),
    ("atan(x)", "0.75"),
    ("sinh(x)/3", "0.5"),
    ("cosh(x)/4", "0.5"),
    ("x^3/7 + 0.1", "0.5"),
    ("(1+x)^0.5/3", "0.25"),
    ("(1+x)^x", "0.5"),
    ("2^-x", "0.5"),
    ("-x^2+1", "0.5"),
    ("2^3^x", "0.5"),
    ("pi*x/4", "0.5"),
    ("0.1*x", "0.75"),
    ("1e-3*x + 0.5", "1"),
    ("x/(1+x)", "0.375"),
    ("exp(-x)*sin(pi*x)", "0.375"),
    ("e^x/10", "0.125"),
    ("1/(1+1/(2+x))", "0.5"),
    ("(sqrt(e+(e^2-e)*x)-1)/(e-1)", "0.25"),
    ("x^-2/9", "0.75"),
]

NAMES = {name: f"mpmath.{name}" for name in
         ("exp", "log", "sqrt", "sin", "cos", "tan", "atan", "sinh", "cosh")}
NAMES.update({"pi": "mpmath.pi", "e": "mpmath.e", "x": "x"})


def python(formula):
    """The formula as a Python expression over mpmath, numbers read exactly as decimals."""
    def token(m):
        if m.group(1):
            return f"mpmath.mpf('{m.group(1)}')"
        return NAMES[m.group(2)]

    out = re.sub(r"((?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?)|([a-z]+)", token, formula)
    return out.replace("^", "**")


def figures(value):
    return mpmath.nstr(value, 30, min_fixed=-5, max_fixed=5, strip_zeros=False) \
        if value != 0 else "0"


def main():
    lines = ["# Values and derivatives of formulas, from mpmath at 60 digits (formulas.py), to 30",
             "# significant digits. Columns, tab-separated: FORMULA  X  VALUE  DERIVATIVE"]
    for formula, x in ROWS:
        f = eval(f"lambda x: {python(formula)}", {"mpmath": mpmath})
        at = mpmath.mpf(x)
        lines.append("\t".join([formula, x, figures(f(at)), figures(mpmath.diff(f, at))]))
    here = pathlib.Path(__file__).with_name("formulas.tsv")
    here.write_text("\n".join(lines) + "\n")


main()
