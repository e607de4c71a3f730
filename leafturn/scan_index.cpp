// Memoised searches over one file image. The loader asks the same questions
// of overlapping byte ranges many times (the next "endobj" after each header,
// the close of each dictionary, the next /Length); on hostile files a plain
// forward search per question is quadratic. These indexes are built once per
// load and answer each question with exactly the result of the plain search.
#include <algorithm>
#include <cstring>
#include <map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "internal.h"
#include "pos_map.h"

namespace lt {

// Positions of one keyword, complete within [lo, hi) and extended on demand.
struct kw_index {
  std::vector<i32> pos;
  i32 lo = -1;
  i32 hi = -1;
};

struct scan_cache {
  std::map<std::string, kw_index> keywords;
  // Names: one pass collects the names the loader asks about; any other
  // name gets a pass of its own when first asked for.
  bool names_built = false;
  std::map<std::string, std::vector<i32>> names;
  // Every '(' of the image with the ')' that closes a literal string opened
  // there (-1 when none), sorted by position.
  bool strings_built = false;
  std::vector<i32> open_pos, open_close;
  pos_map dict_closes;
};

void scan_cache_free::operator()(scan_cache *c) const { delete c; }
void drop_scan_cache(doc &d) { d.cache.reset(); }




namespace {

scan_cache &cache_of(const doc &d) {
  doc &md = const_cast<doc &>(d);
  if (!md.cache) md.cache.reset(new scan_cache());
  return *md.cache;
}

// Literal strings: inside a string a backslash makes the next byte ordinary,
// so whether a bracket is escaped depends only on the run of backslashes
// before it. With P(i) the balance of unescaped '(' and ')' before i, the
// string opened at x (escaped or not: the opener itself always counts) ends
// at the first unescaped ')' after x that brings the balance below P(x+1).
void build_strings(const doc &d, scan_cache &c) {
  c.strings_built = true;
  struct ev {
    i32 pos;
    i32 level;  // balance before the byte
    u8 kind;    // '(' unescaped, 'o' escaped '(', ')' unescaped
  };
  std::vector<ev> evs;
  i32 level = 0, lo = 0, hi = 0;
  i32 run = 0;  // backslashes just before i
  for (i32 i = 0; i < d.len; ++i) {
    const u8 ch = d.data[i];
    const bool escaped = (run & 1) != 0;
    if (ch == '\\') {
      ++run;
      continue;
    }
    run = 0;
    if (ch == '(') {
      evs.push_back({i, level, escaped ? u8('o') : u8('(')});
      if (!escaped) hi = std::max(hi, ++level);
    } else if (ch == ')' && !escaped) {
      evs.push_back({i, level, u8(')')});
      lo = std::min(lo, --level);
    }
  }
  // Sweep from the right: next_close[L - lo] is the nearest unescaped ')'
  // seen so far that was reached with balance L.
  std::vector<i32> next_close(static_cast<size_t>(hi - lo + 2), -1);
  size_t opens = 0;
  for (const ev &e : evs)
    if (e.kind != ')') ++opens;
  c.open_pos.assign(opens, 0);
  c.open_close.assign(opens, -1);
  size_t k = opens;
  for (size_t j = evs.size(); j-- > 0;) {
    const ev &e = evs[j];
    if (e.kind == ')') {
      next_close[static_cast<size_t>(e.level - lo)] = e.pos;
    } else {
      const i32 after = e.level + (e.kind == '(' ? 1 : 0);
      --k;
      c.open_pos[k] = e.pos;
      c.open_close[k] = next_close[static_cast<size_t>(after - lo)];
    }
  }
}

// The ')' closing the literal string opened at x, or -1.
i32 string_close(const doc &d, scan_cache &c, i32 x) {
  if (!c.strings_built) build_strings(d, c);
  auto it = std::lower_bound(c.open_pos.begin(), c.open_pos.end(), x);
  return c.open_close[static_cast<size_t>(it - c.open_pos.begin())];
}

}  // namespace

namespace {

const char *const k_indexed_names[] = {"Root", "Info",    "Encrypt", "Prev", "Length", "ObjStm",
                                       "FlateDecode", "Catalog", "Kids", "N", "First"};

// Calls on_o for every 'o' and on_slash for every '/' of the image, in
// order: one pass serves the "obj"/"endobj" lists and the name lists.
template <typename O, typename S>
void for_each_o_and_slash(const u8 *b, i32 len, O on_o, S on_slash) {
  i32 i = 0;
#if defined(__SSE2__)
  const __m128i vo = _mm_set1_epi8('o'), vs = _mm_set1_epi8('/');
  for (; i + 16 <= len; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
    unsigned m = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, vo), _mm_cmpeq_epi8(x, vs))));
    while (m) {
      const i32 k = i + __builtin_ctz(m);
      m &= m - 1;
      if (b[k] == 'o') on_o(k);
      else on_slash(k);
    }
  }
