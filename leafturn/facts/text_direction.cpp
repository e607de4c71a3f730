// SPDX-License-Identifier: MIT
// The content reader for text direction (text_direction.h).
#include "facts/text_direction.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "syntax/dict_walk.h"
#include "decode/filters.h"
#include "facts/rotation.h"

namespace lt {

const char *text_direction_name(text_direction d) {
  switch (d) {
    case text_direction::up: return "up";
    case text_direction::right: return "right";
    case text_direction::down: return "down";
    case text_direction::left: return "left";
    case text_direction::none: break;
  }
  return "none";
}

i32 upright_rotation(text_direction dir, i32 rotation) {
  // Text whose tops point right shows upright a quarter turn back.
  const int q = dir == text_direction::right ? 1 : dir == text_direction::down ? 2
              : dir == text_direction::left  ? 3 : 0;
  return ((rotation - 90 * q) % 360 + 360) % 360;
}

text_direction turned_direction(text_direction dir, i32 from, i32 to) {
  if (dir == text_direction::none) return dir;
  const int q = static_cast<int>(dir) - 1 + ((to - from) / 90 % 4 + 4);
  return static_cast<text_direction>(q % 4 + 1);
}

namespace {

// How deep Form XObjects nest, and the graphics states kept, at most.
constexpr int k_max_form_depth = 12;
constexpr size_t k_max_saved_states = 256;
// How far from an axis a run may stand and still count for it.
constexpr double k_axis_tolerance_deg = 20.0;
constexpr double k_pi = 3.14159265358979323846;

// The linear part of a matrix [a b c d e f]: what directions go through.
struct linear {
  double a = 1, b = 0, c = 0, d = 1;
  // this, then m (row vectors: v * this * m).
  linear then(const linear &m) const {
    return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c, c * m.b + d * m.d};
  }
};

// The dictionary a record holds: from its "<<" to its end.
span record_dict(const doc &d, const obj_rec &o) {
  const span v = o.is_stream() ? stream_dict(d, o) : object_content(d, o);
  if (!v) return span();
  const i32 at = skip_space(v.b, v.start, v.limit);
  if (at + 1 >= v.limit || v.b[at] != '<' || v.b[at + 1] != '<') return span();
  return span{v.b, at, v.limit};
}

// The value of a dictionary's top-level /key, [from, to) in dict's buffer.
span entry(const span &dict, const char *key) {
  span found;
  if (!dict) return found;
  for_each_entry(dict.b, dict.start, dict.limit, [&](const dict_entry &e) {
    if (!found && e.name == key) found = span{dict.b, e.from, e.to};
  });
  return found;
}

// The record a reference value names, or null.
const obj_rec *referenced(const doc &d, const span &v) {
  if (!v) return nullptr;
  const i32 num = reference_value(v.b, v.start, v.limit);
  return num > 0 ? d.find(num) : nullptr;
}

// A dictionary value, direct or through a reference.
span as_dict(const doc &d, const span &v) {
  if (!v) return span();
  const i32 at = skip_space(v.b, v.start, v.limit);
  if (at + 1 < v.limit && v.b[at] == '<' && v.b[at + 1] == '<') return span{v.b, at, v.limit};
  const obj_rec *o = referenced(d, v);
  return o ? record_dict(d, *o) : span();
}

// An array value, direct or through a reference: just inside its brackets.
span as_array(const doc &d, const span &v) {
  if (!v) return span();
  span s = v;
  i32 at = skip_space(s.b, s.start, s.limit);
  if (at >= s.limit || s.b[at] != '[') {
    const obj_rec *o = referenced(d, v);
    s = o && !o->is_stream() ? object_content(d, *o) : span();
    if (!s) return span();
    at = skip_space(s.b, s.start, s.limit);
    if (at >= s.limit || s.b[at] != '[') return span();
  }
  const i32 end = value_end(s.b, at, s.limit);
  return end < 0 ? span() : span{s.b, at + 1, end - 1};
}

bool name_is(const span &v, const char *name) {
  return v && is_name_value(v.b, v.start, v.limit, name);
}

// Numbers of an array value ("[1 0 0 1 0 0]").
bool numbers(const doc &d, const span &v, double *out, int n) {
  const span a = as_array(d, v);
  if (!a) return false;
  i32 c = a.start;
  for (int k = 0; k < n; ++k)
    if (!parse_real_at(a.b, a.limit, &c, &out[k])) return false;
  return true;
}

// How a font's strings break into glyphs.
struct font_codes {
  bool two_byte = false;  // Identity and other predefined CMaps: two bytes a code
  // An embedded CMap's code space: for each first byte, its code length
  // (0 when no range starts with it).
  std::vector<u8> length_by_first;
  long glyphs(const std::string &s) const {
    if (!length_by_first.empty()) {
      long n = 0;
      for (size_t i = 0; i < s.size(); ++n) {
        const u8 len = length_by_first[static_cast<u8>(s[i])];
        i += len ? len : 1;
      }
      return n;
    }
    return two_byte ? static_cast<long>(s.size() / 2) : static_cast<long>(s.size());
  }
};

// The graphics state that matters here.
struct gstate {
  linear ctm;
  const font_codes *font = nullptr;
  bool flipped = false;  // a negative font size turns glyphs over
};

const font_codes k_simple_font;

}  // namespace

