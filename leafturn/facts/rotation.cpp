// SPDX-License-Identifier: MIT
// Page rotation values: an object's own /Rotate (read at its dictionary's
// own level only) and a page's effective rotation, which falls back to the
// value inherited from the page tree.
#include "facts/rotation.h"

#include "syntax/value.h"

namespace lt {

namespace {

// The integer that a plain object holds as its whole content; false when
// the object is missing, a stream, or holds anything else.
bool integer_object(const doc &d, i32 num, long long *out) {
  const span c = referenced_content(d, num);
  if (!c) return false;
  const int_token t =
      read_int_token(c.b, c.limit, skip_pdf_ws(c.b, c.limit, c.start), /*plus_ok=*/true);
  if (!t.ok || skip_pdf_ws(c.b, c.limit, t.end) != c.limit) return false;
  *out = saturated_value(c.b, t);
  return true;
}

}  // namespace

i32 obj_rotate_own(const doc &d, scan_ctx &lex, const obj_rec &o) {
  const span r = dict_span(d, o);
  if (!r) return -1;
  const i32 pos = lex.own_rotate(o);
  if (pos < 0) return -1;
  const rotate_value v = rotate_value_at(r.b, r.limit, pos);
  if (!v.present) return -1;
  if (v.reference) {
    long long target;
    if (!integer_object(d, v.number, &target)) return -1;
    return normalise_rotation(target);
  }
  return normalise_rotation(v.number);
}

i32 effective_rotation(const doc &d, scan_ctx &lex, const page_ref &p) {
  const obj_rec *o = d.find(p.num);
  if (!o) return p.inherited_rotate;
  const i32 own = obj_rotate_own(d, lex, *o);
  return own >= 0 ? own : p.inherited_rotate;
}

}  // namespace lt
