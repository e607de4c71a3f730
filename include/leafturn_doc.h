/* SPDX-License-Identifier: MIT */
/*
 * leafturn_doc: the leafturn core on a loaded document, for C and for every
 * host that loads a shared library (libleafturn_doc.so.0, leafturn_doc.dll).
 *
 * A document is opened once from a path or from bytes; then any number of
 * questions (page count, one page's facts, the document's facts as JSON,
 * the page grammar) and turns (by, to, upright; over a list, the grammar,
 * landscape or portrait pages) are asked of it, none of which reads the file
 * again; then it is saved (a fresh file, an appended update that keeps
 * signatures, or the file unchanged, as the library decides for the mode)
 * to a path or to bytes, as often as wanted, and closed. Encrypted files
 * open with their password (most need none) and stay encrypted.
 *
 * Statuses. Every call that can fail returns one of the LEAFTURN_DOC_*
 * statuses below; LEAFTURN_DOC_OK is 0. After a failure on a document,
 * leafturn_doc_error(doc) says why (UTF-8); a failure to open gives its
 * message through the open call's message buffer. No call prints, exits or
 * lets an exception out; running out of memory is LEAFTURN_DOC_NO_MEMORY.
 *
 * Ownership. A document belongs to the caller from a successful open until
 * leafturn_doc_close, which frees everything it holds; texts a document
 * hands out (its error, its facts) are owned by it and stay valid until the
 * next call on that document or its close. Bytes from leafturn_doc_save_bytes
 * belong to the caller, who frees them with leafturn_doc_free_bytes. The
 * library keeps no pointer the caller passed in once a call returns
 * (leafturn_doc_open_bytes copies the bytes).
 *
 * Threads. Documents are independent and the library has no global state:
 * different documents may be used on different threads at once, without
 * any lock. One document is used by one thread at a time (calls on it from
 * several threads at once need the caller's own lock).
 *
 * Closing. leafturn_doc_close frees the document: the handle then dangles,
 * as a FILE pointer does after fclose, and passing it to any call
 * (leafturn_doc_close included) is undefined behaviour, which a build with
 * AddressSanitizer reports as a use after free. Set the handle to NULL when
 * closing it; NULL is detected by every call.
 *
 * Undefined besides: passing a pointer that is not a document opened here,
 * and buffers shorter than the sizes given. Null pointers are detected
 * wherever the header allows none.
 *
 * Paths and names are NUL-terminated strings of UTF-8, the same rule as the
 * seven calls of leafturn.h: on Windows a path that is valid UTF-8 reaches
 * the system as UTF-16 (names outside the ANSI code page work), and one
 * that is not is read in the ANSI code page, as the C runtime reads it;
 * elsewhere paths are bytes, passed on unchanged. Messages are UTF-8 (a path
 * in them keeps the bytes it was given as). Page numbers count from 1.
 *
 * Windows: define LEAFTURN_DOC_DLL before including this header to declare
 * the calls __declspec(dllimport) (slightly faster calls into
 * leafturn_doc.dll); without it they link through the import library's
 * thunks, which works with the DLL and with a static build alike.
 */
#ifndef LEAFTURN_DOC_PUBLIC_H
#define LEAFTURN_DOC_PUBLIC_H

#include <stddef.h>

/* The library's version, the same as leafturn.h's. */
#define LEAFTURN_DOC_VERSION_MAJOR 0
#define LEAFTURN_DOC_VERSION_MINOR 1
#define LEAFTURN_DOC_VERSION_PATCH 0
#define LEAFTURN_DOC_VERSION "0.1.0"

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(LEAFTURN_DOC_BUILDING)
#    define LEAFTURN_DOC_API __declspec(dllexport)
#  elif defined(LEAFTURN_DOC_DLL)
#    define LEAFTURN_DOC_API __declspec(dllimport)
#  else
#    define LEAFTURN_DOC_API
#  endif
#elif defined(__GNUC__) || defined(__clang__)
#  define LEAFTURN_DOC_API __attribute__((visibility("default")))
#else
#  define LEAFTURN_DOC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- statuses ---------------------------------------------------------- */

#define LEAFTURN_DOC_OK 0
/* The library refused or could not do it: a damaged file, an update that
 * cannot be appended, a write error; the message says why. */
#define LEAFTURN_DOC_FAILED 1
/* An argument the header rules out: a null pointer, a page number outside
 * the document, a value that is not one of the constants, a page list
 * that does not parse. Nothing changed. */
