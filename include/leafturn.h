/* SPDX-License-Identifier: MIT */
/*
 * leafturn: rotate pages of PDF files.
 *
 * Seven functions with C linkage. Every working call reads the whole input
 * file, finds its objects and page tree, and either answers a query or writes
 * a complete new PDF 1.4 file. Nothing is kept between calls except the text
 * of the last failure.
 *
 * Threads: calls on different files may run in several threads at once;
 * each works on its own copy of its input and shares nothing. The one
 * exception is the last-error text, which is process-wide: a thread that
 * reads it after a failure may see another thread's later outcome, so hosts
 * that need the message from several threads serialise each call together
 * with the read of its message (one lock around both).
 *
 * Paths are NUL-terminated UTF-8 strings. On Windows a path that is not
 * valid UTF-8 is read in the ANSI code page, as the C runtime reads it, so
 * hosts that pass that encoding keep working; elsewhere paths are bytes,
 * passed on unchanged. Messages are UTF-8 (a path in them keeps the bytes
 * it was given as).
 */
#ifndef LEAFTURN_H
#define LEAFTURN_H

#define LEAFTURN_VERSION_MAJOR 0
#define LEAFTURN_VERSION_MINOR 1
#define LEAFTURN_VERSION_PATCH 0
#define LEAFTURN_VERSION "0.1.0"

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(LEAFTURN_BUILDING)
#    define LEAFTURN_API __declspec(dllexport)
#  elif defined(LEAFTURN_DLL)
#    define LEAFTURN_API __declspec(dllimport)
#  else
#    define LEAFTURN_API
#  endif
#elif defined(__GNUC__) || defined(__clang__)
#  define LEAFTURN_API __attribute__((visibility("default")))
#else
#  define LEAFTURN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Empties the last-error text. Returns 1. Optional: no call needs it first. */
LEAFTURN_API int leafturn_init(void);

/* Empties the last-error text. Releases nothing (nothing is held). */
LEAFTURN_API void leafturn_cleanup(void);

/*
 * Returns the text of the last failure, or "" after a successful call.
 * The library owns the text: do not free or modify it. It stays valid until
 * the next call into the library.
 */
LEAFTURN_API const char *leafturn_last_error(void);

/*
 * Effective rotation of one page: its own /Rotate, else the one it inherits
 * from the page tree, reduced into 0..359.
 *   in_path      the PDF file to read
 *   page_number  1-based page number in document order
 * Returns 0..359 on success (last error emptied), or -1 on failure with the
 * reason in leafturn_last_error(). No file is written.
 */
LEAFTURN_API int leafturn_get_rotation(const char *in_path, int page_number);

/*
 * Rotate every page of in_path by degrees (90, 180 or 270, added to each
 * page's current rotation) and write the result to out_path, which may name
 * the input file itself. Returns 1 on success (last error emptied), 0 on
 * failure with the reason in leafturn_last_error().
 */
LEAFTURN_API int leafturn_all(const char *in_path, const char *out_path,
                              int degrees);

/*
 * As leafturn_all, but only the page_count 1-based page numbers in pages
 * turn. A page listed more than once turns once. Returns 1 or 0.
 */
LEAFTURN_API int leafturn_pages(const char *in_path, const char *out_path,
                                const int *pages, int page_count, int degrees);

/* As leafturn_all, but only page page_number (1-based) turns. Returns 1 or 0. */
LEAFTURN_API int leafturn_page(const char *in_path, const char *out_path,
                               int page_number, int degrees);

#ifdef __cplusplus
}
#endif

#endif /* LEAFTURN_H */
