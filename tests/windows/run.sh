#!/bin/bash
# SPDX-License-Identifier: MIT
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
win=$(cd "$win" && pwd) native=$(cd "$native" && pwd)

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
# The document library exports its own calls only.
doc_exports=$(x86_64-w64-mingw32-objdump -p "$win/leafturn_doc.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
for name in $doc_exports; do
  case "$name" in leafturn_doc_*) ;; *) echo "leafturn_doc.dll exports $name"; exit 1 ;; esac
done
def_names=$(sed -n '/^EXPORTS/,$p' "$top/capi/leafturn_doc.def" | awk 'NR > 1 {print $1}' | sort | tr '\n' ' ')
[ "$def_names" = "$doc_exports" ] || { echo "leafturn_doc.def names: $def_names"; exit 1; }
echo "leafturn_doc.dll exports (as its .def lists them): $doc_exports"

# Inside the build folder, not /tmp: a machine may mount /tmp without exec.
work=$(mktemp -d "$win/checks.XXXXXX")
WINESERVER=${WINESERVER:-$(dirname "$WINE")/wineserver}
cleanup() {
  "$WINESERVER" -w 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
# Wine maps Windows names to Unix ones in the locale's encoding: UTF-8.
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all LANG=C.UTF-8

# Each prefix is made, and seen to run wine's own cmd.exe, before any of our
# programs runs in it: wine otherwise builds it on first use, and a program
# started while that goes wrong fails to load the system DLLs (wine's exit
# status 53, the low byte of STATUS_DLL_NOT_FOUND) with its messages hidden.
# Up to three tries, each one's log shown; a machine where wine cannot run
# its own programs at all cannot run the Windows checks, and says so.
make_prefix() {
  local prefix=$1 attempt
  for attempt in 1 2 3; do
    rm -rf "$prefix"
    if WINEPREFIX="$prefix" WINEDEBUG= WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i > "$work/wineboot.log" 2>&1 &&
       WINEPREFIX="$prefix" "$WINESERVER" -w &&
       [ "$(WINEPREFIX="$prefix" "$WINE" cmd /c echo ready 2>> "$work/wineboot.log" | tr -d '\r')" = ready ]; then
      return 0
    fi
    echo "wine: making the prefix $prefix failed (try $attempt of 3):"
    tail -n 40 "$work/wineboot.log"
    WINEPREFIX="$prefix" "$WINESERVER" -k 2> /dev/null || true
    sleep 2
  done
  return 1
}
if ! make_prefix "$WINEPREFIX"; then
  echo "SKIPPED: wine cannot run its own programs on this machine; the Windows checks did not run"
  exit 0
fi
for side in linux windows; do
  mkdir -p "$work/$side/in" "$work/$side/out"
  cp "$top"/tests/corpus/*.pdf "$work/$side/in/"
done
(cd "$work/linux" && "$native/tests/leafturn_host" out in/*.pdf > log.txt 2> facts.txt)
cp "$dll" "$work/windows/"
cp "$win/leafturn_host.exe" "$work/windows/"
(cd "$work/windows" && "$WINE" ./leafturn_host.exe out in/*.pdf 2> facts.txt | tr -d '\r' > log.txt) ||
  { status=$?; echo "the host failed under wine (status $status):"; cat "$work/windows/facts.txt"; exit 1; }
grep -q "sizeof(long) = 4" "$work/windows/facts.txt" || { echo "long is not 32 bits under Windows"; exit 1; }
diff "$work/linux/log.txt" "$work/windows/log.txt" || { echo "the logs differ"; exit 1; }
diff -r "$work/linux/out" "$work/windows/out" || { echo "the written files differ"; exit 1; }
echo "windows host: $(grep -c '^== ' "$work/windows/log.txt") files, logs and $(ls "$work/windows/out" | wc -l) written files identical to the Linux build"
"$WINE" "$win/leafturn_c_api.exe" "$top/samples/sample.pdf" "$work/c-api-out.pdf" | tr -d '\r'
# The document library's host: every call, and a UTF-8 name written and
# read back through the library.
mkdir -p "$work/doc"
cp "$win/leafturn_doc.dll" "$win/leafturn_doc_host.exe" "$work/doc/"
(cd "$work/doc" && "$WINE" ./leafturn_doc_host.exe api . | tr -d '\r') || { echo "the document host failed under wine"; exit 1; }
[ -f "$work/doc/café € 日.pdf" ] || { echo "no file under its UTF-8 name"; ls "$work/doc"; exit 1; }
echo "document library: every call under wine, a UTF-8 name written and read back"

# ---- names outside the ANSI code page, the version resource, the tool, the archive

# A host that makes its files through the wide-character API and passes
# their names as UTF-8; and a cp1252 name passed in the ANSI code page.
mkdir -p "$work/utf8"
cp "$dll" "$win/leafturn_utf8_host.exe" "$work/utf8/"
(cd "$work/utf8" && "$WINE" ./leafturn_utf8_host.exe "$top/samples/sample.pdf" | tr -d '\r' > log.txt) ||
  { cat "$work/utf8/log.txt"; echo "UTF-8 paths fail"; exit 1; }
grep -c '^ok ' "$work/utf8/log.txt" | sed 's/$/ UTF-8 and ANSI path checks passed/'

# The version resource, read back by an independent reader.
version=$(sed -n 's/^#define LEAFTURN_VERSION "\(.*\)"/\1/p' "$top/include/leafturn.h")
/usr/bin/python3 - "$dll" "$version" <<'PY'
import sys
import pefile
pe = pefile.PE(sys.argv[1])
strings = {}
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
fixed = pe.VS_FIXEDFILEINFO[0]
numbers = "%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16)
want = sys.argv[2]
assert strings["FileVersion"] == want and strings["ProductVersion"] == want, strings
assert numbers == want, numbers
assert strings["OriginalFilename"] == "leafturn.dll" and strings["FileDescription"], strings
print("version resource: %s %s, %s" % (strings["OriginalFilename"], want, strings["FileDescription"]))
PY

# leafturn.exe with non-ASCII names: info, rotate and a batch, each output
# the same bytes as the Linux tool's.
mkdir -p "$work/exe/in é" "$work/linux-exe/in é"
for d in "$work/exe/in é" "$work/linux-exe/in é"; do
  cp "$top/samples/sample.pdf" "$d/ü中.pdf"
  cp "$top/tests/corpus/004-pdflatex-4-pages_pdflatex-4-pages.pdf" "$d/vier ß.pdf"
done
cp "$dll" "$win/leafturn.exe" "$work/exe/"
(cd "$work/exe" && "$WINE" ./leafturn.exe info "in é/ü中.pdf" | tr -d '\r' > info.txt &&
  "$WINE" ./leafturn.exe rotate "in é/ü中.pdf" "gedreht ü中.pdf" --to 90 --pages 2-z &&
  "$WINE" ./leafturn.exe rotate --out-dir "aus ö" --by -90 --jobs 2 --json "in é" | tr -d '\r' > batch.json)
(cd "$work/linux-exe" && "$native/leafturn" info "in é/ü中.pdf" > info.txt &&
  "$native/leafturn" rotate "in é/ü中.pdf" "gedreht ü中.pdf" --to 90 --pages 2-z &&
  "$native/leafturn" rotate --out-dir "aus ö" --by -90 --jobs 2 --json "in é" > batch.json)
diff "$work/linux-exe/info.txt" "$work/exe/info.txt" || { echo "info differs"; exit 1; }
cmp "$work/linux-exe/gedreht ü中.pdf" "$work/exe/gedreht ü中.pdf" || { echo "rotate differs"; exit 1; }
for f in "ü中.pdf" "vier ß.pdf"; do
  cmp "$work/linux-exe/aus ö/$f" "$work/exe/aus ö/$f" || { echo "batch output $f differs"; exit 1; }
done
[ "$(grep -c '"ok": true' "$work/exe/batch.json")" = 2 ] || { cat "$work/exe/batch.json"; exit 1; }
echo "leafturn.exe: info, rotate and a batch with non-ASCII names match the Linux tool"

# The release archive, unpacked into a fresh folder and a fresh wine prefix:
# a C host built against its header and import library, and its tool.
zip=$(sh "$top/scripts/dist-windows.sh" "$win" "$work/dist")
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && /usr/bin/python3 -m zipfile -e "$zip" .)
root="$work/unpacked/$(basename "$zip" .zip)"
for f in bin/leafturn.dll bin/leafturn_doc.dll bin/leafturn.exe lib/leafturn.dll.a lib/leafturn.def \
         lib/leafturn_doc.dll.a lib/leafturn_doc.def include/leafturn.h include/leafturn_doc.h \
         README.md LICENSE.txt NOTICES.txt; do
  [ -f "$root/$f" ] || { echo "the archive lacks $f"; exit 1; }
done
x86_64-w64-mingw32-gcc-posix -O2 -I"$root/include" "$top/tests/c_api.c" "$root/lib/leafturn.dll.a" \
  -static-libgcc -static -o "$root/bin/c_api.exe"
x86_64-w64-mingw32-gcc-posix -O2 -I"$root/include" "$top/tests/install/doc_consumer.c" "$root/lib/leafturn_doc.dll.a" \
  -static-libgcc -static -o "$root/bin/doc_consumer.exe"
cp "$top/samples/sample.pdf" "$root/bin/"
make_prefix "$work/fresh-prefix" || { echo "wine could not make a second prefix"; exit 1; }
(export WINEPREFIX="$work/fresh-prefix"; cd "$root/bin" &&
  "$WINE" ./c_api.exe sample.pdf out.pdf | tr -d '\r' &&
  "$WINE" ./doc_consumer.exe sample.pdf "doc ü.pdf" | tr -d '\r' &&
  "$WINE" ./leafturn.exe info out.pdf | tr -d '\r' | head -2)
WINEPREFIX="$work/fresh-prefix" "$WINESERVER" -w 2>/dev/null || true
echo "archive $(basename "$zip"): unpacked and run in a fresh prefix"
