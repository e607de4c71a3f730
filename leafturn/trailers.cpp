// The cross-reference chain, read only for /Root, /Info and /Encrypt: from
// the last "startxref", either the trailer dictionaries after a classic table
// or the dictionaries of cross-reference streams along /Prev. Objects are
// never located through it. Nothing here fails a load.
#include <algorithm>

#include "loader.h"

namespace lt {

namespace {

constexpr int k_max_xref_sections = 32;

// The number after the first /key in [from, limit) that is 0 or more, or -1.
// `skip`: how many bytes past the end of the name the number is read from.
i32 key_value(const doc &d, scan_ctx &lex, const char *key, i32 from, i32 limit, i32 skip) {
  return number_after_key(
      d.data, d.len, key, from, skip, [&](i32 at) { return lex.next_name(key, at, limit); },
      [](i32 v) { return v >= 0; });
}

// The number after the first /key in [from, limit), whatever it is (-1 for
// none).
i32 first_key_value(const doc &d, scan_ctx &lex, const char *key, i32 from, i32 limit,
                    i32 skip) {
  return number_after_key(
      d.data, d.len, key, from, skip, [&](i32 at) { return lex.next_name(key, at, limit); },
      [](i32) { return true; });
}

// Every trailer dictionary from body to the end of the file; the last
// readable /Root and /Info win, /Encrypt in any of them marks the document.
// Their numbers are read from one byte past the end of the name.
void read_trailers(doc &d, scan_ctx &lex, i32 body) {
  for (i32 t = lex.next_keyword("trailer", body); t >= 0; t = lex.next_keyword("trailer", t + 1)) {
    const i32 k = skip_pdf_ws(d.data, d.len, t + 7);
    i32 v = lex.next_keyword("startxref", k);
    if (v < 0) v = d.len;
    if (k >= v || d.data[k] != '<') continue;
    const i32 root = key_value(d, lex, "Root", k, v, /*skip=*/1);
    if (root >= 0) d.trailer_root = root;
    const i32 info = key_value(d, lex, "Info", k, v, /*skip=*/1);
    if (info >= 0) d.trailer_info = info;
    if (lex.next_name("Encrypt", k, v) >= 0) d.encrypted = 1;
  }
}

// One cross-reference stream section at p (a digit). Returns the /Prev
// offset, or -1 when the walk stops.
i32 read_xref_stream(doc &d, scan_ctx &lex, i32 p) {
  const u8 *b = d.data;
  const i32 cur = obj_keyword_pos(b, d.len, p);
  if (!kw_at(b, cur, d.len, "obj")) return -1;
  const i32 q = skip_pdf_ws(b, d.len, cur + 3);
  i32 e = d.len;
  if (q < d.len && b[q] == '<') {
    const i32 s = lex.stream_after_dict(q);
    if (s > 0) e = s;
  }
  const i32 prev = first_key_value(d, lex, "Prev", q, e, /*skip=*/0);
  if (d.trailer_root < 0) {
    const i32 root = first_key_value(d, lex, "Root", q, e, /*skip=*/1);
    if (root >= 0) d.trailer_root = root;
  }
  if (lex.next_name("Encrypt", q, e) >= 0) d.encrypted = 1;
  return prev;
}

}  // namespace

void load_trailers(doc &d, scan_ctx &lex) {
  d.trailer_root = -1;
  d.trailer_info = -1;
  d.encrypted = 0;
  const i32 last = lex.last_keyword("startxref");
  if (last < 0) return;
  i32 cur = last + 9;
  i32 o = parse_int_at(d.data, d.len, &cur);
  // A section visited again repeats what it did the first time, so a /Prev
  // loop can stop at the first repeat instead of running to the limit.
  std::vector<i32> seen;
  for (int sections = 0; o >= 0 && o < d.len && sections < k_max_xref_sections;) {
    const i32 p = skip_pdf_ws(d.data, d.len, o);
    if (p >= d.len) return;
    if (kw_at(d.data, p, d.len, "xref")) {
      read_trailers(d, lex, p + 4);
      return;
    }
    if (!is_digit(d.data[p])) return;
    if (std::find(seen.begin(), seen.end(), p) != seen.end()) return;
    seen.push_back(p);
    ++sections;
    o = read_xref_stream(d, lex, p);
  }
}

}  // namespace lt
