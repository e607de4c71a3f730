# SPDX-License-Identifier: MIT
"""The package's API against the command line's answers, its failures with
their exact messages, bytes in and out, paths, and how turns compose."""
import json
import os
import shutil
import subprocess

import pytest

import leafturn
from conftest import build_pdf, corpus_files, missing, run


def cli_info(cli, path):
    out = run([cli, "info", "--json", path])
    return json.loads(out.stdout.decode("utf-8"))


@pytest.mark.parametrize("path", corpus_files(), ids=os.path.basename)
def test_every_page_attribute_agrees_with_the_command_line(cli, path):
    info = cli_info(cli, path)
    if "error" in info:
        with pytest.raises(leafturn.LeafturnError) as e:
            leafturn.open(path)
        assert str(e.value) == info["error"]
        return
    with leafturn.open(path) as doc:
        assert len(doc) == info["pages"] == len(doc.pages)
        for page, want in zip(doc.pages, info["page"]):
            assert page.number == want["number"]
            assert page.rotation == want["rotation"]
            assert page.own_rotation == want["own"]
            assert page.inherited_rotation == want["inherited"]
            for got, expected in ((page.width, want["width"]), (page.height, want["height"])):
                assert (got is None) == (expected is None)
                if got is not None:
                    assert got == pytest.approx(expected, abs=1e-6)
            assert page.orientation == want["orientation"]
        assert doc.page(len(doc)).number == len(doc)
        assert doc.info == (info["info"] or {})


def pdfinfo_text_entries(path):
    """Title, Author, ... as pdfinfo prints them (dates aside)."""
    out = subprocess.run(["pdfinfo", path], capture_output=True).stdout.decode("utf-8", "replace")
    keys = ("Title", "Subject", "Keywords", "Author", "Creator", "Producer")
    return {line[:line.index(":")]: line[17:] for line in out.split("\n")
            if ":" in line and line[:line.index(":")] in keys}


@pytest.mark.parametrize("path", corpus_files(), ids=os.path.basename)
def test_information_reads_as_pdfinfo_reads_it_and_survives_a_turn(path, tmp_path):
    if not shutil.which("pdfinfo"):
        missing("pdfinfo (poppler-utils)")
    try:
        doc = leafturn.open(path)
    except leafturn.LeafturnError:
        pytest.skip("the file does not load")
    with doc:
        want = pdfinfo_text_entries(path)
        assert {k: v for k, v in doc.info.items() if k in want} == want
        doc.rotate(by=90)
        out = tmp_path / "turned.pdf"
        doc.save(out, force=True)  # an encrypted file may forbid turning
    assert pdfinfo_text_entries(str(out)) == want
    with leafturn.open(out) as turned, leafturn.open(path) as original:
        assert turned.info == original.info


def test_information_strings_of_every_form(tmp_path):
    entries = (
        r"/Title (Line\nbreak \(paren\) \053 oct\101l\\ and "
        "a continued \\\n line) "
        "/Author <FEFF00C4 D83DDE00 0041> "           # UTF-16BE with a surrogate pair
        "/Subject (\x80\x84\xa0\xe9) "              # PDFDocEncoding: bullet, dash, euro, e-acute
        "/Keywords <616263> /Creator 5 0 R "            # hex; an indirect string
        "/Producer (\xef\xbb\xbfna\xc3\xafve) "    # UTF-8 after its mark
        "/Count 3 /Trapped /False /Nested <</Title (inner)>> /List [(a) (b)] "
        "/Odd <FEFF0041 00>"                            # a lone last byte
    )
    path = tmp_path / "info.pdf"
    path.write_bytes(build_pdf(1, extra_objects=("<<%s>>" % entries, "(from object 5)"),
                               trailer_extra="/Info 4 0 R"))
    with leafturn.open(path) as doc:
        assert doc.info == {
            "Title": "Line\nbreak (paren) + octAl\\ and a continued  line",
            "Author": "\u00c4\U0001f600A",
            "Subject": "\u2022\u2014\u20ac\u00e9",
            "Keywords": "abc",
            "Creator": "from object 5",
            "Producer": "na\u00efve",
            "Odd": "A\ufffd",
        }
        assert doc.info is not doc.info  # a copy each time
    # No information dictionary: an empty dict.
    bare = tmp_path / "bare.pdf"
    bare.write_bytes(build_pdf(1))
    with leafturn.open(bare) as doc:
        assert doc.info == {}


