#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Encrypted input against the same input unencrypted (median of
interleaved runs): the 20,000-page object-stream input encrypted with
AES-256 by qpdf (every object stream is decrypted, and every member's
strings encrypted again for a full rewrite), turned in full and by update.
Target: within 1.5 times the unencrypted file in both modes."""
import os
import statistics
import subprocess
import sys

from update import RUNS, wall


def main():
    cli, data = sys.argv[1], sys.argv[2]
    plain = os.path.join(data, "pages-20000-objstm.pdf")
    enc = os.path.join(data, "pages-20000-objstm-aes256.pdf")
    if not os.path.exists(enc):
        subprocess.run(["qpdf", "--static-id", "--static-aes-iv", "--encrypt", "", "owner", "256", "--",
                        "--object-streams=generate", plain, enc], check=True)
    tmp = os.path.join(data, "out")
    os.makedirs(tmp, exist_ok=True)
    print("AES-256 against unencrypted, 20,000 pages in object streams, median of %d runs" % RUNS)
    print("| mode | unencrypted s | AES-256 s | ratio |")
    print("|---|---:|---:|---:|")
    missed = []
    for mode in ("--full", "--incremental"):
        samples = {"plain": [], "enc": []}
        for _ in range(RUNS):
            for k, src in (("plain", plain), ("enc", enc)):
                samples[k].append(wall([cli, "rotate", src, os.path.join(tmp, "enc-out.pdf"), "--by", "90", mode]))
        a, b = statistics.median(samples["plain"]), statistics.median(samples["enc"])
        print("| %s | %.3f | %.3f | %.2f |" % (mode.lstrip("-"), a, b, b / a))
        if b / a > 1.5:
            missed.append(mode)
    print()
    print("targets met" if not missed else "TARGETS MISSED: " + ", ".join(missed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
