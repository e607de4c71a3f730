// SPDX-License-Identifier: MIT
// The content reader for text direction (text_direction.h).
#include "facts/text_direction.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "syntax/content_lexer.h"
#include "syntax/dict_walk.h"
#include "syntax/value.h"
#include "decode/filters.h"
#include "facts/content_walk.h"
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

// The graphics states kept, at most.
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

// How a font's strings break into glyphs.
struct font_codes {
  bool two_byte = false;  // Identity and other predefined CMaps: two bytes a code
  // An embedded CMap's code space: for each first byte, its code length
  // (0 when no range starts with it).
  std::vector<u8> length_by_first;

  // The glyphs of the string token at i: into *glyphs, and past the string,
  // or -1 when it is not closed before limit. The string's bytes are
  // counted as they are read, never built.
  i32 count(const u8 *b, i32 i, i32 limit, long *glyphs) const {
    long n = 0;
    if (!length_by_first.empty()) {
      // Codes of the lengths their first bytes give; the last may be cut.
      const u8 *lengths = length_by_first.data();
      long pending = 0;  // bytes of the current code still to come
      auto take = [&](u8 c) {
        if (pending > 0) {
          --pending;
          return;
        }
        ++n;
        const u8 len = lengths[c];
        pending = (len ? len : 1) - 1;
      };
      const i32 e = string_scan(
          b, i, limit,
          [&](i32 from, i32 to) {
            for (i32 k = from; k < to; ++k) take(b[k]);
          },
          take);
      *glyphs = n;
      return e;
    }
    const i32 e = string_scan(
        b, i, limit, [&](i32 from, i32 to) { n += to - from; }, [&](u8) { ++n; });
    *glyphs = two_byte ? n / 2 : n;
    return e;
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
  std::unordered_map<i32, font_codes> fonts;  // by font object number
  std::vector<long> counts;                   // per quarter (0 up .. 3 left), 4 none
  content_walk walk;
  i32 rotation = 0;

  explicit impl(document &l)
      : loaded(l), d(l.d), walk(l.d) {}

  // The CMap code space of an embedded CMap stream.
  void read_codespace(const obj_rec &o, font_codes *f) {
    std::vector<u8> text;
    if (!walk.decode(o, &text)) return;
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
    const obj_rec *o = referenced_record(d, value);
    if (o) {
      auto it = fonts.find(o->num);
      if (it != fonts.end()) return &it->second;
    }
    font_codes f;
    const span dict = dict_value(d, value);
    if (dict && value_is_name(entry_value(dict, "Subtype"), "Type0")) {
      f.two_byte = true;
      const span enc = entry_value(dict, "Encoding");
      if (const obj_rec *cmap = referenced_record(d, enc))
        if (cmap->is_stream()) read_codespace(*cmap, &f);
    }
    if (!o) return f.two_byte ? (f.length_by_first.empty() ? &two_byte_direct : &k_simple_font)
                              : &k_simple_font;
    return &fonts.emplace(o->num, std::move(f)).first->second;
  }
  font_codes two_byte_direct{true, {}};

  // The quarter of the last direction counted (runs in a row mostly share
  // one): its x, y and the slot they gave.
  double last_x = 0, last_y = 0;
  size_t last_slot = 4;
  bool have_last = false;

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
    if (have_last && x == last_x && y == last_y) {
      counts[last_slot] += glyphs;
      return;
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
    last_x = x;
    last_y = y;
    last_slot = slot;
    have_last = true;
  }

  // Reads one content stream's bytes with the resources given.
  void run(const u8 *b, i32 n, const span &resources, gstate g, int depth) {
    struct operand {
      content_kind kind;
      double value;
      i32 from, to;
      i32 string_bytes;
    };
    // The last operands before an operator (no operator here takes more).
    constexpr size_t k_kept = 8;
    operand ops[k_kept];
    size_t nops = 0;
    auto push = [&](const content_token &t) {
      if (nops == k_kept) {
        std::memmove(ops, ops + 1, sizeof(operand) * (k_kept - 1));
        --nops;
      }
      ops[nops++] = operand{t.kind, t.value, t.from, t.to, t.string_bytes};
    };
    std::vector<gstate> saved;
    size_t overflow = 0;
    linear tm;
    // The glyphs of a string, or of the strings of a TJ array: the operand
    // [from, to).
    auto glyphs_of = [&](const operand &o) {
      const font_codes &f = g.font ? *g.font : k_simple_font;
      // A byte a glyph: the lexer counted them.
      if (!f.two_byte && f.length_by_first.empty()) return static_cast<long>(o.string_bytes);
      const i32 from = o.from, to = o.to;
      long total = 0, k = 0;
      if (from < to && b[from] == '[') {
        const i32 inside = to - 1;  // the array's closing bracket
        for (i32 i = from + 1; i < inside;) {
          i = skip_space(b, i, inside);
          if (i >= inside) break;
          const u8 c = b[i];
          if (c == '(' || (c == '<' && !(i + 1 < to && b[i + 1] == '<'))) {
            const i32 e = f.count(b, i, inside, &k);
            if (e < 0) break;
            total += k;
            i = e;
          } else if (!is_delimiter(c)) {
            i = token_end(b, i, inside);  // a number or another token
          } else {
            const i32 e = value_end(b, i, inside);
            i = e > i ? e : i + 1;
          }
        }
        return total;
      }
      return f.count(b, from, to, &k) < 0 ? 0L : k;
    };
    auto num = [&](size_t back) { return ops[nops - back].value; };
    auto kinds_before = [&](size_t k, content_kind kind) {
      if (nops < k) return false;
      for (size_t j = 1; j <= k; ++j)
        if (ops[nops - j].kind != kind) return false;
      return true;
    };
    auto last_is = [&](content_kind kind) { return nops >= 1 && ops[nops - 1].kind == kind; };

    content_lexer lx(b, n);
    while (!walk.over()) {
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
          push(t);
          continue;
        case content_kind::stray:
        case content_kind::inline_image:
          nops = 0;
          continue;
        case content_kind::op:
          break;
      }
      // The operators that decide text direction, by length and bytes.
      const u8 *op = b + t.from;
      switch (t.to - t.from) {
        case 1:
          if (op[0] == 'q') {
            if (saved.size() < k_max_saved_states) saved.push_back(g);
            else ++overflow;
          } else if (op[0] == 'Q') {
            if (overflow) --overflow;
            else if (!saved.empty()) {
              g = saved.back();
              saved.pop_back();
            }
          } else if ((op[0] == '\'' || op[0] == '"') && last_is(content_kind::string)) {
            count_run(g, tm, glyphs_of(ops[nops - 1]));
          }
          break;
        case 2:
          if (op[0] == 'c' && op[1] == 'm') {
            if (kinds_before(6, content_kind::number))
              g.ctm = linear{num(6), num(5), num(4), num(3)}.then(g.ctm);
          } else if (op[0] == 'B' && op[1] == 'T') {
            tm = linear();
          } else if (op[0] == 'T') {
            if (op[1] == 'm') {
              if (kinds_before(6, content_kind::number)) tm = linear{num(6), num(5), num(4), num(3)};
            } else if (op[1] == 'f') {
              if (nops >= 2 && ops[nops - 2].kind == content_kind::name &&
                  ops[nops - 1].kind == content_kind::number) {
                g.flipped = num(1) < 0;
                g.font = font_named(resources, b, ops[nops - 2].from, ops[nops - 2].to);
              }
            } else if (op[1] == 'j') {
              if (last_is(content_kind::string))
                count_run(g, tm, glyphs_of(ops[nops - 1]));
            } else if (op[1] == 'J') {
              if (last_is(content_kind::array))
                count_run(g, tm, glyphs_of(ops[nops - 1]));
            }
          } else if (op[0] == 'D' && op[1] == 'o') {
            if (last_is(content_kind::name))
              form(resources, b, ops[nops - 1].from, ops[nops - 1].to, g, depth);
          }
          break;
        default:
          break;
      }
      nops = 0;
    }
  }

