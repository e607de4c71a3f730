#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what the build and the tests need when it is missing. Runs
# apt-get only as root; otherwise it lists what is missing and goes on.
set -u
need=""
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v g++ >/dev/null 2>&1 || need="$need g++"
command -v make >/dev/null 2>&1 || need="$need make"
[ -f /usr/include/gtest/gtest.h ] || need="$need libgtest-dev"
[ -f /usr/include/zlib.h ] || need="$need zlib1g-dev"
if [ "${1:-}" = "test" ]; then
  command -v pdfinfo >/dev/null 2>&1 || need="$need poppler-utils"
  command -v pdftotext >/dev/null 2>&1 || need="$need poppler-utils"
  command -v qpdf >/dev/null 2>&1 || need="$need qpdf"
  command -v mutool >/dev/null 2>&1 || need="$need mupdf-tools"
  command -v clang++ >/dev/null 2>&1 || need="$need clang"
  command -v pkg-config >/dev/null 2>&1 || need="$need pkg-config"
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need="$need g++-mingw-w64-x86-64-posix"
  command -v script >/dev/null 2>&1 || need="$need util-linux"
  # Signed test files and the manual page's test.
  command -v openssl >/dev/null 2>&1 || need="$need openssl"
  command -v man >/dev/null 2>&1 || need="$need man-db"
  # The Python package: Debian's interpreter, pybind11, pytest, Dask.
  /usr/bin/python3 -P -c 'import ensurepip' >/dev/null 2>&1 || need="$need python3-venv"
  [ -f /usr/include/pybind11/pybind11.h ] || need="$need pybind11-dev python3-pybind11"
  /usr/bin/python3 -P -c 'import sysconfig, os; assert os.path.exists(sysconfig.get_paths()["include"] + "/Python.h")' \
    >/dev/null 2>&1 || need="$need python3-dev"
  /usr/bin/python3 -P -c 'import pytest' >/dev/null 2>&1 || need="$need python3-pytest"
  /usr/bin/python3 -P -c 'import build' >/dev/null 2>&1 || need="$need python3-build"
  /usr/bin/python3 -P -c 'import wheel, setuptools' >/dev/null 2>&1 || need="$need python3-wheel python3-setuptools"
  /usr/bin/python3 -P -c 'import distributed' >/dev/null 2>&1 || need="$need python3-distributed"
  # The image decoders' checkers and test-file makers.
  command -v djpeg >/dev/null 2>&1 || need="$need libjpeg-turbo-progs"
  command -v tiffcp >/dev/null 2>&1 || need="$need libtiff-tools"
  command -v img2pdf >/dev/null 2>&1 || need="$need img2pdf"
  command -v jbig2dec >/dev/null 2>&1 || need="$need jbig2dec"
  /usr/bin/python3 -P -c 'import PIL' >/dev/null 2>&1 || need="$need python3-pil"
fi
if [ "${1:-}" = "test" ] || [ "${1:-}" = "deb" ]; then
  # The Debian package: its dependencies are worked out by dpkg-shlibdeps,
  # and lintian checks it.
  command -v dpkg-shlibdeps >/dev/null 2>&1 || need="$need dpkg-dev"
  [ "${1:-}" = "test" ] && { command -v lintian >/dev/null 2>&1 || need="$need lintian"; }
fi
if [ "${1:-}" = "windows" ]; then
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need="$need g++-mingw-w64-x86-64-posix"
fi
if [ "${1:-}" = "test" ]; then
  /usr/bin/python3 -P -c 'import pefile' >/dev/null 2>&1 || need="$need python3-pefile"
fi
if [ "${1:-}" = "test" ] || [ "${1:-}" = "nuget" ]; then
  # The C# wrapper and its package (mono's compiler and runtime, nuget).
  command -v mcs >/dev/null 2>&1 || need="$need mono-mcs"
  command -v mono >/dev/null 2>&1 || need="$need mono-runtime"
  command -v nuget >/dev/null 2>&1 || need="$need nuget"
  command -v unzip >/dev/null 2>&1 || need="$need unzip"
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need="$need g++-mingw-w64-x86-64-posix"
fi
if [ "${1:-}" = "bench" ]; then
  command -v hyperfine >/dev/null 2>&1 || need="$need hyperfine"
  command -v djpeg >/dev/null 2>&1 || need="$need libjpeg-turbo-progs"
  command -v tiffcp >/dev/null 2>&1 || need="$need libtiff-tools"
  /usr/bin/python3 -P -c 'import PIL' >/dev/null 2>&1 || need="$need python3-pil"
  command -v qpdf >/dev/null 2>&1 || need="$need qpdf"
  command -v pdfinfo >/dev/null 2>&1 || need="$need poppler-utils"
  [ -x /usr/bin/time ] || need="$need time"
  [ -f /usr/include/benchmark/benchmark.h ] || need="$need libbenchmark-dev"
  /usr/bin/python3 -P -c 'import pypdf' >/dev/null 2>&1 || need="$need python3-pypdf"
  /usr/bin/python3 -P -c 'import fitz' >/dev/null 2>&1 || need="$need python3-fitz"
  /usr/bin/python3 -P -c 'import ensurepip' >/dev/null 2>&1 || need="$need python3-venv"
  [ -f /usr/include/pybind11/pybind11.h ] || need="$need pybind11-dev python3-pybind11 python3-dev"
  /usr/bin/python3 -P -c 'import wheel, setuptools' >/dev/null 2>&1 || need="$need python3-wheel python3-setuptools"
fi
if [ "${1:-}" = "test" ] || [ "${1:-}" = "js" ]; then
  # The core in WebAssembly and the npm package (Node.js 18 or later).
  command -v emcc >/dev/null 2>&1 || need="$need emscripten"
  command -v node >/dev/null 2>&1 || need="$need nodejs"
  command -v npm >/dev/null 2>&1 || need="$need npm"
fi
if [ "${1:-}" = "test" ] || [ "${1:-}" = "web" ]; then
  # The page's test: Debian's Chromium, driven by playwright-core.
  command -v chromium >/dev/null 2>&1 || need="$need chromium"
fi
# wine64 without its recommended packages (a large desktop stack).
wine=""
if [ "${1:-}" = "test" ] && [ ! -x /usr/lib/wine/wine64 ]; then wine="wine64"; fi
[ -z "$need" ] && [ -z "$wine" ] && exit 0
if [ "$(id -u)" = "0" ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing:$need $wine"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  [ -z "$need" ] || apt-get install -y -qq --no-install-recommends $need >/dev/null
  [ -z "$wine" ] || apt-get install -y -qq --no-install-recommends $wine >/dev/null
else
  echo "missing (install them, or run as root):$need $wine" >&2
fi
