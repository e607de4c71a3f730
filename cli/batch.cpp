// SPDX-License-Identifier: MIT
// The batch: inputs are gathered and mapped to outputs first, so that
// clashes are known before anything is written; then worker threads take
// files one at a time, and each result is reported as it finishes. Each
// file stands alone: a failure is reported and the rest go on. Memory is
// bounded by the workers: a result is printed and dropped at once.
#include "batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "json.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

struct entry {
  std::string in;
  std::string out;
  std::string error;  // set when the file fails before it is read
};

bool has_pdf_suffix(const std::string &name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char &c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".pdf";
}

// Every input with the path its output takes relative to the output
// folder: a file given by name keeps its name, a file found in a folder
// its path below that folder. Folders are walked in name order; links to
// folders are not followed.
void gather(const std::vector<std::string> &paths, std::vector<entry> *out,
            std::vector<std::string> *rel) {
  for (const std::string &p : paths) {
    std::error_code ec;
    const fs::path root = fs::u8path(p);
    // A folder named on the command line is walked even through a link;
    // links to folders met inside it are not followed.
    if (!fs::is_directory(root, ec)) {
      out->push_back({p, "", ""});
      rel->push_back(root.filename().u8string());
      continue;
    }
    std::vector<fs::path> found;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
    if (ec) {
      out->push_back({p, "", "cannot read folder " + p});
      rel->push_back("");
      continue;
    }
    for (; it != end; it.increment(ec)) {
      if (ec) break;
      const fs::directory_entry &e = *it;
      std::error_code ec2;
      if (e.is_regular_file(ec2) && has_pdf_suffix(e.path().filename().u8string())) found.push_back(e.path());
    }
    if (ec) {
      out->push_back({p, "", "cannot read folder " + p + ": " + ec.message()});
      rel->push_back("");
    }
    std::sort(found.begin(), found.end());
    for (const fs::path &f : found) {
      out->push_back({f.u8string(), "", ""});
      rel->push_back(f.lexically_relative(root).u8string());
    }
  }
}

// A key that is the same for two paths of one file (existing files by
// identity, others by their absolute normal form).
std::string file_key(const std::string &path) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(fs::absolute(fs::u8path(path), ec), ec);
  return ec ? fs::u8path(path).lexically_normal().u8string() : c.u8string();
}

// Where each output goes; clashes and outputs that are their inputs fail.
void plan_outputs(std::vector<entry> &files, const std::vector<std::string> &rel,
                  const batch_options &opt) {
  std::map<std::string, std::string> taken;  // output key -> the input that has it
  std::set<std::string> inputs;
  for (const entry &f : files) inputs.insert(file_key(f.in));
  for (size_t k = 0; k < files.size(); ++k) {
    entry &f = files[k];
    if (!f.error.empty()) continue;
    f.out = opt.in_place ? f.in : (fs::u8path(opt.out_dir) / fs::u8path(rel[k])).u8string();
    const std::string key = file_key(f.out);
    if (!opt.in_place && inputs.count(key)) {
      f.error = "output would replace an input: " + f.out;
      continue;
    }
    auto hit = taken.find(key);
    if (hit != taken.end()) {
      f.error = (opt.in_place ? "listed more than once: " : "output already taken by " + hit->second + ": ") + f.out;
      continue;
    }
    taken.emplace(key, f.in);
  }
}

bool stderr_is_terminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(2) != 0;
#endif
}

std::string clock_text(double s) {
  if (s < 0) s = 0;
  const long t = static_cast<long>(s + 0.5);
  char buf[32];
  if (t >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
  else std::snprintf(buf, sizeof buf, "%ld:%02ld", t / 60, t % 60);
  return buf;
}

// Counters and output, shared by the workers under one lock.
class reporter {
 public:
  reporter(size_t total, const batch_options &opt)
      : total_(total), json_(opt.json),
        progress_(opt.progress == 1 || (opt.progress == -1 && total > 1 && stderr_is_terminal())),
        start_(std::chrono::steady_clock::now()) {}

  void done(const entry &f, const job_result &r) {
    std::lock_guard<std::mutex> lock(m_);
    ++done_;
    if (!r.ok) ++failed_;
    turned_ += r.turned;
    if (json_) {
      clear_line();
      std::printf("%s\n", json_report(f.in, r).c_str());
      std::fflush(stdout);
    } else if (!r.ok) {
      clear_line();
      std::fprintf(stderr, "leafturn: %s: %s\n", f.in.c_str(), r.error.c_str());
    }
    if (!r.note.empty()) {
      clear_line();
      std::fprintf(stderr, "leafturn: %s\n", r.note.c_str());
    }
    show(false);
  }

  int finish() {
    std::lock_guard<std::mutex> lock(m_);
    show(true);
    if (progress_ && shown_) std::fputc('\n', stderr);
    if (!json_)
      std::printf("%zu files, %ld pages turned, %zu failed\n", total_, turned_, failed_);
    std::fflush(stdout);
    return failed_ ? 1 : 0;
  }

 private:
  void clear_line() {
    if (progress_ && shown_) std::fputs("\r\033[K", stderr);
  }
  // The progress line: files done of total, failures, rate, time left.
  void show(bool last) {
    if (!progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && shown_ && now - last_shown_ < std::chrono::milliseconds(100)) return;
    last_shown_ = now;
    shown_ = true;
    const double s = std::chrono::duration<double>(now - start_).count();
    const double rate = s > 0 ? static_cast<double>(done_) / s : 0;
    const double left = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0;
    std::fprintf(stderr, "\r\033[K%zu/%zu files, %zu failed, %.1f files/s, %s left", done_, total_,
                 failed_, rate, clock_text(left).c_str());
    std::fflush(stderr);
  }

  std::mutex m_;
  size_t total_, done_ = 0, failed_ = 0;
  long turned_ = 0;
  bool json_, progress_, shown_ = false;
  std::chrono::steady_clock::time_point start_, last_shown_;
};

}  // namespace

std::string json_report(const std::string &file, const job_result &r) {
  std::string s = "{\"file\": " + json_string(file) + ", \"ok\": " + (r.ok ? "true" : "false") +
                  ", \"pages\": " + (r.loaded ? std::to_string(r.pages) : "null") +
                  ", \"turned\": " + std::to_string(r.turned) +
                  ", \"seconds\": " + json_number(r.seconds);
  if (r.ok) s += std::string(", \"mode\": \"") + r.mode + "\"";
  if (!r.ok) s += ", \"error\": " + json_string(r.error);
  return s + "}";
}

int run_batch(const std::vector<std::string> &paths, const turn_request &req,
              const batch_options &opt) {
  std::vector<entry> files;
  std::vector<std::string> rel;
  gather(paths, &files, &rel);
  plan_outputs(files, rel, opt);

  reporter rep(files.size(), opt);
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t k; (k = next++) < files.size();) {
      const entry &f = files[k];
      job_result r;
      if (!f.error.empty()) {
        r.error = f.error;
      } else {
        std::error_code ec;
        const fs::path parent = fs::u8path(f.out).parent_path();
        if (!opt.in_place && !parent.empty() && !fs::is_directory(parent, ec) &&
            !fs::create_directories(parent, ec) && ec) {
          r.error = "cannot create folder " + parent.u8string();
        } else {
          r = rotate_file(f.in, f.out, req);
        }
      }
      rep.done(f, r);
    }
  };
  const size_t n = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(opt.jobs), files.size()));
  std::vector<std::thread> pool;
  for (size_t t = 1; t < n; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread &t : pool) t.join();
  return rep.finish();
}

}  // namespace cli
