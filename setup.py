"""Build step of the pip package: configures and builds the module with the project's CMake
build and puts it, with its type stubs, into the wheel.

EVKIT_CMAKE_BUILD_DIR names a build tree to use (an already configured one is only brought
up to date); the default is build-wheel/ beside this file. EVKIT_CMAKE_ARGS adds
configuration options.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(evkit714 VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = Path(os.environ.get("EVKIT_CMAKE_BUILD_DIR", ROOT / "build-wheel"))
        if not (build_dir / "CMakeCache.txt").exists():
            subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), "-G", "Ninja",
                            "-DCMAKE_BUILD_TYPE=Release", f"-DPython3_EXECUTABLE={sys.executable}",
                            *shlex.split(os.environ.get("EVKIT_CMAKE_ARGS", ""))],
                           check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "evkit714_python"],
                       check=True)
        built = sorted((build_dir / "python").glob("evkit714.*.so"))
        if not built:
            raise RuntimeError(f"the CMake build made no module in {build_dir / 'python'}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built[-1], target)
        for stub in ("evkit714.pyi", "py.typed"):
            if (ROOT / "python" / stub).resolve() != (target.parent / stub).resolve():
                shutil.copy2(ROOT / "python" / stub, target.parent / stub)


# setuptools' own work files stay out of the CMake build trees (build/ is the usual one).
setup(version=project_version(), ext_modules=[Extension("evkit714", sources=[])],
      cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": "build-wheel/setuptools"},
               "egg_info": {"egg_base": "build-wheel"}})
