// SPDX-License-Identifier: MIT
// The lexical layer. Objects have no tokenizer: every stage finds what it
// needs by scanning bytes (content streams, read token by token, have their
// lexer in content_lexer.h, built on these rules). The rules of that scanning (byte classes,
// comments, literal and hex strings, nested dictionaries, where a name ends,
// what an integer or a reference looks like) are written here once, and
// every search is built from them:
//  - plain searches over any buffer with an explicit length, which never
//    allocate and report "nothing found" as -1 (or 0 for truth values);
//  - scan_ctx (lex_memo.cpp), the questions the loader and the writer ask
//    of one file image, answered with exactly the plain searches' results,
//    from memos where asking again would cost quadratic time.
#ifndef LEAFTURN_LEX_H
#define LEAFTURN_LEX_H

#include <cstring>
#include <memory>
#include <string>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "doc.h"

namespace lt {

// ---- what of a record is scanned ------------------------------------------

// A byte range [start, limit) of one buffer.
struct span {
  const u8 *b = nullptr;
  i32 start = 0;
  i32 limit = 0;
  explicit operator bool() const { return b != nullptr; }
};

// The dictionary range of a record: an object stream member's whole body;
// else from its "<<" to its "stream" keyword, its "endobj" or the end of the
// file. Empty when it has no dictionary.
span dict_span(const doc &d, const obj_rec &o);
// The text searched for /Catalog and /Pages: as dict_span, but through the
// stream data up to "endobj".
span object_text(const doc &d, const obj_rec &o);
// What a plain object holds: the body of an object stream member; else its
// bytes between "obj" and "endobj". Empty for a stream, or when the header
// or "endobj" is missing.
span object_content(const doc &d, const obj_rec &o);
// What the reference "num G R" leads to when a number is wanted: the
// content of the live plain object num (object_content), empty when it is
// missing or a stream. How the number is read from it is each value's own
// rule. (The object scan follows /Length references before live objects
// are chosen, through its own index of first copies.)
span referenced_content(const doc &d, i32 num);
// A direct stream's dictionary: from its "<<" to its "stream" keyword (or
// the end of the file).
span stream_dict(const doc &d, const obj_rec &o);


// ---- byte classes ---------------------------------------------------------

// Two white-space classes, each the rule of the stages that use it: the
// format's white space (NUL, TAB, LF, FF, CR, space) between tokens, and
// the text white space (TAB, LF, VT, FF, CR, space: NUL is not, VT is)
// that the object scan reads around an object header's numbers and before
// "endstream", as the C library's isspace does. A file whose headers hold
// a NUL or a VT is read differently by the two, so they stay two.
namespace byte_class {
enum : u8 { digit = 1, letter = 2, name_extra = 4, text_ws = 8, pdf_ws = 16, delimiter = 32 };
struct table {
  u8 of[256];
};
constexpr table make() {
  table t{};
  for (int c = 0; c < 256; ++c) {
    u8 k = 0;
    if (c >= '0' && c <= '9') k |= digit;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) k |= letter;
    if (c == '+' || c == '-' || c == '_') k |= name_extra;
    if ((c >= 9 && c <= 13) || c == 32) k |= text_ws;
    if (c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32) k |= pdf_ws;
    if (c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
        c == '}' || c == '/' || c == '%')
      k |= delimiter;
    t.of[c] = k;
  }
  return t;
}
inline constexpr table classes = make();
}  // namespace byte_class

inline bool is_pdf_ws(u8 c) { return (byte_class::classes.of[c] & byte_class::pdf_ws) != 0; }
inline bool is_text_ws(u8 c) { return (byte_class::classes.of[c] & byte_class::text_ws) != 0; }
inline bool is_digit(u8 c) { return c >= '0' && c <= '9'; }
inline bool is_alnum(u8 c) {
  return (byte_class::classes.of[c] & (byte_class::digit | byte_class::letter)) != 0;
}
inline bool is_name_cont(u8 c) {
  return (byte_class::classes.of[c] &
          (byte_class::digit | byte_class::letter | byte_class::name_extra)) != 0;
}
inline i32 skip_pdf_ws(const u8 *b, i32 len, i32 p) {
  while (p < len && is_pdf_ws(b[p])) ++p;
  return p;
}
// The length of a keyword or name written in the code ("startxref": 9).
template <size_t N>
constexpr i32 kw_len(const char (&)[N]) {
  return static_cast<i32>(N - 1);
}

