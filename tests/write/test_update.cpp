// SPDX-License-Identifier: MIT
// Appended updates through the command line: the input's bytes stay, one
// revision follows in the form of the newest cross-reference section, and
// independent readers (qpdf, pdfinfo, pdfsig) see the turns, the file's
// health and its signatures; damaged cross-reference data is refused with
// no output written.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "leafturn.h"
#include "cli_run.h"
#include "pdf_builder.h"
#include "signing.h"
#include "update_checks.h"

using testpdf::builder;
using testpdf::read_file;
using testpdf::run;
using testpdf::simple_doc;
using testpdf::temp_path;
using testpdf::write_temp;
using testcli::pdfinfo_rotations;
using testcli::q;
using testcli::tool;
using testupdate::check_update;
using testupdate::mutool_rotations;
using testupdate::qpdf_check;

namespace {

bool have_checkers() { return testpdf::have_tool("qpdf") && testpdf::have_tool("pdfinfo"); }

}  // namespace

TEST(Update, ClassicTableGetsATableAndChainsBuildOnEachOther) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf and pdfinfo are needed";
  const std::string in = write_temp("upd.pdf", simple_doc(3, "", " /Rotate 90").build());
  const std::string once = temp_path("upd-once.pdf"), twice = temp_path("upd-twice.pdf");
  int rc = -1;
  std::string json = tool("rotate " + q(in) + " " + q(once) + " --by 90 --pages 2 --incremental --json", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NE(json.find("\"mode\": \"update\""), std::string::npos) << json;
  check_update(in, once, false);
  EXPECT_EQ(pdfinfo_rotations(once), (std::vector<int>{90, 180, 90}));
  // Only the turned page is written, with its own /Rotate; /Prev names the
  // section the input's startxref named.
  const std::string added = read_file(once).substr(read_file(in).size());
  EXPECT_EQ(added.compare(0, 8, "4 0 obj\n"), 0) << added;
  const std::string a = read_file(in);
  const std::string prev = a.substr(a.rfind("startxref\n") + 10);
  EXPECT_NE(added.find("/Prev " + prev.substr(0, prev.find('\n')) + ">>"), std::string::npos);
  // An update on the update.
  tool("rotate " + q(once) + " " + q(twice) + " --to 0 --pages 1,3 --incremental", &rc);
  ASSERT_EQ(rc, 0);
  check_update(once, twice, false);
  EXPECT_EQ(pdfinfo_rotations(twice), (std::vector<int>{0, 180, 0}));
  // Nothing turns: nothing is appended.
  json = tool("rotate " + q(twice) + " " + q(once) + " --to 180 --pages 2 --incremental --json", &rc);
  EXPECT_NE(json.find("\"mode\": \"unchanged\""), std::string::npos) << json;
  EXPECT_EQ(read_file(once), read_file(twice));
}

TEST(Update, FileWithoutFinalLineEndGetsOne) {
  std::string s = simple_doc(1).build();
  s.pop_back();  // "%%EOF" ends the file
  const std::string in = write_temp("upd-noeol.pdf", s);
  const std::string out = temp_path("upd-noeol-out.pdf");
  int rc = -1;
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --incremental", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(read_file(out).compare(s.size(), 9, "\n3 0 obj\n"), 0);
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 1), 90);
}

