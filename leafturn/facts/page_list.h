// SPDX-License-Identifier: MIT
// The page selection grammar (the command line's, the bindings'):
//   N      a page (1-based)          z    the last page
//   rN     the N-th page from the end (r1 is z)
//   A-B    a range between two pages, in either direction
//   odd, even                         by page number
//   xITEM  removes ITEM's pages from what the items before it selected
// Items are separated by commas: "1-z,x3-5", "odd,x1", "r3-z".
#ifndef LEAFTURN_PAGE_LIST_H
#define LEAFTURN_PAGE_LIST_H

#include <string>
#include <vector>

namespace lt {

struct page_pos {
  bool from_end = false;  // z and rN
  long n = 0;             // N, or the count from the end (z: 1)
};

struct list_item {
  enum kind_t { page, range, odd, even } kind = page;
  bool exclude = false;
  page_pos a, b;
};

struct page_list {
  std::vector<list_item> items;
};

// Parses a page list; false with *why set for a malformed item, 0 or r0.
bool parse_page_list(const std::string &text, page_list *list, std::string *why);

// The pages the list selects in a document of `count` pages, ascending. False
// with *bad set to the first page outside the document that an item names.
bool select_pages(const page_list &list, int count, std::vector<int> *pages, long *bad);

}  // namespace lt

#endif
