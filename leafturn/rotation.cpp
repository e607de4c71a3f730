// Page rotation values: an object's own /Rotate (read at its dictionary's
// own level only) and a page's effective rotation, which falls back to the
// value inherited from the page tree.
#include "internal.h"

namespace lt {

namespace {

// After a number that ended at c: " G R" makes it an indirect reference.
bool reference_follows(const u8 *b, i32 limit, i32 c) {
  i32 i = c;
  if (i >= limit || !is_pdf_ws(b[i])) return false;
  while (i < limit && is_pdf_ws(b[i])) ++i;
  if (i >= limit || !is_digit(b[i])) return false;
  while (i < limit && is_digit(b[i])) ++i;
  while (i < limit && is_pdf_ws(b[i])) ++i;
  if (i >= limit || b[i] != 'R') return false;
  ++i;
  return i == limit || !is_alnum(b[i]);
}

// The integer that a plain object holds as its whole content; false when
// the object is missing, a stream, or holds anything else.
bool integer_object(const doc &d, i32 num, long long *out) {
  const obj_rec *o = d.find(num);
  if (!o || o->is_stream) return false;
  const u8 *b;
  i32 i, end;
  if (o->in_objstm) {
    if (!o->body) return false;
    b = o->body;
    i = 0;
    end = o->body_len;
  } else {
    if (o->endobj_off < 0) return false;
    b = d.data;
    end = o->endobj_off;
    i = o->hdr_off;
    parse_int_at(b, end, &i);
    i = skip_pdf_ws(b, end, i);
    if (i < end && is_digit(b[i])) parse_int_at(b, end, &i);
    i = skip_pdf_ws(b, end, i);
    if (!kw_at(b, i, d.len, "obj")) return false;
    i += 3;
  }
  i = skip_pdf_ws(b, end, i);
  bool neg = false;
  if (i < end && (b[i] == '-' || b[i] == '+')) neg = b[i++] == '-';
  const i32 first = i;
  long long v = 0;
  while (i < end && is_digit(b[i])) {
    if (v < 1000000000000LL) v = v * 10 + (b[i] - '0');
    ++i;
  }
  if (i == first) return false;
  if (skip_pdf_ws(b, end, i) != end) return false;
  *out = neg ? -v : v;
  return true;
}

}  // namespace

i32 obj_rotate_own(const doc &d, const obj_rec &o) {
  const u8 *b;
  i32 start, limit;
  if (!dict_range(d, o, &b, &start, &limit)) return -1;
  const i32 pos = own_rotate_name(d, o);
  if (pos < 0) return -1;
  i32 c = skip_pdf_ws(b, limit, pos + 7);
  const i32 at = c;
  const i32 v = parse_int_at(b, limit, &c);
  if (c == at) return -1;  // no integer follows the name
  if (reference_follows(b, limit, c)) {
    long long target;
    if (v <= 0 || !integer_object(d, v, &target)) return -1;
    return normalise_rotation(target);
  }
  return normalise_rotation(v);
}

i32 effective_rotation(const doc &d, const page_ref &p) {
  if (d.objs.empty()) return p.inherited_rotate;
  const obj_rec *o = d.find(p.num);
  if (!o) return p.inherited_rotate;
  const i32 own = obj_rotate_own(d, *o);
  return own >= 0 ? own : p.inherited_rotate;
}

}  // namespace lt
