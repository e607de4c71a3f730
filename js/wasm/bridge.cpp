// SPDX-License-Identifier: MIT
// The core in WebAssembly: a thin wrapper of the core's session
// (session.h), which decides every request, behind plain C functions that
// the package's JavaScript calls. What is decided here is only the
// JavaScript form: statuses become error codes, page facts and document
// facts travel as the core's JSON (parsed by the package), messages name
// the package's options ("the password option", "force: true"). Bytes come
// in through the module's memory and the output goes back the same way;
// there is no file system. A module instance runs one call at a time, so
// the last failure's text is the instance's own.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <emscripten.h>

#include "core.h"

#define LTJS_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

// How messages name the package's options.
lt::front_end names() {
  lt::front_end n;
  n.password_option = "the password option";
  n.force_option = "force: true";
  return n;
}

// The last failure's message and status; a fixed block, so that keeping it
// never needs memory that may have run out.
char g_error[lt::k_max_message + 1];
lt::status g_status = lt::status::ok;

void said(lt::status s, const char *message) {
  std::snprintf(g_error, sizeof g_error, "%s", message);
  g_status = s;
}

// What the exception guard says, kept as the instance's failure (its
// status set by the caller).
void guarded_said(const char *message) { said(lt::status::failed, message); }

struct js_document {
  js_document() : s(names()) {}
  lt::session s;
  std::string json;            // the last JSON handed out
  std::vector<int> selected;   // the pages a page list selects
  const lt::output *planned = nullptr;  // what ltjs_save decided to write
  size_t planned_size = 0;
};

// A session's status, its failure kept as the instance's.
lt::status kept(js_document *d, lt::status s) {
  if (s != lt::status::ok) said(s, d->s.error().c_str());
  return s;
}

}  // namespace

// The last failure's message (UTF-8), and its error code for JavaScript
// ("" for none).
LTJS_EXPORT const char *ltjs_error() { return g_error; }
LTJS_EXPORT const char *ltjs_error_code() {
  switch (g_status) {
    case lt::status::password_needed: return "LEAFTURN_PASSWORD_NEEDED";
    case lt::status::password_wrong: return "LEAFTURN_PASSWORD_WRONG";
    default: return "";
  }
}

// Makes running out of the module's memory on the JavaScript side the
// instance's failure, in the core's words.
LTJS_EXPORT void ltjs_no_memory() { said(lt::status::no_memory, lt::k_no_memory_message); }

// A block for a file's `len` bytes (named `name` in messages, null for
// none) that ltjs_open takes over; null with the failure set when the file
// is too large or memory is short.
LTJS_EXPORT lt::u8 *ltjs_alloc(double len, const char *name) {
  lt::failure err;
  if (!(len >= 0) ||
      !lt::input_fits(static_cast<unsigned long long>(len), name ? name : lt::k_memory_name, err)) {
    said(lt::status::failed, err.text());
    return nullptr;
  }
  lt::u8 *block = new (std::nothrow) lt::u8[len > 0 ? static_cast<size_t>(len) : 1];
  if (!block) ltjs_no_memory();
  return block;
}

// Opens a whole file from a block of ltjs_alloc, which it takes over (freed
// whatever happens); messages name it `name` (null: as the core names
// bytes). An encrypted file opens with
// `password` (null: none). Null on failure.
LTJS_EXPORT js_document *ltjs_open(lt::u8 *bytes, size_t len, const char *name, const char *password) {
  std::unique_ptr<lt::u8[]> block(bytes);
  js_document *d = new (std::nothrow) js_document;
  if (!d) {
    ltjs_no_memory();
    return nullptr;
  }
  if (kept(d, d->s.open_owned(std::move(block), len, name, password)) != lt::status::ok) {
    delete d;
    return nullptr;
  }
  return d;
}

LTJS_EXPORT void ltjs_close(js_document *d) { delete d; }

LTJS_EXPORT int ltjs_page_count(js_document *d) { return d->s.page_count(); }

// Every page as it stands now, as the core's JSON array of page objects
// (with their text when `text`: read from the content once, when first
// asked for); null on failure.
LTJS_EXPORT const char *ltjs_pages(js_document *d, int text) {
  if (kept(d, d->s.pages_json(text != 0, &d->json)) != lt::status::ok) return nullptr;
  return d->json.c_str();
}

// The document's facts as the core's JSON object; null on failure.
LTJS_EXPORT const char *ltjs_facts(js_document *d) {
  if (kept(d, d->s.facts_json(&d->json)) != lt::status::ok) return nullptr;
  return d->json.c_str();
}

// Whether a save without a mode appends an update to this document (1 or
// 0), or -1 on failure.
LTJS_EXPORT int ltjs_updates_by_default(js_document *d) {
  bool updates = false;
  if (kept(d, d->s.updates_by_default(&updates)) != lt::status::ok) return -1;
  return updates ? 1 : 0;
}

// The pages a page list (the command line's grammar; len bytes of UTF-8)
// selects: their count (their numbers at ltjs_selected), or -1.
LTJS_EXPORT int ltjs_select(js_document *d, const char *text, int len) {
  const std::string list(text, static_cast<size_t>(len));
  if (kept(d, d->s.select(list, &d->selected)) != lt::status::ok) return -1;
  return static_cast<int>(d->selected.size());
}

LTJS_EXPORT const int *ltjs_selected(js_document *d) { return d->selected.data(); }

// Whether the core takes a turn value (to when absolute, else by): 1 or 0.
LTJS_EXPORT int ltjs_takes_turn(int absolute, double degrees) {
  lt::turn t;
  if (!(degrees >= -1e15 && degrees <= 1e15) || degrees != static_cast<double>(static_cast<long long>(degrees)))
    return 0;
  return lt::make_turn(absolute != 0, static_cast<long long>(degrees), &t) ? 1 : 0;
}

