// Byte-scanning primitives. The library has no tokenizer: every stage finds
// what it needs with these few searches over a byte buffer with an explicit
// length. They never read outside the buffer, never allocate, and report
// "nothing found" as -1 (or 0 for truth values and type codes).
#include <cstring>

#include "internal.h"

namespace lt {

namespace {
inline long long ll(i32 v) { return static_cast<long long>(v); }
}  // namespace

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
    if (std::memcmp(b + i, kw, static_cast<size_t>(n)) != 0) continue;
    if (i > 0 && is_alnum(b[i - 1])) continue;
    if (i + n < len && is_alnum(b[i + n])) continue;
    return i;
  }
  return -1;
}

int kw_at(const u8 *b, i32 p, i32 len, const char *kw) {
  const i32 n = static_cast<i32>(std::strlen(kw));
  if (p < 0 || ll(p) + n > len) return 0;
  if (std::memcmp(b + p, kw, static_cast<size_t>(n)) != 0) return 0;
  if (p > 0 && is_alnum(b[p - 1])) return 0;
  if (p + n == len) return 1;
  return is_alnum(b[p + n]) ? 0 : 1;
}

i32 find_name(const u8 *b, i32 len, i32 start, i32 end, const char *name) {
  const i32 n = static_cast<i32>(std::strlen(name));
  const i32 limit = end < len ? end : len;
  if (start < 0) start = 0;
  for (i32 i = start; ll(i) + n + 1 <= limit; ++i) {
    const void *hit = std::memchr(b + i, '/', static_cast<size_t>(limit - n - i));
    if (!hit) return -1;
    i = static_cast<i32>(static_cast<const u8 *>(hit) - b);
    if (std::memcmp(b + i + 1, name, static_cast<size_t>(n)) != 0) continue;
    if (i + n + 1 == limit || !is_name_cont(b[i + n + 1])) return i;
  }
  return -1;
}

i32 literal_string_close(const u8 *b, i32 i, i32 limit) {
  if (i + 1 >= limit) return -1;
  int nest = 1;
  for (++i; i < limit; ++i) {
    if (b[i] == '\\') {
      if (++i >= limit) return -1;  // an escape in the last byte
    } else if (b[i] == '(') {
      ++nest;
    } else if (b[i] == ')' && --nest == 0) {
      return i;
    }
  }
  return -1;
}

i32 top_scan::next(const char *name) {
  const i32 n = static_cast<i32>(std::strlen(name));
  while (i < limit) {
    const u8 c = b[i];
    if (c == '%') {
      while (i < limit && b[i] != '\r' && b[i] != '\n') ++i;
      if (i >= limit) return -1;
      ++i;
    } else if (c == '(') {
      const i32 close = literal_string_close(b, i, limit);
      if (close < 0) return -1;
      i = close + 1;
    } else if (c == '<') {
      if (i + 1 >= limit) return -1;
      if (b[i + 1] == '<') {
        ++depth;
        i += 2;
      } else {
        const void *gt = std::memchr(b + i + 1, '>', static_cast<size_t>(limit - i - 1));
        if (!gt) return -1;
        i = static_cast<i32>(static_cast<const u8 *>(gt) - b) + 1;
      }
    } else if (c == '>') {
      if (i + 1 >= limit) return -1;
      if (b[i + 1] == '>') {
        if (depth > 0) --depth;
        i += 2;
      } else {
        ++i;
      }
    } else if (c == '/' && depth <= 1 && ll(i) + 1 + n <= limit &&
               std::memcmp(b + i + 1, name, static_cast<size_t>(n)) == 0 &&
               (i + 1 + n == limit || !is_name_cont(b[i + 1 + n]))) {
      return i++;
    } else {
      ++i;
    }
  }
  return -1;
}

i32 find_name_top(const u8 *b, i32 len, i32 start, i32 end, const char *name) {
  top_scan s{b, end < len ? end : len, start < 0 ? 0 : start, 0};
  return s.next(name);
}

i32 find_dict_close(const u8 *b, i32 start, i32 end) {
  int depth = 0;
  i32 i = start < 0 ? 0 : start;
  while (i < end) {
    const u8 c = b[i];
    if (c == '<') {
      if (i + 1 >= end) return -1;
      if (b[i + 1] == '<') {
        ++depth;
        i += 2;
      } else {
        ++i;
      }
    } else if (c == '>') {
      if (i + 1 >= end) return -1;
      if (b[i + 1] == '>') {
        if (--depth == 0) return i;
        i += 2;
      } else {
        ++i;
      }
    } else if (c == '(') {
      const i32 close = literal_string_close(b, i, end);
      if (close < 0 || close + 1 >= end) return -1;
      i = close + 1;
    } else {
      ++i;
    }
  }
  return -1;
}

i32 dict_stream_kw(const u8 *b, i32 len, i32 d) {
  const i32 c = find_dict_close(b, d, len);
  if (c < 0) return -1;
  const i32 p = skip_pdf_ws(b, len, c + 2);
  return kw_at(b, p, len, "stream") ? p : -1;
}

i32 parse_int_at(const u8 *b, i32 len, i32 *cursor) {
  i32 p = *cursor;
  if (p < 0 || p >= len) return -1;
  p = skip_pdf_ws(b, len, p);
  if (p >= len) return -1;
  bool neg = false;
  if (b[p] == '-') {
    neg = true;
    if (++p >= len) return -1;
  }
  std::uint32_t v = 0;
  const i32 first = p;
  while (p < len && is_digit(b[p])) {
    v = v * 10u + static_cast<std::uint32_t>(b[p] - '0');
    ++p;
  }
  if (p == first) return -1;
  *cursor = p;
  if (neg) v = 0u - v;
  return static_cast<i32>(v);
}

bool dict_range(const doc &d, const obj_rec &o, const u8 **buf, i32 *start,
                i32 *limit) {
  if (o.in_objstm) {
    if (!o.body) return false;
    *buf = o.body;
    *start = 0;
    *limit = o.body_len;
    return true;
  }
  if (o.dict_off < 0) return false;
  *buf = d.data;
  *start = o.dict_off;
  *limit = o.stream_kw_off > 0 ? o.stream_kw_off
           : o.endobj_off > 0  ? o.endobj_off
                               : d.len;
  return true;
}

int obj_type(const doc &d, const obj_rec &o) {
  const u8 *b;
  i32 start, limit;
  if (!dict_range(d, o, &b, &start, &limit)) return 0;
  // One scan for every /Type: a later /Type keeps the scan's nesting depth,
  // so a /Type inside a nested dictionary is never taken.
  top_scan scan{b, limit, start, 0};
  i32 t = scan.next("Type");
  while (t >= 0) {
    const i32 j = skip_pdf_ws(b, limit, t + 5);
    if (ll(j) + 1 < limit && b[j] == '/' && ll(j) + 4 < limit &&
        std::memcmp(b + j + 1, "Page", 4) == 0) {
      if (j + 5 >= limit || !is_alnum(b[j + 5])) return 1;
      if (b[j + 5] == 's') {
        return (j + 6 >= limit || !is_alnum(b[j + 6])) ? 2 : 0;
      }
      return 0;
    }
    t = scan.next("Type");
  }
  return 0;
}

}  // namespace lt
