// SPDX-License-Identifier: MIT
// The document C API (include/leafturn_doc.h): a thin wrapper of the
// core's session (session.h) behind an opaque handle. What is decided here
// is only the C form: the LEAFTURN_DOC_* numbers, the struct of a page, how
// messages name the API's options, and what the header rules out.
#include "leafturn_doc.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "leafturn.h"
#include "core.h"

// The API's numbers are the core's.
static_assert(LEAFTURN_DOC_AUTOMATIC == static_cast<int>(lt::save_mode::automatic) &&
                  LEAFTURN_DOC_INCREMENTAL == static_cast<int>(lt::save_mode::incremental) &&
                  LEAFTURN_DOC_FULL == static_cast<int>(lt::save_mode::full),
              "save modes");
static_assert(LEAFTURN_DOC_WROTE_UNCHANGED == static_cast<int>(lt::written::unchanged) &&
                  LEAFTURN_DOC_WROTE_UPDATE == static_cast<int>(lt::written::update) &&
                  LEAFTURN_DOC_WROTE_FULL == static_cast<int>(lt::written::full),
              "what a save wrote");
static_assert(LEAFTURN_DOC_TEXT_NONE == static_cast<int>(lt::text_direction::none) &&
                  LEAFTURN_DOC_TEXT_UP == static_cast<int>(lt::text_direction::up) &&
                  LEAFTURN_DOC_TEXT_RIGHT == static_cast<int>(lt::text_direction::right) &&
                  LEAFTURN_DOC_TEXT_DOWN == static_cast<int>(lt::text_direction::down) &&
                  LEAFTURN_DOC_TEXT_LEFT == static_cast<int>(lt::text_direction::left),
              "text directions");
static_assert(LEAFTURN_DOC_VERSION_MAJOR == LEAFTURN_VERSION_MAJOR &&
                  LEAFTURN_DOC_VERSION_MINOR == LEAFTURN_VERSION_MINOR &&
                  LEAFTURN_DOC_VERSION_PATCH == LEAFTURN_VERSION_PATCH,
              "one version for both libraries");

