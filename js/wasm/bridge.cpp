// SPDX-License-Identifier: MIT
// The core in WebAssembly: a loaded document with its turns, behind plain C
// functions that the package's JavaScript calls. Bytes come in through the
// module's memory and the output goes back the same way; there is no file
// system. A module instance runs one call at a time, so the last failure's
// text is the instance's own.
#include <cmath>
#include <cstdint>
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

// The last failure's message; a fixed block, so that keeping it never needs
// memory that may have run out.
char g_error[lt::k_max_message + 1];
int g_error_kind = 0;  // 0 general, 1 a password is needed, 2 the password is wrong

struct js_document {
  lt::document loaded;
  std::unique_ptr<lt::turn_plan> plan;
  std::vector<double> facts;   // six numbers a page, as ltjs_facts fills them
  std::vector<double> text;    // two numbers a page, as ltjs_text fills them
  std::vector<lt::u8> record;  // the information entries, as ltjs_info fills them
  std::vector<int> selected;   // the pages a page list selects
  std::unique_ptr<lt::write_decision> planned;  // what ltjs_save decided to write
  std::string name;            // the input, as messages name it
};

// Runs the work; a failure (an allocation included) sets the message and
// gives `fail`.
template <typename F>
int guarded(int fail, F &&work) {
  lt::failure err;
  int r = fail;
  try {
    r = work(err);
  } catch (const std::bad_alloc &) {
    err.set("out of memory");
    r = fail;
  } catch (...) {
    err.set("internal error");
    r = fail;
  }
  if (r == fail) {
    std::snprintf(g_error, sizeof g_error, "%s", err.text());
    g_error_kind = err.kind() == lt::failure_kind::password_needed  ? 1
                   : err.kind() == lt::failure_kind::password_wrong ? 2
                                                                    : 0;
  }
  return r;
}

void put_u32(std::vector<lt::u8> &out, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<lt::u8>(v >> (8 * k)));
}

void put_text(std::vector<lt::u8> &out, const std::string &s) {
  put_u32(out, static_cast<std::uint32_t>(s.size()));
  out.insert(out.end(), s.begin(), s.end());
}

}  // namespace

// The last failure's message (UTF-8), and its kind (0 general, 1 a
// password is needed, 2 the password given is wrong).
LTJS_EXPORT const char *ltjs_error() { return g_error; }
LTJS_EXPORT int ltjs_error_kind() { return g_error_kind; }

// A block for a file's bytes that ltjs_open takes over; null when memory is
// short.
LTJS_EXPORT lt::u8 *ltjs_alloc(int len) {
  return new (std::nothrow) lt::u8[static_cast<size_t>(len > 0 ? len : 1)];
}

// How messages point to the package's ways of giving a password and of
// forcing a turn that permissions forbid.
constexpr char k_password_option[] = "the password option";
constexpr char k_force_option[] = "force: true";

// Loads a whole file from a block of ltjs_alloc, which it takes over (freed
// whatever happens); messages name it `name`. An encrypted file opens with
// `password` (null: none). Null on failure.
LTJS_EXPORT js_document *ltjs_open(lt::u8 *bytes, int len, const char *name, const char *password) {
  std::unique_ptr<lt::u8[]> block(bytes);
  js_document *made = nullptr;
  guarded(0, [&](lt::failure &err) {
    std::unique_ptr<js_document> d(new js_document);
    lt::load_options how;
    how.encrypted = true;
    how.password = password;
    how.password_option = k_password_option;
    if (lt::doc_load_owned(std::move(block), len, d->loaded, err, name, how) != 0) return 0;
    d->name = name;
    d->plan.reset(new lt::turn_plan(d->loaded));
    made = d.release();
    return 1;
  });
  return made;
}

LTJS_EXPORT void ltjs_close(js_document *d) { delete d; }

LTJS_EXPORT int ltjs_page_count(js_document *d) {
  return static_cast<int>(d->loaded.d.pages.size());
}