  const font_codes *font_named(const span &resources, const u8 *b, i32 from, i32 to) {
    const span v = walk.resource(resources, "Font", b, from, to);
    return v ? font_of(v) : &k_simple_font;
  }

  void form(const span &resources, const u8 *b, i32 from, i32 to, gstate g, int depth) {
    const obj_rec *o = referenced_record(d, walk.resource(resources, "XObject", b, from, to));
    if (!o || !o->is_stream()) return;
    const span dict = record_dict(d, *o);
    if (!value_is_name(entry_value(dict, "Subtype"), "Form")) return;
    if (!walk.enter(*o, depth)) return;
    double m[6];
    if (read_numbers(d, entry_value(dict, "Matrix"), m, 6)) g.ctm = linear{m[0], m[1], m[2], m[3]}.then(g.ctm);
    const span own = dict_value(d, entry_value(dict, "Resources"));
    std::vector<u8> content;
    if (walk.decode(*o, &content))
      run(content.data(), static_cast<i32>(content.size()), own ? own : resources, g, depth + 1);
    walk.leave();
  }

  text_facts page(int p, i32 rot) {
    text_facts f;
    counts.assign(5, 0);
    rotation = rot;
    have_last = false;
    std::vector<u8> joined;
    const u8 *content = nullptr;
    size_t content_size = 0;
    if (!walk.page_content(p, &joined, &content, &content_size)) return f;
    run(content, static_cast<i32>(content_size), walk.page_resources(p), gstate(), 0);
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
bool text_reader::budget_reached() const { return impl_->walk.over(); }

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