struct text_reader::impl {
  document &loaded;
  const doc &d;
  size_t budget;
  bool over = false;
  std::unordered_map<i32, font_codes> fonts;  // by font object number
  std::vector<i32> forms_open;                // Form XObjects being read
  std::vector<long> counts;                   // per quarter (0 up .. 3 left), 4 none
  i32 rotation = 0;

  explicit impl(document &l)
      : loaded(l), d(l.d),
        budget(k_text_budget_floor + k_text_budget_per_input_byte * static_cast<size_t>(l.d.len)) {}

  bool decode(const obj_rec &o, std::vector<u8> *out) {
    if (over) return false;
    size_t spent = 0;
    const decoded r = decode_stream_data(d, o, budget, out, &spent);
    budget -= std::min(budget, spent);
    if (r == decoded::over_budget || budget == 0) {
      over = true;
      return false;
    }
    return r == decoded::ok;
  }

  // The CMap code space of an embedded CMap stream.
  void read_codespace(const obj_rec &o, font_codes *f) {
    std::vector<u8> text;
    if (!decode(o, &text)) return;
    const char *kw = "begincodespacerange";
    const size_t kn = std::strlen(kw);
    std::vector<u8> lengths(256, 0);
    bool any = false;
    const u8 *b = text.data();
    const i32 n = static_cast<i32>(text.size());
    for (i32 at = 0; at + static_cast<i32>(kn) <= n;) {
      const u8 *hit = static_cast<const u8 *>(std::memchr(b + at, 'b', static_cast<size_t>(n - at)));
      if (!hit) break;
      at = static_cast<i32>(hit - b);
      if (at + static_cast<i32>(kn) > n || std::memcmp(b + at, kw, kn) != 0) {
        ++at;
        continue;
      }
      i32 i = at + static_cast<i32>(kn);
      for (;;) {  // pairs of hex strings until "endcodespacerange"
        std::string lo, hi;
        i = skip_space(b, i, n);
        if (i >= n || b[i] != '<') break;
        const i32 e1 = string_bytes(b, i, n, &lo);
        if (e1 < 0) break;
        const i32 s2 = skip_space(b, e1, n);
        const i32 e2 = string_bytes(b, s2, n, &hi);
        if (e2 < 0 || lo.empty() || lo.size() > 4 || hi.size() != lo.size()) break;
        for (int c = static_cast<u8>(lo[0]); c <= static_cast<u8>(hi[0]); ++c) {
          lengths[static_cast<size_t>(c)] = static_cast<u8>(lo.size());
          any = true;
        }
        i = e2;
      }
      at = i;
    }
    if (any) f->length_by_first = std::move(lengths);
  }