// The format's delimiters: ( ) < > [ ] { } / %.
inline bool is_delimiter(u8 c) {
  return (byte_class::classes.of[c] & byte_class::delimiter) != 0;
}

// ---- tokens, comments and strings -----------------------------------------

// The end of the regular token (name text, number, keyword) that starts at
// i: the first white space or delimiter at or after i.
inline i32 token_end(const u8 *b, i32 i, i32 limit) {
  while (i < limit && !is_pdf_ws(b[i]) && !is_delimiter(b[i])) ++i;
  return i;
}
// The line end (CR or LF) that ends the comment whose '%' is at i, or -1
// when none comes before limit.
inline i32 comment_end(const u8 *b, i32 i, i32 limit) {
  for (i32 q = i + 1; q < limit; ++q)
    if (b[q] == '\r' || b[q] == '\n') return q;
  return -1;
}
// The '>' that closes the hex string opened by the '<' at i, or -1.
inline i32 hex_string_close(const u8 *b, i32 i, i32 limit) {
  if (i + 1 >= limit) return -1;
  const void *gt = std::memchr(b + i + 1, '>', static_cast<size_t>(limit - i - 1));
  return gt ? static_cast<i32>(static_cast<const u8 *>(gt) - b) : -1;
}
// Past white space and comments (a comment cut by the limit runs to it).
inline i32 skip_space(const u8 *b, i32 i, i32 limit) {
  for (;;) {
    i = skip_pdf_ws(b, limit, i);
    if (i >= limit || b[i] != '%') return i;
    const i32 e = comment_end(b, i, limit);
    if (e < 0) return limit;
    i = e;
  }
}

// ---- the walk over a dictionary's bytes ------------------------------------

// Two rule sets. At a dictionary's own level (where /Type and /Rotate are
// looked for) comments, literal strings and hex strings are skipped; where
// the end of a dictionary is found only literal strings are, and '%' and a
// single '<' are ordinary bytes.
enum class rules { own_level, dict_end };

enum class lexeme {
  byte,   // anything to step over (a whole comment or string included)
  open,   // "<<"
  close,  // ">>"
  slash,  // '/', at i
  fail,   // the limit cuts a construct: the walk ends with nothing found
};

struct lex_step {
  lexeme kind;
  i32 next;  // where the walk goes on
};

// The ')' that closes the literal string opened by the '(' at i (nesting,
// backslash escapes), or -1 when it is not closed before limit.
i32 literal_string_close(const u8 *b, i32 i, i32 limit);

// How a walk crosses what it skips: plain searches, or memo lookups over the
// file image (lex_memo.cpp). Each answers for a construct starting at i.
struct plain_skips {
  const u8 *b;
  i32 line_end(i32 i, i32 limit) const { return comment_end(b, i, limit); }
  i32 string_close(i32 i, i32 limit) const { return literal_string_close(b, i, limit); }
  i32 hex_close(i32 i, i32 limit) const { return hex_string_close(b, i, limit); }
};

// One step of a walk from i (below limit) under rule set R.
template <rules R, typename Skips>
inline lex_step step_at(const u8 *b, i32 i, i32 limit, const Skips &s) {
  switch (b[i]) {
    case '%':
      if (R == rules::own_level) {
        const i32 e = s.line_end(i, limit);
        if (e < 0 || e >= limit) return {lexeme::fail, limit};
        return {lexeme::byte, e + 1};  // the line end is stepped over too
      }
      break;
    case '(': {
      if (i + 1 >= limit) return {lexeme::fail, limit};
      const i32 c = s.string_close(i, limit);
      if (c < 0 || c + 1 >= limit) return {lexeme::fail, limit};
      return {lexeme::byte, c + 1};
    }
    case '<':
      if (i + 1 >= limit) return {lexeme::fail, limit};
      if (b[i + 1] == '<') return {lexeme::open, i + 2};
      if (R == rules::own_level) {
        const i32 g = s.hex_close(i, limit);
        if (g < 0 || g >= limit) return {lexeme::fail, limit};
        return {lexeme::byte, g + 1};
      }
      break;
    case '>':
      if (i + 1 >= limit) return {lexeme::fail, limit};
      if (b[i + 1] == '>') return {lexeme::close, i + 2};
      break;
    case '/':
      if (R == rules::own_level) return {lexeme::slash, i + 1};
      break;
    default:
      break;
  }
  return {lexeme::byte, i + 1};
}

