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
    return objects_pdf(objs, trailer_extra)


def objects_pdf(objs, trailer_extra=""):
    """A file of the object texts objs (numbered from 1, the first the
    catalog) with a classic table."""
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


def signed_pdf(tmp_path, perms=""):
    """A two-page file whose signature field (4) holds a detached CMS
    signature (5) over its byte range, made by openssl with a self-signed
    certificate, as signing tools write it; perms goes into the catalog (a
    certification: " /Perms <</DocMDP 5 0 R>>")."""
    if not have("openssl"):
        missing("openssl")
    objs = [
        "<</Type /Catalog /Pages 2 0 R /AcroForm <</Fields [4 0 R] /SigFlags 3>>%s>>" % perms,
        "<</Type /Pages /Kids [3 0 R 6 0 R] /Count 2>>",
        "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R]>>",
        "<</FT /Sig /T (Signature1) /V 5 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /F 132>>",
        "<</Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
        "/ByteRange [0 9999999999 9999999999 9999999999] /Contents <%s>>>" % ("0" * 8192),
        "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>",
    ]
    data = bytearray(objects_pdf(objs))
    cs = data.index(b"/Contents <") + 10
    ce = data.index(b">", cs) + 1
    br = data.index(b"/ByteRange [") + 12
    br_end = data.index(b"]", br)
    text = b"0 %d %d %d" % (cs, ce, len(data) - ce)
    data[br:br_end] = text.ljust(br_end - br)
    keys = tmp_path / "keys"
    keys.mkdir(exist_ok=True)
    tbs = keys / "tbs.bin"
    tbs.write_bytes(bytes(data[:cs] + data[ce:]))
    assert run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(keys / "key.pem"),
                "-out", str(keys / "cert.pem"), "-days", "3650", "-subj", "/CN=Test"]).returncode == 0
    assert run(["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-in", str(tbs), "-signer",
                str(keys / "cert.pem"), "-inkey", str(keys / "key.pem"), "-out", str(keys / "sig.der")]).returncode == 0
    sig = (keys / "sig.der").read_bytes().hex().upper().encode()
    assert len(sig) <= ce - cs - 2
    data[cs + 1:ce - 1] = sig.ljust(ce - cs - 2, b"0")
    return bytes(data)