// Every page's facts as they stand now, six numbers a page: rotation, own
// rotation (-1: none), inherited rotation (-1: none), width and height (NaN
// when the box is unknown), orientation (0 unknown, 1 portrait, 2
// landscape, 3 square). Their address, or null.
LTJS_EXPORT const double *ltjs_facts(js_document *d) {
  const int ok = guarded(0, [&](lt::failure &) {
    const int n = ltjs_page_count(d);
    d->facts.assign(static_cast<size_t>(n) * 6, 0.0);
    for (int p = 1; p <= n; ++p) {
      const lt::page_facts f = d->plan->facts(p);
      double *row = &d->facts[static_cast<size_t>(p - 1) * 6];
      const char *o = lt::orientation_name(f.orient);
      row[0] = f.rotation;
      row[1] = f.own;
      row[2] = f.inherited;
      row[3] = f.box_known ? f.width : std::nan("");
      row[4] = f.box_known ? f.height : std::nan("");
      row[5] = !o ? 0 : o[0] == 'p' ? 1 : o[0] == 'l' ? 2 : 3;
    }
    return 1;
  });
  return ok ? d->facts.data() : nullptr;
}

// Every page's text as it shows now, two numbers a page: its direction (0
// none, 1 up, 2 right, 3 down, 4 left) and its glyph count. Their address,
// or null. The content is read once, when first asked for.
LTJS_EXPORT const double *ltjs_text(js_document *d) {
  const int ok = guarded(0, [&](lt::failure &) {
    const int n = ltjs_page_count(d);
    d->text.assign(static_cast<size_t>(n) * 2, 0.0);
    for (int p = 1; p <= n; ++p) {
      const lt::text_facts f = d->plan->text(p);
      d->text[static_cast<size_t>(p - 1) * 2] = static_cast<double>(f.direction);
      d->text[static_cast<size_t>(p - 1) * 2 + 1] = static_cast<double>(f.glyphs);
    }
    return 1;
  });
  return ok ? d->text.data() : nullptr;
}

// Turns the listed pages (every page when pages is null) upright; how many
// changed, or -1 with the message set.
LTJS_EXPORT int ltjs_upright(js_document *d, const int *pages, int count) {
  return guarded(-1, [&](lt::failure &err) {
    std::vector<int> listed;
    if (pages) listed.assign(pages, pages + count);
    return d->plan->apply(pages ? &listed : nullptr, lt::upright_turn(), lt::page_filter::any, err);
  });
}

// What the document carries, read once per document by the package: a
// record of little-endian 32-bit numbers and UTF-8 texts: the information
// dictionary's text entries (present, 0 or 1; the count; each key and
// value as a length and its bytes), the signature count, certified (0 or
// 1), why no update can be appended ("" when one can), and whether an
// automatic save appends one (0 or 1). Its length in *len; null on failure.
LTJS_EXPORT const lt::u8 *ltjs_info(js_document *d, int *len) {
  const int ok = guarded(0, [&](lt::failure &) {
    const lt::doc_info info = lt::describe_info(d->loaded);
    const lt::signature_facts sig = lt::describe_signatures(d->loaded);
    d->record.clear();
    put_u32(d->record, info.present ? 1 : 0);
    put_u32(d->record, static_cast<std::uint32_t>(info.entries.size()));
    for (const auto &e : info.entries) {
      put_text(d->record, e.first);
      put_text(d->record, e.second);
    }
    put_u32(d->record, static_cast<std::uint32_t>(sig.signatures));
    put_u32(d->record, sig.certified ? 1 : 0);
    put_text(d->record, lt::update_refusal(d->loaded));
    put_u32(d->record, lt::updates_by_default(d->loaded) ? 1 : 0);
    const lt::encryption_facts e = lt::describe_encryption(d->loaded);
    put_u32(d->record, e.present ? 1 : 0);
    if (e.present) {
      put_text(d->record, e.method);
      put_u32(d->record, static_cast<std::uint32_t>(e.revision));
      put_u32(d->record, static_cast<std::uint32_t>(e.key_bits));
      put_u32(d->record, e.password_needed ? 1 : 0);
      put_u32(d->record, !e.key_known ? 0 : e.owner ? 2 : 1);
      put_u32(d->record, static_cast<std::uint32_t>(e.permissions.size()));
      for (const auto &p : e.permissions) {
        put_text(d->record, p.first);
        put_u32(d->record, p.second ? 1 : 0);
      }
    }
    return 1;
  });
  *len = ok ? static_cast<int>(d->record.size()) : 0;
  return ok ? d->record.data() : nullptr;
}