@pytest.mark.parametrize("path", corpus_files()[:12], ids=os.path.basename)
def test_saved_files_are_the_command_lines_bytes(cli, path, tmp_path):
    if "error" in cli_info(cli, path):
        pytest.skip("the file does not load")
    for turn, args in (({"by": 90}, ["--by", "90"]), ({"to": 180, "pages": "odd,x1"},
                                                       ["--to", "180", "--pages", "odd,x1"])):
        mine, theirs = tmp_path / "mine.pdf", tmp_path / "theirs.pdf"
        changed = leafturn.rotate(path, mine, force=True, **turn)
        out = run([cli, "rotate", path, str(theirs)] + args + ["--json", "--force"])
        assert out.returncode == 0
        assert json.loads(out.stdout)["turned"] == changed
        assert mine.read_bytes() == theirs.read_bytes()


def test_failures_carry_the_librarys_messages(tmp_path, pdf):
    missing = str(tmp_path / "missing.pdf")
    cases = [
        (lambda: leafturn.open(missing), "cannot open " + missing),
        (lambda: leafturn.open(b"not a PDF"), "no PDF objects found \u2014 not a PDF: (memory)"),
        (lambda: leafturn.open(b""), "empty input file: (memory)"),
    ]
    empty = tmp_path / "empty.pdf"
    empty.write_bytes(b"")
    cases.append((lambda: leafturn.open(empty), "empty input file: " + str(empty)))
    enc = tmp_path / "enc.pdf"
    enc.write_bytes(build_pdf(1).replace(b"/Root 1 0 R", b"/Root 1 0 R /Encrypt 9 0 R"))
    cases.append((lambda: leafturn.open(str(enc)),
                  str(enc) + " is encrypted, but its encryption dictionary is missing"))
    doc = leafturn.open(pdf(pages=3))
    cases += [
        (lambda: doc.page(4), "page 4 out of range (document has 3 pages)"),
        (lambda: doc.page(0), "page 0 out of range (document has 3 pages)"),
        (lambda: doc.rotate(by=90, pages=[1, 7]), "page 7 out of range (document has 3 pages)"),
        (lambda: doc.rotate(by=90, pages=9), "page 9 out of range (document has 3 pages)"),
        (lambda: doc.rotate(by=90, pages="2-5"), "page 5 out of range (document has 3 pages)"),
        (lambda: doc.save(tmp_path / "no" / "such" / "dir.pdf"),
         "cannot write " + str(tmp_path / "no" / "such" / "dir.pdf")),
    ]
    for call, message in cases:
        with pytest.raises(leafturn.LeafturnError) as e:
            call()
        assert str(e.value) == message
    assert [p.rotation for p in doc.pages] == [0, 0, 0], "a failed call turns nothing"
    for bad in ({"by": 45}, {"to": 45}, {}, {"by": 90, "to": 0}, {"by": True}):
        with pytest.raises(ValueError):
            doc.rotate(**bad)
    # The values the core takes, in its words; numbers of any size.
    for kwargs, message in (({"by": 2**70}, "by= takes 90, 180, 270, -90, -180 or -270 (got %d)" % 2**70),
                            ({"to": -90}, "to= takes 0, 90, 180 or 270 (got -90)"),
                            ({"by": "90"}, "by= takes 90, 180, 270, -90, -180 or -270 (got '90')")):
        with pytest.raises(ValueError) as e:
            doc.rotate(**kwargs)
        assert str(e.value) == message
    with pytest.raises(leafturn.LeafturnError) as e:
        doc.page(2**40)
    assert str(e.value) == "page %d out of range (document has 3 pages)" % 2**40
    with pytest.raises(ValueError):
        doc.rotate(by=90, pages="r0")
    with pytest.raises(TypeError):
        doc.rotate(by=90, pages=[1.5])
    assert issubclass(leafturn.LeafturnError, Exception)


