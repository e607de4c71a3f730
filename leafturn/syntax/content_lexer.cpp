// SPDX-License-Identifier: MIT
// The tokens of a content stream (content_lexer.h).
#include "syntax/content_lexer.h"

namespace lt {

namespace {

// Whether the two bytes at i are the keyword kw ("ID", "EI") with white
// space before them and white space or the end after them.
inline bool inline_keyword_at(const u8 *b, i32 n, i32 i, u8 first, u8 second) {
  return b[i] == first && b[i + 1] == second && is_pdf_ws(b[i - 1]) && (i + 2 >= n || is_pdf_ws(b[i + 2]));
}

// The bytes of the string token at i as string_bytes reads them, into *n;
// past it, or -1 when it is not closed.
inline i32 measured_string(const u8 *b, i32 i, i32 limit, i32 *n) {
  i32 count = 0;
  const i32 e = string_scan(
      b, i, limit, [&](i32 from, i32 to) { count += to - from; }, [&](u8) { ++count; });
  *n = count;
  return e;
}

// value_end's walk over the array or dictionary that opens at i, with the
// bytes of the strings directly in it added up into *bytes.
i32 container_end(const u8 *b, i32 i, i32 limit, i32 *bytes) {
  int depth = 0;
  *bytes = 0;
  do {
    i = skip_space(b, i, limit);
    if (i >= limit) return -1;
    const u8 c = b[i];
    if (c == '(' || (c == '<' && i + 1 < limit && b[i + 1] != '<')) {
      i32 n = 0;
      i = measured_string(b, i, limit, &n);
      if (i < 0) return -1;
      if (depth == 1) *bytes += n;
    } else if (c == '<' || c == '[') {
      ++depth;
      i += c == '<' ? 2 : 1;
    } else if (c == '>' || c == ']') {
      if (depth == 0) return -1;
      if (c == '>' && (i + 1 >= limit || b[i + 1] != '>')) return -1;
      --depth;
      i += c == '>' ? 2 : 1;
    } else if (c == '/') {
      i = token_end(b, i + 1, limit);
    } else {
      const i32 start = i;
      i = token_end(b, i, limit);
      if (i == start) ++i;  // a stray ')', '{' or '}'
    }
  } while (depth > 0);
  return i;
}

}  // namespace

i32 past_inline_image(const u8 *b, i32 n, i32 i, i32 *id, i32 *ei) {
  *id = *ei = n;
  // i is past "BI", so b[i - 1] is always there.
  for (; i + 1 < n; ++i)
    if (inline_keyword_at(b, n, i, 'I', 'D')) break;
  if (i + 1 < n) *id = i;
  for (i += kw_len("ID") + 1; i + 1 < n; ++i)
    if (inline_keyword_at(b, n, i, 'E', 'I')) {
      *ei = i;
      return i + 2;
    }
  return n;
}

content_token content_lexer::next() {
  content_token t;
  const u8 *b = b_;
  const i32 n = n_;
  i32 i = i_;
  while (i < n && is_pdf_ws(b[i])) ++i;
  t.from = i;
  if (i >= n) {
    t.from = t.to = i_ = n;
    return t;
  }
  const u8 c = b[i];
  switch (c) {
    case '%': {
      const i32 e = comment_end(b, i, n);
      t.kind = content_kind::comment;
      t.to = i_ = e < 0 ? n : e;
      return t;
    }
    case '/':
      t.kind = content_kind::name;
      t.from = i + 1;
      t.to = i_ = token_end(b, i + 1, n);
      return t;
    case '(':
    case '<':
    case '[': {
      const bool string = c == '(' || (c == '<' && !(i + 1 < n && b[i + 1] == '<'));
      const i32 e = string ? measured_string(b, i, n, &t.string_bytes) : container_end(b, i, n, &t.string_bytes);
      if (e < 0) {
        cut_ = true;
        t.from = t.to = i_ = n;
        return t;
      }
      t.kind = string ? content_kind::string : c == '[' ? content_kind::array : content_kind::dict;
      t.to = i_ = e;
      return t;
    }
    default:
      break;
  }
  if (is_digit(c) || c == '-' || c == '+' || c == '.') {
    i32 e = i;
    if (parse_real_at(b, n, &e, &t.value) && e > i) {
      t.kind = content_kind::number;
      t.to = i_ = e;
      return t;
    }
  }
  if (is_delimiter(c)) {  // a stray ')', ']', '>', '{' or '}'
    t.kind = content_kind::stray;
    t.to = i_ = i + 1;
    return t;
  }
  const i32 e = token_end(b, i, n);
  t.to = e;
  if (e - i == kw_len("BI") && c == 'B' && b[i + 1] == 'I') {
    i32 id = n, ei = n;
    t.kind = content_kind::inline_image;
    t.to = i_ = past_inline_image(b, n, e, &id, &ei);
    t.dict_from = e;
    t.dict_to = id;
    // The data starts past "ID" and the one white-space byte after it.
    const i32 data = id + kw_len("ID") + 1;
    t.data_from = data < t.to ? data : t.to;
    // The data ends at the white space before "EI".
    t.data_to = ei == n ? t.to : ei - 1 > t.data_from ? ei - 1 : t.data_from;
    return t;
  }
  t.kind = content_kind::op;
  i_ = e;
  return t;
}

}  // namespace lt
