#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Fax data for test_ccitt.cpp, made and decoded by independent tools.

usage: ccitt_cases.py OUT_DIR SOURCE...

A SOURCE is a PBM/PGM file (thresholded at 128), synth:NAME, a picture
made here, or pdf:FILE, a PDF whose fax images only go to pdfcases.txt. Each picture is written as fax data by PIL (group4, group3,
tiff_ccitt, both photometric interpretations) and by libtiff's tiffcp
(g3:1d, g3:2d, with and without fill bits, g4), and the parameters a PDF
would carry are read from each TIFF's tags. Written to OUT_DIR:
  cases.txt   one case a line:
              name columns rows strips rows_per_strip k align eol black_is_1
  NAME.I.fax  the data of strip I
  NAME.ref    the picture as PIL (libtiff) decodes the TIFF, 8-bit grey rows
  SRC.src, SRC.r2, SRC.r4  the source picture, and PIL's reduce(2) and
              reduce(4) of it (SRC: the case name up to its first '~')
The first picture also goes into PDFs with tiff2pdf and img2pdf (Group 4
kept as CCITTFaxDecode); pdfimages writes their data (-ccitt, with its
.params) and decodes them itself (-png):
  pdfcases.txt  one a line: name pdf_file ccitt_file params_file png_grey_file
