// SPDX-License-Identifier: MIT
// Parsing and resolving page selections (grammar in page_list.h).
#include "facts/page_list.h"

#include <utility>

namespace lt {

namespace {

bool parse_count(const std::string &s, long *out) {
  if (s.empty() || s.size() > 9) return false;
  long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// N, z or rN.
bool parse_page(const std::string &s, page_pos *p, std::string *why) {
  if (s == "z") {
    *p = {true, 1};
    return true;
  }
  const bool from_end = !s.empty() && s[0] == 'r';
  long n;
  if (!parse_count(from_end ? s.substr(1) : s, &n)) {
    *why = "not a page: \"" + s + "\"";
    return false;
  }
  if (n == 0) {
    *why = "pages count from 1: \"" + s + "\"";
    return false;
  }
  *p = {from_end, n};
  return true;
}

// The page number in a document of `count` pages (may lie outside it).
long resolve(const page_pos &p, int count) { return p.from_end ? count - p.n + 1 : p.n; }

}  // namespace

bool parse_page_list(const std::string &text, page_list *list, std::string *why) {
  list->items.clear();
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    list_item it;
    if (!item.empty() && item[0] == 'x') {
      it.exclude = true;
      item.erase(0, 1);
    }
    if (item == "odd" || item == "even") {
      it.kind = item == "odd" ? list_item::odd : list_item::even;
    } else {
      const size_t dash = item.find('-');
      if (item.empty()) {
        *why = "empty item in page list \"" + text + "\"";
        return false;
      }
      if (dash == std::string::npos) {
        if (!parse_page(item, &it.a, why)) return false;
        it.kind = list_item::page;
      } else {
        if (!parse_page(item.substr(0, dash), &it.a, why) ||
            !parse_page(item.substr(dash + 1), &it.b, why))
          return false;
        it.kind = list_item::range;
      }
    }
    list->items.push_back(it);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

bool select_pages(const page_list &list, int count, std::vector<int> *pages, long *bad) {
  std::vector<char> chosen(static_cast<size_t>(count) + 1, 0);
  auto inside = [&](long p) {
    if (p >= 1 && p <= count) return true;
    *bad = p;
    return false;
  };
  for (const list_item &it : list.items) {
    const char mark = it.exclude ? 0 : 1;
    long lo = 1, hi = count, step = 1;
    switch (it.kind) {
      case list_item::page:
        lo = hi = resolve(it.a, count);
        if (!inside(lo)) return false;
        break;
      case list_item::range: {
        lo = resolve(it.a, count);
        hi = resolve(it.b, count);
        if (!inside(lo) || !inside(hi)) return false;
        if (lo > hi) std::swap(lo, hi);
        break;
      }
      case list_item::odd:
        step = 2;
        break;
      case list_item::even:
        lo = 2;
        step = 2;
        break;
    }
    for (long p = lo; p <= hi; p += step) chosen[static_cast<size_t>(p)] = mark;
  }
  pages->clear();
  for (int p = 1; p <= count; ++p)
    if (chosen[static_cast<size_t>(p)]) pages->push_back(p);
  return true;
}

}  // namespace lt
