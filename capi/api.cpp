// SPDX-License-Identifier: MIT
// The seven exported calls and the last-error text. Every working call has
// one shape: check the arguments in a fixed order, load the document, do its
// work, release the document, and publish its outcome: the failure's
// message, or an empty text on success. No exception crosses this
// boundary: allocation failure becomes "out of memory".
#include <cstring>
#include <new>

#include "write/full_rewrite.h"
#include "leafturn.h"
#include "load/loader.h"
#include "facts/rotation.h"
#include "facts/turn_plan.h"
#include "session.h"

namespace lt {

namespace {

// The one process-wide mutable state of the library. Calls build their
// message in their own failure record and copy it here at the end.
char g_err[k_max_message + 1];

void publish_error(const failure &err) {
  std::memcpy(g_err, err.text(), std::strlen(err.text()) + 1);
}

// The rotating exports turn by 90, 180 or 270 degrees clockwise.
bool valid_degrees(int degrees, failure &err) {
  turn t;
  if (degrees > 0 && make_turn(false, degrees, &t)) return true;
  err.set("degrees must be 90, 180 or 270 (got %d)", degrees);
  return false;
}

// Runs one working call with its own failure record and publishes the
// outcome; allocation failure and any other escape become a failure with a
// message. The work returns `failure_value` exactly when it failed.
template <typename F>
int guarded(int failure_value, F &&work) {
  failure err;
  int result = failure_value;
  guard(
      [&] {
        result = work(err);
        return status::ok;
      },
      [&](const char *why) { err.set("%s", why); });
  if (result != failure_value) err.clear();
  publish_error(err);
  return result;
}

// The rotating calls' work on a loaded document: the listed pages (every
// page when pages is null) turned by degrees and the full rewrite written
// to out_path. 1 on success; 0 with the message set.
int rotate_doc(document &loaded, const char *out_path, const int *pages, int count, int degrees,
               failure &err) {
  turn_plan plan(loaded);
  std::vector<int> listed;
  if (pages) listed.assign(pages, pages + count);
  if (plan.apply(pages ? &listed : nullptr, turn{false, degrees}, page_filter::any, err) < 0)
    return 0;
  if (!out_path) {
    err.set("NULL output path");
    return 0;
  }
  rewrite_output result;
  if (!result.plan(loaded, plan.targets(), err)) return 0;
  return write_output(out_path, result, err) ? 1 : 0;
}

int rotate(const char *in_path, const char *out_path, const int *pages, int count, int degrees,
           failure &err) {
  document loaded;
  if (!doc_load(in_path, loaded, err)) return 0;
  const int ok = rotate_doc(loaded, out_path, pages, count, degrees, err);
  doc_free(loaded);
  return ok ? 1 : 0;
}

}  // namespace
}  // namespace lt

using namespace lt;

extern "C" {

LEAFTURN_API int leafturn_init(void) {
  g_err[0] = '\0';
  return 1;
}

LEAFTURN_API void leafturn_cleanup(void) { g_err[0] = '\0'; }

LEAFTURN_API const char *leafturn_last_error(void) { return g_err; }

LEAFTURN_API int leafturn_get_rotation(const char *in_path, int page_number) {
  return guarded(-1, [&](failure &err) -> int {
    if (!in_path) {
      err.set("NULL path argument");
      return -1;
    }
    if (page_number < 1) {
      err.set("page_number must be >= 1 (got %d)", page_number);
      return -1;
    }
    document loaded;
    if (!doc_load(in_path, loaded, err)) return -1;
    const int count = static_cast<int>(loaded.d.pages.size());
    if (page_number > count) {
      set_page_range_error(err, page_number, count);
      doc_free(loaded);
      return -1;
    }
    const i32 r = effective_rotation(loaded.d, loaded.lex, loaded.d.pages[static_cast<size_t>(page_number - 1)]);
    doc_free(loaded);
    return r < 0 ? 0 : r % 360;
  });
}

LEAFTURN_API int leafturn_all(const char *in_path, const char *out_path, int degrees) {
  return guarded(0, [&](failure &err) -> int {
    if (!in_path || !out_path) {
      err.set("NULL path argument");
      return 0;
    }
    if (!valid_degrees(degrees, err)) return 0;
    return rotate(in_path, out_path, nullptr, 0, degrees, err);
  });
}

LEAFTURN_API int leafturn_pages(const char *in_path, const char *out_path, const int *pages,
                                int page_count, int degrees) {
  return guarded(0, [&](failure &err) -> int {
    if (!in_path || !out_path) {
      err.set("NULL path argument");
      return 0;
    }
    if (page_count <= 0) {
      err.set("page_count must be > 0");
      return 0;
    }
    if (!pages) {
      err.set("pages array is NULL");
      return 0;
    }
    if (!valid_degrees(degrees, err)) return 0;
    return rotate(in_path, out_path, pages, page_count, degrees, err);
  });
}

LEAFTURN_API int leafturn_page(const char *in_path, const char *out_path, int page_number,
                               int degrees) {
  return guarded(0, [&](failure &err) -> int {
    if (!in_path || !out_path) {
      err.set("NULL path argument");
      return 0;
    }
    if (!valid_degrees(degrees, err)) return 0;
    const int one[1] = {page_number};
    return rotate(in_path, out_path, one, 1, degrees, err);
  });
}

}  // extern "C"
