#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Python package in-process: open + rotate(by=90) + save of the
20,000-page file, against the C call leafturn_all (through ctypes, in the
same process) and pypdf; then four threads on eight different files
against one thread doing the same. Medians of interleaved runs.

    python bench/python_bench.py LIBLEAFTURN_SO DATA_DIR
"""
import ctypes
import os
import statistics
import sys
import threading
import time

import leafturn

RUNS = int(os.environ.get("BENCH_RUNS", "5"))


def timed(fn):
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def main():
    lib = ctypes.CDLL(sys.argv[1])
    lib.leafturn_all.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int]
    data = sys.argv[2]
    src = os.path.join(data, "pages-20000.pdf")
    out = os.path.join(data, "out", "py-out.pdf")
    os.makedirs(os.path.dirname(out), exist_ok=True)

    def package():
        with leafturn.open(src) as doc:
            doc.rotate(by=90)
            doc.save(out)

    def c_call():
        if lib.leafturn_all(src.encode(), out.encode(), 90) != 1:
            raise SystemExit("leafturn_all failed")

    py, c = [], []
    for _ in range(RUNS):
        py.append(timed(package))
        c.append(timed(c_call))
    try:
        import pypdf

        def with_pypdf():
            reader = pypdf.PdfReader(src)
            writer = pypdf.PdfWriter()
            for page in reader.pages:
                page.rotate(90)
                writer.add_page(page)
            with open(out, "wb") as f:
                writer.write(f)

        peer = statistics.median(timed(with_pypdf) for _ in range(2))
    except ImportError:
        peer = None
    p, cc = statistics.median(py), statistics.median(c)
    print("\nPython package, 20,000 pages, open + rotate(by=90) + save, median of %d:" % RUNS)
    print("| run | s |")
    print("|---|---:|")
    print("| leafturn (Python) | %.3f |" % p)
    print("| leafturn_all (C, through ctypes) | %.3f |" % cc)
    if peer is not None:
        print("| pypdf | %.3f |" % peer)
    print("Python / C: %.2f%s" % (p / cc, "; pypdf / Python: %.0f" % (peer / p) if peer else ""))

    # Threads: eight different files (copies of the large inputs).
    names = [n for n in ("pages-2000.pdf", "pages-20000.pdf", "pages-20000-objstm.pdf")
             if os.path.exists(os.path.join(data, n))]
    files = [os.path.join(data, names[k % len(names)]) for k in range(8)]
    outs = [os.path.join(data, "out", "thread-%d.pdf" % k) for k in range(8)]

    def one(k):
        with leafturn.open(files[k]) as doc:
            doc.rotate(by=90, pages="odd")
            doc.save(outs[k])

    def sequential():
        for k in range(8):
            one(k)

    def threaded():
        ts = [threading.Thread(target=lambda t=t: [one(k) for k in range(t, 8, 4)]) for t in range(4)]
        for t in ts:
            t.start()
        for t in ts:
            t.join()

    seq, par = [], []
    for _ in range(RUNS):
        seq.append(timed(sequential))
        par.append(timed(threaded))
    s, t = statistics.median(seq), statistics.median(par)
    print("8 files: one thread %.3f s, four threads %.3f s (%.2f times as fast, %d cores)"
          % (s, t, s / t, os.cpu_count()))


if __name__ == "__main__":
    main()
