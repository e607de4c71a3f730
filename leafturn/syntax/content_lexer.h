// SPDX-License-Identifier: MIT
// The tokens of a content stream (a page's drawing instructions), one at a
// time: numbers, names, strings, arrays and dictionaries (each whole, as
// value_end reads it), operators, comments, and inline images, whose data
// is stepped over whole (from "BI" past "EI"). Readers of content (the
// text direction, and what reads images or the transformation in force)
// keep their own operand stacks and act on the operators they know.
//
// The lexer reads a buffer with an explicit length and never past it; it
// allocates nothing. A construct that the end cuts (a string or an array
// not closed) ends the content: the lexer gives `end` and says cut().
#ifndef LEAFTURN_CONTENT_LEXER_H
#define LEAFTURN_CONTENT_LEXER_H

#include "syntax/dict_walk.h"

namespace lt {

enum class content_kind : u8 {
  number,        // an integer or real: value
  name,          // [from, to): the name's bytes after its '/' (#xx kept)
  string,        // [from, to): "( .. )" or "< .. >", delimiters included
  array,         // [from, to): "[ .. ]" whole
  dict,          // [from, to): "<< .. >>" whole
  op,            // [from, to): an operator ("Tj", "cm", "'")
  inline_image,  // [from, to): "BI" past its "EI" (see content_token)
  comment,       // [from, to): '%' up to the line end
  stray,         // [from, to): one ')', ']', '>', '{' or '}' that begins nothing
  end,           // the end of the content (or a construct cut by it): [n, n)
};

struct content_token {
  content_kind kind = content_kind::end;
  i32 from = 0, to = 0;
  double value = 0;  // a number's value
  // A string's bytes as string_bytes reads them; for an array, those of the
  // strings directly in it (what a text-showing operator shows, one byte
  // a glyph in a simple font).
  i32 string_bytes = 0;
  // An inline image: its dictionary's entries [dict_from, dict_to) between
  // "BI" and "ID", and its data [data_from, data_to) from the byte after
  // the white space after "ID" to the white space before "EI" (to the end
  // when no "EI" ends it).
  i32 dict_from = 0, dict_to = 0, data_from = 0, data_to = 0;

  // Whether an operator's bytes are `text` ("Tj").
  template <size_t N>
  bool is_op(const u8 *b, const char (&text)[N]) const {
    return kind == content_kind::op && to - from == static_cast<i32>(N - 1) &&
           std::memcmp(b + from, text, N - 1) == 0;
  }
};

class content_lexer {
 public:
  content_lexer(const u8 *b, i32 n) : b_(b), n_(n) {}

  // The next token; `end` from then on at the end.
  content_token next();
  // Whether the content ended inside a construct it could not close.
  bool cut() const { return cut_; }
  // Where the next token is looked for.
  i32 pos() const { return i_; }

 private:
  const u8 *b_;
  i32 n_;
  i32 i_ = 0;
  bool cut_ = false;
};

// Past an inline image's data: past the "EI" that stands alone after the
// first "ID" standing alone at or after i (i just past "BI"), or n when
// there is none. *id and *ei: where those stand (n when they do not).
i32 past_inline_image(const u8 *b, i32 n, i32 i, i32 *id, i32 *ei);

}  // namespace lt

#endif
