#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The document library as a host uses it (bench/doc_bench.c: open once, ask
every page's facts one by one, turn every page by 90, save in full) against
the command line's `rotate --by 90`, median of interleaved runs. Target: the
20,000-page input within 1.2 times the command line."""
import os
import statistics
import sys

from update import RUNS, wall


def main():
    cli, host, data = sys.argv[1], sys.argv[2], sys.argv[3]
    tmp = os.path.join(data, "out")
    os.makedirs(tmp, exist_ok=True)
    print("document library against the command line, median of %d runs" % RUNS)
    print("| input | rotate --by 90 s | open, 20,000 facts, turn, save s | ratio | with text directions s |")
    print("|---|---:|---:|---:|---:|")
    missed = []
    for name in ("pages-20000.pdf", "pages-20000-objstm.pdf", "images-200.pdf"):
        src = os.path.join(data, name)
        out = os.path.join(tmp, "doc.pdf")
        cmds = {"cli": [cli, "rotate", src, out, "--by", "90", "--full"], "doc": [host, src, out],
                "text": [host, src, out, "text"]}
        samples = {k: [] for k in cmds}
        for _ in range(RUNS):
            for k, cmd in cmds.items():
                samples[k].append(wall(cmd))
        med = {k: statistics.median(v) for k, v in samples.items()}
        ratio = med["doc"] / med["cli"]
        print("| %s | %.3f | %.3f | %.2f | %.3f |" % (name, med["cli"], med["doc"], ratio, med["text"]))
        if name == "pages-20000.pdf" and ratio > 1.2:
            missed.append(name)
    print()
    print("targets met" if not missed else "TARGETS MISSED: " + ", ".join(missed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
