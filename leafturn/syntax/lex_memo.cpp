// SPDX-License-Identifier: MIT
// The scanning context: the questions the loader and the writer ask of one
// file image, answered from memos built once per load. They ask the same
// questions of overlapping ranges many times (the next "endobj" after each
// header, the close of each dictionary, the own /Type of objects that share
// one distant "endobj"); on hostile files a plain search per question is
// quadratic. Every answer is exactly the plain search's over the same range.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <cassert>

#include "syntax/lex.h"
#include "syntax/pos_map.h"

namespace lt {

namespace {

using addr = std::uintptr_t;
inline addr addr_of(const u8 *p) { return reinterpret_cast<addr>(p); }

// Positions of one keyword, complete within [lo, hi) and extended on demand.
struct kw_index {
  std::vector<i32> pos;
  i32 lo = -1;
  i32 hi = -1;
  size_t hint = 0;  // where the last answer stood: questions mostly move forward
};

// The index of the first position at or after x in v (sorted), searched
// from the hint outwards: questions mostly move forward by a little.
size_t first_from(const std::vector<i32> &v, i32 x, size_t *hint) {
  const size_t n = v.size();
  size_t lo = 0, hi = n;  // the answer lies in [lo, hi]
  const size_t h = std::min(*hint, n);
  if (h < n && v[h] < x) {
    lo = h + 1;
    for (size_t step = 1; lo < n && v[lo] < x; step *= 2) {
      const size_t next = lo + step;
      if (next >= n || v[next] >= x) {
        hi = std::min(next, n);
        break;
      }
      lo = next + 1;
    }
  } else {
    hi = h;
  }
  return *hint = static_cast<size_t>(std::lower_bound(v.begin() + static_cast<std::ptrdiff_t>(lo),
                                                      v.begin() + static_cast<std::ptrdiff_t>(hi), x) -
                                     v.begin());
}

// Closes of dictionaries by the offset of their "<<": found ones in a map,
// failed ones as one bit per image byte (a hostile file fails millions of
// nested walks at once, and a map entry each would cost far more).
class close_memo {
 public:
  bool get(i32 key, i32 *val) const {
    const size_t k = static_cast<size_t>(key);
    if (!failed_.empty() && (failed_[k >> 6] >> (k & 63) & 1u)) {
      *val = -1;
      return true;
    }
    return found_.get(key, val);
  }
  void put(i32 key, i32 val, i32 image_len) {
    if (val >= 0) return found_.put(key, val);
    if (failed_.empty()) failed_.assign(static_cast<size_t>(image_len) / 64 + 1, 0);
    const size_t k = static_cast<size_t>(key);
    failed_[k >> 6] |= std::uint64_t(1) << (k & 63);
  }

 private:
  pos_map found_;
  std::vector<std::uint64_t> failed_;
};

// An own-name answer not looked for yet.
constexpr i32 k_not_searched = -2;

// First listed offset above x, or -1.
i32 next_listed(const std::vector<i32> &v, i32 x) {
  auto it = std::upper_bound(v.begin(), v.end(), x);
  return it == v.end() ? -1 : *it;
}

}  // namespace

// The plain scans that a budget still allows, before a memo is built: most
// files only ever meet short strings and dictionaries, and the memo costs a
// pass over every byte or a map entry per nested dictionary. Spending at
// most the image's size this way keeps the total linear.
struct plain_budget {
  long long left = 0;
  // The end of a plain window from `at`, at most `limit`; at (nothing to
  // spend) when the budget is gone.
  i32 window(i32 at, i32 limit, i32 cap) const {
    return static_cast<i32>(at + std::min<long long>({static_cast<long long>(limit) - at, left,
                                                      static_cast<long long>(cap)}));
  }
  void spend(long long n) { left -= n; }
};

struct scan_ctx::memo {
  // Loader only: keywords and names, by what is asked.
  bool index_built = false, names_built = false;
  kw_index keywords[k_keywords];
  std::vector<i32> names[k_pdf_names];
  size_t name_hint[k_pdf_names] = {};

  // Every '(' of the image with the ')' that closes a literal string opened
  // there (-1 when none), sorted by position.
  bool strings_built = false;
  std::vector<i32> open_pos, open_close;
  plain_budget strings_budget;  // plain string scans before the table
  // Image offsets of CR/LF and of '>', for comments and hex strings.
  bool eols_built = false, gts_built = false;
  std::vector<i32> eols, gts;
  // Image "<<" -> first '>' of the ">>" that closes it (-1: none), under
  // each rule set.
  close_memo closes[2];
  std::vector<i32> close_stack;  // starts of the open walks
  plain_budget closes_budget;  // plain dictionary walks before the memo walk

