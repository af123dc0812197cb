"""The Python example a user copies runs, and says what its README section says it does."""

import os
import pathlib
import subprocess
import sys

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "python" / "box_counting.py"


def test_box_counting_lies_near_the_exact_tau(tmp_path):
    picture = tmp_path / "tau.png"
    done = subprocess.run([sys.executable, str(EXAMPLE), str(picture)], capture_output=True,
                          text=True, check=False, timeout=120, env=os.environ)
    assert done.returncode == 0, done.stderr
    rows = [line.split() for line in done.stdout.splitlines()[1:-1]]
    assert len(rows) == 17
    for q, exact, estimate, _ in rows:
        assert abs(float(estimate) - float(exact)) < 0.1, q
        if float(q) in (0.0, 1.0):
            assert float(exact) == float(q) - 1.0
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


ESTIMATORS = EXAMPLE.with_name("estimators.py")


def test_the_estimators_print_the_figures_of_the_table():
    # At 2^14 bins, without the picture: box counting on the exact bins is the ideal fit to
    # rounding, MFDFA-1 differs from it by its own bias, figures the table holds.
    done = subprocess.run([sys.executable, str(ESTIMATORS), "14"], capture_output=True,
                          text=True, check=False, timeout=120, env=os.environ)
    assert done.returncode == 0, done.stderr
    approved = pathlib.Path(__file__).resolve().parents[1] / "data" / "python" / "estimators-14.txt"
    assert done.stdout == approved.read_text(encoding="utf-8")
    for line in done.stdout.splitlines()[2:]:
        box_error = float(line.split()[4])
        assert abs(box_error) < 1e-9, line
