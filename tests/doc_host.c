/* SPDX-License-Identifier: MIT */
/*
 * A plain C host of the document library: only leafturn_doc.h and the
 * shared library. Its modes, each run by the tests with files they made:
 *   doc_host api OUT_DIR                 every call on a document built here,
 *                                        bad arguments, the statuses
 *   doc_host turn IN OUT MODE [force]    open, ask every page, turn every page
 *                                        by 90, save (MODE auto|incremental|full,
 *                                        with LEAFTURN_DOC_FORCE when asked);
 *                                        prints what was written and the facts
 *   doc_host upright IN OUT              upright every page, save in full
 *   doc_host open IN [PASSWORD]          prints the open status and message
 *   doc_host threads N IN...             N threads, each opening, asking,
 *                                        turning and saving to bytes at once
 *   doc_host closed                      uses a document after closing it: undefined
 *                                        behaviour, which AddressSanitizer reports
 * Exit status 0 when every check held.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "leafturn_doc.h"

static int failures = 0;

static void check(int ok, const char *what, const leafturn_doc *doc) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s (%s)\n", what, doc ? leafturn_doc_error(doc) : "no document");
    ++failures;
  }
}

static const char k_doc[] =
    "%PDF-1.4\n"
    "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
    "2 0 obj\n<</Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 612 792]"
    " /Resources <</Font <</F1 7 0 R>>>>>>\nendobj\n"
    "3 0 obj\n<</Type /Page /Parent 2 0 R /Contents 6 0 R>>\nendobj\n"
    "4 0 obj\n<</Type /Page /Parent 2 0 R /Rotate 90 /MediaBox [0 0 792 612]>>\nendobj\n"
    "5 0 obj\n<</Type /Page /Parent 2 0 R>>\nendobj\n"
    "6 0 obj\n<</Length 84>>\nstream\n"
    "BT /F1 12 Tf 0 -1 1 0 72 700 Tm (The quick brown fox jumps over the lazy dog.) Tj ET\n"
    "endstream\nendobj\n"
    "7 0 obj\n<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>\nendobj\n"
    "trailer\n<</Root 1 0 R>>\n";

static int api(const char *dir) {
  char message[LEAFTURN_DOC_MESSAGE_SIZE];
  char path[4096];
  leafturn_doc *doc = NULL;
  leafturn_doc_page page;
  leafturn_doc_pages odd = {NULL, 0, "odd", LEAFTURN_DOC_ANY};
  leafturn_doc_pages landscape = {NULL, 0, NULL, LEAFTURN_DOC_ONLY_LANDSCAPE};
  int two[2] = {2, 3};
  leafturn_doc_pages listed = {two, 2, NULL, LEAFTURN_DOC_ANY};
  int count = 0, changed = -1, wrote = -1, selected[8];
  const char *json = NULL;
  unsigned char *bytes = NULL;
  size_t len = 0;

  /* Opening: bytes of any kind give a status and a message. */
  check(leafturn_doc_open_bytes((const unsigned char *)"not a PDF", 9, "junk.pdf", NULL, &doc, message,
                                sizeof message) == LEAFTURN_DOC_FAILED, "junk refused", NULL);
  check(doc == NULL, "no document for junk", NULL);
  check(strcmp(message, "no PDF objects found \xE2\x80\x94 not a PDF: junk.pdf") == 0, message, NULL);
  check(leafturn_doc_open(NULL, NULL, &doc, message, sizeof message) == LEAFTURN_DOC_BAD_ARGUMENT,
        "null path", NULL);
  check(leafturn_doc_open_bytes((const unsigned char *)k_doc, sizeof k_doc - 1, "built.pdf", NULL, NULL,
                                message, sizeof message) == LEAFTURN_DOC_BAD_ARGUMENT, "null out", NULL);
  check(leafturn_doc_open_bytes((const unsigned char *)"x", 1, NULL, NULL, &doc, message, 8) ==
            LEAFTURN_DOC_FAILED && strlen(message) == 7, "a short message buffer", NULL);
  sprintf(path, "%s/missing.pdf", dir);
  check(leafturn_doc_open(path, NULL, &doc, NULL, 0) == LEAFTURN_DOC_FAILED, "missing file", NULL);

  check(leafturn_doc_open_bytes((const unsigned char *)k_doc, sizeof k_doc - 1, "built.pdf", NULL, &doc,
                                message, sizeof message) == LEAFTURN_DOC_OK, message, NULL);
  if (!doc) return 1;

  /* Questions. */
  check(leafturn_doc_page_count(doc, &count) == LEAFTURN_DOC_OK && count == 3, "page count", doc);
  page.size = sizeof page;
  check(leafturn_doc_page_facts(doc, 2, &page) == LEAFTURN_DOC_OK, "page 2", doc);
  check(page.number == 2 && page.rotation == 90 && page.own_rotation == 90 &&
            page.inherited_rotation == -1 && page.box_known == 1 && page.width == 612 &&
            page.height == 792 && page.orientation == LEAFTURN_DOC_PORTRAIT,
        "page 2's facts", doc);
  check(leafturn_doc_page_facts(doc, 1, &page) == LEAFTURN_DOC_OK && page.text_direction == LEAFTURN_DOC_TEXT_RIGHT &&
            page.glyphs == 44, "page 1's text", doc);
  /* A host built against an older header: only the fields it knows. */
  memset(&page, 0x55, sizeof page);
  page.size = LEAFTURN_DOC_PAGE_MIN_SIZE;
  check(leafturn_doc_page_facts(doc, 1, &page) == LEAFTURN_DOC_OK && page.orientation == LEAFTURN_DOC_PORTRAIT &&
            page.text_direction == 0x55555555, "an older, smaller struct", doc);
  page.size = 4;
  check(leafturn_doc_page_facts(doc, 1, &page) == LEAFTURN_DOC_BAD_ARGUMENT, "a struct too small", doc);
  page.size = sizeof page;
  check(leafturn_doc_page_facts(doc, 4, &page) == LEAFTURN_DOC_BAD_ARGUMENT &&
            strcmp(leafturn_doc_error(doc), "page 4 out of range (document has 3 pages)") == 0,
        "page out of range", doc);
  check(leafturn_doc_page_facts(doc, 0, NULL) == LEAFTURN_DOC_BAD_ARGUMENT, "null page", doc);
  check(leafturn_doc_page_count(doc, &count) == LEAFTURN_DOC_OK && leafturn_doc_error(doc)[0] == '\0',
        "success empties the error", doc);
  check(leafturn_doc_facts(doc, &json) == LEAFTURN_DOC_OK &&
            strcmp(json, "{\"pages\": 3, \"info\": null, \"signatures\": 0, \"certified\": false, "
                         "\"update\": \"it has no \\\"startxref\\\"\", \"encryption\": null}") == 0,
        "facts", doc);
  check(leafturn_doc_select(doc, "z,1-2,x1", selected, 8, &count) == LEAFTURN_DOC_OK && count == 2 &&
            selected[0] + selected[1] == 5, "select", doc);
  check(leafturn_doc_select(doc, "odd", NULL, 0, &count) == LEAFTURN_DOC_OK && count == 2, "count only", doc);
  check(leafturn_doc_select(doc, "1-", selected, 8, &count) == LEAFTURN_DOC_BAD_ARGUMENT, "bad list", doc);
  check(leafturn_doc_select(doc, "9", selected, 8, &count) == LEAFTURN_DOC_BAD_ARGUMENT &&
            strcmp(leafturn_doc_error(doc), "page 9 out of range (document has 3 pages)") == 0, "list out of range", doc);

  /* Turns. */
  check(leafturn_doc_turn_by(doc, 45, NULL, &changed) == LEAFTURN_DOC_BAD_ARGUMENT &&
            strcmp(leafturn_doc_error(doc), "by takes 90, 180, 270, -90, -180 or -270 (got 45)") == 0, "by 45", doc);
  check(leafturn_doc_turn_to(doc, 45, NULL, &changed) == LEAFTURN_DOC_BAD_ARGUMENT, "to 45", doc);
  check(leafturn_doc_turn_by(doc, 90, &odd, &changed) == LEAFTURN_DOC_OK && changed == 2, "odd pages by 90", doc);
  check(leafturn_doc_turn_to(doc, 0, &listed, &changed) == LEAFTURN_DOC_OK && changed == 2, "2 and 3 to 0", doc);
  /* Pages 1 (at 90) and 2 (its wide box at 0) show landscape. */
  check(leafturn_doc_turn_by(doc, 180, &landscape, &changed) == LEAFTURN_DOC_OK && changed == 2, "landscape by 180", doc);
  /* Page 1's text runs right at 0: at 270 it stands up. */
  check(leafturn_doc_page_facts(doc, 1, &page) == LEAFTURN_DOC_OK && page.rotation == 270 &&
            page.text_direction == LEAFTURN_DOC_TEXT_UP, "page 1 turned", doc);
  check(leafturn_doc_upright(doc, NULL, &changed) == LEAFTURN_DOC_OK && changed == 0, "upright: nothing to do", doc);
  listed.numbers = NULL;
  listed.count = 0;
  listed.list = "1";
  check(leafturn_doc_turn_to(doc, 0, &listed, &changed) == LEAFTURN_DOC_OK && changed == 1, "page 1 to 0", doc);
  check(leafturn_doc_upright(doc, &listed, &changed) == LEAFTURN_DOC_OK && changed == 1, "upright", doc);
  check(leafturn_doc_page_facts(doc, 1, &page) == LEAFTURN_DOC_OK && page.rotation == 270 &&
            page.text_direction == LEAFTURN_DOC_TEXT_UP, "page 1 upright", doc);
  listed.numbers = two;
  listed.count = 2;
  listed.list = NULL;
  two[1] = 7;
  check(leafturn_doc_turn_by(doc, 90, &listed, &changed) == LEAFTURN_DOC_BAD_ARGUMENT, "listed out of range", doc);
  listed.list = "1";
  check(leafturn_doc_turn_by(doc, 90, &listed, &changed) == LEAFTURN_DOC_BAD_ARGUMENT, "numbers and a list", doc);
  odd.only = 7;
  check(leafturn_doc_turn_by(doc, 90, &odd, &changed) == LEAFTURN_DOC_BAD_ARGUMENT, "unknown only", doc);

  /* Saving. */
  check(leafturn_doc_save_bytes(doc, LEAFTURN_DOC_FULL, 0, &bytes, &len, &wrote) == LEAFTURN_DOC_OK &&
            wrote == LEAFTURN_DOC_WROTE_FULL && len > 100 && memcmp(bytes, "%PDF-1.4", 8) == 0, "full to bytes", doc);
  leafturn_doc_free_bytes(bytes);
  check(leafturn_doc_save_bytes(doc, LEAFTURN_DOC_INCREMENTAL, 0, &bytes, &len, &wrote) == LEAFTURN_DOC_FAILED &&
            strncmp(leafturn_doc_error(doc), "cannot append an update to built.pdf", 36) == 0 && bytes == NULL,
        "an update refused", doc);
  check(leafturn_doc_save_bytes(doc, 9, 0, &bytes, &len, &wrote) == LEAFTURN_DOC_BAD_ARGUMENT, "unknown mode", doc);
  check(leafturn_doc_save_bytes(doc, LEAFTURN_DOC_FULL, 4, &bytes, &len, &wrote) == LEAFTURN_DOC_BAD_ARGUMENT, "unknown flag", doc);
  check(leafturn_doc_save_bytes(doc, LEAFTURN_DOC_FULL, 0, NULL, &len, &wrote) == LEAFTURN_DOC_BAD_ARGUMENT, "null bytes", doc);
  sprintf(path, "%s/no/such/dir/out.pdf", dir);
  check(leafturn_doc_save(doc, path, LEAFTURN_DOC_FULL, 0, &wrote) == LEAFTURN_DOC_FAILED &&
            strncmp(leafturn_doc_error(doc), "cannot write ", 13) == 0, "unwritable path", doc);
  /* A name beyond any ANSI code page, as UTF-8, written and read back. */
  sprintf(path, "%s/caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5.pdf", dir);
  check(leafturn_doc_save(doc, path, LEAFTURN_DOC_AUTOMATIC, 0, &wrote) == LEAFTURN_DOC_OK &&
            wrote == LEAFTURN_DOC_WROTE_FULL, "save to a UTF-8 path", doc);
  leafturn_doc_close(doc);
  doc = NULL;
  check(leafturn_doc_open(path, NULL, &doc, message, sizeof message) == LEAFTURN_DOC_OK, message, NULL);
  check(doc && leafturn_doc_page_count(doc, &count) == LEAFTURN_DOC_OK && count == 3, "reopened", doc);
  check(doc && leafturn_doc_page_facts(doc, 1, &page) == LEAFTURN_DOC_OK && page.rotation == 270, "kept its turn", doc);
  leafturn_doc_close(doc);

  /* Null handles. */
  check(leafturn_doc_page_count(NULL, &count) == LEAFTURN_DOC_BAD_ARGUMENT, "null doc", NULL);
  check(leafturn_doc_turn_by(NULL, 90, NULL, NULL) == LEAFTURN_DOC_BAD_ARGUMENT, "null doc turn", NULL);
  check(leafturn_doc_upright(NULL, NULL, NULL) == LEAFTURN_DOC_BAD_ARGUMENT, "null doc upright", NULL);
  check(strcmp(leafturn_doc_error(NULL), "no document (NULL)") == 0, "null doc error", NULL);
  leafturn_doc_close(NULL);
  leafturn_doc_free_bytes(NULL);
  check(strcmp(leafturn_doc_version(), "0.1.0") == 0 && strcmp(leafturn_doc_version(), LEAFTURN_DOC_VERSION) == 0,
        "version", NULL);
  {
    char numbers[32];
    sprintf(numbers, "%d.%d.%d", LEAFTURN_DOC_VERSION_MAJOR, LEAFTURN_DOC_VERSION_MINOR, LEAFTURN_DOC_VERSION_PATCH);
    check(strcmp(numbers, LEAFTURN_DOC_VERSION) == 0, "version numbers", NULL);
  }
  /* The save modes as every binding numbers them. */
  check(LEAFTURN_DOC_AUTOMATIC == 0 && LEAFTURN_DOC_INCREMENTAL == 1 && LEAFTURN_DOC_FULL == 2, "mode numbers", NULL);
  return failures ? 1 : 0;
}

