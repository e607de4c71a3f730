// SPDX-License-Identifier: MIT
// The document C API (include/leafturn_doc.h) over the core: a loaded
// document with its turn plan behind an opaque handle, errors kept per
// handle, nothing thrown across the boundary.
#include "leafturn_doc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core.h"
#include "leafturn.h"

namespace {

// A live document carries this; a closed one is wiped before it is freed.
constexpr std::uint32_t k_live = 0x6C746463;  // "ltdc"

// How messages point to the API's ways of giving a password and forcing.
constexpr char k_password_option[] = "the password of leafturn_doc_open";
constexpr char k_force_option[] = "LEAFTURN_DOC_FORCE";

int status_of(const lt::failure &err) {
  switch (err.kind()) {
    case lt::failure_kind::password_needed: return LEAFTURN_DOC_PASSWORD_NEEDED;
    case lt::failure_kind::password_wrong: return LEAFTURN_DOC_PASSWORD_WRONG;
    case lt::failure_kind::general: break;
  }
  return LEAFTURN_DOC_FAILED;
}

void copy_message(const char *text, char *message, size_t size) {
  if (!message || size == 0) return;
  const size_t n = std::strlen(text);
  const size_t k = n < size - 1 ? n : size - 1;
  std::memcpy(message, text, k);
  message[k] = '\0';
}

}  // namespace

struct leafturn_doc {
  std::uint32_t live = k_live;
  lt::document loaded;
  std::unique_ptr<lt::turn_plan> plan;
  std::string name;   // the input as messages name it
  std::string error;  // the last failure's message
  std::string facts;  // the last facts handed out

  int fail(int status, const std::string &why) {
    error = why;
    return status;
  }
};

namespace {

// Runs one call on a document: checks the handle, clears its error, and
// turns exceptions into statuses.
template <typename F>
int on_doc(leafturn_doc *doc, F &&work) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  if (doc->live != k_live) return LEAFTURN_DOC_CLOSED;
  try {
    doc->error.clear();
    return work(*doc);
  } catch (const std::bad_alloc &) {
    doc->error = "out of memory";
    return LEAFTURN_DOC_NO_MEMORY;
  } catch (...) {
    doc->error = "internal error";
    return LEAFTURN_DOC_FAILED;
  }
}

template <typename Load>
int open_with(Load &&load, const char *name, const char *password, leafturn_doc **out,
              char *message, size_t message_size) {
  if (!out) {
    copy_message("no place for the document (NULL)", message, message_size);
    return LEAFTURN_DOC_BAD_ARGUMENT;
  }
  *out = nullptr;
  try {
    std::unique_ptr<leafturn_doc> doc(new leafturn_doc);
    lt::failure err;
    lt::load_options how;
    how.encrypted = true;
    how.password = password;
    how.password_option = k_password_option;
    if (load(doc->loaded, err, how) != 0) {
      copy_message(err.text(), message, message_size);
      return status_of(err);
    }
    doc->name = name;
    doc->plan.reset(new lt::turn_plan(doc->loaded));
    *out = doc.release();
    return LEAFTURN_DOC_OK;
  } catch (const std::bad_alloc &) {
    copy_message("out of memory", message, message_size);
    return LEAFTURN_DOC_NO_MEMORY;
  } catch (...) {
    copy_message("internal error", message, message_size);
    return LEAFTURN_DOC_FAILED;
  }
}

// The pages a choice names, into *pages (null for every page) and *only.
int chosen(leafturn_doc &doc, const leafturn_doc_pages *which, std::vector<int> *list,
           const std::vector<int> **pages, lt::page_filter *only) {
  *pages = nullptr;
  *only = lt::page_filter::any;
  if (!which) return LEAFTURN_DOC_OK;
  if (which->only == LEAFTURN_DOC_ONLY_LANDSCAPE) *only = lt::page_filter::landscape;
  else if (which->only == LEAFTURN_DOC_ONLY_PORTRAIT) *only = lt::page_filter::portrait;
  else if (which->only != LEAFTURN_DOC_ANY)
    return doc.fail(LEAFTURN_DOC_BAD_ARGUMENT, "only is LEAFTURN_DOC_ANY, LEAFTURN_DOC_ONLY_LANDSCAPE or LEAFTURN_DOC_ONLY_PORTRAIT");
  if (which->numbers && which->list)
    return doc.fail(LEAFTURN_DOC_BAD_ARGUMENT, "give page numbers or a page list, not both");
  if (which->numbers || which->count) {
    if (!which->numbers || which->count < 0)
      return doc.fail(LEAFTURN_DOC_BAD_ARGUMENT, "page numbers: a count needs its numbers");
    list->assign(which->numbers, which->numbers + which->count);
    *pages = list;
  } else if (which->list) {
    lt::page_list parsed;
    std::string why;
    if (!lt::parse_page_list(which->list, &parsed, &why)) return doc.fail(LEAFTURN_DOC_BAD_ARGUMENT, why);
    long bad = 0;
    const int n = doc.plan->page_count();
    if (!lt::select_pages(parsed, n, list, &bad)) {
      lt::failure err;
      lt::set_page_range_error(err, bad, n);
      return doc.fail(LEAFTURN_DOC_BAD_ARGUMENT, err.text());
    }
    *pages = list;
  }
  return LEAFTURN_DOC_OK;
}