namespace {

// How messages point to the API's ways of giving a password and forcing.
lt::front_end names() {
  lt::front_end n;
  n.password_option = "the password of leafturn_doc_open";
  n.force_option = "LEAFTURN_DOC_FORCE";
  return n;
}

int status_of(lt::status s) {
  switch (s) {
    case lt::status::ok: return LEAFTURN_DOC_OK;
    case lt::status::failed: return LEAFTURN_DOC_FAILED;
    case lt::status::bad_argument:
    case lt::status::out_of_range: return LEAFTURN_DOC_BAD_ARGUMENT;
    case lt::status::no_memory: return LEAFTURN_DOC_NO_MEMORY;
    case lt::status::password_needed: return LEAFTURN_DOC_PASSWORD_NEEDED;
    case lt::status::password_wrong: return LEAFTURN_DOC_PASSWORD_WRONG;
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

// A document is its session and the facts it last handed out. Closing it
// frees it: a closed handle is a dangling pointer, as a closed FILE is.
struct leafturn_doc {
  lt::session s{names()};
  std::string facts;
};

namespace {

// Opens a document: the session's checks of the input first, then the
// place for the document, then the load.
template <typename Check, typename Open>
int open_with(leafturn_doc **out, char *message, size_t message_size, Check &&check, Open &&open) {
  if (out) *out = nullptr;
  leafturn_doc *doc = nullptr;
  const lt::status made = lt::guard(
      [&] {
        doc = new leafturn_doc;
        return lt::status::ok;
      },
      [&](const char *why) { copy_message(why, message, message_size); });
  if (made != lt::status::ok) return status_of(made);
  lt::status s = check(doc->s);
  if (s == lt::status::ok && !out) {
    delete doc;
    copy_message("no place for the document (NULL)", message, message_size);
    return LEAFTURN_DOC_BAD_ARGUMENT;
  }
  if (s == lt::status::ok) s = open(doc->s);
  if (s != lt::status::ok) {
    copy_message(doc->s.error().c_str(), message, message_size);
    delete doc;
    return status_of(s);
  }
  *out = doc;
  return LEAFTURN_DOC_OK;
}

// Which pages a choice names, for the session; `list` holds its page list.
lt::page_choice choice_of(const leafturn_doc_pages *which, std::string *list) {
  lt::page_choice c;
  if (!which) return c;
  if (which->only == LEAFTURN_DOC_ONLY_LANDSCAPE) c.only = lt::page_filter::landscape;
  else if (which->only == LEAFTURN_DOC_ONLY_PORTRAIT) c.only = lt::page_filter::portrait;
  else if (which->only != LEAFTURN_DOC_ANY)
    c.refusal = "only is LEAFTURN_DOC_ANY, LEAFTURN_DOC_ONLY_LANDSCAPE or LEAFTURN_DOC_ONLY_PORTRAIT";
  c.numbers = which->numbers;
  c.count = which->count;
  if (which->list) {
    *list = which->list;
    c.list = list;
  }
  return c;
}

enum class turn_kind { by, to, upright };

int turn(leafturn_doc *doc, turn_kind kind, int degrees, const leafturn_doc_pages *which,
         int *changed) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  std::string list;
  lt::page_choice c;
  const lt::status made = lt::guard(
      [&] {
        c = choice_of(which, &list);
        return lt::status::ok;
      },
      [&](const char *why) { doc->s.refuse(lt::status::no_memory, why); });
  if (made != lt::status::ok) return status_of(made);
  return status_of(kind == turn_kind::by   ? doc->s.turn_by(degrees, c, changed)
                   : kind == turn_kind::to ? doc->s.turn_to(degrees, c, changed)
                                           : doc->s.upright(c, changed));
}

// The mode and flags of a save as the session takes them; false with the
// refusal set.
bool save_how(leafturn_doc &d, int mode, int flags, lt::save_mode *m, bool *force) {
  if (!lt::save_mode_numbered(mode, m)) {
    d.s.refuse(lt::status::bad_argument, "mode is LEAFTURN_DOC_AUTOMATIC, LEAFTURN_DOC_INCREMENTAL or LEAFTURN_DOC_FULL");
    return false;
  }
  if (flags & ~LEAFTURN_DOC_FORCE) {
    d.s.refuse(lt::status::bad_argument, "the only flag is LEAFTURN_DOC_FORCE");
    return false;
  }
  *force = (flags & LEAFTURN_DOC_FORCE) != 0;
  return true;
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
  return open_with(
      doc, message, message_size, [&](lt::session &s) { return s.check_path(path); },
      [&](lt::session &s) { return s.open_file(path, password); });
}

LEAFTURN_DOC_API int leafturn_doc_open_bytes(const unsigned char *bytes, size_t len,
                                             const char *name, const char *password,
                                             leafturn_doc **doc, char *message,
                                             size_t message_size) {
  return open_with(
      doc, message, message_size, [&](lt::session &s) { return s.check_bytes(bytes, len, name); },
      [&](lt::session &s) { return s.open_bytes(bytes, len, name, password); });
}

LEAFTURN_DOC_API void leafturn_doc_close(leafturn_doc *doc) { delete doc; }

LEAFTURN_DOC_API const char *leafturn_doc_error(const leafturn_doc *doc) {
  if (!doc) return "no document (NULL)";
  return doc->s.error().c_str();
}

LEAFTURN_DOC_API int leafturn_doc_page_count(leafturn_doc *doc, int *count) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  if (!count) return status_of(doc->s.refuse(lt::status::bad_argument, "NULL count argument"));
  return status_of(doc->s.page_count(count));
}

LEAFTURN_DOC_API int leafturn_doc_page_facts(leafturn_doc *doc, int number, leafturn_doc_page *page) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  lt::session &s = doc->s;
  if (!page) return status_of(s.refuse(lt::status::bad_argument, "NULL page argument"));
  if (page->size < LEAFTURN_DOC_PAGE_MIN_SIZE)
    return status_of(s.refuse(lt::status::bad_argument, "set the page's size to sizeof(leafturn_doc_page)"));
  // Filled up to the size the caller knows, field by field; the text only
  // when the caller has room for it.
  leafturn_doc_page all;
  std::memset(&all, 0, sizeof all);
  all.size = page->size < sizeof all ? page->size : sizeof all;
  const bool with_text = all.size >= offsetof(leafturn_doc_page, glyphs) + sizeof all.glyphs;
  lt::page_record r;
  const lt::status st = s.page(number, with_text, &r);
  if (st != lt::status::ok) return status_of(st);
  const lt::page_facts &f = r.facts;
  all.number = r.number;
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
  if (r.has_text) {
    all.text_direction = static_cast<int>(r.text.direction);
    all.glyphs = r.text.glyphs > 0x7FFFFFFFL ? 0x7FFFFFFF : static_cast<int>(r.text.glyphs);
  }
  std::memcpy(page, &all, all.size);
  return LEAFTURN_DOC_OK;
}

LEAFTURN_DOC_API int leafturn_doc_facts(leafturn_doc *doc, const char **json) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  if (!json) return status_of(doc->s.refuse(lt::status::bad_argument, "NULL json argument"));
  const lt::status s = doc->s.facts_json(&doc->facts);
  if (s == lt::status::ok) *json = doc->facts.c_str();
  return status_of(s);
}

