#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The fax decoder beside PIL and libtiff's tiffcp on a 300-dpi A4 page:
a corpus page rendered by pdftoppm, thresholded, written by PIL as Group 4
(min-is-white, one strip via tiffcp), decoded by bench_ccitt at reductions
1, 2 and 4, by PIL (Image.open().load(), timed in Python) and by
`tiffcp -c none` (a whole process). Usage: ccitt_speed.py BENCH_CCITT PDF OUT_DIR"""
import os
import subprocess
import sys
import time

from PIL import Image

bench, pdf, out = sys.argv[1:4]
os.makedirs(out, exist_ok=True)
root = os.path.join(out, "a4")
subprocess.check_call(["pdftoppm", "-r", "300", "-gray", "-f", "1", "-l", "1", "-singlefile", pdf, root])
page = Image.open(root + ".pgm").point(lambda v: 255 if v >= 128 else 0).convert("1")
w, h = page.size
page.save(root + "-strips.tif", "TIFF", compression="group4", tiffinfo={262: 0})
subprocess.check_call(["tiffcp", "-c", "g4", "-r", str(h), root + "-strips.tif", root + ".tif"])
im = Image.open(root + ".tif")
offset, count = im.tag_v2[273][0], im.tag_v2[279][0]
open(root + ".g4", "wb").write(open(root + ".tif", "rb").read()[offset:offset + count])
print("page: %s page 1 at 300 dpi, %dx%d, %d bytes of Group 4" % (os.path.basename(pdf), w, h, count))
subprocess.check_call([bench, root + ".g4", "-1", str(w), str(h), "0", "50"])

best = 1e9
for _ in range(30):
    t0 = time.perf_counter()
    Image.open(root + ".tif").load()
    best = min(best, time.perf_counter() - t0)
print("PIL Image.open().load(): best %.2f ms" % (best * 1000))
best = 1e9
for _ in range(20):
    t0 = time.perf_counter()
    subprocess.check_call(["tiffcp", "-c", "none", root + ".tif", root + "-none.tif"])
    best = min(best, time.perf_counter() - t0)
print("tiffcp -c none (whole process, decode and write): best %.2f ms" % (best * 1000))