int turn_pages(leafturn_doc *doc, const lt::turn &t, const leafturn_doc_pages *which, int *changed) {
  return on_doc(doc, [&](leafturn_doc &d) {
    std::vector<int> list;
    const std::vector<int> *pages = nullptr;
    lt::page_filter only = lt::page_filter::any;
    const int status = chosen(d, which, &list, &pages, &only);
    if (status != LEAFTURN_DOC_OK) return status;
    lt::failure err;
    const int n = d.plan->apply(pages, t, only, err);
    if (n < 0) return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, err.text());
    if (changed) *changed = n;
    return LEAFTURN_DOC_OK;
  });
}

int make(leafturn_doc *doc, bool absolute, int degrees, lt::turn *t) {
  if (lt::make_turn(absolute, degrees, t)) return LEAFTURN_DOC_OK;
  if (doc && doc->live == k_live)
    doc->error = std::string(absolute ? "to" : "by") + " takes " + lt::turn_values(absolute) +
                 " (got " + std::to_string(degrees) + ")";
  return LEAFTURN_DOC_BAD_ARGUMENT;
}

// Decides what to write for a save; the decision holds the output.
int decide(leafturn_doc &d, int mode, int flags, lt::write_decision *decision) {
  lt::write_request req;
  if (mode == LEAFTURN_DOC_AUTOMATIC) req.mode = lt::write_mode::automatic;
  else if (mode == LEAFTURN_DOC_INCREMENTAL) req.mode = lt::write_mode::incremental;
  else if (mode == LEAFTURN_DOC_FULL) req.mode = lt::write_mode::full;
  else return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "mode is LEAFTURN_DOC_AUTOMATIC, LEAFTURN_DOC_INCREMENTAL or LEAFTURN_DOC_FULL");
  if (flags & ~LEAFTURN_DOC_FORCE) return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "the only flag is LEAFTURN_DOC_FORCE");
  req.force = req.force_permissions = (flags & LEAFTURN_DOC_FORCE) != 0;
  req.force_option = k_force_option;
  req.password_option = k_password_option;
  lt::failure err;
  if (!decision->decide(d.loaded, *d.plan, req, d.name, err)) return d.fail(status_of(err), err.text());
  return LEAFTURN_DOC_OK;
}

int wrote_of(const lt::write_decision &decision) {
  const std::string m = decision.mode();
  return m == "update" ? LEAFTURN_DOC_WROTE_UPDATE : m == "full" ? LEAFTURN_DOC_WROTE_FULL
                                                                 : LEAFTURN_DOC_WROTE_UNCHANGED;
}

// Copies an output into one block of its size.
class block_sink final : public lt::piece_sink {
 public:
  explicit block_sink(unsigned char *p, size_t cap) : p_(p), cap_(cap) {}
  bool put(const lt::u8 *p, size_t n, lt::i32) override {
    if (n > cap_ - used_) return false;
    if (n) std::memcpy(p_ + used_, p, n);
    used_ += n;
    return true;
  }
  size_t used() const { return used_; }

 private:
  unsigned char *p_;
  size_t cap_, used_ = 0;
};

}  // namespace

