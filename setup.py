"""The build step of the Python package that pyproject.toml cannot declare: CMake builds the
compiled module _veltrane (the library linked in statically) and the stubs written from it,
with the project's own CMakeLists.txt, the windows, tests and benchmarks off; both are laid
beside the Python sources of python/veltrane. What setuptools and CMake make stays in
build-python/ (CMake's tree in build-python/cmake), apart from the checkout's own builds."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
WORK = "build-python"


def version():
    """The project's version, as CMakeLists.txt declares it."""
    found = re.search(r"project\(Veltrane VERSION ([0-9.]+)",
                      (ROOT / "CMakeLists.txt").read_text(encoding="utf-8"))
    if not found:
        raise RuntimeError("CMakeLists.txt declares no version of Veltrane")
    return found[1]


class CMakeBuild(build_ext):
    """Builds the extension with CMake rather than from a list of sources."""

    def build_extension(self, ext):
        tree = ROOT / WORK / "cmake"
        subprocess.run([
            "cmake", "-S", str(ROOT), "-B", str(tree), "-DCMAKE_BUILD_TYPE=Release",
            f"-DPython3_EXECUTABLE={sys.executable}", "-DVELTRANE_PYTHON=ON",
            "-DVELTRANE_GUI=OFF", "-DVELTRANE_TESTS=OFF", "-DVELTRANE_BENCHMARKS=OFF",
            # A user's compiler may warn where the project's does not: a warning then stays one.
            "-DVELTRANE_WERROR=OFF"], check=True)
        jobs = self.parallel or os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or os.cpu_count()
        subprocess.run(["cmake", "--build", str(tree), "--target", "_veltrane", "_veltrane_stubs",
                        "--parallel", str(jobs)], check=True)
        built = tree / "python" / "veltrane"
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built / target.name, target)
        shutil.copyfile(built / "_veltrane.pyi", target.parent / "_veltrane.pyi")


(ROOT / WORK).mkdir(exist_ok=True)  # egg_info wants its folder to be there
setup(
    version=version(),
    ext_modules=[Extension("veltrane._veltrane", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": WORK}, "egg_info": {"egg_base": WORK}},
)