  const font_codes *font_of(const span &value) {
    const obj_rec *o = referenced(d, value);
    if (o) {
      auto it = fonts.find(o->num);
      if (it != fonts.end()) return &it->second;
    }
    font_codes f;
    const span dict = as_dict(d, value);
    if (dict && name_is(entry(dict, "Subtype"), "Type0")) {
      f.two_byte = true;
      const span enc = entry(dict, "Encoding");
      if (const obj_rec *cmap = referenced(d, enc))
        if (cmap->is_stream()) read_codespace(*cmap, &f);
    }
    if (!o) return f.two_byte ? (f.length_by_first.empty() ? &two_byte_direct : &k_simple_font)
                              : &k_simple_font;
    return &fonts.emplace(o->num, std::move(f)).first->second;
  }
  font_codes two_byte_direct{true, {}};

  // One run of glyphs shown in state g with text matrix tm.
  void count_run(const gstate &g, const linear &tm, long glyphs) {
    if (glyphs <= 0) return;
    // The glyphs' up direction: the text space's y axis.
    double x = tm.c * g.ctm.a + tm.d * g.ctm.c;
    double y = tm.c * g.ctm.b + tm.d * g.ctm.d;
    if (g.flipped) {
      x = -x;
      y = -y;
    }
    // As displayed: the page turned clockwise by its rotation.
    const double r = rotation * k_pi / 180.0;
    const double dx = x * std::cos(r) + y * std::sin(r), dy = -x * std::sin(r) + y * std::cos(r);
    size_t slot = 4;
    if (dx != 0 || dy != 0) {
      const double deg = std::atan2(dy, dx) * 180.0 / k_pi;  // up is 90
      const double from_up = std::remainder(deg - 90.0, 360.0);
      for (int q = 0; q < 4; ++q) {
        if (std::fabs(std::remainder(from_up + 90.0 * q, 360.0)) <= k_axis_tolerance_deg) {
          slot = static_cast<size_t>(q);
          break;
        }
      }
    }
    counts[slot] += glyphs;
  }