#endif
  for (; i < len; ++i) {
    if (b[i] == 'o') on_o(i);
    else if (b[i] == '/') on_slash(i);
  }
}

// The "obj" and "endobj" keywords (every "endobj" ends in "obj"), and the
// names the loader asks about: the name token after a '/' (the longest run
// of name-continuing bytes) matches a name exactly when find_name would.
void build_index(const doc &d, scan_cache &c) {
  c.names_built = true;
  std::vector<i32> *lists[sizeof k_indexed_names / sizeof k_indexed_names[0]];
  size_t lens[sizeof k_indexed_names / sizeof k_indexed_names[0]];
  for (size_t k = 0; k < sizeof k_indexed_names / sizeof k_indexed_names[0]; ++k) {
    lists[k] = &c.names[k_indexed_names[k]];
    lens[k] = std::strlen(k_indexed_names[k]);
  }
  kw_index &obj = c.keywords["obj"];
  kw_index &endobj = c.keywords["endobj"];
  obj.pos.clear();
  endobj.pos.clear();
  const u8 *b = d.data;
  const i32 len = d.len;
  for_each_o_and_slash(
      b, len,
      [&](i32 i) {
        if (i + 3 > len || b[i + 1] != 'b' || b[i + 2] != 'j') return;
        if (kw_at(b, i, len, "obj")) obj.pos.push_back(i);
        else if (i >= 3 && kw_at(b, i - 3, len, "endobj")) endobj.pos.push_back(i - 3);
      },
      [&](i32 i) {
        i32 j = i + 1;
        while (j < len && is_name_cont(b[j])) ++j;
        const size_t n = static_cast<size_t>(j - i - 1);
        for (size_t k = 0; k < sizeof lens / sizeof lens[0]; ++k) {
          if (lens[k] == n && std::memcmp(b + i + 1, k_indexed_names[k], n) == 0) {
            lists[k]->push_back(i);
            break;
          }
        }
      });
  obj.lo = endobj.lo = 0;
  obj.hi = endobj.hi = len;
}

kw_index &keyword_index(const doc &d, scan_cache &c, const char *kw) {
  if ((std::strcmp(kw, "obj") == 0 || std::strcmp(kw, "endobj") == 0) && !c.names_built)
    build_index(d, c);
  return c.keywords[kw];
}

}  // namespace

const std::vector<i32> &keyword_positions(const doc &d, const char *kw) {
  scan_cache &c = cache_of(d);
  kw_index &k = keyword_index(d, c, kw);
  if (k.lo != 0 || k.hi != d.len) {
    k.pos.clear();
    for (i32 p = find_kw(d.data, d.len, 0, kw); p >= 0; p = find_kw(d.data, d.len, p + 1, kw))
      k.pos.push_back(p);
    k.lo = 0;
    k.hi = d.len;
  }
  return k.pos;
}

i32 next_keyword(const doc &d, const char *kw, i32 start) {
  scan_cache &c = cache_of(d);
  kw_index &k = keyword_index(d, c, kw);
  if (start < 0) start = 0;
  if (start >= d.len) return -1;
  if (k.lo < 0) {
    k.lo = k.hi = start;
  } else if (start < k.lo) {
    // Cover [start, lo) too, in front of what is known.
    std::vector<i32> front;
    for (i32 p = find_kw(d.data, d.len, start, kw); p >= 0 && p < k.lo;
         p = find_kw(d.data, d.len, p + 1, kw))
      front.push_back(p);
    k.pos.insert(k.pos.begin(), front.begin(), front.end());
    k.lo = start;
  }
  for (;;) {
    auto it = std::lower_bound(k.pos.begin(), k.pos.end(), start);
    if (it != k.pos.end()) return *it;
    if (k.hi >= d.len) return -1;
    const i32 p = find_kw(d.data, d.len, k.hi, kw);
    if (p < 0) {
      k.hi = d.len;
      return -1;
    }
    if (k.pos.empty() || k.pos.back() < p) k.pos.push_back(p);
    k.hi = p + 1;
  }
}

