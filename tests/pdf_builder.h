// SPDX-License-Identifier: MIT
// Small helpers that build PDF bytes in code for the tests: objects in
// order, an optional classic cross-reference table and trailer, and
// deliberate damage by plain string editing.
#ifndef LEAFTURN_TESTS_PDF_BUILDER_H
#define LEAFTURN_TESTS_PDF_BUILDER_H

#include <string>
#include <vector>

namespace testpdf {

struct object {
  int num;
  int gen;
  std::string text;  // everything between "N G obj\n" and "\nendobj"
};

class builder {
 public:
  // A plain object: "N G obj\n<text>\nendobj\n".
  builder &obj(int num, const std::string &text, int gen = 0);
  // A stream object with a correct /Length added to the dictionary entries.
  builder &stream(int num, const std::string &dict_entries, const std::string &data,
                  int gen = 0);
  // Raw bytes appended at this point of the body.
  builder &raw(const std::string &bytes);
  builder &root(int num) { root_ = num; return *this; }
  builder &info(int num) { info_ = num; return *this; }
  builder &trailer_extra(const std::string &t) { extra_ = t; return *this; }
  builder &no_xref() { xref_ = false; return *this; }

  std::string build() const;

 private:
  std::vector<std::string> parts_;
  std::vector<int> nums_;  // object number per part, 0 for raw bytes
  int root_ = 1;
  int info_ = -1;
  std::string extra_;
  bool xref_ = true;
};

// A catalog (1), a page tree root (2) and n pages (3..n+2) whose dictionaries
// carry page_extra.
builder simple_doc(int n, const std::string &page_extra = "",
                   const std::string &pages_extra = "");

// zlib-wrapped DEFLATE data of s (zlib's own encoder, level 9): what
// FlateDecode streams hold.
std::string deflated(const std::string &s);

// A fresh path in the test's temporary folder (nothing is created).
std::string temp_path(const std::string &name);
std::string write_temp(const std::string &name, const std::string &bytes);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

// Runs a shell command and returns its standard output; *status gets the
// exit status.
std::string run(const std::string &cmd, int *status = nullptr);
// Whether a checker is on PATH; a missing one fails the test unless
// LEAFTURN_ALLOW_MISSING_TOOLS=1 lets the caller skip.
bool have_tool(const std::string &name);

std::string corpus_dir();

}  // namespace testpdf

#endif