def test_turns_build_on_each_other_and_count_changes(pdf):
    with leafturn.open(pdf(pages=5, page_extra=lambda i: " /Rotate 90" if i == 1 else "")) as doc:
        assert [p.rotation for p in doc.pages] == [0, 90, 0, 0, 0]
        assert doc.rotate(by=90) == 5
        assert doc.rotate(by=90, pages=[1, 1, 2]) == 2
        assert [p.rotation for p in doc.pages] == [180, 270, 90, 90, 90]
        assert doc.rotate(to=90) == 2
        assert doc.rotate(to=90, pages="odd") == 0
        assert doc.rotate(by=-90, pages=range(4, 6)) == 2
        assert [p.rotation for p in doc.pages] == [90, 90, 90, 0, 0]
        # Sizes and orientation follow the turns; what the file says does not.
        assert doc.pages[0].width == 792 and doc.pages[0].orientation == "landscape"
        assert doc.pages[3].orientation == "portrait"
        assert doc.pages[1].own_rotation == 90 and doc.pages[0].own_rotation is None
        again = leafturn.open(doc.to_bytes())
        assert [p.rotation for p in again.pages] == [90, 90, 90, 0, 0]
        assert doc.pages[-1].number == 5 and [p.number for p in doc.pages[1:3]] == [2, 3]
    with pytest.raises(ValueError):
        len(doc)  # closed


def test_bytes_in_and_out(pdf, tmp_path):
    path = pdf(pages=2)
    data = open(path, "rb").read()
    for source in (data, bytearray(data), memoryview(data), path, tmp_path / "doc.pdf"):
        doc = leafturn.open(source)
        assert len(doc) == 2
        assert doc.to_bytes() == data, "an unturned document is its file"
        doc.rotate(by=180, pages=2)
        out = doc.to_bytes()
        doc.save(tmp_path / "out.pdf")
        assert (tmp_path / "out.pdf").read_bytes() == out
        assert leafturn.open(out).pages[1].rotation == 180
    with pytest.raises(TypeError):
        leafturn.open(memoryview(b"abcd").cast("B", (2, 2)))


def test_non_ascii_paths_and_replacing_in_place(tmp_path):
    folder = tmp_path / "dossier été"
    folder.mkdir()
    path = folder / "ü中.pdf"
    path.write_bytes(build_pdf(3))
    assert leafturn.rotate(path, path, by=90, pages="z") == 1
    assert [p.rotation for p in leafturn.open(path).pages] == [0, 0, 90]
    assert sorted(os.listdir(folder)) == ["ü中.pdf"], "no temporary file is left"
    missing = folder / "nicht da ß.pdf"
    with pytest.raises(leafturn.LeafturnError) as e:
        leafturn.open(missing)
    assert str(e.value) == "cannot open " + str(missing)
    # Nothing turns: the file is not rewritten.
    before = os.stat(path)
    assert leafturn.rotate(str(path), str(path), to=90, pages=3) == 0
    assert os.stat(path).st_ino == before.st_ino


def test_every_public_name_is_documented():
    for name in leafturn.__all__:
        obj = getattr(leafturn, name)
        if name != "__version__":
            assert obj.__doc__, name
    for cls in (leafturn.Document, leafturn.Page):
        for attr, value in vars(cls).items():
            if not attr.startswith("_"):
                assert value.__doc__, cls.__name__ + "." + attr
    assert leafturn.__version__.count(".") == 2


