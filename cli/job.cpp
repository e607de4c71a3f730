// SPDX-License-Identifier: MIT
// One file through the core's internal interface: every call works on its
// own document, so workers may run this on different files at once.
#include "job.h"

#include <chrono>
#include <filesystem>
#include <new>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif


namespace cli {

namespace {

// How messages name standard input.
constexpr char k_stdin_name[] = "(standard input)";

// Whether two paths name one existing file.
bool same_file(const std::string &a, const std::string &b) {
  if (a == b) return true;
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::u8path(a), std::filesystem::u8path(b), ec) && !ec;
}

// The whole of standard input, in binary mode.
bool read_stdin(std::string *bytes) {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) bytes->append(buf, n);
  return !std::ferror(stdin);
}

}  // namespace

bool load_input(const std::string &in, lt::document &loaded, lt::failure &err,
                const std::string *password) {
  lt::load_options how;
  how.encrypted = true;
  how.password = password ? password->c_str() : nullptr;
  how.password_option = k_password_option;
  if (!is_stdio(in)) return lt::doc_load(in.c_str(), loaded, err, how);
  std::string bytes;
  if (!read_stdin(&bytes)) {
    err.set("read error on %s", k_stdin_name);
    return false;
  }
  return lt::doc_load_bytes(reinterpret_cast<const lt::u8 *>(bytes.data()), bytes.size(), loaded,
                            err, k_stdin_name, how);
}

namespace {

bool write(const std::string &out, const lt::output &o, lt::failure &err) {
  if (!is_stdio(out)) return lt::write_output(out.c_str(), o, err);
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  return lt::write_output_to(stdout, o, "standard output", err);
}

void work(const std::string &in, const std::string &out, const turn_request &req, job_result &r) {
  lt::document loaded;
  lt::failure err;
  if (!load_input(in, loaded, err, req.has_password ? &req.password : nullptr)) {
    r.error = err.text();
    return;
  }
  r.loaded = true;
  const int count = static_cast<int>(loaded.d.pages.size());
  r.pages = count;
  const std::string shown = is_stdio(in) ? std::string(k_stdin_name) : in;
  lt::write_request how;
  how.mode = req.mode;
  how.force = req.force;
  how.force_permissions = req.force;
  how.full_option = "--full";
  how.force_option = "--force";
  how.password_option = k_password_option;
  if (!lt::may_change(loaded, how, shown, err)) {
    r.error = err.text();
    return;
  }

  // Every turn in order; a page counts as turned when it ends at another
  // rotation than it had.
  lt::turn_plan plan(loaded);
  for (const turn_step &step : req.steps) {
    std::vector<int> chosen;
    if (step.has_list) {
      long bad = 0;
      if (!lt::select_pages(step.list, count, &chosen, &bad)) {
        lt::set_page_range_error(err, bad, count);
        r.error = err.text();
        return;
      }
    }
    if (plan.apply(step.has_list ? &chosen : nullptr, step.turn, step.only, err) < 0) {
      r.error = err.text();
      return;
    }
  }
  r.turned = plan.pages_turned();

  lt::write_decision decision;
  if (!decision.decide(loaded, plan, how, shown, err)) {
    r.error = err.text();
    r.turned = 0;
    return;
  }
  // Nothing turns and the output is the input: the file itself stays.
  const bool unchanged = std::string(decision.mode()) == "unchanged";
  if (unchanged && !is_stdio(out) && !is_stdio(in) && same_file(in, out)) {
    r.ok = true;
    return;
  }
  if (!write(out, decision.result(), err)) {
    r.error = err.text();
    if (!unchanged) r.turned = 0;
    return;
  }
  if (!unchanged) r.mode = decision.mode();
  r.note = decision.note();
  r.ok = true;
}

}  // namespace

job_result rotate_file(const std::string &in, const std::string &out, const turn_request &req) {
  const auto start = std::chrono::steady_clock::now();
  job_result r;
  try {
    work(in, out, req, r);
  } catch (const std::bad_alloc &) {
    r.ok = false;
    r.error = lt::k_no_memory_message;
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

}  // namespace cli