#define LEAFTURN_DOC_BAD_ARGUMENT 2
/* Memory ran short; nothing changed, and the document can still be used. */
#define LEAFTURN_DOC_NO_MEMORY 3
/* The file is encrypted and needs its password (open it with one). */
#define LEAFTURN_DOC_PASSWORD_NEEDED 4
/* The password given does not open the file. */
#define LEAFTURN_DOC_PASSWORD_WRONG 5
/* No longer returned: a closed document is freed (see "Closing" above).
 * Kept so that code naming it still compiles. */
#define LEAFTURN_DOC_CLOSED 6

/* Room for any message: open calls write at most this many bytes, the NUL
 * included. */
#define LEAFTURN_DOC_MESSAGE_SIZE 1024

/* ---- opening and closing ----------------------------------------------- */

typedef struct leafturn_doc leafturn_doc;

/*
 * Opens the PDF file at path. password: NULL, or tried as the file's user
 * and then as its owner password (the empty user password is always tried
 * first). On LEAFTURN_DOC_OK, *doc is the new document; otherwise *doc is
 * NULL and, when message is not NULL, the reason is written there
 * (NUL-terminated, at most message_size bytes).
 */
LEAFTURN_DOC_API int leafturn_doc_open(const char *path, const char *password, leafturn_doc **doc,
                                       char *message, size_t message_size);

/*
 * The same from the len bytes of a whole file (copied: the caller's buffer
 * may go once the call returns); name: how messages name it (NULL:
 * "(memory)").
 */
LEAFTURN_DOC_API int leafturn_doc_open_bytes(const unsigned char *bytes, size_t len,
                                             const char *name, const char *password,
                                             leafturn_doc **doc, char *message,
                                             size_t message_size);

/* Frees the document and all it holds; the handle may not be used again.
 * NULL is allowed (nothing happens). */
LEAFTURN_DOC_API void leafturn_doc_close(leafturn_doc *doc);

/*
 * Why the last failed call on doc failed ("" when none has), owned by doc.
 * Never NULL: for a NULL document, a text saying so.
 */
LEAFTURN_DOC_API const char *leafturn_doc_error(const leafturn_doc *doc);

/* ---- questions ---------------------------------------------------------- */

/* The number of pages in *count. */
LEAFTURN_DOC_API int leafturn_doc_page_count(leafturn_doc *doc, int *count);

#define LEAFTURN_DOC_ORIENTATION_UNKNOWN 0
#define LEAFTURN_DOC_PORTRAIT 1
#define LEAFTURN_DOC_LANDSCAPE 2
#define LEAFTURN_DOC_SQUARE 3

#define LEAFTURN_DOC_TEXT_NONE 0
#define LEAFTURN_DOC_TEXT_UP 1
#define LEAFTURN_DOC_TEXT_RIGHT 2
#define LEAFTURN_DOC_TEXT_DOWN 3
#define LEAFTURN_DOC_TEXT_LEFT 4

/*
 * One page as it stands now (turns made so far included). The caller sets
 * `size` to sizeof(leafturn_doc_page) before the call; the library fills
 * the fields that fit in that size, so that a host built against this
 * header keeps working with later versions that add fields at the end.
 */
typedef struct leafturn_doc_page {
  size_t size;             /* set by the caller */
  int number;              /* from 1 */
  int rotation;            /* effective, clockwise: 0..359 */
  int own_rotation;        /* the page's own /Rotate as the file has it, -1 when none */
  int inherited_rotation;  /* the /Rotate it inherits as the file has it, -1 when none */
  int box_known;           /* 1 when width and height are known */
  double width, height;    /* displayed size in points (crop box, else media box, turned) */
  int orientation;         /* LEAFTURN_DOC_PORTRAIT, ... */
  /* Which way its text runs as displayed, LEAFTURN_DOC_TEXT_*, and its
   * glyph count: read from the content (once for every page, when a page's
   * facts are first asked for with room for these fields). */
  int text_direction;
  int glyphs;
} leafturn_doc_page;

/* The smallest size a caller may give: the fields up to orientation. */
#define LEAFTURN_DOC_PAGE_MIN_SIZE (offsetof(leafturn_doc_page, text_direction))

/* Page `number`'s facts into *page (see leafturn_doc_page). */
LEAFTURN_DOC_API int leafturn_doc_page_facts(leafturn_doc *doc, int number, leafturn_doc_page *page);