// ---- the 16-byte scanner ------------------------------------------------------
//
// Every search for a few kinds of byte (the significant bytes of a walk, the
// slashes of a name search, the 'b' of "obj") goes through scan_bytes: with
// SSE2 it tests sixteen bytes with a handful of compares and one movemask,
// and visits only the bytes that match. What it buys, counted with callgrind
// on the benchmark inputs (the command line rotating every page; build with
// -DLEAFTURN_SCALAR to count the byte-by-byte loop): 20,000 pages 131.0 M
// instructions against 206.4 M, the same pages in object streams 149.4 M
// against 208.8 M, the query of their last page 78.5 M against 139.1 M, 200
// pages with 100 MB of images 65.9 M against 607.1 M (the scan for "obj"
// crosses all the image data). Most blocks of sixteen bytes hold no match
// at all.

#if defined(__SSE2__) && !defined(LEAFTURN_SCALAR)
#define LEAFTURN_SCAN16 1
// Sixteen bytes equal to c, as a vector compare operand.
inline __m128i bytes16(char c) { return _mm_set1_epi8(c); }
inline __m128i load16(const u8 *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline unsigned mask16(__m128i hits) { return static_cast<unsigned>(_mm_movemask_epi8(hits)); }
#endif

// Offers each position p in [i, limit) that matches to stop(p), in order,
// and returns the first p for which stop(p) is true, or limit. byte(p) tells
// whether the byte at p matches; block(q), where SSE2 is there, gives the
// matches among the sixteen bytes at q as a bit mask (bit k for q + k) and
// may read `ahead` bytes past them.
template <typename Block, typename Byte, typename Stop>
inline i32 scan_bytes(const u8 *b, i32 i, i32 limit, i32 ahead, Block block, Byte byte,
                      Stop stop) {
#if defined(LEAFTURN_SCAN16)
  for (; static_cast<long long>(i) + 16 + ahead <= limit; i += 16) {
    for (unsigned m = block(b + i); m; m &= m - 1) {
      const i32 p = i + static_cast<i32>(__builtin_ctz(m));
      if (stop(p)) return p;
    }
  }
#else
  (void)b;
  (void)ahead;
  (void)block;
#endif
  for (; i < limit; ++i)
    if (byte(i) && stop(i)) return i;
  return limit;
}

// The next byte at or after i that a walk under R must look at (the others
// are stepped over one by one), or limit.
template <rules R>
inline i32 next_significant(const u8 *b, i32 i, i32 limit) {
  return scan_bytes(
      b, i, limit, 0,
      [](const u8 *q) {
#if defined(LEAFTURN_SCAN16)
        const __m128i x = load16(q);
        __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, bytes16('<')), _mm_cmpeq_epi8(x, bytes16('>'))),
            _mm_cmpeq_epi8(x, bytes16('(')));
        if (R == rules::own_level)
          hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(x, bytes16('%')),
                                               _mm_cmpeq_epi8(x, bytes16('/'))));
        return mask16(hit);
#else
        (void)q;
        return 0u;
#endif
      },
      [&](i32 p) {
        const u8 c = b[p];
        return c == '<' || c == '>' || c == '(' ||
               (R == rules::own_level && (c == '%' || c == '/'));
      },
      [](i32) { return true; });
}