// Large inputs: the kernel copies the input's bytes from the file where it
// can. Written to a new file, over the input itself and to a pipe, the
// update and the full rewrite are the same bytes.
TEST(Update, LargeInputsComeOutTheSameToFilesInPlaceAndToPipes) {
  std::string data;
  for (int k = 0; data.size() < (3u << 19); ++k) data += "q 1 0 0 1 " + std::to_string(k) + " 0 cm Q\n";
  const std::string in =
      write_temp("upd-large.pdf", simple_doc(2, " /Contents 5 0 R").stream(5, "", data).build());
  const std::string original = read_file(in);
  for (const char *mode : {"--incremental", "--full"}) {
    const std::string out = temp_path("upd-large-out.pdf");
    const std::string copy = temp_path("upd-large-copy.pdf");
    int rc = -1;
    tool("rotate " + q(in) + " " + q(out) + " --by 90 " + mode, &rc);
    ASSERT_EQ(rc, 0) << mode;
    const std::string written = read_file(out);
    const std::string piped = tool("rotate " + q(in) + " - --by 90 " + mode, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(piped, written) << mode;
    run("cp " + q(in) + " " + q(copy));
    tool("rotate " + q(copy) + " --in-place --by 90 " + mode, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(read_file(copy), written) << mode;
    EXPECT_EQ(read_file(in), original);
    if (std::string(mode) == "--incremental") {
      EXPECT_EQ(written.compare(0, original.size(), original), 0);
    } else {
      EXPECT_NE(written.find(data), std::string::npos);
    }
    EXPECT_EQ(leafturn_get_rotation(out.c_str(), 2), 90);
  }
}

TEST(Update, CrossReferenceStreamGetsAStreamAndMembersBecomePlainObjects) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf and pdfinfo are needed";
  const std::string plain = write_temp("upd-plain.pdf", simple_doc(4).build());
  const std::string in = temp_path("upd-objstm.pdf");
  run("qpdf --object-streams=generate " + q(plain) + " " + q(in));
  ASSERT_NE(read_file(in).find("/ObjStm"), std::string::npos);
  const std::string out = temp_path("upd-objstm-out.pdf");
  int rc = -1;
  tool("rotate " + q(in) + " " + q(out) + " --by 270 --pages even --incremental", &rc);
  ASSERT_EQ(rc, 0);
  check_update(in, out, true);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{0, 270, 0, 270}));
  // An update on it keeps the form.
  const std::string again = temp_path("upd-objstm-again.pdf");
  tool("rotate " + q(out) + " " + q(again) + " --by 90 --incremental", &rc);
  ASSERT_EQ(rc, 0);
  check_update(out, again, true);
  EXPECT_EQ(pdfinfo_rotations(again), (std::vector<int>{90, 0, 90, 0}));
}

TEST(Update, HybridFileGetsATableWithoutXRefStm) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf and pdfinfo are needed";
  // Objects 1-3 in the table; page 4 only in the stream the trailer's
  // /XRefStm names.
  std::string s = "%PDF-1.5\n";
  std::vector<size_t> off(6, 0);
  off[1] = s.size();
  s += "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n";
  off[2] = s.size();
  s += "2 0 obj\n<</Type /Pages /Kids [3 0 R 4 0 R] /Count 2>>\nendobj\n";
  off[3] = s.size();
  s += "3 0 obj\n<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>\nendobj\n";
  off[4] = s.size();
  s += "4 0 obj\n<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>\nendobj\n";
  off[5] = s.size();
  std::string rows;
  for (size_t o : {off[4], off[5]}) {
    const char row[7] = {1, static_cast<char>(o >> 24), static_cast<char>(o >> 16),
                         static_cast<char>(o >> 8), static_cast<char>(o), 0, 0};
    rows.append(row, 7);
  }
  s += "5 0 obj\n<</Type /XRef /Size 6 /W [1 4 2] /Index [4 2] /Length 14>>\nstream\n" + rows +
       "\nendstream\nendobj\n";
  const size_t xref = s.size();
  s += "xref\n0 4\n0000000000 65535 f \n";
  for (int j = 1; j <= 3; ++j) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off[static_cast<size_t>(j)]);
    s += line;
  }
  s += "trailer\n<</Size 6 /Root 1 0 R /XRefStm " + std::to_string(off[5]) +
       ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  const std::string in = write_temp("upd-hybrid.pdf", s);
  const std::string out = temp_path("upd-hybrid-out.pdf");
  int rc = -1;
  std::string err;
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages 2 --incremental", &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  check_update(in, out, false);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{0, 90}));
}

