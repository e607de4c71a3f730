// The cross-reference chain, read only for /Root, /Info and /Encrypt: from
// the last "startxref", either the trailer dictionaries after a classic table
// or the dictionaries of cross-reference streams along /Prev. Objects are
// never located through it. Nothing here fails a load.
#include <algorithm>

#include "internal.h"

namespace lt {

namespace {

constexpr int k_max_xref_sections = 32;

// Value of the first /key in [k, v) that is followed by a number >= 0, or -1.
// The number is read from one byte past the end of the name.
i32 first_value(const doc &d, const char *key, i32 name_len, i32 k, i32 v) {
  for (i32 w = next_name(d, key, k, v); w >= 0; w = next_name(d, key, w + 1, v)) {
    i32 cur = w + name_len + 1;
    while (cur < v && is_pdf_ws(d.data[cur])) ++cur;
    const i32 val = parse_int_at(d.data, d.len, &cur);
    if (val >= 0) return val;
  }
  return -1;
}

// Every trailer dictionary from body to the end of the file; the last
// readable /Root and /Info win, /Encrypt in any of them marks the document.
void read_trailers(doc &d, i32 body) {
  for (i32 t = next_keyword(d, "trailer", body); t >= 0;
       t = next_keyword(d, "trailer", t + 1)) {
    const i32 k = skip_pdf_ws(d.data, d.len, t + 7);
    i32 v = next_keyword(d, "startxref", k);
    if (v < 0) v = d.len;
    if (k >= v || d.data[k] != '<') continue;
    const i32 root = first_value(d, "Root", 5, k, v);
    if (root >= 0) d.trailer_root = root;
    const i32 info = first_value(d, "Info", 5, k, v);
    if (info >= 0) d.trailer_info = info;
    if (next_name(d, "Encrypt", k, v) >= 0) d.encrypted = 1;
  }
}

// One cross-reference stream section at p (a digit). Returns the /Prev
// offset, or -1 when the walk stops.
i32 read_xref_stream(doc &d, i32 p) {
  const u8 *b = d.data;
  i32 cur = p;
  while (cur < d.len && is_digit(b[cur])) ++cur;
  cur = skip_pdf_ws(b, d.len, cur);
  if (cur < d.len && is_digit(b[cur])) parse_int_at(b, d.len, &cur);
  cur = skip_pdf_ws(b, d.len, cur);
  if (!kw_at(b, cur, d.len, "obj")) return -1;
  const i32 q = skip_pdf_ws(b, d.len, cur + 3);
  i32 e = d.len;
  if (q < d.len && b[q] == '<') {
    const i32 s = (q + 1 < d.len && b[q + 1] == '<') ? dict_stream(d, q)
                                                      : dict_stream_kw(b, d.len, q);
    if (s > 0) e = s;
  }
  i32 prev = -1;
  const i32 w = next_name(d, "Prev", q, e);
  if (w >= 0) {
    i32 c = w + 5;
    while (c < e && is_pdf_ws(b[c])) ++c;
    prev = parse_int_at(b, d.len, &c);
  }
  if (d.trailer_root < 0) {
    const i32 r = next_name(d, "Root", q, e);
    if (r >= 0) {
      i32 c = r + 6;
      while (c < e && is_pdf_ws(b[c])) ++c;
      const i32 val = parse_int_at(b, d.len, &c);
      if (val >= 0) d.trailer_root = val;
    }
  }
  if (next_name(d, "Encrypt", q, e) >= 0) d.encrypted = 1;
  return prev;
}

}  // namespace

void load_trailers(doc &d) {
  d.trailer_root = -1;
  d.trailer_info = -1;
  d.encrypted = 0;
  const i32 last = last_keyword(d, "startxref");
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
      read_trailers(d, p + 4);
      return;
    }
    if (!is_digit(d.data[p])) return;
    if (std::find(seen.begin(), seen.end(), p) != seen.end()) return;
    seen.push_back(p);
    ++sections;
    o = read_xref_stream(d, p);
  }
}

}  // namespace lt
