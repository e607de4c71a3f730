#!/bin/sh
# SPDX-License-Identifier: MIT
# Encrypted seeds for the fuzz targets, made with qpdf from the plain seeds
# and a corpus file with text: every method, with and without object
# streams, with an empty and with a non-empty user password, and one whose
# permissions forbid assembling. Usage: make_encrypted_seeds.sh OUT_DIR.
# Without qpdf it makes nothing (and says so).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=$1
mkdir -p "$out"
if ! command -v qpdf >/dev/null 2>&1; then
  echo "qpdf is missing: no encrypted seeds" >&2
  exit 0
fi
n=0
for src in "$here/seeds/simple.pdf" "$here/seeds/objstm.pdf" \
           "$here/../tests/corpus/004-pdflatex-4-pages_pdflatex-4-pages.pdf"; do
  for spec in "40" "128" "128 --use-aes=y" "256" "256 --assemble=n"; do
    for streams in disable generate; do
      for user in "" user; do
        n=$((n + 1))
        # shellcheck disable=SC2086
        qpdf --allow-weak-crypto --encrypt "$user" owner $spec -- --object-streams=$streams \
          "$src" "$out/encrypted-$n.pdf" 2>/dev/null || true
      done
    done
  done
done
echo "$out: $(ls "$out" | wc -l) encrypted seeds"
