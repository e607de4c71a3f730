# SPDX-License-Identifier: MIT
"""Encrypted files made with qpdf from a real file with text: opened with
and without their password, turned, saved in both modes, and judged by
qpdf and pdftotext; permissions and wrong passwords in the library's words."""
import os
import shutil
import subprocess

import pytest

import leafturn
from conftest import corpus_dir, missing

TEXT = "004-pdflatex-4-pages_pdflatex-4-pages.pdf"


@pytest.fixture(scope="module")
def tools():
    for tool in ("qpdf", "pdftotext"):
        if not shutil.which(tool):
            missing(tool)


def encrypt(tmp_path, user, owner, *spec, object_streams=True):
    out = str(tmp_path / ("enc-%s-%s.pdf" % (user or "empty", "-".join(spec).replace("=", ""))))
    subprocess.run(["qpdf", "--allow-weak-crypto", "--encrypt", user, owner, *spec, "--",
                    "--object-streams=" + ("generate" if object_streams else "disable"),
                    os.path.join(corpus_dir(), TEXT), out], check=True)
    return out


def show_encryption(path, password=""):
    out = subprocess.run(["qpdf", "--password=" + password, "--show-encryption", path],
                         capture_output=True).stdout.decode()
    return [line for line in out.split("\n") if "password" not in line]


def text(path, password=""):
    return subprocess.run(["pdftotext", "-upw", password, path, "-"], capture_output=True).stdout


@pytest.mark.parametrize("spec,method", [(("40",), "RC4-40"), (("128",), "RC4-128"),
                                         (("128", "--use-aes=y"), "AES-128"), (("256",), "AES-256")])
def test_encrypted_files_turn_and_stay_encrypted(tools, tmp_path, spec, method):
    src = encrypt(tmp_path, "user", "owner", *spec)
    with leafturn.open(src, password="user") as doc:
        enc = doc.encryption
        assert enc["method"] == method
        assert enc["password_needed"] is True and enc["opened_with"] == "user"
        assert enc["permissions"]["assemble"] is True
        assert doc.info["Creator"] == "TeX"
        assert doc.rotate(by=90, pages="odd") == 2
        full, update = tmp_path / "full.pdf", tmp_path / "update.pdf"
        doc.save(full)
        doc.save(update, incremental=True)
        data = doc.to_bytes()
    assert data == full.read_bytes()
    original = open(src, "rb").read()
    assert update.read_bytes().startswith(original)
    for out in (str(full), str(update)):
        assert show_encryption(out, "user") == show_encryption(src, "user")
        assert text(out, "user") == text(src, "user")
        with leafturn.open(out, password="owner") as turned:
            assert [p.rotation for p in turned.pages] == [90, 0, 90, 0]
            assert turned.encryption["opened_with"] == "owner"
    # From bytes, with the password.
    with leafturn.open(original, password="user") as doc:
        assert len(doc) == 4


def test_passwords_and_permissions_in_the_librarys_words(tools, tmp_path):
    locked = encrypt(tmp_path, "user", "owner", "256")
    with pytest.raises(leafturn.LeafturnError) as e:
        leafturn.open(locked)
    assert str(e.value) == locked + " needs its password to be read (give it with password=)"
    with pytest.raises(leafturn.LeafturnError) as e:
        leafturn.open(locked, password="wrong")
    assert str(e.value) == "the password given does not open " + locked
    with pytest.raises(TypeError):
        leafturn.open(locked, password=b"user")

    # Without object streams no key is needed: the file turns without its password.
    direct = encrypt(tmp_path, "user", "owner", "256", object_streams=False)
    with leafturn.open(direct) as doc:
        assert doc.encryption["opened_with"] is None and doc.info == {}
        doc.rotate(to=180)
        doc.save(tmp_path / "direct.pdf")
    assert text(str(tmp_path / "direct.pdf"), "user") == text(direct, "user")

    forbidden = encrypt(tmp_path, "", "owner", "256", "--assemble=n")
    out = tmp_path / "forbidden.pdf"
    with leafturn.open(forbidden) as doc:
        assert doc.encryption["permissions"]["assemble"] is False
        assert doc.encryption["password_needed"] is False
        doc.rotate(by=90)
        with pytest.raises(leafturn.LeafturnError) as e:
            doc.save(out)
        assert str(e.value) == forbidden + " does not permit turning its pages (force=True turns them all the same)"
        assert not out.exists()
        doc.save(out, force=True)
    assert leafturn.rotate(forbidden, out, by=90, password="owner") == 4
    with pytest.raises(leafturn.LeafturnError):
        leafturn.rotate(forbidden, out, by=90)
    assert leafturn.rotate(forbidden, out, by=90, force=True) == 4