extern "C" {

LEAFTURN_DOC_API int leafturn_doc_open(const char *path, const char *password, leafturn_doc **doc,
                                       char *message, size_t message_size) {
  if (!path) {
    if (doc) *doc = nullptr;
    copy_message("NULL path argument", message, message_size);
    return LEAFTURN_DOC_BAD_ARGUMENT;
  }
  return open_with(
      [&](lt::document &loaded, lt::failure &err, const lt::load_options &how) {
        return lt::doc_load(path, loaded, err, how);
      },
      path, password, doc, message, message_size);
}

LEAFTURN_DOC_API int leafturn_doc_open_bytes(const unsigned char *bytes, size_t len,
                                             const char *name, const char *password,
                                             leafturn_doc **doc, char *message,
                                             size_t message_size) {
  const char *shown = name ? name : "(memory)";
  if (!bytes && len) {
    if (doc) *doc = nullptr;
    copy_message("NULL bytes argument", message, message_size);
    return LEAFTURN_DOC_BAD_ARGUMENT;
  }
  if (len > static_cast<size_t>(lt::k_max_file_size)) {
    if (doc) *doc = nullptr;
    copy_message((std::string("input file too large: ") + shown).c_str(), message, message_size);
    return LEAFTURN_DOC_FAILED;
  }
  static const unsigned char none = 0;
  return open_with(
      [&](lt::document &loaded, lt::failure &err, const lt::load_options &how) {
        return lt::doc_load_bytes(bytes ? bytes : &none, static_cast<lt::i32>(len), loaded, err, shown, how);
      },
      shown, password, doc, message, message_size);
}

LEAFTURN_DOC_API void leafturn_doc_close(leafturn_doc *doc) {
  if (!doc || doc->live != k_live) return;
  doc->live = 0;
  delete doc;
}

LEAFTURN_DOC_API const char *leafturn_doc_error(const leafturn_doc *doc) {
  if (!doc) return "no document (NULL)";
  if (doc->live != k_live) return "the document is closed";
  return doc->error.c_str();
}

LEAFTURN_DOC_API int leafturn_doc_page_count(leafturn_doc *doc, int *count) {
  return on_doc(doc, [&](leafturn_doc &d) {
    if (!count) return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "NULL count argument");
    *count = d.plan->page_count();
    return LEAFTURN_DOC_OK;
  });
}

LEAFTURN_DOC_API int leafturn_doc_page_facts(leafturn_doc *doc, int number, leafturn_doc_page *page) {
  return on_doc(doc, [&](leafturn_doc &d) {
    if (!page) return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "NULL page argument");
    if (page->size < LEAFTURN_DOC_PAGE_MIN_SIZE)
      return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "set the page's size to sizeof(leafturn_doc_page)");
    const int n = d.plan->page_count();
    if (number < 1 || number > n) {
      lt::failure err;
      lt::set_page_range_error(err, number, n);
      return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, err.text());
    }
    const lt::page_facts f = d.plan->facts(number);
    // Filled up to the size the caller knows, field by field.
    leafturn_doc_page all;
    std::memset(&all, 0, sizeof all);
    all.size = page->size < sizeof all ? page->size : sizeof all;
    all.number = number;
    all.rotation = f.rotation;
    all.own_rotation = f.own;
    all.inherited_rotation = f.inherited;
    all.box_known = f.box_known ? 1 : 0;
    all.width = f.box_known ? f.width : 0;
    all.height = f.box_known ? f.height : 0;
    all.orientation = f.orient == lt::orientation::portrait    ? LEAFTURN_DOC_PORTRAIT
                      : f.orient == lt::orientation::landscape ? LEAFTURN_DOC_LANDSCAPE
                      : f.orient == lt::orientation::square    ? LEAFTURN_DOC_SQUARE
                                                               : LEAFTURN_DOC_ORIENTATION_UNKNOWN;
    if (all.size >= offsetof(leafturn_doc_page, glyphs) + sizeof all.glyphs) {
      const lt::text_facts t = d.plan->text(number);
      all.text_direction = static_cast<int>(t.direction);
      all.glyphs = t.glyphs > 0x7FFFFFFFL ? 0x7FFFFFFF : static_cast<int>(t.glyphs);
    }
    std::memcpy(page, &all, all.size);
    return LEAFTURN_DOC_OK;
  });
}

LEAFTURN_DOC_API int leafturn_doc_facts(leafturn_doc *doc, const char **json) {
  return on_doc(doc, [&](leafturn_doc &d) {
    if (!json) return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "NULL json argument");
    d.facts = "{\"pages\": " + std::to_string(d.plan->page_count()) + ", " +
              lt::document_facts_json(d.loaded) + "}";
    *json = d.facts.c_str();
    return LEAFTURN_DOC_OK;
  });
}

