/* SPDX-License-Identifier: MIT */
/* A plain C host that uses only the public header and the shared library. */
#include <stdio.h>
#include <string.h>

#include "leafturn.h"

static int failures = 0;

static void check(int ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s (last error: %s)\n", what, leafturn_last_error());
    ++failures;
  }
}

int main(int argc, char **argv) {
  const char *in = argc > 1 ? argv[1] : "sample.pdf";
  const char *out = argc > 2 ? argv[2] : "c-api-out.pdf";
  int pages[2] = {1, 2};
  check(leafturn_init() == 1, "init");
  check(leafturn_get_rotation(NULL, 1) == -1, "null path");
  check(strcmp(leafturn_last_error(), "NULL path argument") == 0, "null path message");
  check(leafturn_get_rotation(in, 1) == 90, "rotation of page 1");
  check(leafturn_last_error()[0] == '\0', "success empties the error");
  check(leafturn_all(in, out, 90) == 1, "rotate all");
  check(leafturn_get_rotation(out, 1) == 180, "page 1 after all");
  check(leafturn_pages(out, out, pages, 2, 180) == 1, "rotate a list in place");
  check(leafturn_get_rotation(out, 2) == 90, "page 2 after list");
  check(leafturn_page(out, out, 4, 270) == 1, "rotate one page");
  check(leafturn_get_rotation(out, 4) == 0, "page 4 after one");
  check(leafturn_page(out, out, 0, 90) == 0, "page 0 fails");
  check(strcmp(leafturn_last_error(), "page 0 out of range (document has 4 pages)") == 0,
        "page 0 message");
  leafturn_cleanup();
  check(leafturn_last_error()[0] == '\0', "cleanup empties the error");
  if (failures == 0) printf("c api: all checks passed\n");
  return failures ? 1 : 0;
}
