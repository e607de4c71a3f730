# SPDX-License-Identifier: MIT
"""Rotate pages of PDF files.

The library reads damaged and unusual files, finds their pages, and writes
a fresh PDF file in which the chosen pages carry their new rotation; every
other byte of every object is kept.

    >>> import leafturn
    >>> with leafturn.open("scan.pdf") as doc:
    ...     doc.rotate(by=90, pages="even")
    ...     doc.save("scan-turned.pdf")
    >>> leafturn.rotate("in.pdf", "out.pdf", to=0)
"""
from __future__ import annotations

import json
import os
from typing import Dict, Iterable, Iterator, List, Optional, Sequence, Union, overload

from ._native import LeafturnError, NativeDocument, __version__
from . import _native

__all__ = ["open", "rotate", "Document", "Page", "LeafturnError", "__version__"]

PathLike = Union[str, "os.PathLike[str]"]
Source = Union[PathLike, bytes, bytearray, memoryview]
Pages = Union[None, int, str, Iterable[int]]

LeafturnError.__doc__ = (
    "Raised for every failure of the library (a file it refuses or cannot read, "
    "a page out of range, a write error); its text is the library's message.")


def _turn(by: Optional[int], to: Optional[int]) -> "tuple[str, int]":
    """("by" or "to", degrees) for a turn given as by= or to=; the core says
    which values it takes, in its words."""
    if (by is None) == (to is None):
        raise ValueError("give exactly one of by= and to=")
    absolute = by is None
    degrees = to if absolute else by
    if isinstance(degrees, bool) or not isinstance(degrees, int) or not _native.takes_turn(absolute, degrees):
        raise ValueError(_native.turn_refusal(absolute, repr(degrees)))
    return ("to" if absolute else "by"), degrees


class Page:
    """One page of a Document, as it stands now (turns made by
    Document.rotate included)."""

    __slots__ = ("_doc", "_number")

    def __init__(self, doc: "Document", number: int) -> None:
        self._doc = doc
        self._number = number

    def _facts(self, text: bool = False) -> dict:
        # The core's JSON object of the page, the one encoding of its facts.
        return json.loads(self._doc._native_document().page(self._number, text))

    @property
    def number(self) -> int:
        """The page number, from 1, in document order."""
        return self._number

    @property
    def rotation(self) -> int:
        """The effective rotation in degrees clockwise, 0..359."""
        return self._facts()["rotation"]

    @property
    def own_rotation(self) -> Optional[int]:
        """The page's own /Rotate as read from the file, or None."""
        return self._facts()["own"]

    @property
    def inherited_rotation(self) -> Optional[int]:
        """The /Rotate the page inherits from the page tree as read from the
        file, or None."""
        return self._facts()["inherited"]

    @property
    def width(self) -> Optional[float]:
        """The displayed width in points (the crop box, else the media box,
        turned by the rotation), or None when the box cannot be read."""
        width = self._facts()["width"]
        return None if width is None else float(width)

    @property
    def height(self) -> Optional[float]:
        """The displayed height in points, or None when unknown."""
        height = self._facts()["height"]
        return None if height is None else float(height)

    @property
    def orientation(self) -> Optional[str]:
        """"landscape", "portrait" or "square" as displayed, or None."""
        return self._facts()["orientation"]

    @property
    def text_direction(self) -> str:
        """Which way the page's text runs as displayed now: "up", "right",
        "down", "left", or "none" when it has fewer than 30 glyphs, no two
        thirds of them agree, or its content cannot be read. Read from the
        text layer (invisible OCR text included), no OCR."""
        return self._facts(text=True)["text_direction"]

    @property
    def glyphs(self) -> int:
        """How many glyphs the page's content shows."""
        return self._facts(text=True)["glyphs"]

    @property
    def images(self) -> list:
        """The images the page shows, in the order drawn, as dictionaries:
        "width" and "height" in pixels, "bits", "colors", "colorspace",
        "mask", "filter", "dpi", "coverage" (0..1), "corners" on the page
        as displayed now, and more (the core's JSON of a page's images)."""
        return self._facts(text=True)["images"]

    def __repr__(self) -> str:
        return "<leafturn.Page %d rotation=%d>" % (self._number, self.rotation)


