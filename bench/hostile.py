#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs every call on each hostile input and reports its time as a ratio to
reading the file (cat FILE > /dev/null) and what it answered."""
import os
import statistics
import subprocess
import shutil
import sys
import tempfile
import time


def timed(cmd, runs=3):
    walls, last = [], None
    for _ in range(runs):
        start = time.perf_counter()
        last = subprocess.run(cmd, capture_output=True, text=True, errors="replace")
        walls.append(time.perf_counter() - start)
    return statistics.median(walls), last


def main():
    cli, folder = sys.argv[1], sys.argv[2]
    # Outputs go beside the inputs' folder, never into it.
    out = os.path.join(tempfile.mkdtemp(prefix="leafturn-hostile-"), "out.pdf")
    print("| input | read s | info s | rotate s | worst/read | answer |")
    print("|---|---:|---:|---:|---:|---|")
    worst_time = 0.0
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".pdf"):
            continue
        path = os.path.join(folder, name)
        read_s, _ = timed(["sh", "-c", "cat \"$1\" > /dev/null", "sh", path])
        info_s, info = timed([cli, "info", path])
        rot_s, rot = timed([cli, "rotate", path, out, "--degrees", "90"])
        answer = (info.stdout.split("\n")[0] if info.returncode == 0
                  else info.stderr.strip().replace("leafturn: ", ""))
        if rot.returncode != 0:
            answer += "; rotate: " + rot.stderr.strip().replace("leafturn: ", "")
        crashed = info.returncode not in (0, 1) or rot.returncode not in (0, 1)
        worst = max(info_s, rot_s)
        worst_time = max(worst_time, worst)
        print("| %s | %.3f | %.3f | %.3f | %.0f | %s%s |"
              % (name[:-4], read_s, info_s, rot_s, worst / max(read_s, 1e-3),
                 "CRASHED " if crashed else "", answer[:90]))
    print()
    met = worst_time <= 0.5
    print("slowest call: %.3f s (target 0.5 s: %s)" % (worst_time, "met" if met else "MISSED"))
    shutil.rmtree(os.path.dirname(out), ignore_errors=True)
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