  // Reads one content stream's bytes with the resources given.
  void run(const u8 *b, i32 n, const span &resources, gstate g, int depth) {
    struct operand {
      enum kind_t { number, name, string, array, other } kind;
      double value;
      i32 from, to;
    };
    constexpr size_t k_kept = 8;
    operand ops[k_kept];
    size_t nops = 0;
    auto push = [&](const operand &o) {
      if (nops == k_kept) {
        std::memmove(ops, ops + 1, sizeof(operand) * (k_kept - 1));
        --nops;
      }
      ops[nops++] = o;
    };
    std::vector<gstate> saved;
    size_t overflow = 0;
    linear tm;
    std::string bytes;
    auto glyphs_of = [&](i32 from, i32 to) {
      long total = 0;
      if (from < to && b[from] == '[') {
        for (i32 i = from + 1; i < to - 1;) {
          i = skip_space(b, i, to - 1);
          if (i >= to - 1) break;
          if (b[i] == '(' || (b[i] == '<' && !(i + 1 < to && b[i + 1] == '<'))) {
            const i32 e = string_bytes(b, i, to - 1, &bytes);
            if (e < 0) break;
            total += (g.font ? g.font : &k_simple_font)->glyphs(bytes);
            i = e;
          } else {
            const i32 e = value_end(b, i, to - 1);
            i = e > i ? e : i + 1;
          }
        }
        return total;
      }
      if (string_bytes(b, from, to, &bytes) < 0) return 0L;
      return (g.font ? g.font : &k_simple_font)->glyphs(bytes);
    };

    for (i32 i = 0; i < n && !over;) {
      const u8 c = b[i];
      if (is_pdf_ws(c)) {
        ++i;
        continue;
      }
      if (c == '%') {
        while (i < n && b[i] != '\n' && b[i] != '\r') ++i;
        continue;
      }
      if (c == '/') {
        i32 e = i + 1;
        while (e < n && !is_pdf_ws(b[e]) && !is_delimiter(b[e])) ++e;
        push({operand::name, 0, i + 1, e});
        i = e;
        continue;
      }
      if (c == '(' || (c == '<' && !(i + 1 < n && b[i + 1] == '<'))) {
        const i32 e = string_end(b, i, n);
        if (e < 0) return;
        push({operand::string, 0, i, e});
        i = e;
        continue;
      }
      if (c == '[' || c == '<') {
        const i32 e = value_end(b, i, n);
        if (e < 0) return;
        push({c == '[' ? operand::array : operand::other, 0, i, e});
        i = e;
        continue;
      }
      if (is_digit(c) || c == '-' || c == '+' || c == '.') {
        double v = 0;
        i32 e = i;
        if (parse_real_at(b, n, &e, &v) && e > i) {
          push({operand::number, v, i, e});
          i = e;
          continue;
        }
      }
      if (is_delimiter(c)) {  // a stray ")", "]", ">", "{" or "}"
        ++i;
        nops = 0;
        continue;
      }
      // An operator.
      i32 e = i;
      while (e < n && !is_pdf_ws(b[e]) && !is_delimiter(b[e])) ++e;
      const size_t len = static_cast<size_t>(e - i);
      const char *op = reinterpret_cast<const char *>(b + i);
      auto is = [&](const char *name) { return std::strlen(name) == len && std::memcmp(op, name, len) == 0; };
      auto num = [&](size_t back) { return ops[nops - back].value; };
      auto numbers_before = [&](size_t k) {
        if (nops < k) return false;
        for (size_t j = 1; j <= k; ++j)
          if (ops[nops - j].kind != operand::number) return false;
        return true;
      };
      i = e;
      if (is("q")) {
        if (saved.size() < k_max_saved_states) saved.push_back(g);
        else ++overflow;
      } else if (is("Q")) {
        if (overflow) --overflow;
        else if (!saved.empty()) {
          g = saved.back();
          saved.pop_back();
        }
      } else if (is("cm") && numbers_before(6)) {
        g.ctm = linear{num(6), num(5), num(4), num(3)}.then(g.ctm);
      } else if (is("BT")) {
        tm = linear();
      } else if (is("Tm") && numbers_before(6)) {
        tm = linear{num(6), num(5), num(4), num(3)};
      } else if (is("Tf") && nops >= 2 && ops[nops - 2].kind == operand::name &&
                 ops[nops - 1].kind == operand::number) {
        g.flipped = num(1) < 0;
        g.font = font_named(resources, b, ops[nops - 2].from, ops[nops - 2].to);
      } else if ((is("Tj") || is("'")) && nops >= 1 && ops[nops - 1].kind == operand::string) {
        count_run(g, tm, glyphs_of(ops[nops - 1].from, ops[nops - 1].to));
      } else if (is("\"") && nops >= 1 && ops[nops - 1].kind == operand::string) {
        count_run(g, tm, glyphs_of(ops[nops - 1].from, ops[nops - 1].to));
      } else if (is("TJ") && nops >= 1 && ops[nops - 1].kind == operand::array) {
        count_run(g, tm, glyphs_of(ops[nops - 1].from, ops[nops - 1].to));
      } else if (is("Do") && nops >= 1 && ops[nops - 1].kind == operand::name) {
        form(resources, b, ops[nops - 1].from, ops[nops - 1].to, g, depth);
      } else if (is("BI")) {
        i = past_inline_image(b, n, i);
      }
      nops = 0;
    }
  }

  // Past an inline image's data: its "EI" standing alone after "ID".
  static i32 past_inline_image(const u8 *b, i32 n, i32 i) {
    for (; i + 1 < n; ++i)
      if (b[i] == 'I' && b[i + 1] == 'D' && is_pdf_ws(b[i - 1]) && (i + 2 >= n || is_pdf_ws(b[i + 2]))) break;
    for (i += 3; i + 1 < n; ++i)
      if (b[i] == 'E' && b[i + 1] == 'I' && is_pdf_ws(b[i - 1]) && (i + 2 >= n || is_pdf_ws(b[i + 2])))
        return i + 2;
    return n;
  }

  // The resource `kind` (/Font, /XObject) named by [from, to) of b.
  span resource(const span &resources, const char *kind, const u8 *b, i32 from, i32 to) {
    const span group = as_dict(d, entry(resources, kind));
    if (!group) return span();
    std::string name;
    name_text(b, from - 1, to, &name);
    return entry(group, name.c_str());
  }

