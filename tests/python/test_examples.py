"""The Python example a user copies runs, and prints what its README section says it does."""

import os
import pathlib
import subprocess
import sys

import numpy as np

ESTIMATORS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "python" / "estimators.py"
APPROVED = pathlib.Path(__file__).resolve().parents[1] / "data" / "python" / "estimators-14.txt"


def run(*words):
    done = subprocess.run([sys.executable, str(ESTIMATORS), *words], capture_output=True,
                          text=True, check=False, timeout=120, env=os.environ)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_the_estimators_print_the_figures_of_the_table():
    # At 2^14 bins, without the picture: box counting on the exact bins is the exact fit at
    # those N to rounding; MFDFA-1 differs from its exact figure by a bias of its own.
    printed = run("14")
    assert printed == APPROVED.read_text(encoding="utf-8")
    for line in printed.splitlines()[2:]:
        q, tau, tau_n, box, box_error, h, h_n, dfa, dfa_error = map(float, line.split())
        assert abs(box_error) < 1e-9 and abs(tau_n - tau) < 0.1, line
        assert 1e-4 < abs(dfa_error) < 0.1 and abs(h_n - h) < 0.1, line
        if q == 1.0:
            assert tau == 0.0 and h == 1.0


def test_the_picture_is_drawn(tmp_path):
    picture = tmp_path / "estimators.png"
    assert run("12", str(picture)).endswith(f"drawn into {picture}\n")
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


RANDOM = ESTIMATORS.with_name("random_cascades.py")


def test_the_random_cascades_example_prints_its_table_and_draws():
    # 100 realizations at 2^12 bins: the figures of the table; the ensemble's mean on the
    # expected tau near q = 0, one realization straight beyond q*+ and far from tau there.
    done = subprocess.run([sys.executable, str(RANDOM), "100", "12"], capture_output=True,
                          text=True, check=False, timeout=120, env=os.environ)
    assert done.returncode == 0, done.stderr
    assert done.stdout == (APPROVED.parent / "random-cascades-100-12.txt").read_text("utf-8")
    rows = [list(map(float, line.split())) for line in done.stdout.splitlines()[3:]]
    q, tau, mean, single = (np.array(column) for column in zip(*rows))
    q_plus = float(done.stdout.split("q*+ = ")[1].split(",")[0])
    near = np.abs(q) <= 1.5
    assert np.all(np.abs(mean[near] - tau[near]) < 0.02)
    beyond = q > q_plus + 1.5
    assert np.all(np.abs(np.diff(single[beyond], 2)) < 0.01)
    assert np.all(np.abs(np.diff(tau[beyond], 2)) > 0.02)
    assert single[-1] - tau[-1] > 1.0


def test_the_random_cascades_picture_is_drawn(tmp_path):
    picture = tmp_path / "random.png"
    done = subprocess.run([sys.executable, str(RANDOM), "10", "8", str(picture)],
                          capture_output=True, text=True, check=False, timeout=120,
                          env=os.environ)
    assert done.returncode == 0 and done.stdout.endswith(f"drawn into {picture}\n")
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
