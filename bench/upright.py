#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Text directions and --upright (median of interleaved runs): `info` and
`rotate --upright` against `rotate --by 90` on the 20,000-page input (every
content stream is inflated) and the 200-page image input; then the same
directions read with PyMuPDF (python3-fitz, Debian's /usr/bin/python3:
page.get_text("dict") line directions), side by side. Targets: --upright
within 6 times --by 90 on the 20,000-page input, and at least 20 times as
fast as PyMuPDF."""
import json
import os
import statistics
import subprocess
import sys

from update import RUNS, wall

# PyMuPDF's reading of every page's direction: the quarter of most of its
# characters, from each line's writing direction (y grows downwards there).
PEER = r"""
import collections, json, math, sys, fitz
out = []
for page in fitz.open(sys.argv[1]):
    counts = collections.Counter()
    for block in page.get_text("dict")["blocks"]:
        for line in block.get("lines", []):
            dx, dy = line["dir"]
            deg = math.degrees(math.atan2(-dy, dx)) % 360
            q = int(((deg + 45) % 360) // 90)  # advance right, up, left, down
            chars = sum(len(s["text"]) for s in line["spans"])
            counts[["up", "left", "down", "right"][q]] += chars
    total = sum(counts.values())
    best = counts.most_common(1)
    out.append(best[0][0] if total >= 30 and 3 * best[0][1] >= 2 * total else "none")
print(json.dumps(out))
"""


def main():
    cli, data = sys.argv[1], sys.argv[2]
    tmp = os.path.join(data, "out")
    os.makedirs(tmp, exist_ok=True)
    peer = os.path.join(tmp, "peer_directions.py")
    with open(peer, "w") as f:
        f.write(PEER)
    have_peer = subprocess.run(["/usr/bin/python3", "-c", "import fitz"], capture_output=True).returncode == 0
    print("text directions and --upright, median of %d runs" % RUNS)
    print("| input | --by 90 s | info s | --upright s | upright/by 90 | PyMuPDF s | PyMuPDF/upright | pages agreeing |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    missed = []
    for name in ("pages-20000.pdf", "images-200.pdf"):
        src = os.path.join(data, name)
        out = os.path.join(tmp, "upright.pdf")
        cmds = {"by90": [cli, "rotate", src, out, "--by", "90"], "info": [cli, "info", "--json", src],
                "upright": [cli, "rotate", src, out, "--upright"]}
        if have_peer:
            cmds["peer"] = ["/usr/bin/python3", peer, src]
        samples = {k: [] for k in cmds}
        for _ in range(RUNS):
            for k, cmd in cmds.items():
                samples[k].append(wall(cmd))
        med = {k: statistics.median(v) for k, v in samples.items()}
        agree = "-"
        if have_peer:
            ours = [p["text_direction"] for p in json.loads(subprocess.run(
                cmds["info"], capture_output=True, check=True).stdout)["page"]]
            theirs = json.loads(subprocess.run(cmds["peer"], capture_output=True, check=True).stdout)
            agree = "%d of %d" % (sum(a == b for a, b in zip(ours, theirs)), len(ours))
        ratio = med["upright"] / med["by90"]
        peer_ratio = med["peer"] / med["upright"] if have_peer else float("nan")
        print("| %s | %.3f | %.3f | %.3f | %.2f | %s | %s | %s |" % (
            name, med["by90"], med["info"], med["upright"], ratio,
            "%.2f" % med["peer"] if have_peer else "-", "%.0f" % peer_ratio if have_peer else "-", agree))
        if name.startswith("pages-20000") and ratio > 6:
            missed.append("%s: --upright <= 6 times --by 90" % name)
        if have_peer and name.startswith("pages-20000") and peer_ratio < 20:
            missed.append("%s: 20 times PyMuPDF" % name)
    print()
    print("targets met" if not missed else "TARGETS MISSED: " + "; ".join(missed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
