// SPDX-License-Identifier: MIT
// The plain searches of the lexical layer, each a forward scan over a buffer
// with an explicit length that never reads outside it and never allocates.
// Walks over dictionaries are built from step_at (lex.h), so the rules for
// comments, strings and nesting stand in one place.
#include <cstring>

#include "syntax/lex.h"

namespace lt {

namespace {
inline long long ll(i32 v) { return static_cast<long long>(v); }
}  // namespace

span dict_span(const doc &d, const obj_rec &o) {
  if (o.in_objstm()) return {o.body, 0, o.body_len};
  if (o.dict_off < 0) return {};
  return {d.data, o.dict_off,
          o.stream_kw_off > 0 ? o.stream_kw_off : o.endobj_off > 0 ? o.endobj_off : d.len};
}

span object_text(const doc &d, const obj_rec &o) {
  if (o.in_objstm()) return {o.body, 0, o.body_len};
  if (o.dict_off < 0) return {};
  return {d.data, o.dict_off, o.endobj_off > 0 ? o.endobj_off : d.len};
}

span object_content(const doc &d, const obj_rec &o) {
  if (o.is_stream()) return {};
  if (o.in_objstm()) return {o.body, 0, o.body_len};
  if (o.endobj_off < 0) return {};
  const i32 k = obj_keyword_pos(d.data, d.len, o.hdr_off);
  if (!kw_at(d.data, k, d.len, "obj")) return {};
  return {d.data, k + kw_len("obj"), o.endobj_off};
}

span referenced_content(const doc &d, i32 num) {
  const obj_rec *o = num > 0 ? d.find(num) : nullptr;
  return o ? object_content(d, *o) : span();
}

span stream_dict(const doc &d, const obj_rec &o) {
  if (o.in_objstm() || !o.is_stream() || o.dict_off < 0) return {};
  return {d.data, o.dict_off, o.stream_kw_off > 0 ? o.stream_kw_off : d.len};
}

i32 find_kw(const u8 *b, i32 len, i32 start, const char *kw) {
  const i32 n = static_cast<i32>(std::strlen(kw));
  if (start < 0) start = 0;
  if (n == 0 || ll(start) + n > len) return -1;
  const u8 first = static_cast<u8>(kw[0]);
  const i32 last = len - n;  // last position a match can start at
  for (i32 i = start; i <= last; ++i) {
    const void *hit = std::memchr(b + i, first, static_cast<size_t>(last - i + 1));
    if (!hit) return -1;
    i = static_cast<i32>(static_cast<const u8 *>(hit) - b);
    if (kw_at(b, i, len, kw)) return i;
  }
  return -1;
}

i32 last_kw(const u8 *b, i32 len, const char *kw) {
  const i32 n = static_cast<i32>(std::strlen(kw));
  for (i32 i = len - n; i >= 0; --i)
    if (b[i] == static_cast<u8>(kw[0]) && kw_at(b, i, len, kw)) return i;
  return -1;
}

i32 comment_holding(const u8 *b, i32 lo, i32 i) {
  i32 s = i;
  while (s > lo && b[s - 1] != '\r' && b[s - 1] != '\n') --s;
  int depth = 0;  // of a literal string
  for (i32 k = s; k < i; ++k) {
    if (depth > 0) {
      if (b[k] == '\\') ++k;
      else if (b[k] == '(') ++depth;
      else if (b[k] == ')') --depth;
    } else if (b[k] == '(') {
      depth = 1;
    } else if (b[k] == '%') {
      return k;
    }
  }
  return -1;
}

i32 last_kw_uncommented(const u8 *b, i32 len, const char *kw) {
  const i32 n = static_cast<i32>(std::strlen(kw));
  // A match in a comment moves the search before the comment's '%': each
  // line is read at most twice, whatever the matches.
  for (i32 i = len - n; i >= 0; --i) {
    if (b[i] != static_cast<u8>(kw[0]) || !kw_at(b, i, len, kw)) continue;
    const i32 c = comment_holding(b, 0, i);
    if (c < 0) return i;
    i = c;
  }
  return -1;
}

i32 find_name(const u8 *b, i32 len, i32 start, i32 end, const char *name) {
  const i32 n = static_cast<i32>(std::strlen(name));
  const i32 limit = end < len ? end : len;
  if (start < 0) start = 0;
  // Short ranges (most dictionaries): the 16-byte scanner, without a
  // library call per '/'; long ones with memchr, which is faster there.
  constexpr long long k_scanner_range_max = 4096;
  if (ll(limit) - start <= k_scanner_range_max) {
    const i32 k = scan_byte(b, start, limit, '/', [&](i32 p) {
      return ll(p) + n + 1 > limit || name_at(b, p, limit, name, n);
    });
    return (k < limit && ll(k) + n + 1 <= limit) ? k : -1;
  }
  for (i32 i = start; ll(i) + n + 1 <= limit; ++i) {
    const void *hit = std::memchr(b + i, '/', static_cast<size_t>(limit - n - i));
    if (!hit) return -1;
    i = static_cast<i32>(static_cast<const u8 *>(hit) - b);
    if (name_at(b, i, limit, name, n)) return i;
  }
  return -1;
}

i32 literal_string_close(const u8 *b, i32 i, i32 limit) {
  if (i + 1 >= limit) return -1;
  int nest = 1;
  // Only parentheses and backslashes matter: the scanner visits those.
  for (i32 p = i + 1;;) {
    p = next_string_special(b, p, limit, /*line_ends=*/false);
    if (p >= limit) return -1;
    if (b[p] == '\\') {
      if (p + 1 >= limit) return -1;  // an escape in the last byte
      p += 2;
    } else if (b[p] == '(') {
      ++nest;
      ++p;
    } else {
      if (--nest == 0) return p;
      ++p;
    }
  }
}

namespace {

// A walk that stops at the first match.
struct first_match {
  i32 at = -1;
  bool at_depth0(i32) { return false; }
  i32 skip_nested(i32) { return k_descend; }
  bool on_match(const u8 *, i32 i, i32) {
    at = i;
    return true;
  }
};

// A walk that stops at the first /Type whose value decides the type.
struct type_match {
  page_kind type = page_kind_other;
  bool at_depth0(i32) { return false; }
  i32 skip_nested(i32) { return k_descend; }
  bool on_match(const u8 *b, i32 i, i32 limit) {
    const page_kind t = page_type_after(b, i, limit);
    if (t == page_kind_undecided) return false;
    type = t;
    return true;
  }
};

}  // namespace

i32 find_name_top(const u8 *b, i32 len, i32 start, i32 end, const char *name) {
  // A name that stands nowhere in the range stands nowhere at its own
  // level either; looking for it plainly costs far less than the walk.
  if (find_name(b, len, start, end, name) < 0) return -1;
  first_match m;
  walk_own_level(b, start < 0 ? 0 : start, end < len ? end : len, name, plain_skips{b}, m);
  return m.at;
}

i32 find_dict_close(const u8 *b, i32 start, i32 end) {
  const plain_skips s{b};
  int depth = 0;
  i32 i = start < 0 ? 0 : start;
  while ((i = next_significant<rules::dict_end>(b, i, end)) < end) {
    const lex_step st = step_at<rules::dict_end>(b, i, end, s);
    if (st.kind == lexeme::fail) return -1;
    if (st.kind == lexeme::open) ++depth;
    if (st.kind == lexeme::close && --depth == 0) return i;
    i = st.next;
  }
  return -1;
}

page_kind page_type_after(const u8 *b, i32 t, i32 limit) {
  const i32 j = skip_pdf_ws(b, limit, t + kw_len("/Type"));
  const i32 page_end = j + kw_len("/Page");  // past "/Page", where "s" may follow
  if (ll(j) + 1 < limit && b[j] == '/' && ll(page_end) - 1 < limit &&
      std::memcmp(b + j + 1, "Page", kw_len("Page")) == 0) {
    if (page_end >= limit || !is_alnum(b[page_end])) return page_kind_page;
    if (b[page_end] == 's')
      return (page_end + 1 >= limit || !is_alnum(b[page_end + 1])) ? page_kind_pages : page_kind_other;
    return page_kind_other;
  }
  return page_kind_undecided;
}

page_kind obj_type(const doc &d, const obj_rec &o) {
  const span r = dict_span(d, o);
  if (!r) return page_kind_other;
  // One walk for every /Type: a later /Type keeps the walk's nesting
  // depth, so a /Type inside a nested dictionary is never taken.
  type_match m;
  walk_own_level(r.b, r.start, r.limit, "Type", plain_skips{r.b}, m);
  return m.type;
}

namespace {

i32 parse_with(const u8 *b, i32 len, i32 *cursor, bool plus_ok) {
  const i32 p = *cursor;
  if (p < 0 || p >= len) return -1;
  const int_token t = read_int_token(b, len, skip_pdf_ws(b, len, p), plus_ok);
  if (!t.ok) return -1;
  *cursor = t.end;
  return wrapped_value(b, t);
}

}  // namespace

i32 parse_int_at(const u8 *b, i32 len, i32 *cursor) { return parse_with(b, len, cursor, false); }
i32 parse_signed_at(const u8 *b, i32 len, i32 *cursor) { return parse_with(b, len, cursor, true); }

bool parse_real_at(const u8 *b, i32 len, i32 *cursor, double *out) {
  i32 p = *cursor;
  if (p < 0 || p >= len) return false;
  p = skip_pdf_ws(b, len, p);
  bool neg = false;
  if (p < len && (b[p] == '-' || b[p] == '+')) neg = b[p++] == '-';
  // The digits as one integer and the count of those after the point, so
  // that "595.275591" is the nearest double to it.
  double whole = 0;
  long long frac = 0;
  int frac_digits = 0;
  bool digits = false;
  while (p < len && is_digit(b[p])) {
    whole = whole * 10 + (b[p++] - '0');
    digits = true;
  }
  if (p < len && b[p] == '.') {
    ++p;
    while (p < len && is_digit(b[p])) {
      if (frac_digits < 17) {
        frac = frac * 10 + (b[p] - '0');
        ++frac_digits;
      }
      ++p;
      digits = true;
    }
  }
  if (!digits) return false;
  double scale = 1;
  for (int k = 0; k < frac_digits; ++k) scale *= 10;
  const double v = whole + static_cast<double>(frac) / scale;
  *cursor = p;
  *out = neg ? -v : v;
  return true;
}

i32 reference_end(const u8 *b, i32 limit, i32 c, i32 number) {
  if (number <= 0) return -1;
  i32 i = c;
  if (i >= limit || !is_pdf_ws(b[i])) return -1;
  while (i < limit && is_pdf_ws(b[i])) ++i;
  if (i >= limit || !is_digit(b[i])) return -1;
  while (i < limit && is_digit(b[i])) ++i;
  while (i < limit && is_pdf_ws(b[i])) ++i;
  if (i >= limit || b[i] != 'R') return -1;
  ++i;
  return (i == limit || !is_alnum(b[i])) ? i : -1;
}

i32 listed_reference(const u8 *b, i32 limit, i32 p, i32 *num) {
  *num = parse_int_at(b, limit, &p);
  p = skip_pdf_ws(b, limit, p);
  if (p < limit && is_digit(b[p])) parse_int_at(b, limit, &p);
  p = skip_pdf_ws(b, limit, p);
  if (p < limit && b[p] == 'R') ++p;
  return skip_pdf_ws(b, limit, p);
}

i32 obj_keyword_pos(const u8 *b, i32 len, i32 hdr_off) {
  i32 c = hdr_off;
  parse_int_at(b, len, &c);
  c = skip_pdf_ws(b, len, c);
  if (c < len && is_digit(b[c])) parse_int_at(b, len, &c);
  return skip_pdf_ws(b, len, c);
}

}  // namespace lt
