// SPDX-License-Identifier: MIT
// What the command-line suites share: running the tool, quoting paths for
// the shell, and pdfinfo's reading of each page's rotation.
#ifndef LEAFTURN_TESTS_CLI_RUN_H
#define LEAFTURN_TESTS_CLI_RUN_H

#include <sstream>
#include <string>
#include <vector>

#include "pdf_builder.h"

namespace testcli {

const std::string kCli = LEAFTURN_CLI;

inline std::string q(const std::string &s) { return "'" + s + "'"; }

// Runs the tool; returns stdout, with stderr in *err when asked for.
inline std::string tool(const std::string &args, int *status, std::string *err = nullptr) {
  const std::string err_file = testpdf::temp_path("stderr.txt");
  const std::string out = testpdf::run(kCli + " " + args + " 2>" + q(err_file), status);
  if (err) *err = testpdf::read_file(err_file);
  return out;
}

// Each page's rotation as pdfinfo reads it.
inline std::vector<int> pdfinfo_rotations(const std::string &path) {
  std::vector<int> r;
  std::istringstream in(testpdf::run("pdfinfo -f 1 -l 9999 " + q(path) + " 2>/dev/null"));
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(" rot:");
    if (line.compare(0, 5, "Page ") == 0 && at != std::string::npos)
      r.push_back(std::stoi(line.substr(at + 5)));
  }
  return r;
}

}  // namespace testcli

#endif