// next_significant<own_level> for a walk that looks for one name: a '/'
// counts only when the name's first byte follows it (any other '/' is
// stepped over without effect), or when it ends the range.
inline i32 next_own_significant(const u8 *b, i32 i, i32 limit, u8 first) {
  return scan_bytes(
      b, i, limit, 1,
      [&](const u8 *q) {
#if defined(LEAFTURN_SCAN16)
        const __m128i x = load16(q), y = load16(q + 1);
        return mask16(_mm_or_si128(
            _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(x, bytes16('<')), _mm_cmpeq_epi8(x, bytes16('>'))),
                _mm_or_si128(_mm_cmpeq_epi8(x, bytes16('(')), _mm_cmpeq_epi8(x, bytes16('%')))),
            _mm_and_si128(_mm_cmpeq_epi8(x, bytes16('/')),
                          _mm_cmpeq_epi8(y, bytes16(static_cast<char>(first))))));
#else
        (void)q;
        return 0u;
#endif
      },
      [&](i32 p) {
        const u8 c = b[p];
        return c == '<' || c == '>' || c == '(' || c == '%' ||
               (c == '/' && (p + 1 >= limit || b[p + 1] == first));
      },
      [](i32) { return true; });
}

// The next byte at or after i (or limit) that a literal string's reading
// must look at: a parenthesis or a backslash, and with line_ends a CR too
// (a reader takes CR and CR LF as one line feed).
inline i32 next_string_special(const u8 *b, i32 i, i32 limit, bool line_ends) {
  return scan_bytes(
      b, i, limit, 0,
      [&](const u8 *q) {
#if defined(LEAFTURN_SCAN16)
        const __m128i x = load16(q);
        __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, bytes16('(')), _mm_cmpeq_epi8(x, bytes16(')'))),
            _mm_cmpeq_epi8(x, bytes16('\\')));
        if (line_ends) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, bytes16('\r')));
        return mask16(hit);
#else
        (void)q;
        return 0u;
#endif
      },
      [&](i32 p) {
        const u8 c = b[p];
        return c == '(' || c == ')' || c == '\\' || (line_ends && c == '\r');
      },
      [](i32) { return true; });
}

// Every position of the byte ch in [i, limit), in order, offered to stop;
// the first for which it is true, or limit.
template <typename Stop>
inline i32 scan_byte(const u8 *b, i32 i, i32 limit, u8 ch, Stop stop) {
  return scan_bytes(
      b, i, limit, 0,
      [&](const u8 *q) {
#if defined(LEAFTURN_SCAN16)
        return mask16(_mm_cmpeq_epi8(load16(q), bytes16(static_cast<char>(ch))));
#else
        (void)q;
        return 0u;
#endif
      },
      [&](i32 p) { return b[p] == ch; }, stop);
}

// Does /name stand at i (a '/'), ending before limit or cut by it?
inline bool name_at(const u8 *b, i32 i, i32 limit, const char *name, i32 n) {
  if (static_cast<long long>(i) + 1 + n > limit) return false;
  // Names are short and most differ early: compared byte by byte.
  for (i32 j = 0; j < n; ++j)
    if (b[i + 1 + j] != static_cast<u8>(name[j])) return false;
  return i + 1 + n == limit || !is_name_cont(b[i + 1 + n]);
}

// skip_nested's answer when the walk should enter the nested dictionary.
constexpr i32 k_descend = -2;

// The walk at a dictionary's own level: from lo with depth 0 ("<<" adds
// one, ">>" takes one away but never below 0), every /name at depth 0 or 1
// is offered to the hooks. A caller starts at the dictionary's "<<", so
// depth 1 is its own level. Hooks (the memos' entry points):
//   at_depth0(i)   true ends the walk (it goes on as another walk would);
//   skip_nested(i) for a "<<" met at depth 1 or more: where to resume after
//                  the whole nested dictionary, -1 to end with nothing
//                  found, or k_descend to enter it;
//   on_match(b, i, limit)  true ends the walk.
// Returns true when a hook ended it.
template <typename Skips, typename Hooks>
bool walk_own_level(const u8 *b, i32 lo, i32 limit, const char *name, const Skips &s,
                    Hooks &h) {
  const i32 n = static_cast<i32>(std::strlen(name));
  int depth = 0;
  i32 i = lo;
  // A '/' not followed by the name's first byte cannot match and changes
  // nothing: such slashes are stepped over (every name looked for has one).
  auto next = [&](i32 from) {
    return n > 0 ? next_own_significant(b, from, limit, static_cast<u8>(name[0]))
                 : next_significant<rules::own_level>(b, from, limit);
  };
  while ((i = next(i)) < limit) {
    if (depth == 0 && h.at_depth0(i)) return true;
    const lex_step st = step_at<rules::own_level>(b, i, limit, s);
    switch (st.kind) {
      case lexeme::fail:
        return false;
      case lexeme::open:
        if (depth >= 1) {
          const i32 r = h.skip_nested(i);
          if (r == -1) return false;
          if (r != k_descend) {
            i = r;
            continue;
          }
        }
        ++depth;
        break;
      case lexeme::close:
        if (depth > 0) --depth;
        break;
      case lexeme::slash:
        if (depth <= 1 && name_at(b, i, limit, name, n) && h.on_match(b, i, limit)) return true;
        break;
      case lexeme::byte:
        break;
    }
    i = st.next;
  }
  return false;
}

