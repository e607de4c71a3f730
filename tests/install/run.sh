#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the libraries from a build folder into a fresh prefix, then builds
# a tiny consumer of each against them twice: with CMake's find_package and
# with pkg-config.
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
sample=$here/../../samples/sample.pdf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name 'libleafturn.so*' | head -1)")

cmake -S "$here" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake/consumer" "$sample"
LD_LIBRARY_PATH=$libdir "$work/cmake/doc_consumer" "$sample" "$work/doc-cmake.pdf"

flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs leafturn)
cc -o "$work/pc-consumer" "$here/consumer.c" $flags
LD_LIBRARY_PATH=$libdir "$work/pc-consumer" "$sample"
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs leafturn_doc)
cc -o "$work/pc-doc-consumer" "$here/doc_consumer.c" $flags
LD_LIBRARY_PATH=$libdir "$work/pc-doc-consumer" "$sample" "$work/doc-pc.pdf"
cmp "$work/doc-cmake.pdf" "$work/doc-pc.pdf"

# The command-line tool comes along.
"$work/prefix/bin/leafturn" info "$sample" >/dev/null
