// SPDX-License-Identifier: MIT
// One file through the core's internal interface: every call works on its
// own document, so workers may run this on different files at once.
#include "job.h"

#include <chrono>
#include <filesystem>
#include <new>
#include <system_error>


namespace cli {

namespace {

// Whether two paths name one existing file.
bool same_file(const std::string &a, const std::string &b) {
  if (a == b) return true;
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::u8path(a), std::filesystem::u8path(b), ec) && !ec;
}

void work(const std::string &in, const std::string &out, const turn_request &req, job_result &r) {
  lt::document loaded;
  lt::failure err;
  if (lt::doc_load(in.c_str(), loaded, err) != 0) {
    r.error = err.text();
    return;
  }
  r.loaded = true;
  const int count = static_cast<int>(loaded.d.pages.size());
  r.pages = count;

  std::vector<int> chosen;
  if (req.has_list) {
    long bad = 0;
    if (!lt::select_pages(req.list, count, &chosen, &bad)) {
      lt::set_page_range_error(err, bad, count);
      r.error = err.text();
      return;
    }
  }
  lt::turn_plan plan(loaded);
  const int turned = plan.apply(req.has_list ? &chosen : nullptr, req.turn, req.only, err);
  if (turned < 0) {
    r.error = err.text();
    return;
  }
  r.turned = turned;

  if (!plan.changes_anything()) {
    // Nothing turns: the file itself stays, and a copy stays the same bytes.
    if (!same_file(in, out) &&
        !lt::write_output(out.c_str(), lt::copy_output(loaded.d), err)) {
      r.error = err.text();
      return;
    }
    r.ok = true;
    return;
  }
  lt::rewrite_output rewrite;
  if (!rewrite.plan(loaded, plan.targets(), err) ||
      !lt::write_output(out.c_str(), rewrite, err)) {
    r.error = err.text();
    r.turned = 0;
    return;
  }
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
    r.error = "out of memory";
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

}  // namespace cli
