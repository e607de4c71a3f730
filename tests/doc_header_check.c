/* SPDX-License-Identifier: MIT */
/* The document header compiles on its own (as C89, C99 and, through
 * header_check.cpp, C++). */
#include "leafturn_doc.h"
int leafturn_doc_header_check(void) {
  leafturn_doc_page page;
  page.size = sizeof page;
  return (int)page.size + LEAFTURN_DOC_OK;
}
