/* SPDX-License-Identifier: MIT */
/*
 * A Windows host that names files the way .NET, Python and Rust do: it
 * creates them through the wide-character API and passes their names to the
 * library as UTF-8. Also a name in the ANSI code page (cp1252 "\xFC" for
 * "ü"), which older hosts pass. Prints "ok ..." lines; exit 0 when all pass.
 *   utf8_host SAMPLE_PDF
 */
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "leafturn.h"

static int failures = 0;

static void check(int ok, const char *what) {
  printf("%s %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) failures++;
}

static int copy_wide(const char *from, const wchar_t *to) {
  FILE *in = fopen(from, "rb"), *out;
  char buf[65536];
  size_t n;
  if (!in) return 0;
  out = _wfopen(to, L"wb");
  if (!out) {
    fclose(in);
    return 0;
  }
  while ((n = fread(buf, 1, sizeof buf, in)) > 0) fwrite(buf, 1, n, out);
  fclose(in);
  fclose(out);
  return 1;
}

static int exists_wide(const wchar_t *path) {
  FILE *f = _wfopen(path, L"rb");
  if (!f) return 0;
  fclose(f);
  return 1;
}

int main(int argc, char **argv) {
  /* "ü中.pdf": U+00FC, U+4E2D; the second is outside every Western code page. */
  const wchar_t *w_in = L"\u00fc\u4e2d.pdf", *w_out = L"ausgabe \u00fc\u4e2d.pdf";
  const char *u_in = "\xC3\xBC\xE4\xB8\xAD.pdf", *u_out = "ausgabe \xC3\xBC\xE4\xB8\xAD.pdf";
  int pages[] = {2};
  if (argc < 2) return 2;
  check(copy_wide(argv[1], w_in), "created the file through the wide API");
  check(leafturn_get_rotation(u_in, 1) == 90, "read it by its UTF-8 name");
  check(leafturn_all(u_in, u_out, 90) == 1 && exists_wide(w_out), "rotated it to a new UTF-8 name");
  check(leafturn_get_rotation(u_out, 1) == 180, "the new file carries the turn");
  check(leafturn_pages(u_in, u_in, pages, 1, 180) == 1, "rotated it in place");
  check(leafturn_get_rotation(u_in, 2) == 0 && leafturn_get_rotation(u_in, 1) == 90,
        "in place: page 2 turned, page 1 kept");
  check(exists_wide(w_in) && !exists_wide(L"\u00fc\u4e2d.pdf.lt0-0.tmp"), "no temporary file left");

  /* A missing UTF-8 name: the message keeps the bytes as given. */
  check(leafturn_get_rotation("fehlt \xC3\xBC.pdf", 1) == -1 &&
            strcmp(leafturn_last_error(), "cannot open fehlt \xC3\xBC.pdf") == 0,
        "a missing UTF-8 name is named in UTF-8");

  /* The ANSI code page still works for names that are not UTF-8. */
  check(copy_wide(argv[1], L"\u00fc.pdf"), "created \\u00fc.pdf");
  check(leafturn_all("\xFC.pdf", "\xFC-out.pdf", 270) == 1, "rotated a cp1252 name");
  check(exists_wide(L"\u00fc-out.pdf"), "the cp1252 output has the right name");
  check(leafturn_get_rotation("\xFC-out.pdf", 3) == 180, "and reads back by its cp1252 name");
  printf("%d failed\n", failures);
  return failures ? 1 : 0;
}
