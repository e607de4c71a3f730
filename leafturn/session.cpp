// SPDX-License-Identifier: MIT
// The session every document-keeping front end wraps (session.h).
#include "session.h"

#include <cstdio>

#include "facts/json_text.h"
#include "platform/os_file.h"

namespace lt {

bool save_mode_numbered(long long number, save_mode *mode) {
  switch (number) {
    case static_cast<long long>(save_mode::automatic): *mode = save_mode::automatic; return true;
    case static_cast<long long>(save_mode::incremental): *mode = save_mode::incremental; return true;
    case static_cast<long long>(save_mode::full): *mode = save_mode::full; return true;
    default: return false;
  }
}

save_mode save_mode_chosen(bool given, bool incremental) {
  if (!given) return save_mode::automatic;
  return incremental ? save_mode::incremental : save_mode::full;
}

const char *written_name(written w) {
  switch (w) {
    case written::update: return "update";
    case written::full: return "full";
    case written::unchanged: break;
  }
  return "unchanged";
}

bool page_filter_named(const std::string &name, page_filter *only) {
  if (name == orientation_name(orientation::landscape)) *only = page_filter::landscape;
  else if (name == orientation_name(orientation::portrait)) *only = page_filter::portrait;
  else return false;
  return true;
}

std::string filter_refusal(const std::string &option, const std::string &got) {
  return option + " takes \"" + orientation_name(orientation::landscape) + "\" or \"" +
         orientation_name(orientation::portrait) + "\" (got " + got + ")";
}

std::string turn_refusal(const front_end &names, bool absolute, const std::string &got) {
  return std::string(absolute ? names.to_option : names.by_option) + " takes " +
         turn_values(absolute) + " (got " + got + ")";
}

namespace {

status status_of(const failure &err, status general) {
  switch (err.kind()) {
    case failure_kind::password_needed: return status::password_needed;
    case failure_kind::password_wrong: return status::password_wrong;
    case failure_kind::general: break;
  }
  return general;
}

// Whether `path` names the file the document was read from.
bool names_source(const doc &d, const char *path) {
  if (!d.source_id.known) return false;
  std::FILE *f = os_fopen(path, "rb");
  if (!f) return false;
  const bool same = os_identity(f).same_file(d.source_id);
  std::fclose(f);
  return same;
}

}  // namespace

session::session(const front_end &names) : names_(names) {}

session::~session() = default;

// Every call: the last error emptied, exceptions turned into statuses.
template <typename F>
status session::run(F &&work) {
  error_.clear();
  return guard(work, [this](const char *message) { error_ = message; });
}

status session::fail(status s, const failure &err) {
  error_ = err.text();
  return status_of(err, s);
}

status session::refuse(status s, const std::string &why) {
  const status g = guard(
      [&] {
        error_ = why;
        return s;
      },
      [this](const char *message) { error_ = message; });
  return g;
}

template <typename Load>
status session::open_with(Load &&load, const char *name) {
  return run([&] {
    if (plan_) return refuse(status::bad_argument, "the document is open already");
    failure err;
    load_options how;
    how.encrypted = true;
    how.password_option = names_.password_option;
    if (!load(how, err)) return fail(status::failed, err);
    name_ = name;
    plan_.reset(new turn_plan(loaded_));
    return status::ok;
  });
}

status session::check_path(const char *path) {
  return run([&] { return path ? status::ok : refuse(status::bad_argument, "NULL path argument"); });
}

status session::check_bytes(const u8 *bytes, size_t len, const char *name) {
  return run([&] {
    if (!bytes && len) return refuse(status::bad_argument, "NULL bytes argument");
    failure err;
    if (!input_fits(len, name ? name : k_memory_name, err)) return fail(status::failed, err);
    return status::ok;
  });
}

status session::open_file(const char *path, const char *password) {
  if (check_path(path) != status::ok) return status::bad_argument;
  return open_with(
      [&](load_options &how, failure &err) {
        how.password = password;
        return doc_load(path, loaded_, err, how);
      },
      path);
}

status session::open_bytes(const u8 *bytes, size_t len, const char *name, const char *password) {
  const char *shown = name ? name : k_memory_name;
  const status checked = check_bytes(bytes, len, name);
  if (checked != status::ok) return checked;
  static const u8 none = 0;
  return open_with(
      [&](load_options &how, failure &err) {
        how.password = password;
        return doc_load_bytes(bytes ? bytes : &none, len, loaded_, err, shown, how);
      },
      shown);
}

status session::open_owned(std::unique_ptr<u8[]> bytes, size_t len, const char *name,
                           const char *password) {
  const char *shown = name ? name : k_memory_name;
  return open_with(
      [&](load_options &how, failure &err) {
        how.password = password;
        return doc_load_owned(std::move(bytes), len, loaded_, err, shown, how);
      },
      shown);
}

int session::page_count() const { return static_cast<int>(loaded_.d.pages.size()); }

status session::page_count(int *count) {
  error_.clear();
  *count = page_count();
  return status::ok;
}

status session::page(int number, bool with_text, page_record *out) {
  return run([&] {
    const int n = page_count();
    if (number < 1 || number > n) {
      failure err;
      set_page_range_error(err, number, n);
      return fail(status::out_of_range, err);
    }
    out->number = number;
    out->facts = plan_->facts(number);
    out->has_text = with_text;
    out->text = with_text ? plan_->text(number) : text_facts();
    out->images = with_text ? plan_->images(number) : std::vector<image_record>();
    return status::ok;
  });
}

status session::page_json(int number, bool with_text, std::string *out) {
  page_record r;
  const status s = page(number, with_text, &r);
  if (s != status::ok) return s;
  return run([&] {
    *out = page_facts_json(r.number, r.facts, r.has_text ? &r.text : nullptr,
                           r.has_text ? &r.images : nullptr);
    return status::ok;
  });
}

status session::pages_json(bool with_text, std::string *out) {
  return run([&] {
    out->assign("[");
    const int n = page_count();
    for (int p = 1; p <= n; ++p) {
      const text_facts t = with_text ? plan_->text(p) : text_facts();
      const std::vector<image_record> images = with_text ? plan_->images(p) : std::vector<image_record>();
      *out += (p > 1 ? ", " : "") +
              page_facts_json(p, plan_->facts(p), with_text ? &t : nullptr, with_text ? &images : nullptr);
    }
    *out += "]";
    return status::ok;
  });
}

status session::facts_json(std::string *out) {
  return run([&] {
    *out = "{\"pages\": " + std::to_string(page_count()) + ", " + document_facts_json(loaded_) + "}";
    return status::ok;
  });
}

status session::updates_by_default(bool *out) {
  return run([&] {
    *out = lt::updates_by_default(loaded_);
    return status::ok;
  });
}

status session::select(const std::string &list, std::vector<int> *pages) {
  return run([&] {
    page_list parsed;
    std::string why;
    if (!parse_page_list(list, &parsed, &why)) return refuse(status::bad_argument, why);
    long bad = 0;
    const int n = page_count();
    if (!select_pages(parsed, n, pages, &bad)) {
      failure err;
      set_page_range_error(err, bad, n);
      return fail(status::out_of_range, err);
    }
    return status::ok;
  });
}

status session::refuse_page(const std::string &number) {
  return run([&] {
    failure err;
    set_page_range_error(err, number.c_str(), page_count());
    return fail(status::out_of_range, err);
  });
}

// The pages a choice lists into *list, *pages pointing to it (null: every
// page).
status session::plan_pages(const page_choice &which, std::vector<int> *list,
                           const std::vector<int> **pages) {
  *pages = nullptr;
  if ((which.listed || which.numbers) && which.list)
    return refuse(status::bad_argument, "give page numbers or a page list, not both");
  if (which.listed || which.numbers || which.count) {
    if ((!which.numbers && which.count) || which.count < 0)
      return refuse(status::bad_argument, "page numbers: a count needs its numbers");
    if (which.count) list->assign(which.numbers, which.numbers + which.count);
    *pages = list;
  } else if (which.list) {
    const status s = select(*which.list, list);
    if (s != status::ok) return s;
    *pages = list;
  }
  return status::ok;
}

status session::turn_pages(const turn &t, const page_choice &which, int *changed) {
  return run([&] {
    if (which.refusal) return refuse(status::bad_argument, which.refusal);
    std::vector<int> list;
    const std::vector<int> *pages = nullptr;
    const status s = plan_pages(which, &list, &pages);
    if (s != status::ok) return s;
    failure err;
    const int n = plan_->apply(pages, t, which.only, err);
    if (n < 0) return fail(status::out_of_range, err);
    if (changed) *changed = n;
    return status::ok;
  });
}

status session::turn_by(long long degrees, const page_choice &which, int *changed) {
  turn t;
  if (!make_turn(false, degrees, &t)) return refuse_turn(false, std::to_string(degrees));
  return turn_pages(t, which, changed);
}

status session::turn_to(long long degrees, const page_choice &which, int *changed) {
  turn t;
  if (!make_turn(true, degrees, &t)) return refuse_turn(true, std::to_string(degrees));
  return turn_pages(t, which, changed);
}

status session::upright(const page_choice &which, int *changed) {
  return turn_pages(upright_turn(), which, changed);
}

status session::refuse_turn(bool absolute, const std::string &got) {
  return run([&] { return refuse(status::bad_argument, turn_refusal(names_, absolute, got)); });
}

status session::plan_save(save_mode mode, bool force, const output **out, written *kind) {
  return run([&] {
    decision_.reset();
    write_request req;
    req.mode = mode == save_mode::incremental ? write_mode::incremental
               : mode == save_mode::full      ? write_mode::full
                                              : write_mode::automatic;
    req.force = req.force_permissions = force;
    req.force_option = names_.force_option;
    req.password_option = names_.password_option;
    std::unique_ptr<write_decision> decision(new write_decision);
    failure err;
    if (!decision->decide(loaded_, *plan_, req, name_, err)) return fail(status::failed, err);
    const std::string m = decision->mode();
    *kind = m == "update" ? written::update : m == "full" ? written::full : written::unchanged;
    decision_ = std::move(decision);
    *out = &decision_->result();
    return status::ok;
  });
}

status session::save(const char *path, save_mode mode, bool force, written *kind,
                     bool leave_same_file) {
  if (!path) return refuse(status::bad_argument, "NULL path argument");
  const output *out = nullptr;
  written w = written::unchanged;
  const status s = plan_save(mode, force, &out, &w);
  if (s != status::ok) return s;
  return run([&] {
    if (w == written::unchanged && leave_same_file && names_source(loaded_.d, path)) {
      *kind = w;
      return status::ok;
    }
    failure err;
    if (!write_output(path, *out, err)) return fail(status::failed, err);
    *kind = w;
    return status::ok;
  });
}

status session::save_bytes(save_mode mode, bool force, std::string *bytes, written *kind) {
  const output *out = nullptr;
  written w = written::unchanged;
  const status s = plan_save(mode, force, &out, &w);
  if (s != status::ok) return s;
  return run([&] {
    *bytes = output_bytes(*out);
    *kind = w;
    return status::ok;
  });
}

}  // namespace lt
