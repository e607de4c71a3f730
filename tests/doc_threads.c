/* SPDX-License-Identifier: MIT */
/* Documents on several threads at once, with no lock of the host's: each
 * thread opens files, asks every page, turns them and saves to bytes. */
#include <stdio.h>
#include <string.h>

#include "leafturn_doc.h"

int doc_host_threads(int n, char **files, int count);

#if defined(_WIN32)
int doc_host_threads(int n, char **files, int count) {
  (void)n;
  (void)files;
  (void)count;
  return 0;
}
#else
#include <pthread.h>

struct job {
  char **files;
  int count, first, failed;
};

static void *work(void *arg) {
  struct job *j = (struct job *)arg;
  int round, k;
  for (round = 0; round < 4; ++round) {
    for (k = 0; k < j->count; ++k) {
      const char *path = j->files[(j->first + k) % j->count];
      leafturn_doc *doc = NULL;
      leafturn_doc_page page;
      unsigned char *bytes = NULL;
      size_t len = 0;
      int pages = 0, p, changed = 0;
      if (leafturn_doc_open(path, NULL, &doc, NULL, 0) != LEAFTURN_DOC_OK) continue;
      leafturn_doc_page_count(doc, &pages);
      for (p = 1; p <= pages; ++p) {
        page.size = sizeof page;
        if (leafturn_doc_page_facts(doc, p, &page) != LEAFTURN_DOC_OK) j->failed = 1;
      }
      if (leafturn_doc_turn_by(doc, 90, NULL, &changed) != LEAFTURN_DOC_OK || changed != pages) j->failed = 1;
      if (leafturn_doc_save_bytes(doc, LEAFTURN_DOC_FULL, LEAFTURN_DOC_FORCE, &bytes, &len, NULL) == LEAFTURN_DOC_OK) {
        if (len < 8 || memcmp(bytes, "%PDF-1.", 7) != 0) j->failed = 1;
        leafturn_doc_free_bytes(bytes);
      }
      leafturn_doc_close(doc);
    }
  }
  return NULL;
}

int doc_host_threads(int n, char **files, int count) {
  pthread_t threads[64];
  struct job jobs[64];
  int k, failed = 0;
  if (n > 64) n = 64;
  for (k = 0; k < n; ++k) {
    jobs[k].files = files;
    jobs[k].count = count;
    jobs[k].first = k;
    jobs[k].failed = 0;
    pthread_create(&threads[k], NULL, work, &jobs[k]);
  }
  for (k = 0; k < n; ++k) {
    pthread_join(threads[k], NULL);
    failed |= jobs[k].failed;
  }
  printf("threads: %d, %s\n", n, failed ? "FAILED" : "ok");
  return failed;
}
#endif
