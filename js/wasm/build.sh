#!/bin/sh
# SPDX-License-Identifier: MIT
# The core compiled to WebAssembly with Debian's emscripten: the library's
# sources (all but the two C APIs: the seven exports write files, the
# document API is its own library's) and the bridge, into
# one JavaScript file that carries the module inlined. Usage: build.sh OUT_DIR
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$1
mkdir -p "$out/obj"
# Debian's emscripten finds its JavaScript modules (acorn) there.
export NODE_PATH=/usr/share/nodejs
flags="-std=c++17 -O3 -Wall -Wextra -msimd128 -msse2 -mbulk-memory -fwasm-exceptions -DNDEBUG
  -I$root/leafturn -I$root/include -I$root/inflate -I$root/crypto -I$root/ccitt -I$root/dct -I$root/jbig2"
# The core's sources as cmake/sources.cmake lists them.
srcs=$(sed -n '/^set(LEAFTURN_CORE_SOURCES/,/^)/{/^ /s|^ *|'"$root"'/|p}' "$root/cmake/sources.cmake")
srcs="$srcs $root/js/wasm/bridge.cpp"
jobs=$(nproc 2>/dev/null || echo 2)
# Each source whose object is missing or older than any source or header.
newest=$(ls -t $(find "$root"/leafturn "$root"/inflate "$root"/crypto "$root"/ccitt "$root"/dct "$root"/jbig2 "$root"/include "$root"/js/wasm "$root"/cmake/sources.cmake -type f) | head -1)
for s in $srcs; do
  o="$out/obj/$(basename "$s" .cpp).o"
  if [ ! -f "$o" ] || [ "$newest" -nt "$o" ]; then echo "$s"; fi
done | xargs -r -n 1 -P "$jobs" sh -c 'em++ '"$(echo $flags)"' -c "$0" -o "'"$out"'/obj/$(basename "$0" .cpp).o"'
# Exactly the objects of today's sources: one left from a source since
# renamed or removed would clash with its successor.
objs=$(for s in $srcs; do echo "$out/obj/$(basename "$s" .cpp).o"; done)
em++ -O3 -msimd128 -mbulk-memory -fwasm-exceptions $objs -o "$out/leafturn_wasm.js" \
  -sMODULARIZE=1 -sEXPORT_NAME=createLeafturnWasm -sSINGLE_FILE=1 -sENVIRONMENT=web,worker \
  -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB -sABORTING_MALLOC=0 -sFILESYSTEM=0 \
  -sEXPORTED_FUNCTIONS=_malloc,_free
echo "$out/leafturn_wasm.js"
