// SPDX-License-Identifier: MIT
// What the readers of page content share (content_walk.h).
#include "facts/content_walk.h"

#include <algorithm>
#include <string>

#include "syntax/value.h"

namespace lt {

span record_dict(const doc &d, const obj_rec &o) {
  const span v = o.is_stream() ? stream_dict(d, o) : object_content(d, o);
  if (!v) return span();
  const i32 at = skip_space(v.b, v.start, v.limit);
  if (at + 1 >= v.limit || v.b[at] != '<' || v.b[at + 1] != '<') return span();
  return span{v.b, at, v.limit};
}

bool value_is_name(const span &v, const char *name) {
  return v && is_name_value(v.b, v.start, v.limit, name);
}

bool read_numbers(const doc &d, const span &v, double *out, int n) {
  const span a = array_value(d, v);
  if (!a) return false;
  i32 c = a.start;
  for (int k = 0; k < n; ++k)
    if (!parse_real_at(a.b, a.limit, &c, &out[k])) return false;
  return true;
}

bool read_number(const doc &d, const span &v, double *out) {
  const span r = resolved(d, v);
  if (!r) return false;
  i32 c = r.start;
  return parse_real_at(r.b, r.limit, &c, out);
}

content_walk::content_walk(const doc &doc_)
    : d(doc_),
      budget_(k_text_budget_floor + k_text_budget_per_input_byte * static_cast<size_t>(doc_.len)) {}

bool content_walk::decode(const obj_rec &o, std::vector<u8> *out, const u8 **data, size_t *size) {
  if (over_) return false;
  size_t spent = 0;
  const decoded r = out ? decoder_.decode(d, o, budget_, out, &spent)
                        : page_decoder_.decode_in_place(d, o, budget_, data, size, &spent);
  budget_ -= std::min(budget_, spent);
  if (r == decoded::over_budget || budget_ == 0) {
    over_ = true;
    return false;
  }
  return r == decoded::ok;
}

bool content_walk::page_content(int p, std::vector<u8> *joined, const u8 **data, size_t *size) {
  const page_ref &ref = d.pages[static_cast<size_t>(p - 1)];
  const obj_rec *o = d.find(ref.num);
  if (!o || over_) return false;
  const span contents = entry_value(record_dict(d, *o), "Contents");
  if (!contents) return false;
  // One stream, or an array of them read as one.
  if (const obj_rec *s = referenced_record(d, contents); s && s->is_stream())
    return decode(*s, nullptr, data, size);
  const span list = array_value(d, contents);
  if (!list) return false;
  std::vector<u8> part;
  joined->clear();
  for (i32 i = skip_space(list.b, list.start, list.limit); i < list.limit;
       i = skip_space(list.b, i, list.limit)) {
    const i32 e = value_end(list.b, i, list.limit);
    if (e < 0) break;
    const obj_rec *s = referenced_record(d, span{list.b, i, e});
    i = e;
    if (!s || !s->is_stream()) continue;
    if (!decode(*s, &part)) {
      if (over_) return false;
      continue;
    }
    joined->insert(joined->end(), part.begin(), part.end());
    joined->push_back('\n');
  }
  *data = joined->data();
  *size = joined->size();
  return true;
}

span content_walk::page_resources(int p) {
  const page_ref &ref = d.pages[static_cast<size_t>(p - 1)];
  const obj_rec *o = d.find(ref.num);
  span r = o ? dict_value(d, entry_value(record_dict(d, *o), "Resources")) : span();
  for (i32 node = ref.parent; !r && node >= 0; node = d.nodes[static_cast<size_t>(node)].parent) {
    const obj_rec *n = d.find(d.nodes[static_cast<size_t>(node)].num);
    if (n) r = dict_value(d, entry_value(record_dict(d, *n), "Resources"));
  }
  return r;
}

span content_walk::resource(const span &resources, const char *kind, const u8 *b, i32 from, i32 to) {
  const span group = dict_value(d, entry_value(resources, kind));
  if (!group) return span();
  std::string name;
  name_text(b, from - 1, to, &name);
  return entry_value(group, name.c_str());
}

bool content_walk::enter(const obj_rec &o, int depth) {
  if (depth >= k_max_form_depth) return false;
  for (const i32 open : open_)
    if (open == o.num) return false;
  open_.push_back(o.num);
  return true;
}

}  // namespace lt
