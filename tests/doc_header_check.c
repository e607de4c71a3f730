/* SPDX-License-Identifier: MIT */
/* The document header compiles on its own (as C89, C99 and, through
 * header_check.cpp, C++), and says its version as leafturn.h does. */
#include "leafturn_doc.h"
#if !defined(LEAFTURN_DOC_VERSION_MAJOR) || !defined(LEAFTURN_DOC_VERSION_MINOR) || \
    !defined(LEAFTURN_DOC_VERSION_PATCH) || !defined(LEAFTURN_DOC_VERSION)
#error "leafturn_doc.h names its version"
#endif
#include "leafturn.h"
#if LEAFTURN_DOC_VERSION_MAJOR != LEAFTURN_VERSION_MAJOR || LEAFTURN_DOC_VERSION_MINOR != LEAFTURN_VERSION_MINOR || \
    LEAFTURN_DOC_VERSION_PATCH != LEAFTURN_VERSION_PATCH
#error "the two headers name one version"
#endif
int leafturn_doc_header_check(void) {
  leafturn_doc_page page;
  page.size = sizeof page;
  return (int)page.size + LEAFTURN_DOC_OK;
}