static int mode_of(const char *name) {
  return strcmp(name, "incremental") == 0 ? LEAFTURN_DOC_INCREMENTAL
         : strcmp(name, "full") == 0      ? LEAFTURN_DOC_FULL
                                          : LEAFTURN_DOC_AUTOMATIC;
}

static int turn(const char *in, const char *out, const char *mode, int upright, int flags) {
  char message[LEAFTURN_DOC_MESSAGE_SIZE];
  leafturn_doc *doc = NULL;
  leafturn_doc_page page;
  int count = 0, p, changed = 0, wrote = -1;
  const char *json = NULL;
  const int status = leafturn_doc_open(in, NULL, &doc, message, sizeof message);
  if (status != LEAFTURN_DOC_OK) {
    printf("open %d %s\n", status, message);
    return 0;
  }
  check(leafturn_doc_page_count(doc, &count) == LEAFTURN_DOC_OK, "count", doc);
  for (p = 1; p <= count; ++p) {
    page.size = sizeof page;
    check(leafturn_doc_page_facts(doc, p, &page) == LEAFTURN_DOC_OK && page.number == p, "facts", doc);
  }
  if (upright) check(leafturn_doc_upright(doc, NULL, &changed) == LEAFTURN_DOC_OK, "upright", doc);
  else check(leafturn_doc_turn_by(doc, 90, NULL, &changed) == LEAFTURN_DOC_OK, "by 90", doc);
  check(leafturn_doc_facts(doc, &json) == LEAFTURN_DOC_OK, "facts", doc);
  if (leafturn_doc_save(doc, out, mode_of(mode), flags, &wrote) == LEAFTURN_DOC_OK)
    printf("wrote %d changed %d facts %s\n", wrote, changed, json);
  else
    printf("save failed: %s\n", leafturn_doc_error(doc));
  leafturn_doc_close(doc);
  return failures ? 1 : 0;
}

