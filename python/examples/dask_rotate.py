#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Turns every PDF file of a folder on a Dask cluster, one task per file.

    python dask_rotate.py IN_DIR OUT_DIR --by 90 [--pages LIST] [--workers N]
    python dask_rotate.py IN_DIR OUT_DIR --to 0 --scheduler tcp://host:8786

Without --scheduler a LocalCluster of worker processes runs on this
machine; with it, the tasks go to an existing cluster whose workers can
import leafturn and reach both folders (a shared file system). Each output
keeps its path relative to IN_DIR. Failures are collected and reported;
the exit status is 1 when any file failed.
"""
import argparse
import os
import sys
import time


def rotate_one(src, dst, by, to, pages):
    """One task: (src, ok, pages turned, error message or None)."""
    import leafturn

    try:
        os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
        return src, True, leafturn.rotate(src, dst, by=by, to=to, pages=pages), None
    except (leafturn.LeafturnError, OSError, ValueError) as e:
        return src, False, 0, str(e)


def pdf_files(folder):
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            if name.lower().endswith(".pdf"):
                yield os.path.join(root, name)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("in_dir")
    ap.add_argument("out_dir")
    turn = ap.add_mutually_exclusive_group(required=True)
    turn.add_argument("--by", type=int)
    turn.add_argument("--to", type=int)
    ap.add_argument("--pages", help="the command line's page grammar, e.g. 1-z,x3-5")
    ap.add_argument("--workers", type=int, default=2, help="local worker processes")
    ap.add_argument("--scheduler", help="address of an existing cluster's scheduler")
    args = ap.parse_args(argv)

    from dask.distributed import Client, LocalCluster, as_completed

    if args.scheduler:
        cluster, client = None, Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    start = time.perf_counter()
    try:
        futures = []
        for src in pdf_files(args.in_dir):
            dst = os.path.join(args.out_dir, os.path.relpath(src, args.in_dir))
            futures.append(client.submit(rotate_one, src, dst, args.by, args.to, args.pages,
                                         pure=False))
        failed, turned = [], 0
        for fut in as_completed(futures):
            src, ok, n, error = fut.result()
            turned += n
            if not ok:
                failed.append((src, error))
        for src, error in sorted(failed):
            print("failed: %s: %s" % (src, error), file=sys.stderr)
        print("%d files, %d pages turned, %d failed, %.1f s"
              % (len(futures), turned, len(failed), time.perf_counter() - start))
        return 1 if failed else 0
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


if __name__ == "__main__":
    sys.exit(main())