  const font_codes *font_named(const span &resources, const u8 *b, i32 from, i32 to) {
    const span v = resource(resources, "Font", b, from, to);
    return v ? font_of(v) : &k_simple_font;
  }

  void form(const span &resources, const u8 *b, i32 from, i32 to, gstate g, int depth) {
    const obj_rec *o = referenced(d, resource(resources, "XObject", b, from, to));
    if (!o || !o->is_stream() || depth >= k_max_form_depth) return;
    for (const i32 open : forms_open)
      if (open == o->num) return;  // a form that draws itself
    const span dict = record_dict(d, *o);
    if (!name_is(entry(dict, "Subtype"), "Form")) return;
    double m[6];
    if (numbers(d, entry(dict, "Matrix"), m, 6)) g.ctm = linear{m[0], m[1], m[2], m[3]}.then(g.ctm);
    const span own = as_dict(d, entry(dict, "Resources"));
    std::vector<u8> content;
    if (!decode(*o, &content)) return;
    forms_open.push_back(o->num);
    run(content.data(), static_cast<i32>(content.size()), own ? own : resources, g, depth + 1);
    forms_open.pop_back();
  }

  // The page's resources: its own, else the nearest ancestor's.
  span page_resources(const page_ref &p) {
    const obj_rec *o = d.find(p.num);
    span r = o ? as_dict(d, entry(record_dict(d, *o), "Resources")) : span();
    for (i32 node = p.parent; !r && node >= 0; node = d.nodes[static_cast<size_t>(node)].parent) {
      const obj_rec *n = d.find(d.nodes[static_cast<size_t>(node)].num);
      if (n) r = as_dict(d, entry(record_dict(d, *n), "Resources"));
    }
    return r;
  }

  text_facts page(int p, i32 rot) {
    text_facts f;
    counts.assign(5, 0);
    rotation = rot;
    const page_ref &ref = d.pages[static_cast<size_t>(p - 1)];
    const obj_rec *o = d.find(ref.num);
    if (!o || over) return f;
    const span dict = record_dict(d, *o);
    const span contents = entry(dict, "Contents");
    if (!contents) return f;
    // One stream, or an array of them read as one.
    std::vector<u8> all, part;
    if (const obj_rec *s = referenced(d, contents); s && s->is_stream()) {
      if (!decode(*s, &all)) return f;
    } else {
      const span list = as_array(d, contents);
      if (!list) return f;
      for (i32 i = skip_space(list.b, list.start, list.limit); i < list.limit;
           i = skip_space(list.b, i, list.limit)) {
        const i32 e = value_end(list.b, i, list.limit);
        if (e < 0) break;
        const obj_rec *s = referenced(d, span{list.b, i, e});
        i = e;
        if (!s || !s->is_stream()) continue;
        if (!decode(*s, &part)) {
          if (over) return f;
          continue;
        }
        all.insert(all.end(), part.begin(), part.end());
        all.push_back('\n');
      }
    }
    run(all.data(), static_cast<i32>(all.size()), page_resources(ref), gstate(), 0);
    long total = 0;
    for (const long c : counts) total += c;
    f.glyphs = total;
    if (total >= k_min_direction_glyphs)
      for (int q = 0; q < 4; ++q)
        if (3 * counts[static_cast<size_t>(q)] >= 2 * total)
          f.direction = static_cast<text_direction>(q + 1);
    return f;
  }
};

text_reader::text_reader(document &loaded) : impl_(new impl(loaded)) {}
text_reader::~text_reader() = default;

text_facts text_reader::page(int p, i32 rotation) { return impl_->page(p, rotation); }
bool text_reader::budget_reached() const { return impl_->over; }

text_report describe_text(document &loaded) {
  text_report r;
  text_reader reader(loaded);
  const doc &d = loaded.d;
  r.pages.reserve(d.pages.size());
  for (size_t k = 0; k < d.pages.size(); ++k)
    r.pages.push_back(reader.page(static_cast<int>(k) + 1, effective_rotation(d, loaded.lex, d.pages[k])));
  r.budget_reached = reader.budget_reached();
  return r;
}

}  // namespace lt