// What /Type says of an object for the page tree.
enum page_kind : signed char {
  page_kind_undecided = -1,  // no /Type that decides (yet)
  page_kind_other = 0,       // not a page-tree object
  page_kind_page = 1,        // /Type /Page
  page_kind_pages = 2,       // /Type /Pages
};

// The kind that the value after a /Type at t gives: a page or a node, other
// for another name that begins with "Page" (which decides), or undecided
// when the value is something else and the search goes on.
page_kind page_type_after(const u8 *b, i32 t, i32 limit);

// ---- plain searches ---------------------------------------------------------

i32 find_kw(const u8 *b, i32 len, i32 start, const char *kw);
// The last whole-word occurrence of kw, or -1.
i32 last_kw(const u8 *b, i32 len, const char *kw);
// The '%' that makes the byte at i part of a comment: the first one on its
// line (from the last line end before i, but not before lo) outside literal
// strings begun there; -1 when i is not in a comment.
i32 comment_holding(const u8 *b, i32 lo, i32 i);
// The last whole-word occurrence of kw outside comments, or -1.
i32 last_kw_uncommented(const u8 *b, i32 len, const char *kw);
// Does the keyword kw stand at p as a whole word?
inline int kw_at(const u8 *b, i32 p, i32 len, const char *kw) {
  const i32 n = static_cast<i32>(std::strlen(kw));
  if (p < 0 || static_cast<long long>(p) + n > len) return 0;
  if (std::memcmp(b + p, kw, static_cast<size_t>(n)) != 0) return 0;
  if (p > 0 && is_alnum(b[p - 1])) return 0;
  if (p + n == len) return 1;
  return is_alnum(b[p + n]) ? 0 : 1;
}
i32 find_name(const u8 *b, i32 len, i32 start, i32 end, const char *name);
i32 find_name_top(const u8 *b, i32 len, i32 start, i32 end, const char *name);
i32 find_dict_close(const u8 *b, i32 start, i32 end);
// Where stream data starts after the "stream" keyword at s: past spaces
// and tabs and one line end (LF, CR LF or CR); one byte past the keyword
// when no line end follows it. Both readers of streams (the object scan and
// the cross-reference streams of an update) start data here.
inline i32 stream_data_start(const u8 *b, i32 len, i32 s) {
  const i32 t = s + kw_len("stream");
  if (t >= len) return t;
  i32 e = t;
  while (e < len && (b[e] == ' ' || b[e] == '\t')) ++e;
  if (e < len && b[e] == '\n') return e + 1;
  if (e < len && b[e] == '\r') return (e + 1 < len && b[e + 1] == '\n') ? e + 2 : e + 1;
  return t + 1;
}
// Whether "endstream" stands at p past text white space: where stream data
// that /Length measures must end. The data may run straight into it (no
// line end between), so it need not start a word.
inline bool endstream_at(const u8 *b, i32 len, long long p) {
  if (p < 0 || p >= len) return false;
  i32 q = static_cast<i32>(p);
  while (q < len && is_text_ws(b[q])) ++q;
  return static_cast<long long>(q) + kw_len("endstream") <= len &&
         std::memcmp(b + q, "endstream", static_cast<size_t>(kw_len("endstream"))) == 0;
}
// The "stream" keyword after the ">>" whose first '>' is at c (c < 0:
// none), or -1.
inline i32 stream_kw_after(const u8 *b, i32 len, i32 c) {
  if (c < 0) return -1;
  const i32 p = skip_pdf_ws(b, len, c + 2);
  return kw_at(b, p, len, "stream") ? p : -1;
}
// The page-tree kind of an object: page, pages or other (never undecided).
page_kind obj_type(const doc &d, const obj_rec &o);