LEAFTURN_DOC_API int leafturn_doc_select(leafturn_doc *doc, const char *list, int *pages,
                                         int capacity, int *count) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  lt::session &s = doc->s;
  if (!list || !count || capacity < 0 || (capacity > 0 && !pages))
    return status_of(s.refuse(lt::status::bad_argument, "a list, a count and room for capacity pages are needed"));
  std::vector<int> selected;
  const lt::status st = lt::guard(
      [&] { return s.select(list, &selected); },
      [&](const char *why) { s.refuse(lt::status::no_memory, why); });
  if (st != lt::status::ok) return status_of(st);
  *count = static_cast<int>(selected.size());
  for (size_t k = 0; k < selected.size() && k < static_cast<size_t>(capacity); ++k) pages[k] = selected[k];
  return LEAFTURN_DOC_OK;
}

LEAFTURN_DOC_API int leafturn_doc_turn_by(leafturn_doc *doc, int degrees,
                                          const leafturn_doc_pages *which, int *changed) {
  return turn(doc, turn_kind::by, degrees, which, changed);
}

LEAFTURN_DOC_API int leafturn_doc_turn_to(leafturn_doc *doc, int degrees,
                                          const leafturn_doc_pages *which, int *changed) {
  return turn(doc, turn_kind::to, degrees, which, changed);
}

LEAFTURN_DOC_API int leafturn_doc_upright(leafturn_doc *doc, const leafturn_doc_pages *which,
                                          int *changed) {
  return turn(doc, turn_kind::upright, 0, which, changed);
}

LEAFTURN_DOC_API int leafturn_doc_save(leafturn_doc *doc, const char *path, int mode, int flags,
                                       int *wrote) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  if (!path) return status_of(doc->s.refuse(lt::status::bad_argument, "NULL path argument"));
  lt::save_mode m;
  bool force = false;
  if (!save_how(*doc, mode, flags, &m, &force)) return LEAFTURN_DOC_BAD_ARGUMENT;
  lt::written w = lt::written::unchanged;
  const lt::status s = doc->s.save(path, m, force, &w);
  if (s == lt::status::ok && wrote) *wrote = static_cast<int>(w);
  return status_of(s);
}

LEAFTURN_DOC_API int leafturn_doc_save_bytes(leafturn_doc *doc, int mode, int flags,
                                             unsigned char **bytes, size_t *len, int *wrote) {
  if (!doc) return LEAFTURN_DOC_BAD_ARGUMENT;
  lt::session &s = doc->s;
  if (!bytes || !len) return status_of(s.refuse(lt::status::bad_argument, "NULL bytes or len argument"));
  *bytes = nullptr;
  *len = 0;
  lt::save_mode m;
  bool force = false;
  if (!save_how(*doc, mode, flags, &m, &force)) return LEAFTURN_DOC_BAD_ARGUMENT;
  const lt::output *out = nullptr;
  lt::written w = lt::written::unchanged;
  const lt::status st = s.plan_save(m, force, &out, &w);
  if (st != lt::status::ok) return status_of(st);
  // The output's size is known, or bounded from above: one block of it, cut
  // to what was written.
  const size_t size = out->size();
  unsigned char *block = static_cast<unsigned char *>(std::malloc(size ? size : 1));
  if (!block) return status_of(s.refuse(lt::status::no_memory, lt::k_no_memory_message));
  block_sink sink(block, size);
  bool emitted = false;
  const lt::status sent = lt::guard(
      [&] {
        emitted = out->emit(sink);
        return lt::status::ok;
      },
      [&](const char *why) { s.refuse(lt::status::no_memory, why); });
  if (sent != lt::status::ok || !emitted) {
    std::free(block);
    return sent != lt::status::ok ? status_of(sent)
                                  : status_of(s.refuse(lt::status::failed, "failed to build output"));
  }
  if (sink.used() < size) {
    if (void *cut = std::realloc(block, sink.used() ? sink.used() : 1))
      block = static_cast<unsigned char *>(cut);
  }
  *bytes = block;
  *len = sink.used();
  if (wrote) *wrote = static_cast<int>(w);
  return LEAFTURN_DOC_OK;
}

LEAFTURN_DOC_API void leafturn_doc_free_bytes(unsigned char *bytes) { std::free(bytes); }

LEAFTURN_DOC_API const char *leafturn_doc_version(void) { return LEAFTURN_DOC_VERSION; }

}  // extern "C"
