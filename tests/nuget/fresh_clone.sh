#!/bin/sh
# SPDX-License-Identifier: MIT
# `make nuget` as a newcomer runs it: in a fresh clone of the committed HEAD,
# before anything else has built there, then the package it made checked for
# the managed assembly and every native library, each of the right kind.
#   fresh_clone.sh WORK_DIR
set -eu
work=$1
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
head=$(git -C "$top" rev-parse HEAD)
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "note: uncommitted changes are not part of this check; it builds commit $head"
fi

rm -rf "$work"
mkdir -p "$work"
clone=$work/leafturn
git clone --quiet --no-checkout "$top" "$clone"
git -C "$clone" -c advice.detachedHead=false checkout --quiet "$head"
for d in build build-win build-nuget; do
  [ ! -e "$clone/$d" ] || { echo "the clone already has $d/"; exit 1; }
done

# Exactly the README's command: nothing from an outer make (its variables,
# its jobs) reaches it.
(cd "$clone" && env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL -u MAKEOVERRIDES make nuget) > "$work/make-nuget.log" 2>&1 || {
  echo "make nuget failed in a fresh clone of $head:"; tail -n 40 "$work/make-nuget.log"; exit 1
}

version=$(sed -n 's/^#define LEAFTURN_VERSION "\(.*\)"/\1/p' "$clone/include/leafturn.h")
pkg=$clone/build-nuget/Leafturn.$version.nupkg
[ -f "$pkg" ] || { echo "make nuget made no $pkg"; ls -l "$clone/build-nuget" || true; exit 1; }

# Every file the package must carry is listed in it.
unzip -l "$pkg" > "$work/listing.txt"
missing=""
for f in lib/net45/Leafturn.dll lib/net45/Leafturn.xml \
    runtimes/win-x64/native/leafturn.dll runtimes/win-x64/native/leafturn_doc.dll \
    runtimes/linux-x64/native/libleafturn.so runtimes/linux-x64/native/libleafturn_doc.so; do
  awk -v f="$f" '$4 == f { found = 1 } END { exit !found }' "$work/listing.txt" || missing="$missing $f"
done
if [ -n "$missing" ]; then
  echo "the package lacks:$missing"; cat "$work/listing.txt"; exit 1
fi

# Each native library is what its folder promises: a PE file for Windows
# (a DLL for x86-64), an ELF shared object for Linux.
unzip -q -o "$pkg" -d "$work/unpacked"
native=$work/unpacked/runtimes
magic() { od -An -tx1 -N"$2" "$1" | tr -d ' \n'; }
for f in leafturn.dll leafturn_doc.dll; do
  p=$native/win-x64/native/$f
  [ "$(magic "$p" 2)" = 4d5a ] || { echo "$f is not a Windows binary"; exit 1; }
  # The PE header's offset, its signature, and the machine (0x8664: x86-64).
  off=$(od -An -tu4 -j60 -N4 "$p" | tr -d ' ')
  [ "$(od -An -tx1 -j"$off" -N6 "$p" | tr -d ' \n')" = 504500006486 ] ||
    { echo "$f is not an x86-64 PE file"; exit 1; }
done
# Each library exports its own calls (the DLLs' export tables name them).
grep -q leafturn_all "$native/win-x64/native/leafturn.dll" ||
  { echo "leafturn.dll does not name leafturn_all"; exit 1; }
grep -q leafturn_doc_open "$native/win-x64/native/leafturn_doc.dll" ||
  { echo "leafturn_doc.dll does not name leafturn_doc_open"; exit 1; }
for f in libleafturn.so libleafturn_doc.so; do
  p=$native/linux-x64/native/$f
  # ELF, 64-bit, little-endian; e_type 3: a shared object.
  [ "$(magic "$p" 6)" = 7f454c460201 ] || { echo "$f is not a 64-bit ELF file"; exit 1; }
  [ "$(od -An -tx1 -j16 -N2 "$p" | tr -d ' \n')" = 0300 ] || { echo "$f is not a shared object"; exit 1; }
done
nm -D --defined-only "$native/linux-x64/native/libleafturn.so" | grep -q ' T leafturn_all$' ||
  { echo "libleafturn.so does not export leafturn_all"; exit 1; }
nm -D --defined-only "$native/linux-x64/native/libleafturn_doc.so" | grep -q ' T leafturn_doc_open$' ||
  { echo "libleafturn_doc.so does not export leafturn_doc_open"; exit 1; }

echo "make nuget in a fresh clone of $(git -C "$top" rev-parse --short HEAD): $(basename "$pkg") carries both libraries for Windows and Linux"
