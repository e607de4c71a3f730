#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The library's hashes and ciphers (bench_crypto) beside openssl's speed
test on 16 KB blocks, in MB/s. openssl uses the processor's AES and SHA
instructions where it has them; the library is portable C++ with tables."""
import subprocess
import sys

OPENSSL = {
    "md5": ["md5"], "sha256": ["sha256"], "sha512": ["sha512"],
    "rc4": ["-provider", "legacy", "-provider", "default", "-evp", "rc4"],
    "aes-128-cbc-encrypt": ["-evp", "aes-128-cbc"], "aes-128-cbc-decrypt": ["-evp", "aes-128-cbc", "-decrypt"],
    "aes-256-cbc-encrypt": ["-evp", "aes-256-cbc"], "aes-256-cbc-decrypt": ["-evp", "aes-256-cbc", "-decrypt"],
}


def openssl_mbs(args):
    out = subprocess.run(["openssl", "speed", "-bytes", "16384", "-seconds", "1"] + args,
                         capture_output=True, text=True).stdout.strip().split("\n")
    try:
        return float(out[-1].split()[-1].rstrip("k")) * 1000 / 1e6
    except (IndexError, ValueError):
        return float("nan")


def main():
    ours = {}
    for line in subprocess.run([sys.argv[1]], capture_output=True, text=True, check=True).stdout.split("\n"):
        if line.strip():
            name, value = line.split()
            ours[name] = float(value)
    print("hashes and ciphers, MB/s (32 MB, best of 3; openssl speed on 16 KB blocks)")
    print("| algorithm | leafturn | openssl | openssl/leafturn |")
    print("|---|---:|---:|---:|")
    for name, value in ours.items():
        theirs = openssl_mbs(OPENSSL[name])
        print("| %s | %.0f | %.0f | %.1f |" % (name, value, theirs, theirs / value))
    return 0


if __name__ == "__main__":
    sys.exit(main())
