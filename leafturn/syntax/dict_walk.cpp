// SPDX-License-Identifier: MIT
// A dictionary's entries, token by token (dict_walk.h).
#include "syntax/dict_walk.h"

#include <cstring>

namespace lt {

int hex_digit(u8 c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

i32 string_end(const u8 *b, i32 i, i32 limit) {
  if (i >= limit) return -1;
  if (b[i] == '(') {
    const i32 c = literal_string_close(b, i, limit);
    return c < 0 ? -1 : c + 1;
  }
  if (b[i] != '<' || i + 1 >= limit || b[i + 1] == '<') return -1;
  const i32 gt = hex_string_close(b, i, limit);
  return gt < 0 ? -1 : gt + 1;
}

i32 value_end(const u8 *b, i32 i, i32 limit) {
  int depth = 0;
  do {
    i = skip_space(b, i, limit);
    if (i >= limit) return -1;
    const u8 c = b[i];
    if (c == '(' || (c == '<' && i + 1 < limit && b[i + 1] != '<')) {
      i = string_end(b, i, limit);
      if (i < 0) return -1;
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
      if (i == start) {
        ++i;  // a stray ')', '{' or '}'
      } else if (depth == 0 && is_digit(b[start])) {
        // "N G R" is one value.
        i32 c = start;
        const i32 num = parse_int_at(b, limit, &c);
        const i32 r = c == i ? reference_end(b, limit, i, num) : -1;
        if (r >= 0) i = r;
      }
    }
  } while (depth > 0);
  return i;
}

i32 name_text(const u8 *b, i32 i, i32 limit, std::string *out) {
  out->clear();
  for (++i; i < limit && !is_pdf_ws(b[i]) && !is_delimiter(b[i]); ++i) {
    if (b[i] == '#' && i + 2 < limit && hex_digit(b[i + 1]) >= 0 && hex_digit(b[i + 2]) >= 0) {
      *out += static_cast<char>(hex_digit(b[i + 1]) * 16 + hex_digit(b[i + 2]));
      i += 2;
    } else {
      *out += static_cast<char>(b[i]);
    }
  }
  return i;
}

i32 integer_value(const u8 *b, i32 from, i32 to) {
  i32 c = skip_space(b, from, to);
  if (c >= to || !is_digit(b[c])) return -1;
  const i32 v = parse_int_at(b, to, &c);
  return skip_space(b, c, to) == to ? v : -1;
}

bool is_name_value(const u8 *b, i32 from, i32 to, const char *name) {
  const i32 n = static_cast<i32>(std::strlen(name));
  from = skip_space(b, from, to);
  return from < to && b[from] == '/' && to - from - 1 >= n && name_at(b, from, to, name, n) &&
         skip_space(b, from + 1 + n, to) == to;
}

bool is_null_value(const u8 *b, i32 from, i32 to) {
  from = skip_space(b, from, to);
  return kw_at(b, from, to, "null") && skip_space(b, from + kw_len("null"), to) == to;
}

i32 reference_value(const u8 *b, i32 from, i32 to) {
  i32 c = skip_space(b, from, to);
  if (c >= to || !is_digit(b[c])) return -1;
  const i32 num = parse_int_at(b, to, &c);
  const i32 r = reference_end(b, to, c, num);
  return (r >= 0 && skip_space(b, r, to) == to) ? num : -1;
}

i32 string_bytes(const u8 *b, i32 i, i32 limit, std::string *out) {
  std::string bytes;
  const i32 end = string_scan(
      b, i, limit,
      [&](i32 from, i32 to) { bytes.append(reinterpret_cast<const char *>(b + from), static_cast<size_t>(to - from)); },
      [&](u8 c) { bytes += static_cast<char>(c); });
  if (end >= 0) out->swap(bytes);
  return end;
}

}  // namespace lt
