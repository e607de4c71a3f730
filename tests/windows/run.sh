#!/bin/bash
# Builds the Windows DLL and the C host with mingw-w64, runs the host under
# wine and the same host built for Linux, and compares what both logged and
# every byte both wrote. Also checks the DLL's export and import tables.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
native=${1:-$top/build}
win=${2:-$top/build-win}
WINE=${WINE:-/usr/lib/wine/wine64}

cmake -S "$top" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DLEAFTURN_BUILD_TESTS=OFF -DLEAFTURN_BUILD_HOST=ON >/dev/null
cmake --build "$win" -j "$(nproc)" >/dev/null

dll="$win/leafturn.dll"
exports=$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
want="leafturn_all leafturn_cleanup leafturn_get_rotation leafturn_init leafturn_last_error leafturn_page leafturn_pages "
[ "$exports" = "$want" ] || { echo "DLL exports: $exports"; exit 1; }
imports=$(x86_64-w64-mingw32-objdump -p "$dll" "$win/leafturn_host.exe" | awk '/DLL Name:/ {print $3}' | sort -u | tr '\n' ' ')
for dllname in $imports; do
  case "$dllname" in
    KERNEL32.dll|msvcrt.dll|leafturn.dll|api-ms-win-*) ;;
    *) echo "unexpected import: $dllname"; exit 1 ;;
  esac
done
echo "DLL exports: $exports"
echo "imports: $imports"

work=$(mktemp -d)
WINESERVER=${WINESERVER:-$(dirname "$WINE")/wineserver}
cleanup() {
  "$WINESERVER" -w 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
for side in linux windows; do
  mkdir -p "$work/$side/in" "$work/$side/out"
  cp "$top"/tests/corpus/*.pdf "$work/$side/in/"
done
(cd "$work/linux" && "$native/tests/leafturn_host" out in/*.pdf > log.txt 2> facts.txt)
cp "$dll" "$work/windows/"
cp "$win/leafturn_host.exe" "$work/windows/"
(cd "$work/windows" && "$WINE" ./leafturn_host.exe out in/*.pdf 2> facts.txt | tr -d '\r' > log.txt)
grep -q "sizeof(long) = 4" "$work/windows/facts.txt" || { echo "long is not 32 bits under Windows"; exit 1; }
diff "$work/linux/log.txt" "$work/windows/log.txt" || { echo "the logs differ"; exit 1; }
diff -r "$work/linux/out" "$work/windows/out" || { echo "the written files differ"; exit 1; }
echo "windows host: $(grep -c '^== ' "$work/windows/log.txt") files, logs and $(ls "$work/windows/out" | wc -l) written files identical to the Linux build"
"$WINE" "$win/leafturn_c_api.exe" "$top/samples/sample.pdf" "$work/c-api-out.pdf" | tr -d '\r'
