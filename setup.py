"""The Python package's build: setuptools asks CMake to build the module
kappa._kappa (python/module.cpp over the library) where the package wants it."""
import os
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        destination = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DKAPPA_BUILD_TESTS=OFF",
                        "-DKAPPA_BUILD_PYTHON=ON", f"-DPYTHON_EXECUTABLE={sys.executable}",
                        f"-DCMAKE_LIBRARY_OUTPUT_DIRECTORY={destination}"], check=True)
        subprocess.run(["cmake", "--build", build, "--target", "_kappa", "--parallel", "2"], check=True)


setup(ext_modules=[Extension("kappa._kappa", sources=[])], cmdclass={"build_ext": CMakeBuild})
