# SPDX-License-Identifier: MIT
"""The Dask example on a small folder: every good file turned, the bad ones
reported, the exit status telling which."""
import os
import subprocess
import sys

import pytest

import leafturn
from conftest import TOP, build_pdf

pytest.importorskip("distributed")


def test_dask_example_turns_a_folder_and_reports_failures(tmp_path):
    src, out = tmp_path / "in", tmp_path / "out"
    (src / "sub").mkdir(parents=True)
    (src / "a.pdf").write_bytes(build_pdf(2))
    (src / "sub" / "b.PDF").write_bytes(build_pdf(3, page_extra=" /Rotate 90"))
    (src / "broken.pdf").write_bytes(b"not a pdf")
    (src / "notes.txt").write_text("skipped")
    example = os.path.join(TOP, "python", "examples", "dask_rotate.py")
    r = subprocess.run([sys.executable, example, str(src), str(out), "--by", "90"],
                       capture_output=True, text=True, timeout=300)
    assert r.returncode == 1, r.stderr
    assert "3 files, 5 pages turned, 1 failed" in r.stdout
    assert "failed: %s: no PDF objects found \u2014 not a PDF: %s" % (src / "broken.pdf", src / "broken.pdf") in r.stderr
    assert [p.rotation for p in leafturn.open(out / "a.pdf").pages] == [90, 90]
    assert [p.rotation for p in leafturn.open(out / "sub" / "b.PDF").pages] == [180] * 3
    assert not (out / "broken.pdf").exists()