def test_appended_updates_keep_the_original_bytes(tmp_path, pdf):
    src = pdf("upd.pdf", pages=3)
    original = open(src, "rb").read()
    with leafturn.open(src) as doc:
        assert (doc.signatures, doc.certified) == (0, False)
        assert doc.rotate(by=90, pages=[2]) == 1
        data = doc.to_bytes(incremental=True)
        doc.save(tmp_path / "upd-out.pdf", incremental=True)
        fresh = doc.to_bytes()
    assert data.startswith(original) and len(data) > len(original)
    assert (tmp_path / "upd-out.pdf").read_bytes() == data
    assert fresh.startswith(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n") and not fresh.startswith(original)
    with leafturn.open(data) as again:
        assert [p.rotation for p in again.pages] == [0, 90, 0]
    # leafturn.rotate: a fresh file by default for an unsigned file, an
    # update when asked.
    out = tmp_path / "rot.pdf"
    leafturn.rotate(src, out, by=180, pages="z")
    assert not out.read_bytes().startswith(original)
    leafturn.rotate(src, out, by=180, pages="z", incremental=True)
    assert out.read_bytes().startswith(original)
    with leafturn.open(out) as again:
        assert [p.rotation for p in again.pages] == [0, 0, 180]


def test_an_update_that_cannot_be_made_raises(tmp_path):
    data = build_pdf(1)
    data = data[:data.rindex(b"startxref")] + b"startxref\n99999999\n%%EOF\n"
    path = tmp_path / "damaged.pdf"
    path.write_bytes(data)
    with leafturn.open(path) as doc:
        doc.rotate(by=90)
        with pytest.raises(leafturn.LeafturnError) as e:
            doc.save(tmp_path / "never.pdf", incremental=True)
        assert str(e.value) == ("cannot append an update to %s: its \"startxref\" leads outside "
                                "the file (write a full copy instead)" % path)
        assert not (tmp_path / "never.pdf").exists()
        doc.save(tmp_path / "full.pdf")  # a fresh file still works


def text_pdf(matrices):
    """One page per text matrix, each showing a line of 44 glyphs."""
    n = len(matrices)
    line = "(The quick brown fox jumps over the lazy dog.)"
    streams = []
    for m in matrices:
        data = "BT /F1 12 Tf %s Tm %s Tj ET" % (m, line)
        streams.append("<</Length %d>>\nstream\n%s\nendstream" % (len(data), data))
    font = 3 + n + n
    return build_pdf(n, page_extra=lambda i: " /Contents %d 0 R /Resources <</Font <</F1 %d 0 R>>>>"
                     % (3 + n + i, font),
                     extra_objects=streams + ["<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>"])


def test_text_directions_and_upright_pages(tmp_path):
    data = text_pdf(["1 0 0 1 72 700", "0 -1 1 0 72 700", "-1 0 0 -1 500 100", "0 1 -1 0 500 100"])
    with leafturn.open(data) as doc:
        assert [p.text_direction for p in doc.pages] == ["up", "right", "down", "left"]
        assert [p.glyphs for p in doc.pages] == [44] * 4
        doc.rotate(by=90, pages=1)
        assert doc.pages[0].text_direction == "right"  # as it shows now
        assert doc.upright(pages="1-3") == 3
        assert [p.rotation for p in doc.pages] == [0, 270, 180, 0]
        assert [p.text_direction for p in doc.pages] == ["up", "up", "up", "left"]
        assert doc.upright() == 1
        assert doc.upright() == 0
        out = tmp_path / "upright.pdf"
        doc.save(out)
    with leafturn.open(out) as doc:
        assert [p.rotation for p in doc.pages] == [0, 270, 180, 90]
        assert {p.text_direction for p in doc.pages} == {"up"}
    with pytest.raises(leafturn.LeafturnError) as e:
        leafturn.open(data).upright(pages=9)
    assert str(e.value) == "page 9 out of range (document has 4 pages)"
