#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Hostile inputs of about 10 MB each, one damaged shape a file."""
import os
import sys
import zlib

SIZE = 10 * 1024 * 1024


def repeat(unit, size=SIZE):
    return unit * (size // len(unit))


def catalog_and_pages(kids, extra=b""):
    return (b"1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
            b"2 0 obj\n<</Type /Pages /Kids [" + kids + b"]" + extra + b">>\nendobj\n")


def numbered(fmt, count, start=3):
    return b"".join(fmt % (start + i) for i in range(count))


def shapes():
    yield "headers-without-endobj", repeat(b"7 0 obj\n<< /A 1 >>\n")
    yield "unclosed-dictionaries", b"1 0 obj\n" + repeat(b"<<")
    yield "open-parentheses", b"1 0 obj\n<< /A " + repeat(b"(") + b"\nendobj\n"
    yield "backslashes", b"1 0 obj\n<< /A (" + repeat(b"\\") + b")>>\nendobj\n"
    yield "headers-and-parentheses", repeat(b"9 0 obj << (")
    yield "streams-without-endstream", repeat(b"5 0 obj\n<</Length 5>>\nstream\nabcde\n")
    # Thousands of page objects sharing one distant "endobj".
    n = SIZE // 40
    yield "overlapping-objects", (catalog_and_pages(numbered(b"%d 0 R ", n)) +
                                  numbered(b"%d 0 obj\n<</Type /Page>>\n", n) + b"endobj\n")
    # Thousands of /Pages nodes sharing one distant /Kids array of pages.
    nodes = 150000
    shared = b"1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
    shared += b"2 0 obj\n<</Type /Pages /Kids [" + numbered(b"%d 0 R ", nodes) + b"]>>\nendobj\n"
    shared += numbered(b"%d 0 obj\n<</Type /Pages>>\n", nodes)
    shared += b"/Kids [" + b"900000 0 R " * ((SIZE - len(shared)) // 11) + b"]\nendobj\n"
    shared += b"900000 0 obj\n<</Type /Page>>\nendobj\n"
    yield "shared-kids-array", shared
    # A cross-reference stream whose /Prev points at itself, after filler.
    body = catalog_and_pages(b"3 0 R") + b"3 0 obj\n<</Type /Page>>\nendobj\n"
    body += b"%" + repeat(b"x", SIZE - 200) + b"\n"
    at = len(body)
    body += (b"9 0 obj\n<</Type /XRef /Prev %d>>\nstream\nxx\nendstream\nendobj\n"
             b"startxref\n%d\n%%%%EOF\n" % (at, at))
    yield "prev-loop", body
    depth = 100000
    chain = b"1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
    chain += b"".join(b"%d 0 obj\n<</Type /Pages /Kids [%d 0 R]>>\nendobj\n" % (k, k + 1)
                      for k in range(2, depth))
    chain += b"%d 0 obj\n<</Type /Page>>\nendobj\n" % depth
    yield "deep-page-tree", chain
    loop = catalog_and_pages(b"3 0 R") + b"3 0 obj\n<</Type /Pages /Kids [2 0 R 3 0 R]>>\nendobj\n"
    yield "kids-loop", loop + repeat(b"4 0 obj\n<</Type /Pages /Kids [4 0 R]>>\nendobj\n")
    big = catalog_and_pages(b"8388607 0 R 8388608 0 R")
    big += b"8388607 0 obj\n<</Type /Page>>\nendobj\n8388608 0 obj\n<</Type /Page>>\nendobj\n"
    yield "object-numbers-at-the-limit", big + repeat(b"99999999 0 obj\n(x)\nendobj\n")
    # Thousands of tiny object streams, each holding one page.
    count = 40000
    parts = [catalog_and_pages(numbered(b"%d 0 R ", count, 100))]
    for i in range(count):
        data = b"%d 0 <</Type /Page>>" % (100 + i)
        first = data.index(b"<<")
        z = zlib.compress(data)
        parts.append(b"%d 0 obj\n<</Type /ObjStm /N 1 /First %d /Filter /FlateDecode /Length %d>>\n"
                     b"stream\n" % (100000 + i, first, len(z)) + z + b"\nendstream\nendobj\n")
    yield "tiny-object-streams", b"".join(parts)
    # Object streams that expand to the decoder's limits.
    bomb = zlib.compress(b"1 0 " + b" " * (1 << 30), 9)
    parts = [catalog_and_pages(b"3 0 R") + b"3 0 obj\n<</Type /Page>>\nendobj\n"]
    k = 10
    while sum(len(p) for p in parts) < SIZE:
        parts.append(b"%d 0 obj\n<</Type /ObjStm /N 1 /First 4 /Filter /FlateDecode /Length %d>>\n"
                     b"stream\n" % (k, len(bomb)) + bomb + b"\nendstream\nendobj\n")
        k += 1
    yield "expanding-object-streams", b"".join(parts)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "bench-hostile"
    os.makedirs(out, exist_ok=True)
    for name, data in shapes():
        path = os.path.join(out, name + ".pdf")
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(data)
        print("%-30s %10d bytes" % (name, os.path.getsize(path)))


if __name__ == "__main__":
    main()
