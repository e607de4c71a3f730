# SPDX-License-Identifier: MIT
"""Builds the leafturn package: the Python layer and a native extension
compiled with pybind11 from the library's own sources (its core, its
decoder and its ciphers).

Those sources live in the repository, beside this folder. Built from the
repository, they are first copied into core/ here, so that a source archive
made from this folder carries them and builds anywhere, offline; built from
such an archive, core/ is already there."""
import os
import re
import shutil

from pybind11.setup_helpers import Pybind11Extension, build_ext
from setuptools import setup

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
CORE = os.path.join(HERE, "core")
PARTS = {  # folder in the repository -> the files the extension needs
    "leafturn": (".cpp", ".h"),
    "inflate": (".cpp", ".h"),
    "crypto": (".cpp", ".h"),
    "ccitt": (".cpp", ".h"),
    "dct": (".cpp", ".h"),
    "jbig2": (".cpp", ".h"),
    "include": (".h",),
}
SOURCE_LIST = os.path.join("cmake", "sources.cmake")  # the core's sources, one list for every build


def copy_core():
    """Mirrors the repository's core sources into core/ (when this folder is
    inside the repository); keeps what is there otherwise."""
    if not os.path.isfile(os.path.join(TOP, SOURCE_LIST)):
        return
    for folder, endings in PARTS.items():
        src, dst = os.path.join(TOP, folder), os.path.join(CORE, folder)
        if os.path.isdir(dst):
            shutil.rmtree(dst)
        for here, _, names in os.walk(src):
            for name in sorted(names):
                if name.endswith(endings):
                    to = os.path.join(dst, os.path.relpath(here, src))
                    os.makedirs(to, exist_ok=True)
                    shutil.copy2(os.path.join(here, name), to)
    os.makedirs(os.path.join(CORE, "cmake"), exist_ok=True)
    shutil.copy2(os.path.join(TOP, SOURCE_LIST), os.path.join(CORE, SOURCE_LIST))
    shutil.copy2(os.path.join(TOP, "LICENSE"), os.path.join(HERE, "LICENSE"))


def core_sources():
    """The paths that the list in cmake/sources.cmake names."""
    with open(os.path.join(CORE, SOURCE_LIST), encoding="utf-8") as f:
        text = f.read()
    body = re.search(r"set\(LEAFTURN_CORE_SOURCES\s(.*?)\)", text, re.S).group(1)
    return [os.path.join("core", *line.strip().split("/")) for line in body.splitlines() if line.strip()]


def version():
    with open(os.path.join(CORE, "include", "leafturn.h"), encoding="utf-8") as f:
        return re.search(r'#define LEAFTURN_VERSION "([^"]+)"', f.read()).group(1)


copy_core()
if not os.path.isfile(os.path.join(CORE, SOURCE_LIST)):
    raise SystemExit("leafturn: the library's sources are missing (core/); build from the "
                     "repository's python/ folder or from a source archive")

# The exports and the last-error text are the shared library's, the
# document API the document library's; the package calls the core directly.
sources = [os.path.join("src", "native.cpp")] + core_sources()

ext = Pybind11Extension(
    "leafturn._native",
    sources,
    include_dirs=[os.path.join("core", d) for d in ("include", "leafturn", "inflate", "crypto", "ccitt", "dct", "jbig2")],
    cxx_std=17,
)

setup(
    version=version(),
    ext_modules=[ext],
    cmdclass={"build_ext": build_ext},
)
