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
// the position past it; -1 when none stands there or it is not closed (out
// is then untouched).
i32 string_bytes(const u8 *b, i32 i, i32 limit, std::string *out);
// The value of a hexadecimal digit, or -1.
int hex_digit(u8 c);

// The string token at i read as string_bytes reads it, without building its
// bytes: each run of bytes that stand for themselves goes to run(from, to),
// each byte that an escape, a line end or a pair of hex digits makes goes to
// one(c), in order. Returns the position past the string, or -1 when none
// stands there or it is not closed (what was offered then stands for
// nothing). Only parentheses, backslashes and CRs of a literal string are
// looked at one by one.
template <typename Run, typename One>
i32 string_scan(const u8 *b, i32 i, i32 limit, Run run, One one) {
  if (i >= limit) return -1;
  if (b[i] == '<') {
    if (i + 1 >= limit || b[i + 1] == '<') return -1;
    const i32 gt = hex_string_close(b, i, limit);
    if (gt < 0) return -1;
    int hi = -1;  // white space and other bytes between the digits are ignored
    for (i32 k = i + 1; k < gt; ++k) {
      const int v = hex_digit(b[k]);
      if (v < 0) continue;
      if (hi < 0) {
        hi = v;
      } else {
        one(static_cast<u8>(hi * 16 + v));
        hi = -1;
      }
    }
    if (hi >= 0) one(static_cast<u8>(hi * 16));
    return gt + 1;
  }
  if (b[i] != '(' || i + 1 >= limit) return -1;
  int nest = 1;
  i32 from = i + 1;  // the run that stands for itself so far
  for (i32 p = from;;) {
    p = next_string_special(b, p, limit, /*line_ends=*/true);
    if (p >= limit) return -1;
    const u8 c = b[p];
    if (c == '(') {
      ++nest;
      ++p;
      continue;
    }
    if (c == ')') {
      if (--nest == 0) {
        run(from, p);
        return p + 1;
      }
      ++p;
      continue;
    }
    run(from, p);
    if (c == '\r') {  // CR and CR LF are one line feed
      one('\n');
      p += (p + 1 < limit && b[p + 1] == '\n') ? 2 : 1;
      from = p;
      continue;
    }
    // A backslash: the byte after it says what it makes.
    if (p + 1 >= limit) return -1;
    const u8 e = b[p + 1];
    p += 2;
    switch (e) {
      case 'n': one('\n'); break;
      case 'r': one('\r'); break;
      case 't': one('\t'); break;
      case 'b': one('\b'); break;
      case 'f': one('\f'); break;
      case '\r':  // a backslash before a line end continues the line
        if (p < limit && b[p] == '\n') ++p;
        break;
      case '\n': break;
      default:
        if (e >= '0' && e <= '7') {
          int v = e - '0';
          for (int k = 0; k < 2 && p < limit && b[p] >= '0' && b[p] <= '7'; ++k) v = v * 8 + (b[p++] - '0');
          one(static_cast<u8>(v & 0xFF));
        } else {
          one(e);  // \( \) \\ and any other byte as itself
        }
    }
    from = p;
  }
}
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
