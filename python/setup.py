# SPDX-License-Identifier: MIT
"""Builds the leafturn package: the Python layer and a native extension
compiled from the repository's own sources (the library's core, its
decoder) with pybind11."""
import os
import re

from pybind11.setup_helpers import Pybind11Extension, build_ext
from setuptools import setup

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)


def rel(*parts):
    return os.path.relpath(os.path.join(TOP, *parts), HERE)


def version():
    with open(os.path.join(TOP, "include", "leafturn.h"), encoding="utf-8") as f:
        return re.search(r'#define LEAFTURN_VERSION "([^"]+)"', f.read()).group(1)


core = sorted(os.path.join("leafturn", n) for n in os.listdir(os.path.join(TOP, "leafturn"))
              if n.endswith(".cpp") and n != "api.cpp")
sources = [os.path.join("src", "native.cpp")] + [rel(c) for c in core] + [
    rel("inflate", "inflate.cpp")]

ext = Pybind11Extension(
    "leafturn._native",
    sources,
    include_dirs=[rel("include"), rel("leafturn"), rel("inflate")],
    cxx_std=17,
)

setup(
    version=version(),
    ext_modules=[ext],
    cmdclass={"build_ext": build_ext},
)