TEST(Update, DamagedFilesAreRefusedAndNothingIsWritten) {
  struct damage {
    const char *what;
    std::string bytes;
    const char *reason;
  };
  std::vector<damage> cases;
  // A table whose entry for page 3 points into the middle of an object.
  {
    std::string s = simple_doc(1).build();
    const size_t x = s.rfind("xref\n0 4\n");
    const size_t e3 = x + 9 + 3 * 20;
    char moved[24];
    std::snprintf(moved, sizeof moved, "%010d", std::atoi(s.substr(e3, 10).c_str()) + 5);
    s.replace(e3, 10, moved);
    cases.push_back({"entry into an object", s, "does not match its objects"});
  }
  // A /Prev loop whose sections name no page.
  {
    std::string s = simple_doc(1).no_xref().build();
    const size_t x = s.size();
    s += "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Size 4 /Root 1 0 R /Prev " +
         std::to_string(x) + ">>\nstartxref\n" + std::to_string(x) + "\n%%EOF\n";
    cases.push_back({"prev loop", s, "does not match its objects"});
  }
  // A cross-reference stream with a broken /W, one whose predictor rows
  // are cut short, and predictor rows wider than anything decodes to.
  for (const char *dict :
       {"/W [1 4] /Length 4", "/W [1 4 2] /DecodeParms <</Predictor 12 /Columns 7>> /Length 4",
        "/W [1 4 2] /Filter /FlateDecode /DecodeParms <</Predictor 12 /Colors 32 /BitsPerComponent 16 "
        "/Columns 2147483647>> /Length 4",
        "/W [1 4 2] /Filter /FlateDecode /DecodeParms <</Predictor 2 /Columns 0>> /Length 4"}) {
    std::string s = simple_doc(1).no_xref().build();
    const size_t x = s.size();
    s += "9 0 obj\n<</Type /XRef /Size 10 /Root 1 0 R " + std::string(dict) +
         ">>\nstream\nabcd\nendstream\nendobj\nstartxref\n" + std::to_string(x) + "\n%%EOF\n";
    cases.push_back({dict, s, "cross-reference stream"});
  }
  // A startxref past the end of the file.
  {
    std::string s = simple_doc(1).build();
    s.replace(s.rfind("startxref\n") + 10, std::string::npos, "99999999\n%%EOF\n");
    cases.push_back({"startxref past the end", s, "leads outside the file"});
  }
  // Endings that would swallow what is appended: an object, or a stream's
  // data, that never ends.
  cases.push_back({"object left open", simple_doc(1).build() + "9 0 obj\n<</A 1>>\n",
                   "its last object has no end"});
  cases.push_back({"stream left open",
                   simple_doc(1).build() + "9 0 obj\n<</Length 5>>\nstream\nabc",
                   "its last stream has no end"});
  for (const damage &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string in = write_temp("upd-bad.pdf", c.bytes);
    const std::string out = temp_path("upd-bad-out.pdf");
    int rc = -1;
    std::string err;
    tool("rotate " + q(in) + " " + q(out) + " --by 90 --incremental", &rc, &err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(err.find("leafturn: cannot append an update to " + in + ": "), 0u) << err;
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    EXPECT_NE(err.find("(write a full copy instead, with --full)"), std::string::npos) << err;
    EXPECT_FALSE(testpdf::file_exists(out));
    EXPECT_EQ(read_file(in), c.bytes);
    // The full rewrite still works, and info says why no update can be made.
    tool("rotate " + q(in) + " " + q(out) + " --by 90 --full", &rc);
    EXPECT_EQ(rc, 0);
    const std::string info = tool("info " + q(in), &rc);
    EXPECT_NE(info.find("update: not possible: "), std::string::npos) << info;
  }
}

// ---- signatures -----------------------------------------------------------------------

namespace {

// A one-page document signed over its byte range with a self-signed
// certificate (openssl), as signing tools write it; "" when openssl is
// missing. `perms` goes into the catalog (a certification).
std::string signed_pdf(const std::string &name, const std::string &perms = "") {
  if (!testpdf::have_tool("openssl")) return "";
  std::string s = testsign::unsigned_doc(perms).build();
  if (!testsign::sign_bytes(s, name)) return "";
  return write_temp(name + ".pdf", s);
}

std::string pdfsig(const std::string &path) { return run("pdfsig " + q(path) + " 2>&1"); }

}  // namespace

TEST(Update, SignaturesStayValidThroughUpdatesAndBreakOnlyWithFull) {
  if (!have_checkers() || !testpdf::have_tool("pdfsig")) GTEST_SKIP() << "poppler and qpdf are needed";
  const std::string in = signed_pdf("signed");
  if (in.empty()) GTEST_SKIP() << "openssl is needed";
  ASSERT_NE(pdfsig(in).find("Signature is Valid."), std::string::npos) << pdfsig(in);
  int rc = -1;
  std::string err;
  const std::string info = tool("info --json " + q(in), &rc);
  EXPECT_NE(info.find("\"signatures\": 1, \"certified\": false, \"update\": true"), std::string::npos) << info;

  const std::string inc = temp_path("signed-inc.pdf"), dflt = temp_path("signed-default.pdf"),
                    full = temp_path("signed-full.pdf");
  tool("rotate " + q(in) + " " + q(inc) + " --by 90 --pages 2 --incremental", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NE(pdfsig(inc).find("Signature is Valid."), std::string::npos) << pdfsig(inc);
  EXPECT_EQ(pdfinfo_rotations(inc), (std::vector<int>{0, 90}));
  check_update(in, inc, false);

  // By default a signed file gets an update, and stderr says so.
  const std::string json = tool("rotate " + q(in) + " " + q(dflt) + " --by 90 --pages 2 --json", &rc, &err);
  ASSERT_EQ(rc, 0);
  EXPECT_NE(json.find("\"mode\": \"update\""), std::string::npos) << json;
  EXPECT_NE(err.find("is signed"), std::string::npos) << err;
  EXPECT_NE(pdfsig(dflt).find("Signature is Valid."), std::string::npos);

  tool("rotate " + q(in) + " " + q(full) + " --by 90 --pages 2 --full", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NE(pdfsig(full).find("Digest Mismatch"), std::string::npos) << pdfsig(full);
}

TEST(Update, CertifiedDocumentsAreRefusedUnlessForced) {
  const std::string in = signed_pdf("certified", " /Perms <</DocMDP 5 0 R>>");
  if (in.empty()) GTEST_SKIP() << "openssl is needed";
  int rc = -1;
  std::string err;
  EXPECT_NE(tool("info --json " + q(in), &rc).find("\"certified\": true"), std::string::npos);
  const std::string out = temp_path("certified-out.pdf");
  for (const char *mode : {"--incremental", "--full"}) {
    tool("rotate " + q(in) + " " + q(out) + " --by 90 " + mode, &rc, &err);
    EXPECT_EQ(rc, 1) << mode;
    EXPECT_NE(err.find("is certified"), std::string::npos) << err;
    EXPECT_FALSE(testpdf::file_exists(out));
  }
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --incremental --force", &rc, &err);
  EXPECT_EQ(rc, 0) << err;
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 1), 90);
}

TEST(Update, CorpusFilesTakeUpdatesThatReadersAccept) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf and pdfinfo are needed";
  int updated = 0;
  std::vector<std::string> files;
  if (DIR *dir = opendir(testpdf::corpus_dir().c_str())) {
    while (dirent *e = readdir(dir)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".pdf") == 0)
        files.push_back(testpdf::corpus_dir() + "/" + n);
    }
    closedir(dir);
  }
  for (const std::string &name : files) {
    SCOPED_TRACE(name);
    int rc = -1;
    const std::string info = tool("info --json " + q(name), &rc);
    if (rc != 0 || info.find("\"update\": true") == std::string::npos) continue;
    // An encrypted file whose password is not known: the checkers cannot read it.
    if (info.find("\"password_needed\": true") != std::string::npos) continue;
    const std::string out = temp_path("corpus-update.pdf");
    tool("rotate " + q(name) + " " + q(out) + " --by 90 --incremental", &rc);
    ASSERT_EQ(rc, 0);
    const std::vector<int> before = pdfinfo_rotations(name), after = pdfinfo_rotations(out);
    ASSERT_EQ(before.size(), after.size());
    for (size_t k = 0; k < before.size(); ++k) EXPECT_EQ(after[k], (before[k] + 90) % 360);
    const std::string a = read_file(name), b = read_file(out);
    EXPECT_EQ(b.compare(0, a.size(), a), 0);
    EXPECT_LE(qpdf_check(out), std::max(qpdf_check(name), 0));
    ++updated;
  }
  EXPECT_GT(updated, 20);
}
