#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Appended updates against full rewrites and cp (median of interleaved
runs): one page of the 100 MB input, every page of the 20,000-page
object-stream input. Targets: the update within 1.3 times cp on the first,
within 2 times cp on the second."""
import os
import statistics
import subprocess
import sys
import time

RUNS = int(os.environ.get("BENCH_RUNS", "5"))


def wall(cmd):
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    cli, data = sys.argv[1], sys.argv[2]
    tmp = os.path.join(data, "out")
    os.makedirs(tmp, exist_ok=True)
    cases = [("images-200.pdf", ["--pages", "1"], 1.3), ("pages-20000-objstm.pdf", [], 2.0)]
    print("appended update (--incremental) against the full rewrite and cp, median of %d runs" % RUNS)
    print("| input | turned | update s | full s | cp s | update/cp | full/cp | update MB added |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    missed = []
    for name, pages, target in cases:
        src = os.path.join(data, name)
        out = os.path.join(tmp, "upd.pdf")
        tools = {
            "update": [cli, "rotate", src, out, "--by", "90"] + pages + ["--incremental"],
            "full": [cli, "rotate", src, os.path.join(tmp, "full.pdf"), "--by", "90"] + pages + ["--full"],
            "cp": ["cp", src, os.path.join(tmp, "cp.pdf")],
        }
        samples = {k: [] for k in tools}
        for _ in range(RUNS):
            for k, cmd in tools.items():
                samples[k].append(wall(cmd))
        med = {k: statistics.median(v) for k, v in samples.items()}
        added = (os.path.getsize(out) - os.path.getsize(src)) / 1e6
        ratio = med["update"] / med["cp"]
        print("| %s | %s | %.3f | %.3f | %.3f | %.2f | %.2f | %.2f |"
              % (name, "page 1" if pages else "every page", med["update"], med["full"],
                 med["cp"], ratio, med["full"] / med["cp"], added))
        if ratio > target:
            missed.append("%s: update <= %.1f cp" % (name, target))
    print()
    print("targets met" if not missed else "TARGETS MISSED: " + "; ".join(missed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
