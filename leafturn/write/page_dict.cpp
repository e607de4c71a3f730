// SPDX-License-Identifier: MIT
// Page dictionary rewriting: the page's own /Rotate entry (at the
// dictionary's own level) is taken out whole, value token included, and a new
// entry is placed right before the closing ">>". Every other byte stays.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "syntax/dict_walk.h"
#include "syntax/digits.h"
#include "syntax/value.h"
#include "write/page_dict.h"

namespace lt {

namespace {

struct entry {
  i32 from = -1;
  i32 to = -1;
};

// The entry whose name stands at pos (-1: none): from its '/' to the end of
// its value (through the "R" of a reference, through ".0" of a real).
// Absent when no integer follows the name.
entry rotate_entry_at(const u8 *b, i32 len, i32 pos, i32 limit) {
  entry e;
  (void)len;
  if (pos < 0) return e;
  // A reference "N G R" goes whole.
  const rotate_value v = rotate_value_at(b, limit, pos);
  if (!v.present) return e;
  // The rest of the value token ("90.0").
  e.from = pos;
  e.to = token_end(b, v.end, limit);
  return e;
}

// The last ">>" when the body is read forward, each pair of '>' taken
// whole: in a run of k '>' bytes the pairs start at its offsets 0, 2, ...,
// so the last pair of the last run of two or more decides. Found from the
// end.
i32 last_close(const u8 *body, i32 len) {
  i32 e = len - 1;
  while (e >= 1) {
    if (body[e] != '>') {
      --e;
      continue;
    }
    i32 s = e;
    while (s > 0 && body[s - 1] == '>') --s;
    const i32 run = e - s + 1;
    if (run >= 2) return s + 2 * (run / 2 - 1);
    e = s - 1;
  }
  return -1;
}

// "/Rotate r >>" into buf (room for 40 bytes); returns its length.
int new_entry(char *buf, size_t, i32 rotation) {
  std::memcpy(buf, "/Rotate ", kw_len("/Rotate "));
  const int n = kw_len("/Rotate ") + static_cast<int>(put_decimal(buf + kw_len("/Rotate "), rotation));
  std::memcpy(buf + n, " >>", kw_len(" >>"));
  return n + kw_len(" >>");
}

}  // namespace

int dict_edit::write_entry(char *buf) const { return new_entry(buf, 40, rotation); }

dict_edit plan_dict_edit(const u8 *b, i32 len, i32 start, i32 end, i32 close, i32 name_pos,
                         i32 rotation) {
  if (close < 0) close = end - 2;  // the last two bytes are taken as ">>"
  const entry e = rotate_entry_at(b, len, name_pos, end);
  return {b, start, close, end, e.from, e.to, rotation};
}

i32 member_start(const u8 *body, i32 len) {
  const i32 first = skip_pdf_ws(body, len, 0);
  if (first >= len || body[first] != '%') return 0;
  return skip_space(body, first, len);
}

bool plan_body_edit(const u8 *body, i32 len, i32 name_pos, i32 rotation, dict_edit *edit) {
  if (!body || len < 2) return false;
  const i32 start = member_start(body, len);
  const i32 last = last_close(body, len);
  if (last < 0) return false;
  // The first own /Rotate of the body counts when it lies before the last
  // ">>" (the search stops there).
  if (name_pos >= 0 && (name_pos + kw_len("/Rotate") > last || name_pos < start)) name_pos = -1;
  const entry e = rotate_entry_at(body, len, name_pos, last);
  if (last < start) return false;
  *edit = {body, start, last, last + 2, e.from, e.to, rotation};
  return true;
}

}  // namespace lt
