"""The package as a user reads and type-checks it: every public function and class documented
in numpydoc's sections, with examples that run; options keyword-only; type stubs that match
the compiled module; and the sources clean for mypy and pyflakes."""

import doctest
import importlib
import inspect
import io
import os
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest
from numpydoc import docscrape, validate

import veltrane
import veltrane.dask
from conftest import call, table

PACKAGE = pathlib.Path(veltrane.__file__).resolve().parent  # as built, with its compiled stubs
TESTS = pathlib.Path(__file__).resolve().parent
SOURCES = TESTS.parents[1] / "python"
PUBLIC = ([f"veltrane.{name}" for name in veltrane.__all__ if name != "MAX_BINS"]
          + [f"veltrane.dask.{name}" for name in veltrane.dask.__all__])
MODULES = ["veltrane", "veltrane.dask", "veltrane._errors", "veltrane._results",
           "veltrane._veltrane", "veltrane.models"]
# numpydoc's checks of a layout the package writes otherwise: the summary on the line of the
# opening quotes, an extended summary and See Also where they say something.
LAYOUT = {"GL01", "ES01", "SA01"}


@pytest.mark.parametrize("name", PUBLIC)
def test_public_names_have_numpydoc_docstrings(name):
    report = validate.validate(name)
    assert [f"{code}: {text}" for code, text in report["errors"] if code not in LAYOUT] == []
    documented = validate.Validator._load_obj(name)
    doc = docscrape.get_doc_object(documented)
    assert doc["Notes"] and doc["Examples"], name
    if inspect.isfunction(documented):
        assert doc["Raises"], name


@pytest.mark.parametrize("module", MODULES)
def test_the_docstrings_examples_run(module):
    shown = io.StringIO()
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    for found in doctest.DocTestFinder().find(importlib.import_module(module),
                                              globs={"veltrane": veltrane, "np": np}):
        runner.run(found, out=shown.write)
    failed, attempted = runner.summarize(verbose=False)
    assert attempted > 0 and failed == 0, shown.getvalue()


def test_the_readmes_python_examples_print_what_it_shows():
    # A fence ends an example's output, as a blank line does.
    readme = re.sub(r"^```.*$", "", (SOURCES.parent / "README.md").read_text(encoding="utf-8"),
                    flags=re.MULTILINE)
    examples = doctest.DocTestParser().get_doctest(readme, {}, "README.md", "README.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    shown = io.StringIO()
    runner.run(examples, out=shown.write)
    assert runner.failures == 0 and runner.tries > 10, shown.getvalue()


KEYWORD_ONLY = table("keyword-only.tsv")


@pytest.mark.parametrize("row", KEYWORD_ONLY, ids=[row[0] for row in KEYWORD_ONLY])
def test_options_are_keyword_only(row):
    with pytest.raises(TypeError, match="positional argument"):
        call(row[0])


def checked(*words, where=PACKAGE.parent):
    """Runs python3 -m WORDS in where with the built package on the path; its output."""
    done = subprocess.run([sys.executable, "-m", *words], capture_output=True, text=True,
                          cwd=where, check=False, timeout=600,
                          env={**os.environ, "PYTHONPATH": str(PACKAGE.parent)})
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout


CONFIG = str(SOURCES.parent / "pyproject.toml")  # mypy's settings, strict
MYPY = ("mypy", "--config-file", CONFIG, "--cache-dir", os.devnull)


def test_the_stubs_match_the_package_and_its_compiled_module():
    checked("mypy.stubtest", "--mypy-config-file", CONFIG, "veltrane")


def test_mypy_finds_nothing_in_the_stubs_nor_in_the_code():
    checked(*MYPY, "-p", "veltrane")  # the stubs, where there are some
    checked(*MYPY, *sorted(str(path) for path in PACKAGE.glob("*.py")))  # the code behind them


def test_the_stubs_type_calls_as_a_user_writes_them():
    checked(*MYPY, str(TESTS / "typed_calls.py"))


def test_pyflakes_finds_nothing_in_the_package_and_its_tests():
    root = SOURCES.parent
    scripts = [TESTS / "install-with-pip", root / "setup.py"]
    assert checked("pyflakes", str(SOURCES), str(TESTS), *map(str, scripts)) == ""
