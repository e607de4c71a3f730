// SPDX-License-Identifier: MIT
// One file through the core's internal interface: every call works on its
// own document, so workers may run this on different files at once.
#include "job.h"

#include <chrono>
#include <filesystem>
#include <new>
#include <system_error>

#include "loader.h"
#include "page_info.h"
#include "writer.h"

namespace cli {

namespace {

// Whether two paths name one existing file.
bool same_file(const std::string &a, const std::string &b) {
  if (a == b) return true;
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::u8path(a), std::filesystem::u8path(b), ec) && !ec;
}

void work(const std::string &in, const std::string &out, const turn_request &req, job_result &r) {
  lt::document doc;
  lt::failure err;
  if (lt::doc_load(in.c_str(), doc, err) != 0) {
    r.error = err.text();
    return;
  }
  r.loaded = true;
  const int count = static_cast<int>(doc.d.pages.size());
  r.pages = count;

  std::vector<int> chosen;
  if (req.has_list) {
    long bad = 0;
    if (!select_pages(req.list, count, &chosen, &bad)) {
      err.set("page %ld out of range (document has %d pages)", bad, count);
      r.error = err.text();
      return;
    }
  } else {
    chosen.resize(static_cast<size_t>(count));
    for (int p = 1; p <= count; ++p) chosen[static_cast<size_t>(p - 1)] = p;
  }

  // Current rotations, with orientation when the selection asks for it.
  std::vector<lt::page_facts> facts;
  if (req.only != turn_request::any) facts = lt::describe_pages(doc);
  std::vector<lt::page_turn> turns;
  turns.reserve(chosen.size());
  for (const int p : chosen) {
    const size_t k = static_cast<size_t>(p - 1);
    lt::i32 current;
    if (!facts.empty()) {
      const lt::orientation want = req.only == turn_request::landscape
                                       ? lt::orientation::landscape
                                       : lt::orientation::portrait;
      if (facts[k].orient != want) continue;
      current = facts[k].rotation;
    } else {
      current = lt::effective_rotation(doc.d, doc.lex, doc.d.pages[k]);
    }
    const lt::i32 target = req.absolute ? req.degrees : (current + req.degrees) % 360;
    if (target != current) turns.push_back({p, target});
  }
  r.turned = static_cast<int>(turns.size());

  if (turns.empty()) {
    // Nothing turns: the file itself stays, and a copy stays the same bytes.
    if (!same_file(in, out) &&
        !lt::write_output(out.c_str(), lt::unchanged_output(doc.d), doc.d.source, err)) {
      r.error = err.text();
      return;
    }
    r.ok = true;
    return;
  }
  lt::output built;
  if (!lt::build_output_turns(doc, turns, &built, err) ||
      !lt::write_output(out.c_str(), built, doc.d.source, err)) {
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
