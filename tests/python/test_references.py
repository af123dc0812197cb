"""The package's figures against high-precision references stored in a table."""

import pytest

from conftest import call, table

REFERENCES = table("references.tsv")


@pytest.mark.parametrize("row", REFERENCES, ids=[row[0] for row in REFERENCES])
def test_figures_meet_their_references(row):
    expression, figure, tolerance = row
    got, want = float(call(expression)), float(figure)
    assert abs(got - want) <= float(tolerance) * abs(want), f"{got!r} against {figure}"
