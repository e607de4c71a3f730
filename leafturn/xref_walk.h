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

#include "lex.h"

namespace lt {

constexpr int k_max_xref_sections = 32;

enum class xref_section { table, stream, neither };

// The offset that the "startxref" keyword at kw names, or -1.
inline i32 startxref_offset(const u8 *b, i32 len, i32 kw) {
  if (kw < 0) return -1;
  i32 c = kw + kw_len("startxref");
  return parse_int_at(b, len, &c);
}

class xref_walk {
 public:
  xref_walk(const u8 *b, i32 len) : b_(b), len_(len) {}

  // Marks the section at p (past white space) as read; false when it was
  // read before.
  bool mark(i32 p) {
    if (std::find(seen_.begin(), seen_.end(), p) != seen_.end()) return false;
    seen_.push_back(p);
    return true;
  }

  enum class end { done, outside, loop, limit };

  // Offers each section from offset `at` on to visit(kind, p), p its first
  // byte past white space; visit returns the next section's offset, or -1
  // to stop. Returns how the walk ended: done (a visit stopped it), an
  // offset outside the file, a section met again, or the section limit.
  template <typename Visit>
  end run(i32 at, Visit visit) {
    for (int n = 0; at >= 0; ++n) {
      if (n == k_max_xref_sections) return end::limit;
      if (at >= len_) return end::outside;
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
  std::vector<i32> seen_;
};

}  // namespace lt

#endif
