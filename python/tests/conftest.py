# SPDX-License-Identifier: MIT
"""Shared fixtures: the corpus, the command line to compare with, and PDF
files built in code."""
import os
import shutil
import subprocess

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))


def corpus_dir():
    return os.environ.get("LEAFTURN_CORPUS", os.path.join(TOP, "tests", "corpus"))


def corpus_files():
    d = corpus_dir()
    return sorted(os.path.join(d, n) for n in os.listdir(d) if n.endswith(".pdf"))


def missing(what):
    """A checker a test needs is missing: the test fails (make test
    installs every checker) unless LEAFTURN_ALLOW_MISSING_TOOLS=1 lets it
    skip."""
    if os.environ.get("LEAFTURN_ALLOW_MISSING_TOOLS") == "1":
        pytest.skip("%s is needed" % what)
    pytest.fail("%s is needed and missing (install it, or set LEAFTURN_ALLOW_MISSING_TOOLS=1)" % what)


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("LEAFTURN_CLI", os.path.join(TOP, "build", "leafturn"))
    if not os.access(path, os.X_OK):
        missing("the command-line tool (%s)" % path)
    return path


def build_pdf(pages, page_extra="", pages_extra="", extra_objects=(), trailer_extra=""):
    """A catalog (1), a page tree (2), pages 3.. and extra_objects after them,
    with a classic table; trailer_extra goes into the trailer."""
    objs = ["<</Type /Catalog /Pages 2 0 R>>"]
    kids = " ".join("%d 0 R" % (i + 3) for i in range(pages))
    objs.append("<</Type /Pages /Kids [%s] /Count %d%s>>" % (kids, pages, pages_extra))
    for i in range(pages):
        extra = page_extra(i) if callable(page_extra) else page_extra
        objs.append("<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]%s>>" % extra)
    objs.extend(extra_objects)
    out = b"%PDF-1.4\n"
    offsets = []
    for n, text in enumerate(objs, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (n, text.encode("latin-1"))
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for o in offsets:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<</Size %d /Root 1 0 R%s>>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objs) + 1, trailer_extra.encode("latin-1"), xref)
    return out


@pytest.fixture
def pdf(tmp_path):
    """Writes a built PDF into the test's folder and returns its path."""
    def make(name="doc.pdf", pages=3, **kw):
        p = tmp_path / name
        p.write_bytes(build_pdf(pages, **kw))
        return str(p)
    return make


def have(tool):
    return shutil.which(tool) is not None


def run(args):
    return subprocess.run(args, capture_output=True)