// Sets the core's message for a turn value it does not take, shown as `got`.
LTJS_EXPORT void ltjs_turn_refusal(int absolute, const char *got) {
  said(lt::status::bad_argument, lt::turn_refusal(names(), absolute != 0, got).c_str());
}

// The page filter `only` names (len bytes), as ltjs_turn takes it; -1 with
// the refusal set for a name the core does not know.
LTJS_EXPORT int ltjs_filter(const char *name, int len) {
  lt::page_filter only = lt::page_filter::any;
  const std::string given(name, static_cast<size_t>(len));
  if (lt::page_filter_named(given, &only)) return static_cast<int>(only);
  said(lt::status::bad_argument, lt::filter_refusal("only", given).c_str());
  return -1;
}

// Sets the message for page `number` (a caller's text) outside the document.
LTJS_EXPORT void ltjs_range_error(js_document *d, const char *number) {
  kept(d, d->s.refuse_page(number));
}

// Turns the listed pages (every page when pages is null) that `only` (of
// ltjs_filter, 0 for any) keeps: kind 0 by `degrees`, 1 to them, 2
// upright. How many pages changed, or -1.
LTJS_EXPORT int ltjs_turn(js_document *d, int kind, double degrees, const int *pages, int count,
                          int only) {
  lt::page_choice which;
  which.listed = pages != nullptr;
  which.numbers = pages;
  which.count = pages ? count : 0;
  which.only = static_cast<lt::page_filter>(only);
  int changed = 0;
  const long long deg = static_cast<long long>(degrees);
  const lt::status s = kind == 2   ? d->s.upright(which, &changed)
                       : kind == 1 ? d->s.turn_to(deg, which, &changed)
                                   : d->s.turn_by(deg, which, &changed);
  return kept(d, s) == lt::status::ok ? changed : -1;
}

// The save mode of save()'s `incremental` option (absent when not given):
// the core's mode number.
LTJS_EXPORT int ltjs_save_mode(int given, int incremental) {
  return static_cast<int>(lt::save_mode_chosen(given != 0, incremental != 0));
}

// Hands bytes of the output to the package's JavaScript, which copies them
// into the array it returns.
EM_JS(void, ltjs_take, (const lt::u8 *p, int n), { Module["ltjsTake"](p >>> 0, n); });

namespace {

// Gathers small pieces into one block per call out to JavaScript; large
// pieces (the input's own bytes, mostly) go out as they stand.
class js_sink final : public lt::piece_sink {
 public:
  bool put(const lt::u8 *p, size_t n, lt::i32) override {
    total += n;
    if (n >= sizeof block_ / 4) {
      flush();
      ltjs_take(p, static_cast<int>(n));
      return true;
    }
    if (used_ + n > sizeof block_) flush();
    std::memcpy(block_ + used_, p, n);
    used_ += n;
    return true;
  }
  void flush() {
    if (used_) ltjs_take(block_, static_cast<int>(used_));
    used_ = 0;
  }
  size_t total = 0;

 private:
  lt::u8 block_[1 << 16];
  size_t used_ = 0;
};

// Only counts what it is sent.
class count_sink final : public lt::piece_sink {
 public:
  bool put(const lt::u8 *, size_t n, lt::i32) override {
    total += n;
    return true;
  }
  size_t total = 0;
};

}  // namespace

// Plans the document with its turns as the core decides for the mode (the
// core's mode number; `force` turns a certified file and one whose
// permissions forbid turning): a fresh file, the input with an update
// appended, or the input itself when nothing changed. The output's exact
// size (ltjs_emit sends it), or -1. The size is counted by making the
// pieces once without keeping them: the array JavaScript fills is then
// allocated once, at its size, and never copied again. *wrote gets what it
// is (the core's number: unchanged, update, full).
LTJS_EXPORT double ltjs_save(js_document *d, int mode, int force, int *wrote) {
  d->planned = nullptr;
  lt::save_mode m;
  if (!lt::save_mode_numbered(mode, &m)) m = lt::save_mode::automatic;
  const lt::output *out = nullptr;
  lt::written w = lt::written::unchanged;
  if (kept(d, d->s.plan_save(m, force != 0, &out, &w)) != lt::status::ok) return -1;
  count_sink count;
  const lt::status s = lt::guard(
      [&] {
        out->emit(count);
        return lt::status::ok;
      },
      guarded_said);
  if (s != lt::status::ok) {
    g_status = s;
    return -1;
  }
  d->planned = out;
  d->planned_size = count.total;
  *wrote = static_cast<int>(w);
  return static_cast<double>(count.total);
}

// Sends the planned output to the package's JavaScript, piece by piece; 1,
// or 0 with the failure set.
LTJS_EXPORT int ltjs_emit(js_document *d) {
  const lt::output *out = d->planned;
  d->planned = nullptr;
  if (!out) {
    said(lt::status::failed, lt::k_internal_error_message);
    return 0;
  }
  js_sink sink;
  const lt::status s = lt::guard(
      [&] {
        out->emit(sink);
        sink.flush();
        return sink.total == d->planned_size ? lt::status::ok : lt::status::failed;
      },
      guarded_said);
  if (s == lt::status::ok) return 1;
  if (sink.total != d->planned_size) said(lt::status::failed, lt::k_internal_error_message);
  g_status = s;
  return 0;
}

// What a save wrote, by the number ltjs_save gives: "unchanged", "update"
// or "full".
LTJS_EXPORT const char *ltjs_written_name(int wrote) {
  return lt::written_name(static_cast<lt::written>(wrote));
}