class _PageList(Sequence[Page]):
    """The pages of a Document, indexed from 0."""

    def __init__(self, doc: "Document") -> None:
        self._doc = doc

    def __len__(self) -> int:
        return len(self._doc)

    @overload
    def __getitem__(self, i: int) -> Page: ...
    @overload
    def __getitem__(self, i: slice) -> List[Page]: ...

    def __getitem__(self, i):
        n = len(self)
        if isinstance(i, slice):
            return [Page(self._doc, k + 1) for k in range(*i.indices(n))]
        if not isinstance(i, int):
            raise TypeError("page indices are integers")
        if i < 0:
            i += n
        if not 0 <= i < n:
            raise IndexError("page index out of range")
        return Page(self._doc, i + 1)

    def __iter__(self) -> Iterator[Page]:
        return (Page(self._doc, k + 1) for k in range(len(self)))


class Document:
    """A PDF file loaded into memory, with the turns made to its pages.

    Turns build on each other (rotate(by=90) twice is 180) and reach a file
    only through save() or to_bytes(). Loading and saving release the GIL,
    so threads can work on different documents in parallel; one Document
    is for one thread at a time.
    """

    def __init__(self, source: Source, password: Optional[str] = None) -> None:
        """Loads source: a path (str or os.PathLike) or the bytes of a whole
        file (bytes, bytearray or memoryview).

        An encrypted file opens without a password when its user password is
        empty (most are); password is tried as its user password and then as
        its owner password (which lifts the file's permissions). A file whose
        user password is not empty opens without it too, unless it has object
        streams; a wrong password raises LeafturnError."""
        if password is not None and not isinstance(password, str):
            raise TypeError("password is a str")
        if isinstance(source, (bytes, bytearray, memoryview)):
            self._native: Optional[NativeDocument] = NativeDocument.from_buffer(source, password)
        else:
            self._native = NativeDocument.from_path(os.fsencode(source), password)
        self.pages: Sequence[Page] = _PageList(self)

    def _native_document(self) -> NativeDocument:
        if self._native is None:
            raise ValueError("the document is closed")
        return self._native

    def __len__(self) -> int:
        """The number of pages."""
        return self._native_document().page_count()

    @property
    def info(self) -> Dict[str, str]:
        """The document information the file carries: every text entry of
        its information dictionary by key ("Title", "Author", "Subject",
        "Keywords", "Creator", "Producer", "CreationDate", "ModDate" and any
        other), decoded as PDF readers decode text strings. Dates stay as the
        file writes them ("D:20240131093000+01'00'"). Empty when the file has
        no information dictionary. A rotation keeps it unchanged."""
        return dict(self._facts()["info"] or {})

    def _facts(self) -> dict:
        # The core's JSON object of the document's facts.
        return json.loads(self._native_document().facts())

    def page(self, number: int) -> Page:
        """Page `number`, counted from 1."""
        native = self._native_document()
        if isinstance(number, bool) or not isinstance(number, int):
            raise TypeError("page numbers are integers")
        if not 1 <= number <= native.page_count():
            native.out_of_range(str(number))
        return Page(self, number)

    def _pages(self, pages: Pages) -> Optional[List[int]]:
        if pages is None:
            return None
        if isinstance(pages, str):
            return self._native_document().select(pages)
        if isinstance(pages, bool):
            raise TypeError("pages is None, an int, an iterable of ints or a page list string")
        if isinstance(pages, int):
            return [pages]
        try:
            items = list(pages)
        except TypeError:
            raise TypeError("pages is None, an int, an iterable of ints or a page list string") from None
        for p in items:
            if isinstance(p, bool) or not isinstance(p, int):
                raise TypeError("page numbers are integers (got %r)" % (p,))
        return items

    def rotate(self, by: Optional[int] = None, to: Optional[int] = None, pages: Pages = None) -> int:
        """Turns pages in memory and returns how many of them changed.

        Exactly one of by (clockwise: 90, 180, 270, -90, -180 or -270) and
        to (each page ends at 0, 90, 180 or 270). pages: None for all, a page
        number, an iterable of page numbers (from 1), or a string in the
        command line's page grammar ("1-z,x3-5", "odd", "r2-z"). A page
        already at its target does not count.
        """
        kind, degrees = _turn(by, to)
        native = self._native_document()
        return native.turn(self._pages(pages), kind, degrees)

    def upright(self, pages: Pages = None) -> int:
        """Turns each chosen page (all when None; as rotate's pages) to the
        rotation that shows its text upright, and returns how many changed;
        a page whose text has no direction keeps its rotation."""
        native = self._native_document()
        return native.turn(self._pages(pages), "upright")

    def save(self, path: PathLike, incremental: Optional[bool] = None, force: bool = False) -> None:
        """Writes the document with its turns to path. An existing file (the
        one it was read from included) is replaced atomically: a failed write
        leaves it as it was.

        incremental=None (the default) does as the command line does: a
        fresh file, except for a signed file, which gets an update (a fresh
        file would break its signatures; LeafturnError when none can be
        appended). incremental=True appends the turns to the original file
        as an update: every byte of the original stays, so its signatures,
        earlier revisions and compression do too; it raises LeafturnError
        when the file's cross-reference data does not allow one.
        incremental=False writes a fresh file. Without turns, the original
        bytes are written either way.

        A certified file (its certification forbids page changes) raises
        LeafturnError unless force=True. An encrypted file stays encrypted,
        as it was; when its permissions forbid assembling it (turning pages),
        saving raises LeafturnError unless force=True or it was opened with
        its owner password."""
        self._native_document().save(os.fsencode(path), _native.save_mode(incremental), force)

    def to_bytes(self, incremental: Optional[bool] = None, force: bool = False) -> bytes:
        """The file save() would write, as bytes."""
        return self._native_document().to_bytes(_native.save_mode(incremental), force)

    @property
    def updates_by_default(self) -> bool:
        """Whether save() without incremental= appends an update to this
        file (a signed one) rather than writing a fresh file."""
        return self._native_document().updates_by_default()

    @property
    def update_refusal(self) -> Optional[str]:
        """None when an update can be appended to this file, else why not."""
        update = self._facts()["update"]
        return None if update is True else update

    @property
    def encryption(self) -> Optional[Dict[str, object]]:
        """None for a file that is not encrypted; else a dict: "method"
        ("RC4-40", "RC4-128", "AES-128" or "AES-256"), "revision" (2 to 6),
        "key_bits", "password_needed" (its user password is not empty),
        "opened_with" ("user", "owner", or None when no password opened it),
        and "permissions": {"print": bool, "print-high", "modify",
        "assemble", "annotate", "fill-forms", "copy", "accessibility"}."""
        return self._facts()["encryption"]

    @property
    def signatures(self) -> int:
        """How many signatures the file holds (signature fields with a
        signed value; document time stamps count)."""
        return self._facts()["signatures"]

    @property
    def certified(self) -> bool:
        """Whether the file is certified: its certification forbids page
        changes, so turning pages of it invalidates that."""
        return self._facts()["certified"]

    def close(self) -> None:
        """Releases the loaded file; the document cannot be used after."""
        self._native = None

    def __enter__(self) -> "Document":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        if self._native is None:
            return "<leafturn.Document closed>"
        return "<leafturn.Document %d pages>" % len(self)


def open(source: Source, password: Optional[str] = None) -> Document:
    """Loads a PDF file from a path or from the bytes of a whole file (see
    Document for encrypted files and their password)."""
    return Document(source, password)


def rotate(src: Source, dst: PathLike, by: Optional[int] = None, to: Optional[int] = None,
           pages: Pages = None, incremental: Optional[bool] = None,
           password: Optional[str] = None, force: bool = False) -> int:
    """Opens src, turns its pages (as Document.rotate) and saves dst in one
    call; returns the number of pages whose rotation changed. dst may name
    src: it is then replaced atomically. incremental: True appends an update
    (see Document.save), False writes a fresh file, None (the default) does
    as the command line does: an update for a signed file, else a fresh
    file. When nothing turns and dst is src, the file is not rewritten.
    password and force: as for open() and Document.save()."""
    kind, degrees = _turn(by, to)
    doc = Document(src, password)
    try:
        native = doc._native_document()
        changed = native.turn(doc._pages(pages), kind, degrees)
        native.save(os.fsencode(dst), _native.save_mode(incremental), force, leave_same_file=True)
        return changed
    finally:
        doc.close()
