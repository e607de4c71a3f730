// The seven exported calls and the last-error text. Every working call has
// one shape: check the arguments in a fixed order, load the document, do its
// work, release the document, and empty the error text on success. No
// exception crosses this boundary: allocation failure becomes "out of memory".
#include <cstdarg>
#include <cstdio>
#include <new>

#include "internal.h"
#include "leafturn.h"

namespace lt {

namespace {
char g_err[1024];
}

void set_error(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(g_err, sizeof g_err, fmt, ap);
  va_end(ap);
}

void clear_error() { g_err[0] = '\0'; }
const char *error_text() { return g_err; }

namespace {

bool valid_degrees(int degrees) {
  if (degrees == 90 || degrees == 180 || degrees == 270) return true;
  set_error("degrees must be 90, 180 or 270 (got %d)", degrees);
  return false;
}

// Runs one working call; allocation failure and any other escape become a
// failure with a message.
template <typename F>
int guarded(int failure, F &&work) {
  try {
    return work();
  } catch (const std::bad_alloc &) {
    set_error("out of memory");
  } catch (...) {
    set_error("internal error");
  }
  return failure;
}

int rotate(const char *in_path, const char *out_path, const int *pages,
           int count, int degrees) {
  doc d;
  if (doc_load(in_path, d) != 0) return 0;
  const int ok = rotate_doc(d, out_path, pages, count, degrees);
  doc_free(d);
  if (!ok) return 0;
  clear_error();
  return 1;
}

}  // namespace
}  // namespace lt

using namespace lt;

extern "C" {

LEAFTURN_API int leafturn_init(void) {
  clear_error();
  return 1;
}

LEAFTURN_API void leafturn_cleanup(void) { clear_error(); }

LEAFTURN_API const char *leafturn_last_error(void) { return error_text(); }

LEAFTURN_API int leafturn_get_rotation(const char *in_path, int page_number) {
  return guarded(-1, [&]() -> int {
    if (!in_path) {
      set_error("NULL path argument");
      return -1;
    }
    if (page_number < 1) {
      set_error("page_number must be >= 1 (got %d)", page_number);
      return -1;
    }
    doc d;
    if (doc_load(in_path, d) != 0) return -1;
    const int count = static_cast<int>(d.pages.size());
    if (page_number > count) {
      set_error("page %d out of range (document has %d pages)", page_number, count);
      doc_free(d);
      return -1;
    }
    const i32 r = effective_rotation(d, d.pages[static_cast<size_t>(page_number - 1)]);
    doc_free(d);
    clear_error();
    return r < 0 ? 0 : r % 360;
  });
}

LEAFTURN_API int leafturn_all(const char *in_path, const char *out_path,
                              int degrees) {
  return guarded(0, [&]() -> int {
    if (!in_path || !out_path) {
      set_error("NULL path argument");
      return 0;
    }
    if (!valid_degrees(degrees)) return 0;
    return rotate(in_path, out_path, nullptr, 0, degrees);
  });
}

LEAFTURN_API int leafturn_pages(const char *in_path, const char *out_path,
                                const int *pages, int page_count, int degrees) {
  return guarded(0, [&]() -> int {
    if (!in_path || !out_path) {
      set_error("NULL path argument");
      return 0;
    }
    if (page_count <= 0) {
      set_error("page_count must be > 0");
      return 0;
    }
    if (!pages) {
      set_error("pages array is NULL");
      return 0;
    }
    if (!valid_degrees(degrees)) return 0;
    return rotate(in_path, out_path, pages, page_count, degrees);
  });
}

LEAFTURN_API int leafturn_page(const char *in_path, const char *out_path,
                               int page_number, int degrees) {
  return guarded(0, [&]() -> int {
    if (!in_path || !out_path) {
      set_error("NULL path argument");
      return 0;
    }
    if (!valid_degrees(degrees)) return 0;
    const int one[1] = {page_number};
    return rotate(in_path, out_path, one, 1, degrees);
  });
}

}  // extern "C"