static int open_only(const char *in, const char *password) {
  char message[LEAFTURN_DOC_MESSAGE_SIZE];
  leafturn_doc *doc = NULL;
  const int status = leafturn_doc_open(in, password, &doc, message, sizeof message);
  printf("%d %s\n", status, status == LEAFTURN_DOC_OK ? "" : message);
  leafturn_doc_close(doc);
  return 0;
}

/* A closed document is freed: using it is a use after free (undefined; the
 * sanitized build's test expects AddressSanitizer to say so). */
static int use_after_close(void) {
  char message[LEAFTURN_DOC_MESSAGE_SIZE];
  leafturn_doc *doc = NULL;
  int count = 0;
  if (leafturn_doc_open_bytes((const unsigned char *)k_doc, sizeof k_doc - 1, "built.pdf", NULL, &doc, message,
                              sizeof message) != LEAFTURN_DOC_OK)
    return 1;
  leafturn_doc_close(doc);
  printf("after close: %d\n", leafturn_doc_page_count(doc, &count));
  return 0;
}

int doc_host_threads(int n, char **files, int count);

int main(int argc, char **argv) {
  if (argc >= 3 && strcmp(argv[1], "api") == 0) return api(argv[2]);
  if (argc >= 5 && strcmp(argv[1], "turn") == 0)
    return turn(argv[2], argv[3], argv[4], 0, argc > 5 && strcmp(argv[5], "force") == 0 ? LEAFTURN_DOC_FORCE : 0);
  if (argc >= 4 && strcmp(argv[1], "upright") == 0) return turn(argv[2], argv[3], "full", 1, 0);
  if (argc >= 2 && strcmp(argv[1], "closed") == 0) return use_after_close();
  if (argc >= 3 && strcmp(argv[1], "open") == 0) return open_only(argv[2], argc > 3 ? argv[3] : NULL);
  if (argc >= 4 && strcmp(argv[1], "threads") == 0) return doc_host_threads(atoi(argv[2]), argv + 3, argc - 3);
  fprintf(stderr, "usage: doc_host api DIR | turn IN OUT MODE [force] | upright IN OUT | open IN [PW] | threads N IN... | closed\n");
  return 2;
}
