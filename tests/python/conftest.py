"""What the package's tests share: the command line they compare against, and the tables."""

import os
import pathlib
import shlex
import subprocess

import numpy as np
import pytest

import veltrane
import veltrane.dask  # noqa: F401 (tables call veltrane.dask.cascade; Dask itself is not needed)

DATA = pathlib.Path(__file__).resolve().parent.parent / "data" / "python"


def table(name):
    """The rows of tests/data/python/NAME, tab-separated, without comments and blank lines."""
    rows = []
    for line in (DATA / name).read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            rows.append(line.split("\t"))
    return rows


def call(text):
    """The package call written in a table, evaluated with the package's functions and np."""
    names = {name: getattr(veltrane, name) for name in veltrane.__all__}
    return eval(text, {"np": np, "veltrane": veltrane, **names})  # noqa: S307 (our own tables)


@pytest.fixture(scope="session")
def program():
    """runs the program with the words of a command line; returns the finished process."""
    binary = os.environ.get("VELTRANE_BINARY")
    if not binary:
        pytest.skip("VELTRANE_BINARY is not set (CTest sets it)")

    def run(words, cwd=None):
        args = shlex.split(words) if isinstance(words, str) else list(words)
        return subprocess.run([binary, *args], capture_output=True, text=True, cwd=cwd,
                              check=False, timeout=120)

    return run


# Tests that start Dask workers or run the example programs whole: they check the Python that
# spreads and draws the work, whose numbers the other tests already compare bit for bit, and
# take most of the suite's time, so the quick suite leaves them out (-m "not cluster").
CLUSTER_FIXTURES = {"cluster", "programs"}


def pytest_configure(config):
    config.addinivalue_line("markers", "cluster: starts Dask workers or runs an example whole")


def pytest_collection_modifyitems(items):
    for item in items:
        if CLUSTER_FIXTURES & set(getattr(item, "fixturenames", ())) or \
                item.path.name == "test_examples.py":
            item.add_marker(pytest.mark.cluster)
