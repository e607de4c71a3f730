#!/bin/sh
# SPDX-License-Identifier: MIT
# The Debian package from `make deb`: lintian reports no error; unpacked
# into a scratch root, it holds what it should, a C program builds against
# it with pkg-config and runs, its tool runs, and its manual page reads.
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
sample=$here/../../samples/sample.pdf
deb=$(ls "$build"/leafturn_*_amd64.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if command -v lintian >/dev/null 2>&1; then
  lintian --allow-root "$deb" > "$work/lintian.txt" 2>&1 || true
  if grep -q '^E:' "$work/lintian.txt"; then
    echo "lintian reports errors:"; cat "$work/lintian.txt"; exit 1
  fi
  echo "lintian: no errors ($(grep -c '^W:' "$work/lintian.txt" || true) warnings)"
else
  echo "lintian is not installed: skipped"
fi

dpkg-deb -x "$deb" "$work/root"
root=$work/root
libdir=$root/usr/lib/x86_64-linux-gnu
for f in usr/bin/leafturn usr/include/leafturn.h usr/include/leafturn_doc.h usr/share/man/man1/leafturn.1.gz \
         usr/share/doc/leafturn/copyright usr/lib/x86_64-linux-gnu/pkgconfig/leafturn.pc \
         usr/lib/x86_64-linux-gnu/pkgconfig/leafturn_doc.pc \
         usr/lib/x86_64-linux-gnu/cmake/leafturn/leafturnConfig.cmake; do
  [ -e "$root/$f" ] || { echo "missing from the package: $f"; exit 1; }
done
# The shared library under its SONAME, with the development link.
soname=$(objdump -p "$libdir"/libleafturn.so.*.*.* | awk '/SONAME/ {print $2}')
[ "$(readlink "$libdir/$soname")" = "$(basename "$libdir"/libleafturn.so.*.*.*)" ] ||
  { echo "no $soname link"; exit 1; }
[ "$(readlink "$libdir/libleafturn.so")" = "$soname" ] || { echo "no libleafturn.so link"; exit 1; }
doc_soname=$(objdump -p "$libdir"/libleafturn_doc.so.*.*.* | awk '/SONAME/ {print $2}')
[ "$doc_soname" = "libleafturn_doc.so.0" ] || { echo "document library SONAME: $doc_soname"; exit 1; }
[ "$(readlink "$libdir/libleafturn_doc.so")" = "$doc_soname" ] || { echo "no libleafturn_doc.so link"; exit 1; }
grep -q 'Permission is hereby granted' "$root/usr/share/doc/leafturn/copyright"

flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs leafturn)
cc -o "$work/consumer" "$here/../install/consumer.c" $flags
LD_LIBRARY_PATH=$libdir "$work/consumer" "$sample"
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs leafturn_doc)
cc -o "$work/doc-consumer" "$here/../install/doc_consumer.c" $flags
LD_LIBRARY_PATH=$libdir "$work/doc-consumer" "$sample" "$work/doc-out.pdf"
"$root/usr/bin/leafturn" --version
"$root/usr/bin/leafturn" rotate "$sample" "$work/out.pdf" --by 90
"$root/usr/bin/leafturn" info "$work/out.pdf" >/dev/null
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 man -l "$root/usr/share/man/man1/leafturn.1.gz" 2>/dev/null | grep -q 'EXIT STATUS'
fi
echo "deb: package checks passed"
