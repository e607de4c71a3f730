// SPDX-License-Identifier: MIT
// The content reader for the images a page shows (page_images.h).
#include "facts/page_images.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "facts/json_text.h"
#include "syntax/content_lexer.h"
#include "syntax/stream_filters.h"
#include "syntax/value.h"

namespace lt {

namespace {

constexpr size_t k_max_saved_states = 256;

// The text of a name value (direct or through a reference), "" when it is
// not a name.
std::string name_of(const doc &d, const span &v) {
  const span r = resolved(d, v);
  if (!r) return std::string();
  const i32 at = skip_space(r.b, r.start, r.limit);
  if (at >= r.limit || r.b[at] != '/') return std::string();
  std::string out;
  name_text(r.b, at, r.limit, &out);
  return out;
}

// A filter's full name ("FlateDecode" for "Fl"), or the name as written.
std::string full_filter_name(const std::string &n) {
  const char *full = filter_full_name(filter_named(n));
  return full && *full ? std::string(full) : n;
}

// The filter names of a /Filter value: a name or an array of names.
std::vector<std::string> filter_names(const doc &d, const span &v) {
  std::vector<std::string> out;
  if (!v) return out;
  const std::string one = name_of(d, v);
  if (!one.empty()) {
    out.push_back(full_filter_name(one));
    return out;
  }
  const span a = array_value(d, v);
  if (!a) return out;
  for (i32 i = skip_space(a.b, a.start, a.limit); i < a.limit && out.size() < 16;
       i = skip_space(a.b, i, a.limit)) {
    const i32 e = value_end(a.b, i, a.limit);
    if (e < 0) break;
    const std::string n = name_of(d, span{a.b, i, e});
    if (!n.empty()) out.push_back(full_filter_name(n));
    i = e;
  }
  return out;
}

// The numbers of an array value, at most 32.
std::vector<double> number_list(const doc &d, const span &v) {
  std::vector<double> out;
  const span a = array_value(d, v);
  if (!a) return out;
  i32 c = a.start;
  double x;
  while (out.size() < 32 && parse_real_at(a.b, a.limit, &c, &x)) out.push_back(x);
  return out;
}

long whole(const doc &d, const span &v, long fallback) {
  double x;
  if (!read_number(d, v, &x) || !(x >= 0) || x > 1e9) return fallback;
  return static_cast<long>(x);
}

// The value of the first key present of two (a name in full and abbreviated).
span either(const span &dict, const char *key, const char *abbrev) {
  const span v = entry_value(dict, key);
  return v || !abbrev ? v : entry_value(dict, abbrev);
}

}  // namespace

struct image_reader::impl {
  document &loaded;
  const doc &d;
  content_walk walk;
  std::vector<image_record> out;

  explicit impl(document &l) : loaded(l), d(l.d), walk(l.d) {}

  // A colour space value: its name and components. Names are looked up in
  // the resources' /ColorSpace when they are not a device space.
  void colour_space(const span &v, const span &resources, image_record *r, int depth = 0) {
    if (!v || depth > 4) return;
    std::string n = name_of(d, v);
    if (!n.empty()) {
      if (n == "DeviceGray" || n == "G" || n == "CalGray") { r->colorspace = "DeviceGray"; r->colors = 1; }
      else if (n == "DeviceRGB" || n == "RGB" || n == "CalRGB") { r->colorspace = "DeviceRGB"; r->colors = 3; }
      else if (n == "DeviceCMYK" || n == "CMYK") { r->colorspace = "DeviceCMYK"; r->colors = 4; }
      else if (n == "Indexed" || n == "I") { r->colorspace = "Indexed"; r->colors = 1; }
      else if (n == "Pattern") { r->colorspace = "Pattern"; r->colors = 0; }
      else {
        const span group = dict_value(d, entry_value(resources, "ColorSpace"));
        if (group) colour_space(entry_value(group, n.c_str()), resources, r, depth + 1);
      }
      return;
    }
    const span a = array_value(d, v);
    if (!a) return;
    i32 i = skip_space(a.b, a.start, a.limit);
    i32 e = value_end(a.b, i, a.limit);
    if (e < 0) return;
    n = name_of(d, span{a.b, i, e});
    const i32 second = skip_space(a.b, e, a.limit);
    const i32 second_end = second < a.limit ? value_end(a.b, second, a.limit) : -1;
    const span arg = second_end > second ? span{a.b, second, second_end} : span();
    if (n == "ICCBased") {
      r->colorspace = "ICCBased";
      const obj_rec *s = referenced_record(d, arg);
      r->colors = s ? static_cast<int>(whole(d, entry_value(record_dict(d, *s), "N"), 0)) : 0;
    } else if (n == "Indexed" || n == "I") {
      r->colorspace = "Indexed";
      r->colors = 1;
    } else if (n == "CalGray" || n == "DeviceGray" || n == "G") {
      r->colorspace = "DeviceGray";
      r->colors = 1;
    } else if (n == "CalRGB" || n == "DeviceRGB" || n == "RGB") {
      r->colorspace = "DeviceRGB";
      r->colors = 3;
    } else if (n == "DeviceCMYK" || n == "CMYK") {
      r->colorspace = "DeviceCMYK";
      r->colors = 4;
    } else if (n == "Lab") {
      r->colorspace = "Lab";
      r->colors = 3;
    } else if (n == "Separation") {
      r->colorspace = "Separation";
      r->colors = 1;
    } else if (n == "DeviceN") {
      r->colorspace = "DeviceN";
      const span names = array_value(d, arg);
      int k = 0;
      if (names)
        for (i32 j = skip_space(names.b, names.start, names.limit); j < names.limit && k < 64;
             j = skip_space(names.b, j, names.limit)) {
          const i32 f = value_end(names.b, j, names.limit);
          if (f < 0) break;
          ++k;
          j = f;
        }
      r->colors = k;
    }
  }

