// SPDX-License-Identifier: MIT
#include "pdf_builder.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace testpdf {

builder &builder::obj(int num, const std::string &text, int gen) {
  parts_.push_back(std::to_string(num) + " " + std::to_string(gen) + " obj\n" + text +
                   "\nendobj\n");
  nums_.push_back(num);
  return *this;
}

builder &builder::stream(int num, const std::string &dict_entries,
                         const std::string &data, int gen) {
  parts_.push_back(std::to_string(num) + " " + std::to_string(gen) + " obj\n<<" +
                   dict_entries + "/Length " + std::to_string(data.size()) +
                   ">>\nstream\n" + data + "\nendstream\nendobj\n");
  nums_.push_back(num);
  return *this;
}

builder &builder::raw(const std::string &bytes) {
  parts_.push_back(bytes);
  nums_.push_back(0);
  return *this;
}

std::string builder::build() const {
  std::string out = "%PDF-1.4\n";
  std::vector<std::pair<int, size_t>> offsets;
  int max_num = 0;
  for (size_t i = 0; i < parts_.size(); ++i) {
    if (nums_[i] > 0) {
      offsets.emplace_back(nums_[i], out.size());
      if (nums_[i] > max_num) max_num = nums_[i];
    }
    out += parts_[i];
  }
  if (!xref_) return out;
  const size_t xref_at = out.size();
  out += "xref\n0 " + std::to_string(max_num + 1) + "\n";
  for (int j = 0; j <= max_num; ++j) {
    size_t off = 0;
    bool used = false;
    for (auto &o : offsets)
      if (o.first == j) {
        off = o.second;
        used = true;
      }
    char line[32];
    std::snprintf(line, sizeof line, "%010zu %05d %c \n", off, used ? 0 : 65535,
                  used ? 'n' : 'f');
    out += line;
  }
  out += "trailer\n<</Size " + std::to_string(max_num + 1) + "/Root " +
         std::to_string(root_) + " 0 R";
  if (info_ >= 0) out += "/Info " + std::to_string(info_) + " 0 R";
  out += extra_ + ">>\nstartxref\n" + std::to_string(xref_at) + "\n%%EOF\n";
  return out;
}

builder simple_doc(int n, const std::string &page_extra, const std::string &pages_extra) {
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  std::string kids;
  for (int i = 0; i < n; ++i) kids += (i ? " " : "") + std::to_string(i + 3) + " 0 R";
  b.obj(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) +
               pages_extra + ">>");
  for (int i = 0; i < n; ++i)
    b.obj(i + 3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]" + page_extra + ">>");
  return b;
}

static std::string temp_dir() {
  static std::string dir;
  if (dir.empty()) {
    const char *base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/leafturn-test-XXXXXX";
    char *made = ::mkdtemp(&tmpl[0]);
    dir = made ? made : "/tmp";
  }
  return dir;
}

std::string temp_path(const std::string &name) {
  static int counter = 0;
  return temp_dir() + "/" + std::to_string(++counter) + "-" + name;
}

std::string write_temp(const std::string &name, const std::string &bytes) {
  const std::string path = temp_path(name);
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string run(const std::string &cmd, int *status) {
  std::string out;
  FILE *p = ::popen(cmd.c_str(), "r");
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ::pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool have_tool(const std::string &name) {
  int status = 0;
  run("command -v " + name + " >/dev/null 2>&1", &status);
  if (status == 0) return true;
  // A check that cannot run fails the test (make test installs every
  // checker); a developer's own run may let it skip instead.
  const char *allow = std::getenv("LEAFTURN_ALLOW_MISSING_TOOLS");
  if (!allow || std::string(allow) != "1")
    ADD_FAILURE() << name << " is needed by this test and is missing (install it, or set "
                  << "LEAFTURN_ALLOW_MISSING_TOOLS=1 to skip what needs it)";
  return false;
}

std::string corpus_dir() {
  const char *env = std::getenv("LEAFTURN_CORPUS");
  if (env && *env) return env;
  return LEAFTURN_CORPUS_DIR;
}

std::string deflated(const std::string &s) {
  uLongf n = compressBound(static_cast<uLong>(s.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef *>(&out[0]), &n, reinterpret_cast<const Bytef *>(s.data()),
            static_cast<uLong>(s.size()), 9);
  out.resize(n);
  return out;
}

}  // namespace testpdf