// The pages a page list (the command line's grammar; len bytes of UTF-8)
// selects: their count (their numbers at ltjs_selected), or -1 with the
// message set.
LTJS_EXPORT int ltjs_select(js_document *d, const char *text, int len) {
  return guarded(-1, [&](lt::failure &err) {
    lt::page_list list;
    std::string why;
    if (!lt::parse_page_list(std::string(text, static_cast<size_t>(len)), &list, &why)) {
      err.set("%s", why.c_str());
      return -1;
    }
    long bad = 0;
    if (!lt::select_pages(list, ltjs_page_count(d), &d->selected, &bad)) {
      lt::set_page_range_error(err, bad, ltjs_page_count(d));
      return -1;
    }
    return static_cast<int>(d->selected.size());
  });
}

LTJS_EXPORT const int *ltjs_selected(js_document *d) { return d->selected.data(); }

// A turn as the core takes it: the degrees it stands for (0..359), or -1
// for a value it does not take.
LTJS_EXPORT int ltjs_make_turn(int absolute, double degrees) {
  lt::turn t;
  if (!(degrees >= -1e15 && degrees <= 1e15)) return -1;
  return lt::make_turn(absolute != 0, static_cast<long long>(degrees), &t) ? t.degrees : -1;
}

// The turn values the core takes, as messages list them.
LTJS_EXPORT const char *ltjs_turn_values(int absolute) { return lt::turn_values(absolute != 0); }

// Sets the message for page `number` (a caller's text) outside the document.
LTJS_EXPORT void ltjs_range_error(js_document *d, const char *number) {
  lt::failure err;
  lt::set_page_range_error(err, number, ltjs_page_count(d));
  std::snprintf(g_error, sizeof g_error, "%s", err.text());
  g_error_kind = 0;
}

// Turns the listed pages (every page when pages is null) that `only` keeps
// (0 any, 1 landscape, 2 portrait): to `degrees` when absolute, else by
// them clockwise. How many pages changed, or -1 with the message set.
LTJS_EXPORT int ltjs_rotate(js_document *d, const int *pages, int count, int absolute,
                            int degrees, int only) {
  return guarded(-1, [&](lt::failure &err) {
    std::vector<int> listed;
    if (pages) listed.assign(pages, pages + count);
    const lt::page_filter filter = only == 1   ? lt::page_filter::landscape
                                   : only == 2 ? lt::page_filter::portrait
                                               : lt::page_filter::any;
    return d->plan->apply(pages ? &listed : nullptr, lt::turn{absolute != 0, degrees}, filter,
                          err);
  });
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

// Plans the document with its turns as the core decides for the mode (0
// full, 1 incremental, 2 automatic; `force` turns an encrypted file whose
// permissions forbid it): a fresh file, the input with an update
// appended, or the input itself when nothing changed. The output's exact size (ltjs_emit sends it), or -1 with the
// message set. The size is counted by making the pieces once without
// keeping them: the array JavaScript fills is then allocated once, at its
// size, and never copied again.
LTJS_EXPORT int ltjs_save(js_document *d, int mode, int force) {
  return guarded(-1, [&](lt::failure &err) {
    d->planned.reset();
    lt::write_request req;
    req.mode = mode == 1   ? lt::write_mode::incremental
               : mode == 2 ? lt::write_mode::automatic
                           : lt::write_mode::full;
    req.force = true;  // the package has no refusal of certified documents
    req.force_permissions = force != 0;
    req.force_option = k_force_option;
    req.password_option = k_password_option;
    std::unique_ptr<lt::write_decision> decision(new lt::write_decision);
    if (!decision->decide(d->loaded, *d->plan, req, d->name, err)) return -1;
    d->planned = std::move(decision);
    count_sink count;
    d->planned->result().emit(count);
    return static_cast<int>(count.total);
  });
}

// Sends the planned output to the package's JavaScript, piece by piece; 1,
// or 0 with the message set.
LTJS_EXPORT int ltjs_emit(js_document *d) {
  const int ok = guarded(0, [&](lt::failure &err) {
    if (!d->planned) {
      err.set("nothing planned to save");
      return 0;
    }
    js_sink sink;
    d->planned->result().emit(sink);
    sink.flush();
    return 1;
  });
  d->planned.reset();
  return ok;
}