  // The facts an image dictionary (XObject or inline) gives.
  void describe(const span &dict, const span &resources, bool inline_image, image_record *r) {
    const char *ab = nullptr;
    r->width = whole(d, either(dict, "Width", inline_image ? "W" : ab), 0);
    r->height = whole(d, either(dict, "Height", inline_image ? "H" : ab), 0);
    const span im = resolved(d, either(dict, "ImageMask", inline_image ? "IM" : ab));
    const i32 at = im ? skip_space(im.b, im.start, im.limit) : 0;
    r->mask = im && token_end(im.b, at, im.limit) - at == 4 && std::memcmp(im.b + at, "true", 4) == 0;
    r->bits = static_cast<int>(whole(d, either(dict, "BitsPerComponent", inline_image ? "BPC" : ab), 0));
    if (r->mask) {
      r->bits = 1;
      r->colors = 1;
    } else {
      colour_space(either(dict, "ColorSpace", inline_image ? "CS" : ab), resources, r);
    }
    r->decode = number_list(d, either(dict, "Decode", inline_image ? "D" : ab));
    r->filters = filter_names(d, either(dict, "Filter", inline_image ? "F" : ab));
  }

  void add(image_record &&r, const matrix &m) {
    if (out.size() >= k_max_page_images) return;
    const double u[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; ++k) {
      r.user[k][0] = u[k][0] * m.a + u[k][1] * m.c + m.e;
      r.user[k][1] = u[k][0] * m.b + u[k][1] * m.d + m.f;
    }
    out.push_back(std::move(r));
  }

  void run(const u8 *b, i32 n, const span &resources, matrix ctm, int depth) {
    struct operand {
      content_kind kind;
      double value;
      i32 from, to;
    };
    constexpr size_t k_kept = 8;
    operand ops[k_kept];
    size_t nops = 0;
    std::vector<matrix> saved;
    size_t overflow = 0;
    content_lexer lx(b, n);
    while (!walk.over() && out.size() < k_max_page_images) {
      const content_token t = lx.next();
      switch (t.kind) {
        case content_kind::end:
          return;
        case content_kind::comment:
          continue;
        case content_kind::number:
        case content_kind::name:
        case content_kind::string:
        case content_kind::array:
        case content_kind::dict:
          if (nops == k_kept) {
            std::memmove(ops, ops + 1, sizeof(operand) * (k_kept - 1));
            --nops;
          }
          ops[nops++] = operand{t.kind, t.value, t.from, t.to};
          continue;
        case content_kind::stray:
          nops = 0;
          continue;
        case content_kind::inline_image: {
          nops = 0;
          // Its entries, closed as a dictionary to be read as one.
          std::string text = "<<";
          text.append(reinterpret_cast<const char *>(b + t.dict_from),
                      static_cast<size_t>(t.dict_to - t.dict_from));
          text += "\n>>";
          const span dict{reinterpret_cast<const u8 *>(text.data()), 0, static_cast<i32>(text.size())};
          image_record r;
          r.name = "inline";
          describe(dict, resources, true, &r);
          add(std::move(r), ctm);
          continue;
        }
        case content_kind::op:
          break;
      }
      const u8 *op = b + t.from;
      const i32 len = t.to - t.from;
      if (len == 1 && op[0] == 'q') {
        if (saved.size() < k_max_saved_states) saved.push_back(ctm);
        else ++overflow;
      } else if (len == 1 && op[0] == 'Q') {
        if (overflow) --overflow;
        else if (!saved.empty()) {
          ctm = saved.back();
          saved.pop_back();
        }
      } else if (len == 2 && op[0] == 'c' && op[1] == 'm') {
        bool six = nops >= 6;
        for (size_t j = 1; six && j <= 6; ++j) six = ops[nops - j].kind == content_kind::number;
        if (six) {
          auto num = [&](size_t back) { return ops[nops - back].value; };
          ctm = matrix{num(6), num(5), num(4), num(3), num(2), num(1)}.then(ctm);
        }
      } else if (len == 2 && op[0] == 'D' && op[1] == 'o') {
        if (nops >= 1 && ops[nops - 1].kind == content_kind::name)
          xobject(resources, b, ops[nops - 1].from, ops[nops - 1].to, ctm, depth);
      }
      nops = 0;
    }
  }

