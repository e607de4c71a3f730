#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Deterministic large inputs for the benchmarks.

  pages-2000.pdf        2,000 pages, a content stream and a shared font each
  pages-20000.pdf       20,000 pages (about 60,000 objects); each page's
                        content, Flate-compressed, shows about 2,000 glyphs
                        in 2.2 KB (45 MB of content in all), as a page of
                        running text does
  pages-20000-objstm.pdf  the same pages in compressed object streams with a
                        cross-reference stream (converted by qpdf)
  images-200.pdf        200 pages carrying about 100 MB of incompressible
                        image streams
"""
import os
import random
import subprocess
import sys
import zlib

# Inputs written by an older version of this script are written again.
VERSION = b"3: 2,000 glyphs of Flate-compressed text a page"


def write_pdf(path, objects, root):
    """objects: list of (num, bytes body between 'obj' and 'endobj')."""
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for num, body in objects:
        offsets[num] = len(out)
        out += b"%d 0 obj\n" % num + body + b"\nendobj\n"
    xref = len(out)
    size = max(offsets) + 1
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for j in range(1, size):
        out += (b"%010d 00000 n \n" % offsets[j]) if j in offsets else b"0000000000 65535 f \n"
    out += b"trailer\n<</Size %d/Root %d 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (size, root, xref)
    with open(path, "wb") as f:
        f.write(out)


def stream(dict_entries, data):
    return b"<<" + dict_entries + b"/Length %d>>\nstream\n" % len(data) + data + b"\nendstream"


def flate_stream(dict_entries, data):
    return stream(dict_entries + b"/Filter /FlateDecode", zlib.compress(data, 6))


WORDS = [b"the", b"of", b"page", b"text", b"and", b"turn", b"rotation", b"reader", b"a",
         b"document", b"line", b"which", b"way", b"runs", b"to", b"in", b"glyphs", b"upright"]


def text_content(rng):
    """A page of running text: 20 lines of about 100 glyphs, each line a TJ
    array of two kerned pieces, moved down by T*."""
    out = [b"BT /F1 10 Tf 72 760 Td 12 TL\n"]
    for _ in range(20):
        pieces = []
        for _ in range(2):
            words = b""
            while len(words) < 46:
                words += rng.choice(WORDS) + b" "
            pieces.append(b"(" + words + b")")
        out.append(b"[" + b" -12 ".join(pieces) + b"] TJ T*\n")
    out.append(b"ET")
    return b"".join(out)


def page_tree(first_free, page_nums, fanout=50):
    """Builds /Pages nodes over page_nums; returns (root, objects, parent_of)."""
    objects = []
    parent = {}
    level = page_nums
    nxt = first_free
    while True:
        groups = [level[i:i + fanout] for i in range(0, len(level), fanout)]
        nodes = []
        for g in groups:
            num = nxt
            nxt += 1
            nodes.append((num, g))
            for k in g:
                parent[k] = num
        if len(nodes) == 1:
            root = nodes[0][0]
        for num, g in nodes:
            kids = b" ".join(b"%d 0 R" % k for k in g)
            count = sum(counts.get(k, 1) for k in g)
            counts[num] = count
            objects.append([num, g, kids, count])
        if len(nodes) == 1:
            break
        level = [n for n, _ in nodes]
    return root, objects, parent


counts = {}


def finish(path, objects, root, nodes, parent):
    """Adds the /Pages nodes and the catalog, then writes the file."""
    for num_, g, kids, count in nodes:
        par = b" /Parent %d 0 R" % parent[num_] if num_ in parent else b""
        objects.append((num_, b"<</Type /Pages /Kids [%s] /Count %d%s>>" % (kids, count, par)))
    objects.append((1, b"<</Type /Catalog /Pages %d 0 R>>" % root))
    objects.sort()
    write_pdf(path, objects, 1)


def text_pages(path, n, seed):
    rng = random.Random(seed)
    counts.clear()
    objects = [(2, b"<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>")]
    page_nums = []
    num = 3
    contents = {}
    for i in range(n):
        page_nums.append(num)
        contents[num] = (num + 1, text_content(rng))
        num += 2
    root, nodes, parent = page_tree(num, page_nums)
    for p in page_nums:
        c, data = contents[p]
        objects.append((p, b"<</Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] "
                           b"/Resources <</Font <</F1 2 0 R>>>> /Contents %d 0 R>>" % (parent[p], c)))
        objects.append((c, flate_stream(b"", data)))
    finish(path, objects, root, nodes, parent)


def image_pages(path, n, image_bytes, seed):
    rng = random.Random(seed)
    counts.clear()
    objects = []
    page_nums = []
    num = 2
    extra = {}
    side = int((image_bytes // 3) ** 0.5)
    for i in range(n):
        page_nums.append(num)
        data = rng.randbytes(side * side * 3)
        extra[num] = (num + 1, num + 2, data)
        num += 3
    root, nodes, parent = page_tree(num, page_nums)
    for p in page_nums:
        img, content, data = extra[p]
        objects.append((p, b"<</Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] "
                           b"/Resources <</XObject <</Im0 %d 0 R>>>> /Contents %d 0 R>>"
                        % (parent[p], img, content)))
        objects.append((img, stream(b"/Type /XObject /Subtype /Image /Width %d /Height %d "
                                    b"/ColorSpace /DeviceRGB /BitsPerComponent 8" % (side, side), data)))
        objects.append((content, stream(b"", b"q 540 0 0 720 36 36 cm /Im0 Do Q")))
    finish(path, objects, root, nodes, parent)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "bench-data"
    os.makedirs(out, exist_ok=True)
    stamp = os.path.join(out, "inputs.version")
    if not os.path.exists(stamp) or open(stamp, "rb").read() != VERSION:
        for name in os.listdir(out):
            if name.endswith(".pdf"):
                os.remove(os.path.join(out, name))
        with open(stamp, "wb") as f:
            f.write(VERSION)
    jobs = [
        ("pages-2000.pdf", lambda p: text_pages(p, 2000, 1)),
        ("pages-20000.pdf", lambda p: text_pages(p, 20000, 2)),
        ("images-200.pdf", lambda p: image_pages(p, 200, 500_000, 3)),
    ]
    for name, make in jobs:
        path = os.path.join(out, name)
        if not os.path.exists(path):
            make(path)
    packed = os.path.join(out, "pages-20000-objstm.pdf")
    if not os.path.exists(packed):
        subprocess.run(["qpdf", "--static-id", "--object-streams=generate",
                        os.path.join(out, "pages-20000.pdf"), packed], check=True)
    for name in sorted(n for n in os.listdir(out) if n.endswith(".pdf")):
        print("%-28s %12d bytes" % (name, os.path.getsize(os.path.join(out, name))))


if __name__ == "__main__":
    main()