i32 last_keyword(const doc &d, const char *kw) {
  const i32 n = static_cast<i32>(std::strlen(kw));
  for (i32 i = d.len - n; i >= 0; --i) {
#if defined(__GLIBC__)
    const void *hit = memrchr(d.data, kw[0], static_cast<size_t>(i + 1));
    if (!hit) return -1;
    i = static_cast<i32>(static_cast<const u8 *>(hit) - d.data);
#else
    if (d.data[i] != static_cast<u8>(kw[0])) continue;
#endif
    if (kw_at(d.data, i, d.len, kw)) return i;
  }
  return -1;
}

// A name that ends right at the limit matches whatever byte follows, so a
// windowed search could find a match that the whole-image list lacks. The
// windows used by the loader end at a keyword ("stream", "endobj",
// "startxref"), the end of the image or a match found here, and a keyword
// never follows a letter, so the list answers every windowed search.
i32 next_name(const doc &d, const char *name, i32 start, i32 limit) {
  scan_cache &c = cache_of(d);
  if (!c.names_built) build_index(d, c);
  auto it = c.names.find(name);
  if (it == c.names.end()) {
    std::vector<i32> &v = c.names[name];
    for (i32 p = find_name(d.data, d.len, 0, d.len, name); p >= 0;
         p = find_name(d.data, d.len, p + 1, d.len, name))
      v.push_back(p);
    it = c.names.find(name);
  }
  const std::vector<i32> &v = it->second;
  auto at = std::lower_bound(v.begin(), v.end(), start < 0 ? 0 : start);
  if (at == v.end()) return -1;
  const long long end = static_cast<long long>(*at) + 1 + static_cast<long long>(std::strlen(name));
  return end <= std::min(limit, d.len) ? *at : -1;
}

// find_dict_close for a "<<" at start over the whole image. The scan inside
// a nested "<<" is exactly the scan that starts there, so nested dictionaries
// are skipped through the memo and strings through the string table; an
// explicit stack keeps deep nesting off the call stack.
i32 dict_close(const doc &d, i32 start, i32 end) {
  scan_cache &c = cache_of(d);
  const u8 *b = d.data;
  const i32 len = d.len;
  i32 result;
  if (!c.dict_closes.get(start, &result)) {
    struct frame {
      i32 start;
      i32 pos;
    };
    std::vector<frame> stack{{start, start + 2}};
    result = -1;
    bool failed = false;
    while (!stack.empty() && !failed) {
      frame &f = stack.back();
      i32 i = f.pos;
      bool pushed = false, closed = false;
      while (i < len) {
        const u8 ch = b[i];
        if (ch == '<') {
          if (i + 1 >= len) break;
          if (b[i + 1] != '<') {
            ++i;
            continue;
          }
          i32 inner;
          if (c.dict_closes.get(i, &inner)) {
            if (inner < 0) break;
            i = inner + 2;
            continue;
          }
          f.pos = i;  // resumed after the nested close
          stack.push_back({i, i + 2});
          pushed = true;
          break;
        } else if (ch == '>') {
          if (i + 1 >= len) break;
          if (b[i + 1] == '>') {
            closed = true;
            break;
          }
          ++i;
        } else if (ch == '(') {
          const i32 close = string_close(d, c, i);
          if (close < 0 || close + 1 >= len) break;
          i = close + 1;
        } else {
          const void *hit = nullptr;
          // Jump to the next byte that matters.
          for (i32 k = i + 1; k < len; ++k) {
            const u8 x = b[k];
            if (x == '<' || x == '>' || x == '(') {
              hit = b + k;
              break;
            }
          }
          if (!hit) {
            i = len;
            break;
          }
          i = static_cast<i32>(static_cast<const u8 *>(hit) - b);
        }
      }
      if (pushed) continue;
      if (!closed) {
        // Every enclosing scan continues this one and fails with it.
        for (const frame &g : stack) c.dict_closes.put(g.start, -1);
        failed = true;
        break;
      }
      c.dict_closes.put(f.start, i);
      stack.pop_back();
      if (!stack.empty()) stack.back().pos = i + 2;
    }
    c.dict_closes.get(start, &result);
  }
  if (result < 0 || static_cast<long long>(result) + 1 >= end) return -1;
  return result;
}

i32 dict_stream(const doc &d, i32 start) {
  const i32 c = dict_close(d, start, d.len);
  if (c < 0) return -1;
  const i32 p = skip_pdf_ws(d.data, d.len, c + 2);
  return kw_at(d.data, p, d.len, "stream") ? p : -1;
}

i32 image_string_close(const doc &d, i32 x) { return string_close(d, cache_of(d), x); }

}  // namespace lt