  void xobject(const span &resources, const u8 *b, i32 from, i32 to, matrix ctm, int depth) {
    const span ref = walk.resource(resources, "XObject", b, from, to);
    const obj_rec *o = referenced_record(d, ref);
    if (!o || !o->is_stream()) return;
    const span dict = record_dict(d, *o);
    const span subtype = entry_value(dict, "Subtype");
    if (value_is_name(subtype, "Image")) {
      image_record r;
      name_text(b, from - 1, to, &r.name);
      r.object = o->num;
      describe(dict, resources, false, &r);
      add(std::move(r), ctm);
      return;
    }
    if (!value_is_name(subtype, "Form") || !walk.enter(*o, depth)) return;
    double m[6];
    if (read_numbers(d, entry_value(dict, "Matrix"), m, 6))
      ctm = matrix{m[0], m[1], m[2], m[3], m[4], m[5]}.then(ctm);
    const span own = dict_value(d, entry_value(dict, "Resources"));
    std::vector<u8> content;
    if (walk.decode(*o, &content))
      run(content.data(), static_cast<i32>(content.size()), own ? own : resources, ctm, depth + 1);
    walk.leave();
  }

  std::vector<image_record> page(int p) {
    out.clear();
    std::vector<u8> joined;
    const u8 *content = nullptr;
    size_t size = 0;
    if (walk.page_content(p, &joined, &content, &size))
      run(content, static_cast<i32>(size), walk.page_resources(p), matrix(), 0);
    return std::move(out);
  }
};

image_reader::image_reader(document &loaded) : impl_(new impl(loaded)) {}
image_reader::~image_reader() = default;
std::vector<image_record> image_reader::page(int p) { return impl_->page(p); }
bool image_reader::budget_reached() const { return impl_->walk.over(); }

image_report describe_images(document &loaded) {
  image_report r;
  image_reader reader(loaded);
  const size_t n = loaded.d.pages.size();
  r.pages.reserve(n);
  for (size_t k = 0; k < n; ++k) r.pages.push_back(reader.page(static_cast<int>(k) + 1));
  r.budget_reached = reader.budget_reached();
  return r;
}

namespace {

struct pt {
  double x, y;
};

// The polygon clipped to one side of a line: keep where inside(p) >= 0.
template <typename Side>
std::vector<pt> clip(const std::vector<pt> &in, Side side) {
  std::vector<pt> res;
  for (size_t k = 0; k < in.size(); ++k) {
    const pt a = in[k], c = in[(k + 1) % in.size()];
    const double sa = side(a), sc = side(c);
    if (sa >= 0) res.push_back(a);
    if ((sa >= 0) != (sc >= 0)) {
      const double t = sa / (sa - sc);
      res.push_back({a.x + t * (c.x - a.x), a.y + t * (c.y - a.y)});
    }
  }
  return res;
}

double area(const std::vector<pt> &p) {
  double s = 0;
  for (size_t k = 0; k < p.size(); ++k) {
    const pt a = p[k], c = p[(k + 1) % p.size()];
    s += a.x * c.y - c.x * a.y;
  }
  return std::fabs(s) / 2;
}

}  // namespace

void place_images(std::vector<image_record> *images, const page_facts &f) {
  const i32 rot = ((f.rotation % 360) + 360) % 360;
  const bool side = rot == 90 || rot == 270;
  // The box as the file has it: the displayed size turned back.
  const double w = side ? f.height : f.width, h = side ? f.width : f.height;
  for (image_record &r : *images) {
    for (int k = 0; k < 4; ++k) {
      const double x = r.user[k][0] - f.box_x, y = r.user[k][1] - f.box_y;
      double dx = x, dy = y;
      if (rot == 90) { dx = y; dy = w - x; }
      else if (rot == 180) { dx = w - x; dy = h - y; }
      else if (rot == 270) { dx = h - y; dy = x; }
      r.corners[k][0] = dx;
      r.corners[k][1] = dy;
    }
    // Lengths of the image's edges along its width and its height.
    const double wl = std::hypot(r.user[1][0] - r.user[0][0], r.user[1][1] - r.user[0][1]);
    const double hl = std::hypot(r.user[3][0] - r.user[0][0], r.user[3][1] - r.user[0][1]);
    r.dpi_x = wl > 0 ? static_cast<double>(r.width) * 72.0 / wl : 0;
    r.dpi_y = hl > 0 ? static_cast<double>(r.height) * 72.0 / hl : 0;
    if (!std::isfinite(r.dpi_x)) r.dpi_x = 0;
    if (!std::isfinite(r.dpi_y)) r.dpi_y = 0;
    r.coverage = 0;
    if (f.box_known && f.width > 0 && f.height > 0) {
      std::vector<pt> poly;
      for (int k = 0; k < 4; ++k) poly.push_back({r.corners[k][0], r.corners[k][1]});
      const double W = f.width, H = f.height;
      poly = clip(poly, [](pt p) { return p.x; });
      poly = clip(poly, [W](pt p) { return W - p.x; });
      poly = clip(poly, [](pt p) { return p.y; });
      poly = clip(poly, [H](pt p) { return H - p.y; });
      const double share = area(poly) / (W * H);
      r.coverage = std::isfinite(share) ? std::min(1.0, share) : 0;
    }
  }
}

double image_dpi(const image_record &r) {
  const double low = std::min(r.dpi_x, r.dpi_y);
  return std::round(low * 10) / 10;
}

std::string images_json(const std::vector<image_record> &images) {
  std::string s = "[";
  bool first = true;
  // Numbers to a precision; null for what is not finite (a matrix of huge
  // numbers).
  auto rounded = [](double v, double to) {
    const double r = std::round(v * to) / to;
    return std::isfinite(r) ? json_number(r) : std::string("null");
  };
  for (const image_record &r : images) {
    s += first ? "{" : ", {";
    first = false;
    s += "\"name\": " + json_string(r.name) +
         ", \"object\": " + (r.object < 0 ? std::string("null") : std::to_string(r.object)) +
         ", \"width\": " + std::to_string(r.width) + ", \"height\": " + std::to_string(r.height) +
         ", \"bits\": " + std::to_string(r.bits) + ", \"colors\": " + std::to_string(r.colors) +
         ", \"colorspace\": " + (r.colorspace.empty() ? std::string("null") : json_string(r.colorspace)) +
         ", \"mask\": " + (r.mask ? "true" : "false") + ", \"decode\": ";
    if (r.decode.empty()) {
      s += "null";
    } else {
      s += "[";
      for (size_t k = 0; k < r.decode.size(); ++k) s += (k ? ", " : "") + json_number(r.decode[k]);
      s += "]";
    }
    s += ", \"filter\": " + (r.filters.empty() ? std::string("null") : json_string(r.filters.back())) +
         ", \"filters\": [";
    for (size_t k = 0; k < r.filters.size(); ++k) s += (k ? ", " : "") + json_string(r.filters[k]);
    s += "], \"dpi\": " + rounded(image_dpi(r), 10) + ", \"dpi_x\": " + rounded(r.dpi_x, 10) +
         ", \"dpi_y\": " + rounded(r.dpi_y, 10) + ", \"coverage\": " + rounded(r.coverage, 1000) +
         ", \"corners\": [";
    for (int k = 0; k < 4; ++k)
      s += std::string(k ? ", " : "") + "[" + rounded(r.corners[k][0], 1000) + ", " +
           rounded(r.corners[k][1], 1000) + "]";
    s += "]}";
  }
  return s + "]";
}

}  // namespace lt
