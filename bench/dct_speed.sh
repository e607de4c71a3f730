#!/bin/sh
# SPDX-License-Identifier: MIT
# The JPEG decoder beside libjpeg-turbo's djpeg on a 300-dpi page: a page of
# the shared corpus rendered grey by pdftoppm, saved by PIL at quality 75,
# baseline and progressive. Usage: dct_speed.sh BENCH_DCT OUT_DIR [PDF]
set -eu
bench=$1
out=$2
pdf=${3:-$(dirname "$0")/../../shared/corpus/011-google-doc-document_google-doc-document.pdf}
mkdir -p "$out"
pdftoppm -r 300 -gray -singlefile "$pdf" "$out/page"
/usr/bin/python3 - "$out" <<'PY'
import sys
from PIL import Image
d = sys.argv[1]
g = Image.open(d + '/page.pgm')
g.save(d + '/page-baseline.jpg', quality=75)
g.save(d + '/page-progressive.jpg', quality=75, progressive=True)
print('page %dx%d' % g.size)
PY
"$bench" "$out/page-baseline.jpg" "$out/page-progressive.jpg"
for f in "$out/page-baseline.jpg" "$out/page-progressive.jpg"; do
  hyperfine -N -w 3 -r 30 --style basic \
    "djpeg -grayscale -outfile /dev/null $f" \
    "djpeg -grayscale -scale 1/2 -outfile /dev/null $f" 2>&1 | grep -E 'Benchmark|Time'
done
