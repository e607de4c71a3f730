#!/bin/sh
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
  command -v clang++ >/dev/null 2>&1 || need="$need clang"
fi
[ -z "$need" ] && exit 0
if [ "$(id -u)" = "0" ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing:$need"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null && apt-get install -y -qq --no-install-recommends $need >/dev/null
else
  echo "missing (install them, or run as root):$need" >&2
fi