  // Own-level answers per record of the document.
  bool records_built = false;
  std::vector<signed char> type;        // page_type, page_kind_undecided until known
  std::vector<char> known[scan_ctx::k_own_keys];
  std::vector<const u8 *> at[scan_ctx::k_own_keys];  // first own /name, null when none
  // Short ranges' own names, searched plainly once: offset, -1 none,
  // k_not_searched before.
  std::vector<i32> short_own[scan_ctx::k_own_keys];
  std::vector<std::pair<addr, i32>> starts;  // dictionary range starts, sorted
};

#define LEAFTURN_TEXT_ITEM(x) #x,

const char *text_of(keyword k) {
  static const char *const text[k_keywords] = {LEAFTURN_KEYWORDS(LEAFTURN_TEXT_ITEM)};
  return text[static_cast<int>(k)];
}

const char *text_of(pdf_name n) {
  static const char *const text[k_pdf_names] = {LEAFTURN_PDF_NAMES(LEAFTURN_TEXT_ITEM)};
  return text[static_cast<int>(n)];
}

scan_ctx::scan_ctx(const doc &d, i32 plain_max) : d_(d), plain_max_(plain_max) {}
scan_ctx::~scan_ctx() = default;

void scan_ctx::reset() { m_.reset(); }

void scan_ctx::end_of_load() {
  if (!m_) return;
  m_->index_built = m_->names_built = false;
  for (kw_index &k : m_->keywords) k = kw_index();
  for (std::vector<i32> &v : m_->names) std::vector<i32>().swap(v);
  for (size_t &h : m_->name_hint) h = 0;
}

scan_ctx::memo &scan_ctx::m() {
  if (!m_) {
    m_.reset(new memo());
    // A context that sends every range through the memos uses the string
    // table from the start too: its budget covers the whole image and some
    // to spare.
    constexpr long long k_budget_spare = 4096;
    m_->strings_budget.left = plain_max_ > 0 ? static_cast<long long>(d_.len) + k_budget_spare : 0;
    m_->closes_budget = m_->strings_budget;
  }
  return *m_;
}

namespace {

// Literal strings: inside a string a backslash makes the next byte ordinary,
// so whether a bracket is escaped depends only on the run of backslashes
// before it. With P(i) the balance of unescaped '(' and ')' before i, the
// string opened at x (escaped or not: the opener itself always counts) ends
// at the first unescaped ')' after x that brings the balance below P(x+1).
void build_strings(const doc &d, scan_ctx::memo &c) {
  c.strings_built = true;
  const u8 *b = d.data;
  // Whether the bracket at i is escaped: an odd run of backslashes before it.
  auto escaped = [b](i32 i) {
    i32 k = i;
    while (k > 0 && b[k - 1] == '\\') --k;
    return ((i - k) & 1) != 0;
  };
  // Forward: the final balance, its range and the number of openers.
  i32 level = 0, lo = 0, hi = 0;
  size_t opens = 0;
  for (i32 i = 0; i < d.len; ++i) {
    const u8 ch = b[i];
    if (ch != '(' && ch != ')') continue;
    const bool esc = escaped(i);
    if (ch == '(') {
      ++opens;
      if (!esc) hi = std::max(hi, ++level);
    } else if (!esc) {
      lo = std::min(lo, --level);
    }
  }
  // Backward, from the final balance: next_close[L - lo] is the nearest
  // unescaped ')' seen so far that was reached with balance L.
  std::vector<i32> next_close(static_cast<size_t>(hi - lo + 2), -1);
  c.open_pos.assign(opens, 0);
  c.open_close.assign(opens, -1);
  size_t k = opens;
  for (i32 i = d.len; i-- > 0;) {
    const u8 ch = b[i];
    if (ch != '(' && ch != ')') continue;
    const bool esc = escaped(i);
    if (ch == ')') {
      if (!esc) next_close[static_cast<size_t>(++level - lo)] = i;
    } else {
      // level is the balance after this byte.
      if (!esc) --level;
      --k;
      c.open_pos[k] = i;
      c.open_close[k] = next_close[static_cast<size_t>(level + (esc ? 0 : 1) - lo)];
    }
  }
}

// The skips of a walk over the image, answered from the tables above.
struct image_skips {
  const doc &d;
  scan_ctx::memo &c;
  i32 line_end(i32 i, i32) const {
    if (!c.eols_built) {
      c.eols_built = true;
      for (i32 k = 0; k < d.len; ++k)
        if (d.data[k] == '\r' || d.data[k] == '\n') c.eols.push_back(k);
    }
    return next_listed(c.eols, i);
  }
  i32 string_close(i32 i, i32 limit) const {
    if (!c.strings_built) {
      const i32 window = c.strings_budget.window(i, limit, limit - i);
      if (window - i > 1) {
        const i32 close = literal_string_close(d.data, i, window);
        c.strings_budget.spend((close >= 0 ? close : window) - i);
        // Closed inside the window, or the window is the whole range: the
        // answer is the table's.
        if (close >= 0 || window == limit) return close;
      }
      build_strings(d, c);
    }
    auto it = std::lower_bound(c.open_pos.begin(), c.open_pos.end(), i);
    return c.open_close[static_cast<size_t>(it - c.open_pos.begin())];
  }
  i32 hex_close(i32 i, i32) const {
    if (!c.gts_built) {
      c.gts_built = true;
      for (i32 k = 0;;) {
        const void *hit = std::memchr(d.data + k, '>', static_cast<size_t>(d.len - k));
        if (!hit) break;
        k = static_cast<i32>(static_cast<const u8 *>(hit) - d.data.get());
        c.gts.push_back(k++);
      }
    }
    return next_listed(c.gts, i);
  }
};

// The close of the dictionary opened by the "<<" at x, over the whole
// image, under rule set R. The walk inside a nested "<<" is exactly the walk
// that starts there, so nested dictionaries are skipped through the memo;
// an explicit stack keeps deep nesting off the call stack.
template <rules R>
i32 memo_close(const doc &d, scan_ctx::memo &c, i32 x) {
  close_memo &memo = c.closes[R == rules::own_level ? 1 : 0];
  i32 result = -1;
  if (memo.get(x, &result)) return result;
  const u8 *b = d.data;
  const i32 len = d.len;
  const image_skips s{d, c};
  // The starts of the open walks; the innermost one goes on from `resume`,
  // and an enclosing one from just after the close of the walk it opened.
  // Kept between calls.
  std::vector<i32> &stack = c.close_stack;
  stack.clear();
  stack.push_back(x);
  i32 resume = x + 2;
  while (!stack.empty()) {
    i32 i = resume;
    bool pushed = false, closed = false;
    while ((i = next_significant<R>(b, i, len)) < len) {
      const lex_step st = step_at<R>(b, i, len, s);
      if (st.kind == lexeme::fail) break;
      if (st.kind == lexeme::close) {
        closed = true;
        break;
      }
      if (st.kind == lexeme::open) {
        i32 inner;
        if (memo.get(i, &inner)) {
          if (inner < 0) break;
          i = inner + 2;
          continue;
        }
        stack.push_back(i);
        resume = i + 2;
        pushed = true;
        break;
      }
      i = st.next;
    }
    if (pushed) continue;
    if (!closed) {
      // Every enclosing walk continues this one and fails with it.
      for (const i32 g : stack) memo.put(g, -1, len);
      break;
    }
    memo.put(stack.back(), i, len);
    stack.pop_back();
    resume = i + 2;
  }
  memo.get(x, &result);
  return result;
}

void build_index(const doc &d, scan_ctx::memo &c);
void build_names(const doc &d, scan_ctx::memo &c);

}  // namespace

// ---- keywords and names --------------------------------------------------

namespace {

// Calls on_hit for every position of byte ch in the image, in order.
template <typename F>
void for_each_byte(const u8 *b, i32 len, u8 ch, F on_hit) {
  scan_byte(b, 0, len, ch, [&](i32 p) {
    on_hit(p);
    return false;
  });
}

// The "obj" and "endobj" keywords (every "endobj" ends in "obj"), found
// from their 'b'.
void build_index(const doc &d, scan_ctx::memo &c) {
  c.index_built = true;
  kw_index &obj = c.keywords[static_cast<int>(keyword::obj)];
  kw_index &endobj = c.keywords[static_cast<int>(keyword::endobj)];
  obj.pos.clear();
  endobj.pos.clear();
  const u8 *b = d.data;
  const i32 len = d.len;
  for_each_byte(b, len, 'b', [&](i32 i) {
    if (i < 1 || i + 1 >= len || b[i - 1] != 'o' || b[i + 1] != 'j') return;
    const i32 o = i - 1;
    if (kw_at(b, o, len, "obj")) obj.pos.push_back(o);
    else if (o >= 3 && kw_at(b, o - 3, len, "endobj")) endobj.pos.push_back(o - 3);
  });
  obj.lo = endobj.lo = 0;
  obj.hi = endobj.hi = len;
}

// The names, in one pass over every '/': the name token after a '/' (the
// longest run of name-continuing bytes) matches a name exactly when
// find_name would. Built when a long window first asks for a name.
void build_names(const doc &d, scan_ctx::memo &c) {
  c.names_built = true;
  // By first letter: a name token is compared with the few that start like
  // it, and matches one when its bytes follow the '/' and no
  // name-continuing byte follows them.
  const char *text[k_pdf_names];
  i32 lens[k_pdf_names];
  unsigned char by_first[256][k_pdf_names];
  unsigned char count[256] = {};
  for (int k = 0; k < k_pdf_names; ++k) {
    c.names[k].clear();
    c.name_hint[k] = 0;
    text[k] = text_of(static_cast<pdf_name>(k));
    lens[k] = static_cast<i32>(std::strlen(text[k]));
    const u8 first = static_cast<u8>(text[k][0]);
    by_first[first][count[first]++] = static_cast<unsigned char>(k);
  }
  const u8 *b = d.data;
  const i32 len = d.len;
  for_each_byte(b, len, '/', [&](i32 i) {
    if (i + 1 >= len) return;
    const u8 first = b[i + 1];
    for (unsigned char q = 0; q < count[first]; ++q) {
      const int k = by_first[first][q];
      if (name_at(b, i, len, text[k], lens[k])) {
        c.names[k].push_back(i);
        break;
      }
    }
  });
}

kw_index &keyword_index(const doc &d, scan_ctx::memo &c, keyword kw) {
  if (!c.index_built && (kw == keyword::obj || kw == keyword::endobj)) build_index(d, c);
  return c.keywords[static_cast<int>(kw)];
}

}  // namespace

const std::vector<i32> &scan_ctx::obj_keywords() {
  memo &c = m();
  return keyword_index(d_, c, keyword::obj).pos;
}

i32 scan_ctx::next_keyword(keyword word, i32 start) {
  memo &c = m();
  kw_index &k = keyword_index(d_, c, word);
  const char *kw = text_of(word);
  const u8 *b = d_.data;
  const i32 len = d_.len;
  if (start < 0) start = 0;
  if (start >= len) return -1;
  if (k.lo < 0) {
    k.lo = k.hi = start;
  } else if (start < k.lo) {
    // Cover [start, lo) too, in front of what is known.
    std::vector<i32> front;
    for (i32 p = find_kw(b, len, start, kw); p >= 0 && p < k.lo; p = find_kw(b, len, p + 1, kw))
      front.push_back(p);
    k.pos.insert(k.pos.begin(), front.begin(), front.end());
    k.lo = start;
  }
  for (;;) {
    const size_t at = first_from(k.pos, start, &k.hint);
    if (at < k.pos.size()) return k.pos[at];
    if (k.hi >= len) return -1;
    const i32 p = find_kw(b, len, k.hi, kw);
    if (p < 0) {
      k.hi = len;
      return -1;
    }
    if (k.pos.empty() || k.pos.back() < p) k.pos.push_back(p);
    k.hi = p + 1;
  }
}

i32 scan_ctx::last_keyword(keyword word) {
  const char *kw = text_of(word);
  const u8 *b = d_.data;
  const i32 n = static_cast<i32>(std::strlen(kw));
  for (i32 i = d_.len - n; i >= 0; --i) {
#if defined(__GLIBC__)
    const void *hit = memrchr(b, kw[0], static_cast<size_t>(i + 1));
    if (!hit) return -1;
    i = static_cast<i32>(static_cast<const u8 *>(hit) - b);
#else
    if (b[i] != static_cast<u8>(kw[0])) continue;
#endif
    if (kw_at(b, i, d_.len, kw)) return i;
  }
  return -1;
}

i32 scan_ctx::next_name(pdf_name name, i32 start, i32 limit) {
  const u8 *b = d_.data;
  assert(limit <= start || limit >= d_.len || !is_name_cont(b[limit - 1]) ||
         !is_name_cont(b[limit]));
  if (start < 0) start = 0;
  if (plain(static_cast<long long>(limit) - start))
    return find_name(b, d_.len, start, limit, text_of(name));
  memo &c = m();
  if (!c.names_built) build_names(d_, c);
  const int key = static_cast<int>(name);
  const std::vector<i32> &v = c.names[key];
  const size_t k = first_from(v, start, &c.name_hint[key]);
  if (k == v.size()) return -1;
  const i32 at = v[k];
  const long long end = static_cast<long long>(at) + 1 + static_cast<long long>(std::strlen(text_of(name)));
  return end <= std::min(limit, d_.len) ? at : -1;
}

// ---- dictionaries ----------------------------------------------------------

i32 scan_ctx::dict_close(i32 start, i32 end) {
  const u8 *b = d_.data;
  const bool opens = start >= 0 && start + 1 < d_.len && b[start] == '<' && b[start + 1] == '<';
  if (!opens) return find_dict_close(b, start, end);
  // A close already known (the loader finds every object's) answers at once.
  i32 result;
  if (m_ && m_->closes[0].get(start, &result))
    return (result < 0 || static_cast<long long>(result) + 1 >= end) ? -1 : result;
  if (plain(static_cast<long long>(end) - start)) return find_dict_close(b, start, end);
  // A close found inside a shorter window is the whole range's too: every
  // lexeme before it ended inside the window. Failures there may not be.
  memo &c = m();
  if (c.closes_budget.left > 0) {
    const i32 window = c.closes_budget.window(start, end, plain_max_);
    result = find_dict_close(b, start, window);
    c.closes_budget.spend((result >= 0 ? result + 2 : window) - start);
    if (result >= 0 && result + 2 <= window) return result;
  }
  result = memo_close<rules::dict_end>(d_, c, start);
  if (result < 0 || static_cast<long long>(result) + 1 >= end) return -1;
  return result;
}

i32 scan_ctx::stream_after_dict(i32 start) {
  return stream_kw_after(d_.data, d_.len, dict_close(start, d_.len));
}

// ---- own-level searches per record -------------------------------------------
//
// Objects that share one distant "endobj" have overlapping ranges, and a
// plain walk per object is then quadratic. Two facts make the memo exact: a
// walk that stands at depth 0 on the start of another object with the same
// range end continues exactly as that object's own walk, and a nested
// dictionary met at depth 1 is skipped as a whole, to where the walk that
// starts at its "<<" closes it.

namespace {

// What a walk looks for, the question its answer is kept under: the page
// type, or the first own /name of one key (a scan_ctx::own_key).
constexpr int k_want_type = -1;
const char *const k_own_names[scan_ctx::k_own_keys] = {"Rotate", "MediaBox", "CropBox"};

struct outcome {
  bool final;
  page_kind type;
  const u8 *found;   // the name found (own names)
  i32 same_as;
};

// The hooks of one record's memoised walk.
struct record_hooks {
  const doc &d;
  scan_ctx::memo &c;
  i32 k;              // the record walked
  const u8 *base;     // its range's buffer
  i32 limit;          // its range's end in that buffer
  bool image;         // the buffer is the file image
  int w;              // k_want_type or an own_key
  std::vector<std::pair<addr, i32>>::const_iterator it;  // next start not passed
  outcome out{true, page_kind_other, nullptr, -1};

