/* SPDX-License-Identifier: MIT */
/* The document library as a host uses it: open once, ask every page's facts
 * one by one (with the text direction when asked), turn every page by 90,
 * save in full.   doc_bench IN OUT [text] */
#include <stdio.h>
#include <string.h>

#include "leafturn_doc.h"

int main(int argc, char **argv) {
  char message[LEAFTURN_DOC_MESSAGE_SIZE];
  leafturn_doc *doc = NULL;
  leafturn_doc_page page;
  int count = 0, p, changed = 0;
  const int text = argc > 3 && strcmp(argv[3], "text") == 0;
  if (argc < 3) return 2;
  if (leafturn_doc_open(argv[1], NULL, &doc, message, sizeof message) != LEAFTURN_DOC_OK) {
    fprintf(stderr, "%s\n", message);
    return 1;
  }
  leafturn_doc_page_count(doc, &count);
  for (p = 1; p <= count; ++p) {
    page.size = text ? sizeof page : LEAFTURN_DOC_PAGE_MIN_SIZE;
    if (leafturn_doc_page_facts(doc, p, &page) != LEAFTURN_DOC_OK) return 1;
  }
  if (leafturn_doc_turn_by(doc, 90, NULL, &changed) != LEAFTURN_DOC_OK ||
      leafturn_doc_save(doc, argv[2], LEAFTURN_DOC_FULL, 0, NULL) != LEAFTURN_DOC_OK) {
    fprintf(stderr, "%s\n", leafturn_doc_error(doc));
    return 1;
  }
  leafturn_doc_close(doc);
  return 0;
}
