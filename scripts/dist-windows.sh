#!/bin/sh
# SPDX-License-Identifier: MIT
# Packs the cross-built Windows files into leafturn-<version>-win64.zip:
# bin/leafturn.dll, bin/leafturn_doc.dll, bin/leafturn.exe, lib/leafturn.dll.a,
# lib/leafturn.def, lib/leafturn_doc.dll.a, lib/leafturn_doc.def,
# include/leafturn.h, include/leafturn_doc.h, the README and the licence notes.
#   dist-windows.sh WINDOWS_BUILD OUT_DIR
set -eu
win=$1 out=$2
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^#define LEAFTURN_VERSION "\(.*\)"/\1/p' "$top/include/leafturn.h")
name=leafturn-$version-win64
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/bin" "$stage/lib" "$stage/include" "$stage/licences"
cp "$win/leafturn.dll" "$win/leafturn_doc.dll" "$win/leafturn.exe" "$stage/bin/"
x86_64-w64-mingw32-strip --strip-unneeded "$stage/bin/leafturn.dll" "$stage/bin/leafturn_doc.dll" \
  "$stage/bin/leafturn.exe"
cp "$win/leafturn.dll.a" "$top/capi/leafturn.def" "$win/leafturn_doc.dll.a" \
  "$top/capi/leafturn_doc.def" "$stage/lib/"
cp "$top/include/leafturn.h" "$top/include/leafturn_doc.h" "$stage/include/"
cp "$top/README.md" "$stage/README.md"
cp "$top/LICENSE" "$stage/LICENSE.txt"
# The compiler's runtime is linked into both binaries; its notices come along.
for pkg in gcc-mingw-w64-base mingw-w64-x86-64-dev; do
  [ -f "/usr/share/doc/$pkg/copyright" ] && cp "/usr/share/doc/$pkg/copyright" "$stage/licences/$pkg.txt"
done
cat > "$stage/NOTICES.txt" <<'NOTE'
leafturn for 64-bit Windows

bin/leafturn.dll, bin/leafturn_doc.dll and bin/leafturn.exe were built with Debian's mingw-w64
cross compilers. They contain, linked in statically, parts of the GCC
runtime (libgcc and libstdc++: GPL 3 with the GCC Runtime Library
Exception) and of the mingw-w64 runtime, winpthreads included (ZPL 2.1 and
other permissive licences). Their copyright and licence texts are in
licences/. The binaries need no DLL beyond those of Windows itself
(KERNEL32.dll, msvcrt.dll).

Using the DLL from MSVC: make an import library from lib/leafturn.def,
  lib /def:leafturn.def /machine:x64 /out:leafturn.lib
and link with leafturn.lib; mingw-w64 links with lib/leafturn.dll.a. The
document library (include/leafturn_doc.h) the same way, from
lib/leafturn_doc.def or lib/leafturn_doc.dll.a.
NOTE
(cd "$out" && /usr/bin/python3 -m zipfile -c "$name.zip" "$name" >/dev/null)
echo "$out/$name.zip"