  bool at_depth0(i32 i) {
    const addr here = addr_of(base + i);
    const addr end = addr_of(base + limit);
    if (it != c.starts.end() && it->first < here)
      it = std::lower_bound(it, c.starts.cend(), std::make_pair(here, i32(-1)));
    for (auto j = it; j != c.starts.end() && j->first == here; ++j) {
      if (j->second == k) continue;
      const span r = dict_span(d, d.objs[static_cast<size_t>(j->second)]);
      if (r && addr_of(r.b + r.limit) == end) {
        out = {false, page_kind_other, nullptr, j->second};
        return true;
      }
    }
    return false;
  }
  i32 skip_nested(i32 i) {
    if (!image) return k_descend;
    const i32 r = memo_close<rules::own_level>(d, c, i);
    if (r < 0 || r + 2 > limit) return -1;
    return r + 2;
  }
  bool on_match(const u8 *b, i32 i, i32 limit) {
    if (w != k_want_type) {
      out = {true, page_kind_other, b + i, -1};
      return true;
    }
    // /Type: a page type decides; another value lets the walk go on.
    const page_kind t = page_type_after(b, i, limit);
    if (t == page_kind_undecided) return false;
    out = {true, t, nullptr, -1};
    return true;
  }
};

void build_records(const doc &d, scan_ctx::memo &c) {
  c.records_built = true;
  const size_t n = d.objs.size();
  c.type.assign(n, page_kind_undecided);
  for (int key = 0; key < scan_ctx::k_own_keys; ++key) {
    c.known[key].assign(n, 0);
    c.at[key].assign(n, nullptr);
  }
  c.starts.clear();
  for (size_t k = 0; k < n; ++k) {
    const span r = dict_span(d, d.objs[k]);
    if (r) c.starts.emplace_back(addr_of(r.b + r.start), static_cast<i32>(k));
  }
  if (!std::is_sorted(c.starts.begin(), c.starts.end())) std::sort(c.starts.begin(), c.starts.end());
}

outcome walk_record(const doc &d, scan_ctx::memo &c, i32 k, int w) {
  const obj_rec &o = d.objs[static_cast<size_t>(k)];
  const span r = dict_span(d, o);
  if (!r) return {true, page_kind_other, nullptr, -1};
  record_hooks h{d, c, k, r.b, r.limit, !o.in_objstm(), w,
                 std::upper_bound(c.starts.cbegin(), c.starts.cend(),
                                  std::make_pair(addr_of(r.b + r.start), k))};
  const char *name = w == k_want_type ? "Type" : k_own_names[w];
  if (h.image) {
    walk_own_level(r.b, r.start, r.limit, name, image_skips{d, c}, h);
  } else {
    walk_own_level(r.b, r.start, r.limit, name, plain_skips{r.b}, h);
  }
  return h.out;
}

// Resolves record k, following "same as" links iteratively.
void resolve(const doc &d, scan_ctx::memo &c, i32 k, int w) {
  auto known = [&](i32 r) {
    return w == k_want_type ? c.type[static_cast<size_t>(r)] >= 0
                            : c.known[w][static_cast<size_t>(r)] != 0;
  };
  if (known(k)) return;
  std::vector<i32> chain{k};
  outcome out{};
  for (;;) {
    out = walk_record(d, c, chain.back(), w);
    if (out.final) break;
    if (known(out.same_as)) {
      const size_t j = static_cast<size_t>(out.same_as);
      out = {true, static_cast<page_kind>(c.type[j]), w == k_want_type ? nullptr : c.at[w][j],
             -1};
      break;
    }
    chain.push_back(out.same_as);
  }
  // Every record of the chain has the last one's answer; a name found is
  // the same byte for all of them.
  for (const i32 r : chain) {
    const size_t u = static_cast<size_t>(r);
    if (w == k_want_type) {
      c.type[u] = static_cast<signed char>(out.type);
    } else {
      c.known[w][u] = 1;
      c.at[w][u] = out.found;
    }
  }
}

i32 index_of(const doc &d, const obj_rec &o) {
  if (d.objs.empty() || &o < d.objs.data() || &o >= d.objs.data() + d.objs.size()) return -1;
  return static_cast<i32>(&o - d.objs.data());
}

}  // namespace

page_kind scan_ctx::page_type(const obj_rec &o) {
  const i32 k = index_of(d_, o);
  const span r = dict_span(d_, o);
  if (k < 0 || !r || plain(r.limit - r.start)) return obj_type(d_, o);
  memo &c = m();
  if (!c.records_built) build_records(d_, c);
  assert(c.type.size() == d_.objs.size());  // the records did not change since
  resolve(d_, c, k, k_want_type);
  return static_cast<page_kind>(c.type[static_cast<size_t>(k)]);
}

i32 scan_ctx::own_name(const obj_rec &o, own_key key) {
  const i32 k = index_of(d_, o);
  const span r = dict_span(d_, o);
  if (!r) return -1;
  if (k < 0) return find_name_top(r.b, r.limit, r.start, r.limit, k_own_names[key]);
  memo &c = m();
  if (plain(r.limit - r.start)) {
    // Asked again by the writer for each page it turns: searched once.
    std::vector<i32> &cache = c.short_own[key];
    if (cache.size() != d_.objs.size()) cache.assign(d_.objs.size(), k_not_searched);
    i32 &at = cache[static_cast<size_t>(k)];
    if (at == k_not_searched) at = find_name_top(r.b, r.limit, r.start, r.limit, k_own_names[key]);
    return at;
  }
  if (!c.records_built) build_records(d_, c);
  assert(c.known[key].size() == d_.objs.size());  // the records did not change since
  resolve(d_, c, k, key);
  const u8 *at = c.at[key][static_cast<size_t>(k)];
  return at ? static_cast<i32>(at - r.b) : -1;
}

}  // namespace lt