// ---- numbers and references -------------------------------------------------

// An optionally signed decimal integer that starts exactly at a position:
// its sign and its digits [first, end).
struct int_token {
  bool ok = false;
  bool neg = false;
  i32 first = 0;
  i32 end = 0;
};
inline int_token read_int_token(const u8 *b, i32 limit, i32 p, bool plus_ok) {
  int_token t;
  if (p >= limit) return t;
  if (b[p] == '-' || (plus_ok && b[p] == '+')) {
    t.neg = b[p] == '-';
    if (++p >= limit) return t;
  }
  t.first = p;
  while (p < limit && is_digit(b[p])) ++p;
  t.end = p;
  t.ok = p > t.first;
  return t;
}
// The token's value in 32-bit arithmetic that wraps on overflow.
inline i32 wrapped_value(const u8 *b, const int_token &t) {
  std::uint32_t w = 0;
  for (i32 i = t.first; i < t.end; ++i) w = w * 10u + static_cast<std::uint32_t>(b[i] - '0');
  return static_cast<i32>(t.neg ? 0u - w : w);
}
// The token's value with its magnitude held at 10^12.
inline long long saturated_value(const u8 *b, const int_token &t) {
  long long s = 0;
  for (i32 i = t.first; i < t.end && s < 1000000000000LL; ++i) s = s * 10 + (b[i] - '0');
  return t.neg ? -s : s;
}

// Skips white space, then reads an integer ('-' only) in wrapping 32-bit
// arithmetic; -1 when there is none, and the cursor moves on success only.
i32 parse_int_at(const u8 *b, i32 len, i32 *cursor);
// As parse_int_at, accepting a leading '+' too (object stream headers).
i32 parse_signed_at(const u8 *b, i32 len, i32 *cursor);

// Skips white space, then reads a number, integer or real ("612", "-3.5",
// ".25", "+1."), without regard to the locale; false when there is none,
// and the cursor moves on success only.
bool parse_real_at(const u8 *b, i32 len, i32 *cursor, double *out);

// Where "N G R" continues the number `number` that ended at c: just past
// the 'R', or -1 when no reference stands there. An object number must be
// positive: in "-90 0 R" the value is -90, followed by stray tokens.
i32 reference_end(const u8 *b, i32 limit, i32 c, i32 number);

// A reference as a list of them is read (the page tree's /Kids), from its
// first digit at p: the object number, then a generation and an "R" where
// they stand, white space around each. The number (parse_int_at's) into
// *num; past what was read and the white space after it. A value's own
// reference is read strictly (reference_end).
i32 listed_reference(const u8 *b, i32 limit, i32 p, i32 *num);

// From an object header's first digit: past the object number, the
// generation and the white space around them, where "obj" should stand.
i32 obj_keyword_pos(const u8 *b, i32 len, i32 hdr_off);

// The number after the first /key (in the search order of `next`) that
// `accept` takes: each match's number is read from `skip` bytes past the end
// of the name. next(from) gives the next match at or after from, or -1.
template <typename Next, typename Accept>
i32 number_after_key(const u8 *b, i32 len, const char *key, i32 from, i32 skip, Next next,
                     Accept accept) {
  const i32 n = static_cast<i32>(std::strlen(key));
  for (i32 w = next(from); w >= 0; w = next(w + 1)) {
    i32 c = w + 1 + n + skip;
    const i32 v = parse_int_at(b, len, &c);
    if (accept(v)) return v;
  }
  return -1;
}

// ---- the scanning context of one load ---------------------------------------

// Ranges up to this many bytes are scanned plainly: asking again costs
// little there, and memos pay off only on long ones.
constexpr i32 k_plain_scan_max = 4096;

