// Searches at a dictionary's own level (/Type of page-tree objects, a page's
// own /Rotate), memoised per object. Objects that share one distant
// "endobj" have overlapping ranges, and a plain scan per object is then
// quadratic. Two facts make the memo exact: a scan that stands at depth 0
// on the start of another object with the same range end continues exactly
// as that object's own scan, and a nested dictionary met at depth 1 is
// skipped as a whole, to where the scan that starts at its "<<" closes it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

#include "internal.h"
#include "pos_map.h"

namespace lt {

namespace {

using addr = std::uintptr_t;

}  // namespace

// Ranges up to this length are scanned plainly every time (tests set it to
// 0 to put every range through the memo).
i32 g_plain_scan_max = 4096;

namespace {
inline addr A(const u8 *p) { return reinterpret_cast<addr>(p); }

}  // namespace

struct top_cache {
  std::vector<signed char> type;        // obj_type per record, -1 unknown
  std::vector<char> rotate_known;
  std::vector<const u8 *> rotate_at;    // first own /Rotate, null when none
  std::vector<std::pair<addr, i32>> starts;  // range starts, sorted
  pos_map nested;                       // image "<<" -> offset after its close
  bool eols_built = false, gts_built = false;
  std::vector<i32> eols, gts;           // image offsets of CR/LF and of '>'
};

void top_cache_free::operator()(top_cache *c) const { delete c; }
void drop_top_cache(doc &d) { d.top.reset(); }

namespace {

top_cache &top_of(const doc &d) {
  doc &md = const_cast<doc &>(d);
  if (!md.top) {
    md.top.reset(new top_cache());
    top_cache &c = *md.top;
    const size_t n = d.objs.size();
    c.type.assign(n, -1);
    c.rotate_known.assign(n, 0);
    c.rotate_at.assign(n, nullptr);
    for (size_t k = 0; k < n; ++k) {
      const u8 *b;
      i32 lo, hi;
      if (dict_range(d, d.objs[k], &b, &lo, &hi)) c.starts.emplace_back(A(b + lo), static_cast<i32>(k));
    }
    std::sort(c.starts.begin(), c.starts.end());
  }
  return *md.top;
}

// First listed offset above x, or -1.
i32 next_listed(const std::vector<i32> &v, i32 x) {
  auto it = std::upper_bound(v.begin(), v.end(), x);
  return it == v.end() ? -1 : *it;
}

const std::vector<i32> &eols(const doc &d, top_cache &c) {
  if (!c.eols_built) {
    c.eols_built = true;
    for (i32 i = 0; i < d.len; ++i)
      if (d.data[i] == '\r' || d.data[i] == '\n') c.eols.push_back(i);
  }
  return c.eols;
}

const std::vector<i32> &gts(const doc &d, top_cache &c) {
  if (!c.gts_built) {
    c.gts_built = true;
    for (i32 i = 0;;) {
      const void *hit = std::memchr(d.data + i, '>', static_cast<size_t>(d.len - i));
      if (!hit) break;
      i = static_cast<i32>(static_cast<const u8 *>(hit) - d.data);
      c.gts.push_back(i++);
    }
  }
  return c.gts;
}

// In the image: where a scan resumes after the nested dictionary opened by
// the "<<" at x (just past the ">>" that brings its depth back), or -1 when
// the scan to the end of the image fails first.
i32 nested_close(const doc &d, top_cache &c, i32 x) {
  i32 result = -1;
  if (c.nested.get(x, &result)) return result;
  const u8 *b = d.data;
  const i32 len = d.len;
  struct frame {
    i32 start;
    i32 pos;
  };
  std::vector<frame> stack{{x, x + 2}};
  while (!stack.empty()) {
    frame &f = stack.back();
    i32 i = f.pos;
    bool pushed = false, closed = false, failed = false;
    while (!failed && !closed && !pushed) {
      if (i >= len) {
        failed = true;
        break;
      }
      const u8 ch = b[i];
      if (ch == '%') {
        const i32 e = next_listed(eols(d, c), i);
        if (e < 0) failed = true;
        else i = e + 1;
      } else if (ch == '(') {
        const i32 close = i + 1 < len ? image_string_close(d, i) : -1;
        if (close < 0) failed = true;
        else i = close + 1;
      } else if (ch == '<') {
        if (i + 1 >= len) {
          failed = true;
        } else if (b[i + 1] == '<') {
          i32 inner;
          if (c.nested.get(i, &inner)) {
            if (inner < 0) failed = true;
            else i = inner;
          } else {
            f.pos = i;
            stack.push_back({i, i + 2});
            pushed = true;
          }
        } else {
          const i32 g = next_listed(gts(d, c), i);
          if (g < 0) failed = true;
          else i = g + 1;
        }
      } else if (ch == '>') {
        if (i + 1 >= len) failed = true;
        else if (b[i + 1] == '>') closed = true;
        else ++i;
      } else {
        ++i;
      }
    }
    if (pushed) continue;
    if (failed) {
      for (const frame &g : stack) c.nested.put(g.start, -1);
      break;
    }
    c.nested.put(f.start, i + 2);
    stack.pop_back();
    if (!stack.empty()) stack.back().pos = i + 2;
  }
  c.nested.get(x, &result);
  return result;
}

struct outcome {
  bool final;
  int type;
  const u8 *rotate;
  i32 same_as;
};

enum class want { type, rotate };

outcome scan_record(const doc &d, top_cache &c, i32 k, want w) {
  outcome none{true, 0, nullptr, -1};
  const obj_rec &o = d.objs[static_cast<size_t>(k)];
  const u8 *b;
  i32 lo, hi;
  if (!dict_range(d, o, &b, &lo, &hi)) return none;
  const bool image = !o.in_objstm;
  const addr end = A(b + hi);
  const char *name = w == want::type ? "Type" : "Rotate";
  const i32 n = w == want::type ? 4 : 6;
  auto it = std::upper_bound(c.starts.begin(), c.starts.end(), std::make_pair(A(b + lo), k));
  int depth = 0;
  i32 i = lo;
  auto resync = [&] {
    it = std::lower_bound(it, c.starts.end(), std::make_pair(A(b + i), i32(-1)));
  };
  while (i < hi) {
    if (depth == 0) {
      const addr here = A(b + i);
      while (it != c.starts.end() && it->first < here) ++it;
      for (auto j = it; j != c.starts.end() && j->first == here; ++j) {
        const u8 *jb;
        i32 jlo, jhi;
        if (j->second != k && dict_range(d, d.objs[static_cast<size_t>(j->second)], &jb, &jlo, &jhi) &&
            A(jb + jhi) == end)
          return {false, 0, nullptr, j->second};
      }
    }
    const u8 ch = b[i];
    if (ch == '%') {
      i32 e = -1;
      if (image) {
        e = next_listed(eols(d, c), i);
      } else {
        for (i32 q = i; q < hi; ++q)
          if (b[q] == '\r' || b[q] == '\n') {
            e = q;
            break;
          }
      }
      if (e < 0 || e >= hi) return none;
      i = e + 1;
      resync();
    } else if (ch == '(') {
      if (i + 1 >= hi) return none;
      const i32 close = image ? image_string_close(d, i) : literal_string_close(b, i, hi);
      if (close < 0 || close >= hi) return none;
      i = close + 1;
      resync();
    } else if (ch == '<') {
      if (i + 1 >= hi) return none;
      if (b[i + 1] == '<') {
        if (depth >= 1 && image) {
          const i32 r = nested_close(d, c, i);
          if (r < 0 || r > hi) return none;
          i = r;
          resync();
        } else {
          ++depth;
          i += 2;
        }
      } else {
        i32 g = -1;
        if (image) {
          g = next_listed(gts(d, c), i);
        } else {
          const void *hit = std::memchr(b + i + 1, '>', static_cast<size_t>(hi - i - 1));
          if (hit) g = static_cast<i32>(static_cast<const u8 *>(hit) - b);
        }
        if (g < 0 || g >= hi) return none;
        i = g + 1;
        resync();
      }
    } else if (ch == '>') {
      if (i + 1 >= hi) return none;
      if (b[i + 1] == '>') {
        if (depth > 0) --depth;
        i += 2;
      } else {
        ++i;
      }
    } else if (ch == '/' && depth <= 1 && static_cast<long long>(i) + 1 + n <= hi &&
               std::memcmp(b + i + 1, name, static_cast<size_t>(n)) == 0 &&
               (i + 1 + n == hi || !is_name_cont(b[i + 1 + n]))) {
      if (w == want::rotate) return {true, 0, b + i, -1};
      // /Type: a page type decides; another value lets the scan go on.
      const i32 j = skip_pdf_ws(b, hi, i + 5);
      if (static_cast<long long>(j) + 4 < hi && b[j] == '/' && std::memcmp(b + j + 1, "Page", 4) == 0) {
        if (j + 5 >= hi || !is_alnum(b[j + 5])) return {true, 1, nullptr, -1};
        if (b[j + 5] == 's') return {true, (j + 6 >= hi || !is_alnum(b[j + 6])) ? 2 : 0, nullptr, -1};
        return none;
      }
      ++i;
    } else {
      ++i;
    }
  }
  return none;
}

// Resolves record k, following "same as" links iteratively.
void resolve(const doc &d, top_cache &c, i32 k, want w) {
  auto known = [&](i32 r) {
    return w == want::type ? c.type[static_cast<size_t>(r)] >= 0
                           : c.rotate_known[static_cast<size_t>(r)] != 0;
  };
  if (known(k)) return;
  std::vector<i32> chain{k};
  outcome out{};
  for (;;) {
    out = scan_record(d, c, chain.back(), w);
    if (out.final) break;
    if (known(out.same_as)) {
      const size_t j = static_cast<size_t>(out.same_as);
      out = {true, c.type[j], c.rotate_at[j], -1};
      break;
    }
    chain.push_back(out.same_as);
  }
  // Every record of the chain has the last one's answer; a /Rotate found is
  // the same byte for all of them.
  for (const i32 r : chain) {
    const size_t u = static_cast<size_t>(r);
    if (w == want::type) {
      c.type[u] = static_cast<signed char>(out.type);
    } else {
      c.rotate_known[u] = 1;
      c.rotate_at[u] = out.rotate;
    }
  }
}

i32 index_of(const doc &d, const obj_rec &o) {
  if (d.objs.empty() || &o < d.objs.data() || &o >= d.objs.data() + d.objs.size()) return -1;
  return static_cast<i32>(&o - d.objs.data());
}

}  // namespace

int record_type(const doc &d, const obj_rec &o) {
  const i32 k = index_of(d, o);
  const u8 *b;
  i32 lo, hi;
  // A short range costs little to scan again; only long ones need the memo.
  if (k < 0 || !dict_range(d, o, &b, &lo, &hi) || hi - lo <= g_plain_scan_max) return obj_type(d, o);
  top_cache &c = top_of(d);
  resolve(d, c, k, want::type);
  return c.type[static_cast<size_t>(k)];
}

i32 own_rotate_name(const doc &d, const obj_rec &o) {
  const i32 k = index_of(d, o);
  const u8 *b;
  i32 lo, hi;
  if (!dict_range(d, o, &b, &lo, &hi)) return -1;
  if (k < 0 || hi - lo <= g_plain_scan_max) return find_name_top(b, hi, lo, hi, "Rotate");
  top_cache &c = top_of(d);
  resolve(d, c, k, want::rotate);
  const u8 *at = c.rotate_at[static_cast<size_t>(k)];
  return at ? static_cast<i32>(at - b) : -1;
}

}  // namespace lt
