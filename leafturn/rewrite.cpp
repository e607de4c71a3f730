// Page dictionary rewriting: the page's own /Rotate entry (at the
// dictionary's own level) is taken out whole, value token included, and a new
// entry is placed right before the closing ">>". Every other byte stays.
#include <cstdio>

#include "internal.h"

namespace lt {

namespace {

bool is_delimiter(u8 c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' ||
         c == '{' || c == '}' || c == '/' || c == '%';
}

struct entry {
  i32 from = -1;
  i32 to = -1;
};

// The own /Rotate entry in [from, limit): from its '/' to the end of its
// value (through the "R" of a reference, through ".0" of a real). Absent
// when no integer follows the name.
entry find_rotate_entry(const u8 *b, i32 len, i32 from, i32 limit) {
  entry e;
  const i32 pos = find_name_top(b, len, from, limit, "Rotate");
  if (pos < 0) return e;
  i32 v = pos + 7;
  while (v < limit && is_pdf_ws(b[v])) ++v;
  const i32 at = v;
  parse_int_at(b, len, &v);
  if (v == at) return e;
  // A reference "N G R" goes whole.
  i32 r = v;
  if (r < limit && is_pdf_ws(b[r])) {
    while (r < limit && is_pdf_ws(b[r])) ++r;
    if (r < limit && is_digit(b[r])) {
      while (r < limit && is_digit(b[r])) ++r;
      while (r < limit && is_pdf_ws(b[r])) ++r;
      if (r < limit && b[r] == 'R' && (r + 1 == limit || !is_alnum(b[r + 1]))) v = r + 1;
    }
  }
  // The rest of the value token ("90.0").
  while (v < limit && !is_pdf_ws(b[v]) && !is_delimiter(b[v])) ++v;
  e.from = pos;
  e.to = v;
  return e;
}

// Copies [from, to) without the entry.
void copy_without(std::string &out, const u8 *b, i32 from, i32 to, const entry &e) {
  auto put = [&](i32 a, i32 z) {
    if (z > a) out.append(reinterpret_cast<const char *>(b + a), static_cast<size_t>(z - a));
  };
  if (e.from < 0 || e.from >= to || e.to <= from) {
    put(from, to);
    return;
  }
  put(from, e.from);
  put(e.to, to);
}

void append_rotate(std::string &out, i32 rotation) {
  char num[32];
  std::snprintf(num, sizeof num, "/Rotate %ld ", static_cast<long>(rotation));
  out += num;
  out += ">>";
}

}  // namespace

std::string rebuild_dict_with_rotate(const u8 *b, i32 len, i32 start, i32 end,
                                     i32 rotation) {
  i32 close = find_dict_close(b, start, end);
  if (close < 0) close = end - 2;
  const entry e = find_rotate_entry(b, len, start, end);
  std::string out;
  out.reserve(static_cast<size_t>(end - start) + 48);
  copy_without(out, b, start, close, e);
  append_rotate(out, rotation);
  if (close + 2 < end)
    out.append(reinterpret_cast<const char *>(b + close + 2), static_cast<size_t>(end - close - 2));
  return out;
}

std::unique_ptr<std::string> rebuild_body_with_rotate(const u8 *body, i32 len,
                                                      i32 rotation) {
  if (!body || len < 2) return nullptr;
  i32 last = -1;
  for (i32 j = 0; j + 1 < len;) {
    if (body[j] == '>' && body[j + 1] == '>') {
      last = j;
      j += 2;
    } else {
      ++j;
    }
  }
  if (last < 0) return nullptr;
  const entry e = find_rotate_entry(body, len, 0, last);
  auto out = std::make_unique<std::string>();
  out->reserve(static_cast<size_t>(len) + 48);
  copy_without(*out, body, 0, last, e);
  append_rotate(*out, rotation);
  return out;
}

}  // namespace lt
