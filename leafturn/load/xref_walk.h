// SPDX-License-Identifier: MIT
// The walk along the cross-reference chain, written once for its two
// readers: the loader's trailer stage (which reads /Root, /Info, /ID and
// /Encrypt from what it meets, and never fails) and the update's strict
// reading of every entry (xref.h). From the offset the last "startxref"
// names, section after section along what each reader takes for /Prev:
// a section is a classic table ("xref") or a cross-reference stream (an
// object header), found past white space; at most k_max_xref_sections are
// read, and a section met again (a /Prev or /XRefStm loop) ends the walk.
#ifndef LEAFTURN_XREF_WALK_H
#define LEAFTURN_XREF_WALK_H

#include <algorithm>
#include <vector>

#include "syntax/lex.h"

namespace lt {

constexpr int k_max_xref_sections = 32;

enum class xref_section { table, stream, neither };

// The offset that the "startxref" keyword at kw names, or -1.
inline i32 startxref_offset(const u8 *b, i32 len, i32 kw) {
  if (kw < 0) return -1;
  i32 c = kw + kw_len("startxref");
  return parse_int_at(b, len, &c);
}

// Whether a cross-reference section starts at p (past white space): the
// keyword "xref", or an object header.
inline bool xref_section_at(const u8 *b, i32 len, i32 p) {
  p = skip_pdf_ws(b, len, p);
  if (kw_at(b, p, len, "xref")) return true;
  return p < len && is_digit(b[p]) && kw_at(b, obj_keyword_pos(b, len, p), len, "obj");
}

// Where the offsets of the cross-reference data count from: the file's
// first byte, or the header ("%PDF-") when bytes stand before it and the
// offset `at` that the last "startxref" names finds a section only counted
// from there, as some writers count. 0 when that cannot be told.
// Where the header ("%PDF-") stands in the file's first kilobyte, or -1.
inline i32 header_offset(const u8 *b, i32 len) {
  constexpr i32 k_header_window = 1024;
  static const char magic[] = "%PDF-";
  const u8 *end = b + std::min(len, k_header_window);
  const u8 *hit = std::search(b, end, magic, magic + 5);
  return hit == end ? -1 : static_cast<i32>(hit - b);
}

inline i32 xref_offset_base(const u8 *b, i32 len, i32 at) {
  if (at < 0 || at >= len || xref_section_at(b, len, at)) return 0;
  const i32 header = header_offset(b, len);
  if (header <= 0) return 0;
  const long long moved = static_cast<long long>(at) + header;
  return moved < len && xref_section_at(b, len, static_cast<i32>(moved)) ? header : 0;
}

class xref_walk {
 public:
  // `base`: what every offset of the chain counts from (xref_offset_base).
  xref_walk(const u8 *b, i32 len, i32 base = 0) : b_(b), len_(len), base_(base) {}

  // Marks the section at p (past white space) as read; false when it was
  // read before.
  bool mark(i32 p) {
    if (std::find(seen_.begin(), seen_.end(), p) != seen_.end()) return false;
    seen_.push_back(p);
    return true;
  }

  enum class end { done, outside, loop, limit };

  // Offers each section from offset `at` on to visit(kind, p), p its first
  // byte past white space (in the file); visit returns the next section's
  // offset as the chain writes it (counted from the base), or -1 to stop. Returns how the walk ended: done (a visit stopped it), an
  // offset outside the file, a section met again, or the section limit.
  template <typename Visit>
  end run(i32 at, Visit visit) {
    for (int n = 0; at >= 0; ++n) {
      if (n == k_max_xref_sections) return end::limit;
      if (at >= len_ - base_) return end::outside;
      at += base_;
      const i32 p = skip_pdf_ws(b_, len_, at);
      if (!mark(p)) return end::loop;
      const xref_section kind = kw_at(b_, p, len_, "xref")          ? xref_section::table
                                : (p < len_ && is_digit(b_[p])) ? xref_section::stream
                                                                : xref_section::neither;
      at = visit(kind, p);
    }
    return end::done;
  }

 private:
  const u8 *b_;
  i32 len_;
  i32 base_;
  std::vector<i32> seen_;
};

}  // namespace lt

#endif