// The keywords the loader asks the context to find, whole words.
// Each list below makes its enum and its texts (lex_memo.cpp), in step.
#define LEAFTURN_KEYWORDS(X) X(obj) X(endobj) X(endstream) X(trailer) X(startxref)
#define LEAFTURN_ENUM_ITEM(x) x,
#define LEAFTURN_COUNT_ITEM(x) +1
enum class keyword : u8 { LEAFTURN_KEYWORDS(LEAFTURN_ENUM_ITEM) };
constexpr int k_keywords = 0 LEAFTURN_KEYWORDS(LEAFTURN_COUNT_ITEM);
// The names it asks for (find_name's matching rules), all collected in one
// pass over the image when a long window first asks for one.
#define LEAFTURN_PDF_NAMES(X)                                                                 \
  X(Root) X(Info) X(ID) X(Encrypt) X(Prev) X(Length) X(ObjStm) X(Catalog) X(Kids) \
  X(N) X(First) X(Pages) X(FT) X(V) X(ByteRange) X(Contents) X(Perms) X(DocMDP) X(AcroForm)    \
  X(Fields)
enum class pdf_name : u8 { LEAFTURN_PDF_NAMES(LEAFTURN_ENUM_ITEM) };
constexpr int k_pdf_names = 0 LEAFTURN_PDF_NAMES(LEAFTURN_COUNT_ITEM);
const char *text_of(keyword k);
const char *text_of(pdf_name n);

// The questions asked of one file image, by the loader and then the writer.
// Each answers exactly as the plain search would over the same range; the
// context decides inside when to answer from a memo. It belongs to one load
// and one thread; the document must outlive it and its records must not
// change once the own-level questions (page_type, own_rotate) are asked.
class scan_ctx {
 public:
  // plain_max: ranges up to this length skip the memos (tests pass 0 to
  // send every range through them).
  explicit scan_ctx(const doc &d, i32 plain_max = k_plain_scan_max);
  ~scan_ctx();
  scan_ctx(const scan_ctx &) = delete;
  scan_ctx &operator=(const scan_ctx &) = delete;

  // Forgets every memo (the document is about to change or go).
  void reset();
  // Forgets what only the loader needs (keyword and name lists).
  void end_of_load();

  // find_kw over the whole image.
  i32 next_keyword(keyword kw, i32 start);
  // Every whole-word position of "obj", ascending.
  const std::vector<i32> &obj_keywords();
  // The last whole-word occurrence in the image, or -1.
  i32 last_keyword(keyword kw);
  // find_name(image, len, start, limit, name). The window must not end
  // inside a run of name bytes (it ends at a keyword, at a delimiter or at
  // the end of the image): a name that ends at the limit matches whatever
  // follows it there, and the whole-image list could not say so. Checked in
  // debug builds.
  i32 next_name(pdf_name name, i32 start, i32 limit);
  // find_dict_close(image, start, end) for a "<<" at start.
  i32 dict_close(i32 start, i32 end);
  // The "stream" keyword after the dictionary opened by the "<<" at start
  // (stream_kw_after its close over the whole image), or -1.
  i32 stream_after_dict(i32 start);
  // dict_close(o.dict_off, end), from the close the loader recorded.
  i32 record_close(const obj_rec &o, i32 end) {
    if (o.dict_close == k_close_unknown) return dict_close(o.dict_off, end);
    return (o.dict_close >= 0 && static_cast<long long>(o.dict_close) + 1 < end) ? o.dict_close : -1;
  }

  // obj_type of a record of the document.
  page_kind page_type(const obj_rec &o);
  // The names looked for at a dictionary's own level.
  enum own_key { key_rotate, key_media_box, key_crop_box, k_own_keys };
  // find_name_top(.., name) over the record's dictionary range: the offset
  // in the range's buffer, or -1.
  i32 own_name(const obj_rec &o, own_key key);
  i32 own_rotate(const obj_rec &o) { return own_name(o, key_rotate); }

  struct memo;

 private:
  // The plain-or-memo rule, for a range of n bytes: true when it is to be
  // scanned plainly (see k_plain_scan_max).
  bool plain(long long n) const { return n <= plain_max_; }

  const doc &d_;
  i32 plain_max_;
  std::unique_ptr<memo> m_;
  memo &m();
};

}  // namespace lt

#endif
