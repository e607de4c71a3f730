// SPDX-License-Identifier: MIT
// Both public headers compile on their own in C++.
#include "leafturn.h"
#include "leafturn_doc.h"
int leafturn_header_check_cxx() {
  leafturn_doc_page page = {};
  page.size = sizeof page;
  return leafturn_init() + static_cast<int>(page.size > 0);
}
