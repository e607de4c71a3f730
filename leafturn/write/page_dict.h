// SPDX-License-Identifier: MIT
// Page dictionary rewriting: a page's own /Rotate entry (at the
// dictionary's own level) taken out whole and a new one placed before the
// closing ">>"; every other byte stays. Both outputs rewrite pages this way.
#ifndef LEAFTURN_PAGE_DICT_H
#define LEAFTURN_PAGE_DICT_H

#include "load/loader.h"

namespace lt {

// A planned rewrite: the bytes [start, close) less the old entry
// [cut_from, cut_to), then "/Rotate r >>", then [close + 2, end).
struct dict_edit {
  const u8 *b = nullptr;
  i32 start = 0, close = 0, end = 0, cut_from = -1, cut_to = -1;
  i32 rotation = 0;
  // The new entry "/Rotate r >>" into buf (room for 40 bytes); its length.
  int write_entry(char *buf) const;
  // The rewrite in order: kept(from, to) for each range of b that stays
  // (from >= to: nothing), and the new entry among them as entry(text, n).
  template <typename Kept, typename Entry>
  void each_part(Kept kept, Entry entry) const {
    if (cut_from < 0 || cut_from >= close || cut_to <= start) {
      kept(start, close);
    } else {
      kept(start, cut_from);
      kept(cut_to, close);
    }
    char buf[40];
    entry(buf, static_cast<size_t>(write_entry(buf)));
    if (close + 2 < end) kept(close + 2, end);
  }
  size_t size() const {
    size_t n = 0;
    each_part([&](i32 a, i32 z) { n += z > a ? static_cast<size_t>(z - a) : 0; },
              [&](const char *, size_t k) { n += k; });
    return n;
  }
};
// A direct object's dictionary [start, end) with its closing ">>" at close
// (-1: none) and its first own /Rotate at name_pos (-1: none).
dict_edit plan_dict_edit(const u8 *b, i32 len, i32 start, i32 end, i32 close, i32 name_pos,
                         i32 rotation);
// Where an object stream member is written from when it becomes a plain
// object: past the comments that some writers put before a member (a label
// naming it), which would stand between "obj" and the dictionary, where
// the object scan does not look past them; 0 when none comes first.
i32 member_start(const u8 *body, i32 len);
// An object stream member's body, its first own /Rotate at name_pos (-1:
// none). False when the body cannot be rewritten (shorter than 2 bytes, no
// ">>").
bool plan_body_edit(const u8 *body, i32 len, i32 name_pos, i32 rotation, dict_edit *edit);

}  // namespace lt

#endif
