// SPDX-License-Identifier: MIT
// A dictionary's entries, value by value (over the lexical layer's tokens,
// comments and strings): for what reads whole values
// rather than searching for one name (the document information, the
// cross-reference data, the trailer an update copies). Plain scans over a
// buffer with an explicit limit; nothing allocates but the name texts.
#ifndef LEAFTURN_DICT_WALK_H
#define LEAFTURN_DICT_WALK_H

#include <string>

#include "syntax/lex.h"

namespace lt {

// The bytes of the string token at i (escapes resolved, line ends as line
// feeds; hex digits paired, an odd last one followed by 0) into out, and
// the position past it; -1 when none stands there or it is not closed.
i32 string_bytes(const u8 *b, i32 i, i32 limit, std::string *out);
// The value of a hexadecimal digit, or -1.
int hex_digit(u8 c);
// Past the string token at i ("(..)" with nesting and escapes, or "<..>"
// not "<<"), or -1 when none stands there or it is not closed.
i32 string_end(const u8 *b, i32 i, i32 limit);
// Past the one value at i: a dictionary, array or string whole, a
// reference "N G R" whole, else one token. -1 when it is cut by the limit,
// or a closing ">>" or "]" stands at i.
i32 value_end(const u8 *b, i32 i, i32 limit);
// The text of the name at i (a '/'), #xx escapes resolved; past it.
i32 name_text(const u8 *b, i32 i, i32 limit, std::string *out);

// One entry of a dictionary: its key's '/' and text, its value [from, to).
struct dict_entry {
  i32 key = 0;
  std::string name;
  i32 from = 0, to = 0;
};
// Offers each top-level entry of the dictionary opened by the "<<" at open
// to each(entry). Returns just past its closing ">>", or -1 when it is cut
// or holds something that is not an entry (the entries before stand).
template <typename Each>
i32 for_each_entry(const u8 *b, i32 open, i32 limit, Each each) {
  if (open + 1 >= limit || b[open] != '<' || b[open + 1] != '<') return -1;
  dict_entry e;
  for (i32 i = open + 2;;) {
    i = skip_space(b, i, limit);
    if (i + 1 < limit && b[i] == '>' && b[i + 1] == '>') return i + 2;
    if (i >= limit || b[i] != '/') return -1;
    e.key = i;
    i = name_text(b, i, limit, &e.name);
    e.from = skip_space(b, i, limit);
    e.to = value_end(b, e.from, limit);
    if (e.to < 0) return -1;
    each(e);
    i = e.to;
  }
}

// The integer that [from, to) holds as its only token ("12"), or -1.
i32 integer_value(const u8 *b, i32 from, i32 to);
// Whether [from, to) is the name `name` ("/Sig").
bool is_name_value(const u8 *b, i32 from, i32 to, const char *name);
// Whether [from, to) is the keyword null, which stands for an absent value.
bool is_null_value(const u8 *b, i32 from, i32 to);
// The object number of the reference "N G R" that [from, to) holds, or -1.
i32 reference_value(const u8 *b, i32 from, i32 to);

}  // namespace lt

#endif