"""
import os
import random
import subprocess
import sys

from PIL import Image, TiffImagePlugin

TiffImagePlugin.WRITE_LIBTIFF = True


def synth(name):
    rng = random.Random(name)
    if name == "long-runs":  # runs past 2560, and every length around the makeups
        w, h = 5300, 48
        img = Image.new("1", (w, h), 1)
        px = img.load()
        for y in range(h):
            x, colour = 0, 1
            while x < w:
                n = rng.choice([rng.randint(0, 70), rng.randint(60, 1800), rng.randint(1700, 5300)])
                for i in range(x, min(w, x + n)):
                    px[i, y] = colour
                x += n
                colour ^= 1
        return img
    if name == "noise":  # short runs everywhere: every vertical mode, pass mode
        w, h = 333, 61
        img = Image.new("1", (w, h), 1)
        px = img.load()
        for y in range(h):
            for x in range(w):
                px[x, y] = 0 if rng.random() < (0.15 if y % 7 else 0.5) else 1
        return img
    if name == "slants":  # edges that move by -4..4 from row to row
        w, h = 257, 120
        img = Image.new("1", (w, h), 1)
        px = img.load()
        edges = sorted(rng.sample(range(w), 20))
        for y in range(h):
            edges = sorted(max(0, min(w - 1, e + rng.randint(-4, 4))) for e in edges)
            for x in range(w):
                px[x, y] = 0 if sum(1 for e in edges if e <= x) % 2 else 1
        return img
    if name == "thin":
        return Image.new("1", (1, 9), 0)
    if name == "odd":
        img = Image.new("1", (7, 5), 1)
        for (x, y) in [(0, 0), (6, 0), (3, 2), (6, 4), (0, 4), (1, 4)]:
            img.putpixel((x, y), 0)
        return img
    if name == "black":
        return Image.new("1", (1728, 10), 0)
    if name == "white":
        return Image.new("1", (1728, 10), 1)
    raise SystemExit("unknown picture " + name)


def load(source):
    if source.startswith("synth:"):  # drawn with 0 and 1: any value but 0 is white
        img = synth(source[6:]).convert("L").point(lambda v: 255 if v else 0)
        return source[6:], img.convert("1")
    name = os.path.splitext(os.path.basename(source))[0]
    img = Image.open(source).convert("L").point(lambda v: 255 if v >= 128 else 0)
    return name, img.convert("1")


def params_of(path):
    im = Image.open(path)
    tags = im.tag_v2
    assert tags.get(266, 1) == 1, "bits not filled from the most significant"
    compression, t4 = tags[259], tags.get(292, 0)
    if compression == 2:
        k, align, eol = 0, 1, 0
    elif compression == 3:
        k, align, eol = (1 if t4 & 1 else 0), (1 if t4 & 4 else 0), 1
    elif compression == 4:
        k, align, eol = -1, 0, 0
    else:
        raise SystemExit("not fax data: %s" % path)
    black_is_1 = 1 if tags[262] == 1 else 0
    data = open(path, "rb").read()
    strips = [data[o:o + c] for o, c in zip(tags[273], tags[279])]
    rps = tags.get(278, im.size[1])
    return im, strips, rps, k, align, eol, black_is_1


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    cases = open(os.path.join(out, "cases.txt"), "w")
    first = True
    pdfcases = open(os.path.join(out, "pdfcases.txt"), "w")

    def from_pdf(case, pdf):
        root = os.path.join(out, case)
        subprocess.check_call(["pdfimages", "-f", "1", "-l", "1", "-ccitt", pdf, root])
        subprocess.check_call(["pdfimages", "-f", "1", "-l", "1", "-png", pdf, root + "-png"])
        png = Image.open(root + "-png-000.png").convert("L")
        open(root + ".poppler", "wb").write(png.tobytes())
        pdfcases.write("%s %s %s %s %s\n" % (case, pdf, root + "-000.ccitt", root + "-000.params",
                                             root + ".poppler"))

    for source in sys.argv[2:]:
        if source.startswith("pdf:"):
            from_pdf(os.path.splitext(os.path.basename(source))[0], source[4:])
            continue
        name, img = load(source)
        w, h = img.size
        grey = img.convert("L")
        open(os.path.join(out, name + ".src"), "wb").write(grey.tobytes())
        open(os.path.join(out, name + ".r2"), "wb").write(grey.reduce(2).tobytes())
        open(os.path.join(out, name + ".r4"), "wb").write(grey.reduce(4).tobytes())
        made = {}

        def tif(tag):
            return os.path.join(out, "%s~%s.tif" % (name, tag))

        img.save(tif("none-mib"), "TIFF")
        img.save(tif("none-miw"), "TIFF", tiffinfo={262: 0})
        img.save(tif("pil-g4-mib"), "TIFF", compression="group4")
        img.save(tif("pil-g4-miw"), "TIFF", compression="group4", tiffinfo={262: 0})
        img.save(tif("pil-g3"), "TIFF", compression="group3")
        img.save(tif("pil-g3-miw"), "TIFF", compression="group3", tiffinfo={262: 0})
        img.save(tif("pil-rle"), "TIFF", compression="tiff_ccitt")
        made.update({t: tif(t) for t in ["pil-g4-mib", "pil-g4-miw", "pil-g3", "pil-g3-miw", "pil-rle"]})
        for c in ["g3:1d", "g3:2d", "g3:1d:fill", "g3:2d:fill", "g4"]:
            for pol in ["mib", "miw"]:
                if pol == "miw" and c not in ("g4", "g3:2d:fill"):
                    continue
                tag = "tc-%s-%s" % (c.replace(":", "-"), pol)
                subprocess.check_call(["tiffcp", "-c", c, "-r", str(h), tif("none-" + pol), tif(tag)])
                made[tag] = tif(tag)
        for tag, path in sorted(made.items()):
            im, strips, rps, k, align, eol, bis1 = params_of(path)
            case = "%s~%s" % (name, tag)
            for i, s in enumerate(strips):
                open(os.path.join(out, "%s.%d.fax" % (case, i)), "wb").write(s)
            open(os.path.join(out, case + ".ref"), "wb").write(im.convert("L").tobytes())
            cases.write("%s %d %d %d %d %d %d %d %d\n" % (case, w, h, len(strips), rps, k, align, eol, bis1))
        if first:
            first = False
            for pol in ["mib", "miw"]:
                for maker in ["tiff2pdf", "img2pdf"]:
                    case = "%s~%s-%s" % (name, maker, pol)
                    pdf = os.path.join(out, case + ".pdf")
                    src = made["tc-g4-" + pol]
                    cmd = ["tiff2pdf", "-o", pdf, src] if maker == "tiff2pdf" else ["img2pdf", "-o", pdf, src]
                    subprocess.check_call(cmd, stderr=subprocess.DEVNULL)
                    from_pdf(case, pdf)
    pdfcases.close()
    cases.close()


main()
