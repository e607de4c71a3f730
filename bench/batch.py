#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times a batch: at least 1,000 real files (the corpus, copied) turned by 90
degrees into an output folder, by `leafturn rotate --out-dir` with one and
with two worker threads, and by a shell loop running `qpdf --rotate=+90`
once per file. Runs are interleaved; medians of wall time and peak memory
(read by GNU time) are shown.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

RUNS = int(os.environ.get("BENCH_RUNS", "3"))
COPIES = int(os.environ.get("BENCH_COPIES", "33"))
TIME = "/usr/bin/time"


def measure(cmd, shell=False):
    report = os.path.join(os.environ.get("TMPDIR", "/tmp"), "leafturn-batch-time.txt")
    start = time.perf_counter()
    full = [TIME, "-f", "%M", "-o", report] + (["sh", "-c", cmd] if shell else cmd)
    subprocess.call(full, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    with open(report) as f:
        peak_kb = int(f.read().split()[-1])
    return wall, peak_kb * 1024


def main():
    cli, corpus, data = sys.argv[1], sys.argv[2], sys.argv[3]
    src = os.path.join(data, "batch-in")
    shutil.rmtree(src, ignore_errors=True)
    names = sorted(n for n in os.listdir(corpus) if n.lower().endswith(".pdf"))
    for c in range(COPIES):
        d = os.path.join(src, "copy%02d" % c)
        os.makedirs(d)
        for n in names:
            shutil.copyfile(os.path.join(corpus, n), os.path.join(d, n))
    files = len(names) * COPIES
    size = sum(os.path.getsize(os.path.join(corpus, n)) for n in names) * COPIES
    outs = os.path.join(data, "batch-out")
    shutil.rmtree(outs, ignore_errors=True)
    os.makedirs(outs)
    loop = ("for f in $(find %s -name '*.pdf'); do qpdf --rotate=+90 \"$f\" %s/q.pdf; done"
            % (src, outs))
    runs = {"jobs1": [], "jobs2": [], "qpdf": []}
    # Each run writes into a folder of its own, removed only at the end, so
    # that no run pays for the file system reclaiming the last one's files.
    for r in range(RUNS):
        for key, jobs in (("jobs1", 1), ("jobs2", 2)):
            out = os.path.join(outs, "%s-%d" % (key, r))
            runs[key].append(measure([cli, "rotate", "--out-dir", out, "--by", "90",
                                      "--jobs", str(jobs), "--no-progress", src]))
        runs["qpdf"].append(measure(loop, shell=True))
    shutil.rmtree(outs, ignore_errors=True)
    med = {k: (statistics.median(w for w, _ in v), statistics.median(m for _, m in v))
           for k, v in runs.items()}
    print("\nbatch of %d files (%.1f MB), rotate by 90 into a folder, median of %d:"
          % (files, size / 1e6, RUNS))
    print("| run | s | files/s | peak MB |")
    print("|---|---:|---:|---:|")
    for key, label in (("jobs1", "leafturn --jobs 1"), ("jobs2", "leafturn --jobs 2"),
                       ("qpdf", "shell loop of qpdf --rotate=+90")):
        w, m = med[key]
        print("| %s | %.2f | %.0f | %.1f |" % (label, w, files / w, m / 1e6))
    print("jobs 2 / jobs 1 speed-up: %.2f; against the qpdf loop: %.1f times as fast"
          % (med["jobs1"][0] / med["jobs2"][0], med["qpdf"][0] / med["jobs2"][0]))


if __name__ == "__main__":
    main()
