# SPDX-License-Identifier: MIT
"""What a save writes, as every front end decides it: without incremental=
a fresh file, except for a signed file, which gets an update that keeps its
signature (judged by pdfsig); a certified file is refused unless forced, in
the command line's words but for how the package names force."""
import pytest

import leafturn

from conftest import have, missing, run, signed_pdf


def pdfsig_valid(path):
    if not have("pdfsig"):
        missing("pdfsig (poppler-utils)")
    return "Signature is Valid." in run(["pdfsig", str(path)]).stdout.decode()


def test_a_signed_file_gets_an_update_unless_a_fresh_file_is_asked_for(tmp_path, cli):
    signed = signed_pdf(tmp_path)
    src = tmp_path / "signed.pdf"
    src.write_bytes(signed)
    assert pdfsig_valid(src)
    with leafturn.open(src) as doc:
        assert (doc.signatures, doc.certified, doc.updates_by_default) == (1, False, True)
        assert doc.update_refusal is None
        assert doc.to_bytes() == signed, "nothing turned: the file itself"
        assert doc.rotate(by=90, pages=2) == 1
        update = doc.to_bytes()
        assert update.startswith(signed) and len(update) > len(signed)
        assert doc.to_bytes(incremental=True) == update
        doc.save(tmp_path / "saved.pdf")
        full = doc.to_bytes(incremental=False)
    assert (tmp_path / "saved.pdf").read_bytes() == update
    assert pdfsig_valid(tmp_path / "saved.pdf")
    assert not full.startswith(signed)
    (tmp_path / "full.pdf").write_bytes(full)
    assert not pdfsig_valid(tmp_path / "full.pdf")
    # The one-call form and the command line decide alike.
    out, theirs = tmp_path / "rotated.pdf", tmp_path / "theirs.pdf"
    assert leafturn.rotate(src, out, by=90, pages=2) == 1
    assert run([cli, "rotate", str(src), str(theirs), "--by", "90", "--pages", "2"]).returncode == 0
    assert out.read_bytes() == theirs.read_bytes() == update


def test_an_unsigned_file_gets_a_fresh_file_by_default(pdf):
    with leafturn.open(pdf(pages=2)) as doc:
        assert doc.updates_by_default is False
        doc.rotate(by=90)
        assert doc.to_bytes() == doc.to_bytes(incremental=False) != doc.to_bytes(incremental=True)


def test_a_certified_file_is_refused_unless_forced(tmp_path, cli):
    certified = signed_pdf(tmp_path, perms=" /Perms <</DocMDP 5 0 R>>")
    src = tmp_path / "certified.pdf"
    src.write_bytes(certified)
    said = run([cli, "rotate", str(src), str(tmp_path / "cli.pdf"), "--by", "90"]).stderr.decode()
    assert "(--force turns them all the same)" in said
    why = "%s is certified: its certification forbids changing its pages (force=True turns them all the same)"
    with leafturn.open(src) as doc:
        assert doc.certified is True
        doc.rotate(by=90)
        for save in (lambda: doc.to_bytes(), lambda: doc.to_bytes(incremental=False),
                     lambda: doc.to_bytes(incremental=True), lambda: doc.save(tmp_path / "never.pdf")):
            with pytest.raises(leafturn.LeafturnError) as e:
                save()
            assert str(e.value) == why % src
        assert said == "leafturn: " + (why % src).replace("force=True", "--force") + "\n"
        assert doc.to_bytes(force=True).startswith(certified)
        assert not doc.to_bytes(incremental=False, force=True).startswith(certified)
    assert not (tmp_path / "never.pdf").exists()
    with pytest.raises(leafturn.LeafturnError) as e:
        leafturn.rotate(certified, tmp_path / "never.pdf", by=90)
    assert str(e.value) == why % "(memory)"
    # Refused even when nothing turns, as the command line refuses it.
    with pytest.raises(leafturn.LeafturnError):
        leafturn.rotate(src, src, to=0)
    assert src.read_bytes() == certified
    assert leafturn.rotate(src, tmp_path / "forced.pdf", by=90, force=True) == 2
    assert (tmp_path / "forced.pdf").read_bytes().startswith(certified)


def test_mode_numbers_are_the_c_apis():
    # leafturn_doc.h: LEAFTURN_DOC_AUTOMATIC 0, _INCREMENTAL 1, _FULL 2.
    assert [leafturn._native.save_mode(v) for v in (None, True, False)] == [0, 1, 2]
