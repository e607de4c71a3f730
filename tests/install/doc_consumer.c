/* SPDX-License-Identifier: MIT */
/* The README's example of the document library: open, turn, save as an
 * update.   doc_consumer IN OUT */
#include <stdio.h>

#include "leafturn_doc.h"

int main(int argc, char **argv) {
  char message[LEAFTURN_DOC_MESSAGE_SIZE];
  leafturn_doc *doc = NULL;
  leafturn_doc_pages odd = {NULL, 0, "odd", LEAFTURN_DOC_ANY};
  int pages = 0, changed = 0;
  if (argc < 3) return 2;
  if (leafturn_doc_open(argv[1], NULL, &doc, message, sizeof message) != LEAFTURN_DOC_OK) {
    fprintf(stderr, "%s\n", message);
    return 1;
  }
  leafturn_doc_page_count(doc, &pages);
  if (leafturn_doc_turn_by(doc, 90, &odd, &changed) != LEAFTURN_DOC_OK ||
      leafturn_doc_save(doc, argv[2], LEAFTURN_DOC_INCREMENTAL, 0, NULL) != LEAFTURN_DOC_OK) {
    fprintf(stderr, "%s\n", leafturn_doc_error(doc));
    leafturn_doc_close(doc);
    return 1;
  }
  printf("%d pages, %d turned, appended as an update\n", pages, changed);
  leafturn_doc_close(doc);
  return 0;
}
