/* SPDX-License-Identifier: MIT */
/*
 * A plain C host that drives every export over a set of PDF files and logs
 * what each call answered. The same program built for Linux and for Windows
 * must log the same lines and write the same bytes: the comparison proves
 * that nothing depends on the platform (32-bit long, binary file mode).
 *
 *   host OUTDIR [INPUT...]
 *
 * OUTDIR receives a few documents built here (with CR LF, NUL and Ctrl-Z
 * bytes that a text-mode reader would mangle) and every output written.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "leafturn.h"

static void write_bytes(const char *path, const char *bytes, size_t n) {
  FILE *f = fopen(path, "wb");
  if (!f) {
    fprintf(stderr, "cannot create %s\n", path);
    exit(2);
  }
  fwrite(bytes, 1, n, f);
  fclose(f);
}

static int copy_file(const char *from, const char *to) {
  FILE *in = fopen(from, "rb"), *out;
  char buf[65536];
  size_t n;
  if (!in) return 0;
  out = fopen(to, "wb");
  if (!out) {
    fclose(in);
    return 0;
  }
  while ((n = fread(buf, 1, sizeof buf, in)) > 0) fwrite(buf, 1, n, out);
  fclose(in);
  fclose(out);
  return 1;
}

/* A small document whose stream data holds CR LF, a lone LF, NUL and the
   Ctrl-Z byte (0x1A), and an object with generation 3. */
static void build_documents(const char *dir) {
  static const char binary[] =
      "%PDF-1.4\r\n"
      "1 0 obj\r\n<</Type /Catalog /Pages 2 0 R>>\r\nendobj\r\n"
      "2 0 obj\r\n<</Type /Pages /Kids [3 0 R 5 3 R] /Rotate 90>>\r\nendobj\r\n"
      "3 0 obj\r\n<</Type /Page /Contents 4 0 R>>\r\nendobj\r\n"
      "4 0 obj\r\n<</Length 12>>\r\nstream\r\nA\r\nB\nC\0\x1a\x1a\r\nD\r\nendstream\r\nendobj\r\n"
      "5 3 obj\r\n<</Type /Page /Rotate -90>>\r\nendobj\r\n"
      "trailer\r\n<</Root 1 0 R>>\r\n";
  static const char plain[] =
      "%PDF-1.7\n1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
      "2 0 obj\n<</Type /Pages /Kids [3 0 R 4 0 R 3 0 R]>>\nendobj\n"
      "3 0 obj\n<</Type /Page /Rotate 450>>\nendobj\n"
      "4 0 obj\n<</Type /Page /Rotate 7 0 R>>\nendobj\n7 0 obj\n180\nendobj\n";
  char path[1024];
  snprintf(path, sizeof path, "%s/built-binary.pdf", dir);
  write_bytes(path, binary, sizeof binary - 1);
  snprintf(path, sizeof path, "%s/built-plain.pdf", dir);
  write_bytes(path, plain, sizeof plain - 1);
}

static const char *base_name(const char *path) {
  const char *b = path, *p;
  for (p = path; *p; ++p)
    if (*p == '/' || *p == '\\') b = p + 1;
  return b;
}

static int page_count(const char *path) {
  int n = -1;
  if (leafturn_get_rotation(path, 2000000000) >= 0) return -1;
  if (sscanf(leafturn_last_error(), "page %*d out of range (document has %d pages)", &n) != 1)
    return -1;
  return n;
}

static void log_rotations(const char *label, const char *path) {
  int n = page_count(path), p;
  printf("%s: ", label);
  if (n < 0) {
    printf("%s\n", leafturn_last_error());
    return;
  }
  printf("%d pages:", n);
  for (p = 1; p <= n && p <= 50; ++p) printf(" %d", leafturn_get_rotation(path, p));
  printf("\n");
}

static void run_file(const char *in, const char *dir) {
  char out[1024];
  const char *name = base_name(in);
  int n, list[3];
  printf("== %s\n", name);
  log_rotations("before", in);
  n = page_count(in);
  if (n < 0) return;

  snprintf(out, sizeof out, "%s/%s.all.pdf", dir, name);
  printf("all 90: %d %s\n", leafturn_all(in, out, 90), leafturn_last_error());
  log_rotations("after all", out);

  list[0] = n;
  list[1] = 1;
  list[2] = n;
  snprintf(out, sizeof out, "%s/%s.list.pdf", dir, name);
  printf("pages 180: %d %s\n", leafturn_pages(in, out, list, 3, 180), leafturn_last_error());
  log_rotations("after list", out);

  snprintf(out, sizeof out, "%s/%s.inplace.pdf", dir, name);
  if (!copy_file(in, out)) {
    printf("cannot copy\n");
    return;
  }
  printf("page 270 in place: %d %s\n", leafturn_page(out, out, 1, 270), leafturn_last_error());
  log_rotations("after in place", out);
}

int main(int argc, char **argv) {
  char path[1024];
  int i;
  if (argc < 2) {
    fprintf(stderr, "usage: host OUTDIR [INPUT...]\n");
    return 2;
  }
  /* Platform facts go to stderr: they differ, the log must not. */
  fprintf(stderr, "sizeof(long) = %d\n", (int)sizeof(long));
  printf("init: %d\n", leafturn_init());
  build_documents(argv[1]);

  /* Argument checks and messages. */
  printf("null path: %d %s\n", leafturn_get_rotation(NULL, 1), leafturn_last_error());
  printf("page 0: %d %s\n", leafturn_get_rotation("missing.pdf", 0), leafturn_last_error());
  printf("missing: %d %s\n", leafturn_get_rotation("missing.pdf", 1), leafturn_last_error());
  printf("degrees: %d %s\n", leafturn_all("missing.pdf", "x.pdf", -270), leafturn_last_error());
  printf("count: %d %s\n", leafturn_pages("a", "b", NULL, 0, 90), leafturn_last_error());
  printf("array: %d %s\n", leafturn_pages("a", "b", NULL, 1, 90), leafturn_last_error());
  snprintf(path, sizeof path, "%s/built-plain.pdf", argv[1]);
  printf("page range: %d %s\n", leafturn_page(path, "x.pdf", 9, 90), leafturn_last_error());
  snprintf(path, sizeof path, "%s/no-such-dir/out.pdf", argv[1]);
  printf("no folder: %d %s\n", leafturn_all("missing.pdf", path, 90), leafturn_last_error());
  leafturn_cleanup();
  printf("cleanup: [%s]\n", leafturn_last_error());

  snprintf(path, sizeof path, "%s/built-binary.pdf", argv[1]);
  run_file(path, argv[1]);
  snprintf(path, sizeof path, "%s/built-plain.pdf", argv[1]);
  run_file(path, argv[1]);
  for (i = 2; i < argc; ++i) run_file(argv[i], argv[1]);
  return 0;
}
