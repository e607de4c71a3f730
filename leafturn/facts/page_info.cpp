// SPDX-License-Identifier: MIT
// Page facts for tools: rotation sources and displayed boxes. Inherited
// values are settled once per node of the page tree, parents first, so a
// deep or wide tree costs one pass.
#include "facts/page_info.h"

#include <algorithm>
#include <cmath>

#include "facts/json_text.h"
#include "facts/page_images.h"
#include "facts/rotation.h"

namespace lt {

const char *orientation_name(orientation o) {
  switch (o) {
    case orientation::landscape: return "landscape";
    case orientation::portrait: return "portrait";
    case orientation::square: return "square";
    case orientation::unknown: break;
  }
  return nullptr;
}

namespace {

std::string null_or(i32 v) { return v < 0 ? "null" : std::to_string(v); }

}  // namespace

std::string page_facts_json(int number, const page_facts &f, const text_facts *text,
                            const std::vector<image_record> *images) {
  const char *o = orientation_name(f.orient);
  std::string s = "{\"number\": " + std::to_string(number) + ", \"rotation\": " + std::to_string(f.rotation) +
                  ", \"own\": " + null_or(f.own) + ", \"inherited\": " + null_or(f.inherited) +
                  ", \"width\": " + (f.box_known ? json_number(f.width) : "null") +
                  ", \"height\": " + (f.box_known ? json_number(f.height) : "null") +
                  ", \"orientation\": " + (o ? "\"" + std::string(o) + "\"" : "null");
  if (text)
    s += ", \"text_direction\": \"" + std::string(text_direction_name(text->direction)) +
         "\", \"glyphs\": " + std::to_string(text->glyphs);
  if (images) s += ", \"images\": " + images_json(*images);
  return s + "}";
}

namespace {

struct box {
  bool known = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// A number in an array: a direct number, or a reference to an object that
// holds one.
bool array_number(const doc &d, const u8 *b, i32 limit, i32 *cursor, double *out) {
  i32 c = *cursor;
  const i32 at = skip_pdf_ws(b, limit, c);
  if (!parse_real_at(b, limit, &c, out)) return false;
  // "N G R": an indirect number (the first token must be a whole integer).
  i32 n = at;
  const i32 num = parse_int_at(b, limit, &n);
  const i32 r = n == c ? reference_end(b, limit, c, num) : -1;
  if (r >= 0) {
    const span v = referenced_content(d, num);
    i32 p = v.start;
    if (!v || !parse_real_at(v.b, v.limit, &p, out) || skip_pdf_ws(v.b, v.limit, p) != v.limit)
      return false;
    c = r;
  }
  *cursor = c;
  return true;
}

// "[a b c d]" at p (after white space).
box read_array(const doc &d, const u8 *b, i32 limit, i32 p) {
  box x;
  p = skip_pdf_ws(b, limit, p);
  if (p >= limit || b[p] != '[') return x;
  ++p;
  double v[4];
  for (double &e : v)
    if (!array_number(d, b, limit, &p, &e)) return x;
  p = skip_pdf_ws(b, limit, p);
  if (p >= limit || b[p] != ']') return x;
  x = {true, v[0], v[1], v[2], v[3]};
  return x;
}

// The box value after the name at pos: an array, or a reference to an
// object that holds one.
box read_box(const doc &d, const span &r, i32 pos, i32 name_len) {
  const i32 p = skip_pdf_ws(r.b, r.limit, pos + 1 + name_len);
  if (p < r.limit && r.b[p] == '[') return read_array(d, r.b, r.limit, p);
  i32 c = p;
  const i32 num = parse_int_at(r.b, r.limit, &c);
  if (c == p || reference_end(r.b, r.limit, c, num) < 0) return {};
  const span v = referenced_content(d, num);
  if (!v) return {};
  box x = read_array(d, v.b, v.limit, v.start);
  return x;
}

// The object's own box of one key, when it has a readable one.
box own_box(document &loaded, const obj_rec &o, scan_ctx::own_key key, i32 name_len) {
  const i32 pos = loaded.lex.own_name(o, key);
  if (pos < 0) return {};
  return read_box(loaded.d, dict_span(loaded.d, o), pos, name_len);
}

struct from_tree {
  i32 rotate = -1;
  box crop, media;
};

// Own values over inherited ones; *own gets the object's own rotation.
from_tree settle(document &loaded, const obj_rec *o, const from_tree &from, i32 *own_out = nullptr) {
  from_tree h = from;
  if (own_out) *own_out = -1;
  if (!o) return h;
  const i32 own = obj_rotate_own(loaded.d, loaded.lex, *o);
  if (own_out) *own_out = own;
  if (own >= 0) h.rotate = own;
  const box crop = own_box(loaded, *o, scan_ctx::key_crop_box, kw_len("CropBox"));
  if (crop.known) h.crop = crop;
  const box media = own_box(loaded, *o, scan_ctx::key_media_box, kw_len("MediaBox"));
  if (media.known) h.media = media;
  return h;
}

}  // namespace

std::vector<page_facts> describe_pages(document &loaded) {
  const lt::doc &d = loaded.d;
  // Nodes come after their parents, so one pass settles them all.
  std::vector<from_tree> node(d.nodes.size());
  for (size_t k = 0; k < d.nodes.size(); ++k) {
    const tree_node &n = d.nodes[k];
    const from_tree parent = n.parent >= 0 ? node[static_cast<size_t>(n.parent)] : from_tree();
    node[k] = settle(loaded, d.find(n.num), parent);
  }
  std::vector<page_facts> out(d.pages.size());
  for (size_t k = 0; k < d.pages.size(); ++k) {
    const page_ref &p = d.pages[k];
    const from_tree up = p.parent >= 0 ? node[static_cast<size_t>(p.parent)] : from_tree();
    const obj_rec *o = d.find(p.num);
    page_facts &f = out[k];
    const from_tree mine = settle(loaded, o, up, &f.own);
    f.inherited = up.rotate;
    f.rotation = f.own >= 0 ? f.own : p.inherited_rotate;
    const box &b = mine.crop.known ? mine.crop : mine.media;
    if (!b.known) continue;
    double width = std::fabs(b.x2 - b.x1), height = std::fabs(b.y2 - b.y1);
    if (f.rotation == 90 || f.rotation == 270) std::swap(width, height);
    f.box_known = true;
    f.box_x = std::min(b.x1, b.x2);
    f.box_y = std::min(b.y1, b.y2);
    f.width = width;
    f.height = height;
    f.orient = width > height   ? orientation::landscape
               : height > width ? orientation::portrait
                                : orientation::square;
  }
  return out;
}

}  // namespace lt
