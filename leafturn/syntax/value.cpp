// SPDX-License-Identifier: MIT
// Values of dictionaries, and what a reference leads to (value.h).
#include "syntax/value.h"

namespace lt {

span live_value(const doc &d, i32 num) {
  const obj_rec *o = num > 0 ? d.find(num) : nullptr;
  if (!o) return span();
  return o->is_stream() ? stream_dict(d, *o) : object_content(d, *o);
}

bool name_is_key(const u8 *b, i32 i, i32 limit, const char *key, i32 *end) {
  // As name_text reads it, compared as it goes without building the text.
  bool same = true;
  const char *k = key;
  for (++i; i < limit && !is_pdf_ws(b[i]) && !is_delimiter(b[i]); ++i) {
    int c = b[i];
    if (c == '#' && i + 2 < limit && hex_digit(b[i + 1]) >= 0 && hex_digit(b[i + 2]) >= 0) {
      c = hex_digit(b[i + 1]) * 16 + hex_digit(b[i + 2]);
      i += 2;
    }
    if (same && (*k == '\0' || static_cast<u8>(*k) != c)) same = false;
    if (same) ++k;
  }
  *end = i;
  return same && *k == '\0';
}

span entry_value(const span &dict, const char *key) {
  if (!dict) return span();
  const u8 *b = dict.b;
  const i32 limit = dict.limit;
  // for_each_entry's walk, without the names' texts, to the first match.
  i32 i = skip_space(b, dict.start, limit);
  if (i + 1 >= limit || b[i] != '<' || b[i + 1] != '<') return span();
  for (i += 2;;) {
    i = skip_space(b, i, limit);
    if (i >= limit || b[i] != '/') return span();  // the close, or not an entry
    i32 e = i;
    const bool match = name_is_key(b, i, limit, key, &e);
    const i32 from = skip_space(b, e, limit);
    const i32 to = value_end(b, from, limit);
    if (to < 0) return span();
    if (match) return is_null_value(b, from, to) ? span() : span{b, from, to};
    i = to;
  }
}

span resolved(const doc &d, const span &value, i32 *num, value_source source) {
  if (num) *num = 0;
  if (!value || is_null_value(value.b, value.start, value.limit)) return span();
  const i32 ref = reference_value(value.b, value.start, value.limit);
  if (ref <= 0) return span{value.b, skip_space(value.b, value.start, value.limit), value.limit};
  if (num) *num = ref;
  return source(d, ref);
}

const obj_rec *referenced_record(const doc &d, const span &value) {
  if (!value) return nullptr;
  const i32 num = reference_value(value.b, value.start, value.limit);
  return num > 0 ? d.find(num) : nullptr;
}

span dict_value(const doc &d, const span &value, value_source source) {
  const span v = resolved(d, value, nullptr, source);
  if (!v) return span();
  const i32 at = skip_space(v.b, v.start, v.limit);
  if (at + 1 >= v.limit || v.b[at] != '<' || v.b[at + 1] != '<') return span();
  return span{v.b, at, v.limit};
}

span array_value(const doc &d, const span &value, value_source source) {
  const span v = resolved(d, value, nullptr, source);
  if (!v) return span();
  const i32 at = skip_space(v.b, v.start, v.limit);
  if (at >= v.limit || v.b[at] != '[') return span();
  const i32 end = value_end(v.b, at, v.limit);
  return end < 0 ? span() : span{v.b, at + 1, end - 1};
}

rotate_value rotate_value_at(const u8 *b, i32 limit, i32 pos) {
  rotate_value r;
  i32 c = skip_pdf_ws(b, limit, pos + kw_len("/Rotate"));
  const i32 at = c;
  r.number = parse_int_at(b, limit, &c);
  if (c == at) return r;  // no integer follows the name
  r.present = true;
  r.end = c;
  const i32 ref = reference_end(b, limit, c, r.number);
  if (ref >= 0) {
    r.reference = true;
    r.end = ref;
  }
  return r;
}

}  // namespace lt