LEAFTURN_DOC_API int leafturn_doc_select(leafturn_doc *doc, const char *list, int *pages,
                                         int capacity, int *count) {
  return on_doc(doc, [&](leafturn_doc &d) {
    if (!list || !count || capacity < 0 || (capacity > 0 && !pages))
      return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "a list, a count and room for capacity pages are needed");
    leafturn_doc_pages which = {nullptr, 0, list, LEAFTURN_DOC_ANY};
    std::vector<int> selected;
    const std::vector<int> *chosen_pages = nullptr;
    lt::page_filter only;
    const int status = chosen(d, &which, &selected, &chosen_pages, &only);
    if (status != LEAFTURN_DOC_OK) return status;
    *count = static_cast<int>(selected.size());
    for (size_t k = 0; k < selected.size() && k < static_cast<size_t>(capacity); ++k) pages[k] = selected[k];
    return LEAFTURN_DOC_OK;
  });
}

LEAFTURN_DOC_API int leafturn_doc_turn_by(leafturn_doc *doc, int degrees,
                                          const leafturn_doc_pages *which, int *changed) {
  lt::turn t;
  const int status = doc ? make(doc, false, degrees, &t) : LEAFTURN_DOC_BAD_ARGUMENT;
  return status != LEAFTURN_DOC_OK ? status : turn_pages(doc, t, which, changed);
}

LEAFTURN_DOC_API int leafturn_doc_turn_to(leafturn_doc *doc, int degrees,
                                          const leafturn_doc_pages *which, int *changed) {
  lt::turn t;
  const int status = doc ? make(doc, true, degrees, &t) : LEAFTURN_DOC_BAD_ARGUMENT;
  return status != LEAFTURN_DOC_OK ? status : turn_pages(doc, t, which, changed);
}

LEAFTURN_DOC_API int leafturn_doc_upright(leafturn_doc *doc, const leafturn_doc_pages *which,
                                          int *changed) {
  return turn_pages(doc, lt::upright_turn(), which, changed);
}

LEAFTURN_DOC_API int leafturn_doc_save(leafturn_doc *doc, const char *path, int mode, int flags,
                                       int *wrote) {
  return on_doc(doc, [&](leafturn_doc &d) {
    if (!path) return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "NULL path argument");
    lt::write_decision decision;
    const int status = decide(d, mode, flags, &decision);
    if (status != LEAFTURN_DOC_OK) return status;
    lt::failure err;
    if (lt::write_output(path, decision.result(), err) == 0) return d.fail(LEAFTURN_DOC_FAILED, err.text());
    if (wrote) *wrote = wrote_of(decision);
    return LEAFTURN_DOC_OK;
  });
}

LEAFTURN_DOC_API int leafturn_doc_save_bytes(leafturn_doc *doc, int mode, int flags,
                                             unsigned char **bytes, size_t *len, int *wrote) {
  return on_doc(doc, [&](leafturn_doc &d) {
    if (!bytes || !len) return d.fail(LEAFTURN_DOC_BAD_ARGUMENT, "NULL bytes or len argument");
    *bytes = nullptr;
    *len = 0;
    lt::write_decision decision;
    const int status = decide(d, mode, flags, &decision);
    if (status != LEAFTURN_DOC_OK) return status;
    // The output's size is known, or bounded from above: one block of it,
    // cut to what was written.
    const size_t size = decision.result().size();
    unsigned char *block = static_cast<unsigned char *>(std::malloc(size ? size : 1));
    if (!block) return d.fail(LEAFTURN_DOC_NO_MEMORY, "out of memory");
    block_sink sink(block, size);
    if (!decision.result().emit(sink)) {
      std::free(block);
      return d.fail(LEAFTURN_DOC_FAILED, "failed to build output");
    }
    if (sink.used() < size) {
      if (void *cut = std::realloc(block, sink.used() ? sink.used() : 1))
        block = static_cast<unsigned char *>(cut);
    }
    *bytes = block;
    *len = sink.used();
    if (wrote) *wrote = wrote_of(decision);
    return LEAFTURN_DOC_OK;
  });
}

LEAFTURN_DOC_API void leafturn_doc_free_bytes(unsigned char *bytes) { std::free(bytes); }

LEAFTURN_DOC_API const char *leafturn_doc_version(void) { return LEAFTURN_VERSION; }

}  // extern "C"
