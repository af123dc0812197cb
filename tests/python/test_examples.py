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
