// SPDX-License-Identifier: MIT
// What the update suites check of every appended update: the input's bytes
// first, a section of the expected form after them, qpdf no worse than for
// the input, and the library's own query and mutool agreeing with pdfinfo.
#ifndef LEAFTURN_TESTS_UPDATE_CHECKS_H
#define LEAFTURN_TESTS_UPDATE_CHECKS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "leafturn.h"
#include "pdf_builder.h"

namespace testupdate {

using testcli::pdfinfo_rotations;
using testcli::q;
using testpdf::read_file;
using testpdf::run;
using testpdf::write_temp;

// mutool's rotation of every page: its parser finds the pages, a small
// script of its own language reads /Rotate through the page tree.
inline std::vector<int> mutool_rotations(const std::string &path) {
  static const std::string script = write_temp("rotations.js",
      "var doc = new PDFDocument(scriptArgs[0]);\n"
      "var out = [];\n"
      "for (var i = 0; i < doc.countPages(); ++i) {\n"
      "  var r = 0;\n"
      "  for (var o = doc.findPage(i); o && o.isDictionary(); o = o.get('Parent')) {\n"
      "    var v = o.get('Rotate');\n"
      "    if (v && v.isNumber()) { r = v.valueOf(); break; }\n"
      "  }\n"
      "  out.push(((r % 360) + 360) % 360);\n"
      "}\n"
      "print(out.join(' '));\n");
  std::vector<int> r;
  std::istringstream in(run("mutool run " + q(script) + " " + q(path) + " 2>/dev/null"));
  for (int v; in >> v;) r.push_back(v);
  return r;
}

inline int qpdf_check(const std::string &path) {
  int rc = -1;
  run("qpdf --check " + q(path) + " >/dev/null 2>&1", &rc);
  return rc;
}

// The update's checks that hold for every output: the input's bytes first,
// a section of the expected form after them, qpdf no worse than for the
// input, the library's own query and mutool agreeing with pdfinfo (mutool
// reads no file with bytes before its header but by rebuilding it: without
// `mutool_reads`, it is left out).
inline void check_update(const std::string &in, const std::string &out, bool stream_form,
                         bool mutool_reads = true) {
  const std::string a = read_file(in), b = read_file(out);
  ASSERT_GT(b.size(), a.size());
  EXPECT_EQ(b.compare(0, a.size(), a), 0) << "the input's bytes must stay";
  const std::string added = b.substr(a.size());
  if (stream_form) {
    EXPECT_NE(added.find("/Type /XRef/Size"), std::string::npos) << added;
    EXPECT_EQ(added.find("/Filter"), std::string::npos);
    EXPECT_EQ(added.find("\nxref\n"), std::string::npos);
  } else {
    EXPECT_NE(added.find("\nxref\n"), std::string::npos) << added;
    EXPECT_EQ(added.find("/XRefStm"), std::string::npos);
  }
  EXPECT_NE(added.find("/Prev "), std::string::npos);
  EXPECT_LE(qpdf_check(out), std::max(qpdf_check(in), 0));
  const std::vector<int> seen = pdfinfo_rotations(out);
  for (size_t k = 0; k < seen.size(); ++k)
    EXPECT_EQ(leafturn_get_rotation(out.c_str(), static_cast<int>(k) + 1), seen[k]) << k + 1;
  if (mutool_reads && testpdf::have_tool("mutool")) {
    EXPECT_EQ(mutool_rotations(out), seen);
  }
}

}  // namespace testupdate

#endif