/*
 * The document's facts as one JSON object, into *json (owned by doc):
 * {"pages", "info" (its text entries by key, or null), "signatures",
 * "certified", "update" (true, or why no update can be appended),
 * "encryption" (null, or {"method", "revision", "key_bits",
 * "password_needed", "opened_with", "permissions": {"print": true, ...}})}.
 */
LEAFTURN_DOC_API int leafturn_doc_facts(leafturn_doc *doc, const char **json);

/*
 * The pages a page list in the command line's grammar selects ("1-z,x3-5",
 * "odd", "r2-z": N, z for the last page, rN from the end, ranges A-B either
 * way, odd, even, x before an item to take it out). *count gets how many
 * it selects; the first min(*count, capacity) numbers go to pages (which
 * may be NULL with capacity 0, to ask the count only).
 */
LEAFTURN_DOC_API int leafturn_doc_select(leafturn_doc *doc, const char *list, int *pages,
                                         int capacity, int *count);

/* ---- turns ------------------------------------------------------------- */

#define LEAFTURN_DOC_ANY 0
#define LEAFTURN_DOC_ONLY_LANDSCAPE 1
#define LEAFTURN_DOC_ONLY_PORTRAIT 2

/*
 * Which pages a turn turns: the `count` page numbers at `numbers`, or the
 * pages the page list `list` selects, or (both NULL) every page; of them,
 * with `only`, just the landscape or portrait ones as displayed. A NULL
 * choice is every page.
 */
typedef struct leafturn_doc_pages {
  const int *numbers;
  int count;
  const char *list;
  int only;  /* LEAFTURN_DOC_ANY, LEAFTURN_DOC_ONLY_LANDSCAPE or LEAFTURN_DOC_ONLY_PORTRAIT */
} leafturn_doc_pages;

/*
 * The turns, in memory (nothing is written until a save). Each builds on
 * the turns before it; *changed (may be NULL) gets how many pages now show
 * another rotation than before the call (a page listed twice counts once).
 *
 * by: clockwise by 90, 180, 270, -90, -180 or -270 degrees.
 * to: every chosen page ends at 0, 90, 180 or 270.
 * upright: every chosen page ends at the rotation that shows its text
 * upright; a page whose text has no direction keeps its rotation.
 */
LEAFTURN_DOC_API int leafturn_doc_turn_by(leafturn_doc *doc, int degrees,
                                          const leafturn_doc_pages *which, int *changed);
LEAFTURN_DOC_API int leafturn_doc_turn_to(leafturn_doc *doc, int degrees,
                                          const leafturn_doc_pages *which, int *changed);
LEAFTURN_DOC_API int leafturn_doc_upright(leafturn_doc *doc, const leafturn_doc_pages *which,
                                          int *changed);

/* ---- saving -------------------------------------------------------------- */

/* A fresh file, except for a signed one, which gets an update. */
#define LEAFTURN_DOC_AUTOMATIC 0
/* An update appended to the file's bytes (refused when none can be). */
#define LEAFTURN_DOC_INCREMENTAL 1
/* A fresh file. */
#define LEAFTURN_DOC_FULL 2
/* Flag: turn a certified file, or an encrypted one whose permissions
 * forbid turning its pages, all the same. */
#define LEAFTURN_DOC_FORCE 1

/* What a save wrote. */
#define LEAFTURN_DOC_WROTE_UNCHANGED 0  /* no page turned: the file's own bytes */
#define LEAFTURN_DOC_WROTE_UPDATE 1
#define LEAFTURN_DOC_WROTE_FULL 2

/*
 * Writes the document with its turns to path (replaced atomically when it
 * exists, the input file included), in `mode` with `flags`; *wrote (may be
 * NULL) says what was written.
 */
LEAFTURN_DOC_API int leafturn_doc_save(leafturn_doc *doc, const char *path, int mode, int flags,
                                       int *wrote);

/*
 * The same into memory: *bytes (the caller's, freed with
 * leafturn_doc_free_bytes) and *len.
 */
LEAFTURN_DOC_API int leafturn_doc_save_bytes(leafturn_doc *doc, int mode, int flags,
                                             unsigned char **bytes, size_t *len, int *wrote);

/* Frees bytes of leafturn_doc_save_bytes. NULL is allowed. */
LEAFTURN_DOC_API void leafturn_doc_free_bytes(unsigned char *bytes);

/* The library's version, LEAFTURN_DOC_VERSION ("0.1.0"). */
LEAFTURN_DOC_API const char *leafturn_doc_version(void);

#ifdef __cplusplus
}
#endif

#endif
