// SPDX-License-Identifier: MIT
// The document library through its plain C host (doc_host.c): every corpus
// file opened, asked and turned gives the command line's bytes, judged by
// qpdf and pdfinfo too; a signed file keeps a valid signature (pdfsig);
// encrypted files give their statuses; documents on several threads.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli_run.h"
#include "leafturn.h"
#include "leafturn_doc.h"
#include "pdf_builder.h"
#include "signing.h"

namespace {

using testcli::pdfinfo_rotations;
using testcli::q;
using testcli::tool;
using testpdf::read_file;
using testpdf::run;
using testpdf::temp_path;
using testpdf::write_temp;

const std::string kHost = LEAFTURN_DOC_HOST;

std::string host(const std::string &args, int *rc = nullptr) { return run(kHost + " " + args + " 2>&1", rc); }

std::vector<std::string> corpus_files() {
  std::vector<std::string> files;
  if (DIR *dir = opendir(testpdf::corpus_dir().c_str())) {
    while (dirent *e = readdir(dir)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".pdf") == 0) files.push_back(testpdf::corpus_dir() + "/" + n);
    }
    closedir(dir);
  }
  return files;
}

TEST(DocApi, CorpusFilesTurnAsTheCommandLineTurnsThem) {
  if (!testpdf::have_tool("qpdf") || !testpdf::have_tool("pdfinfo")) GTEST_SKIP() << "qpdf and pdfinfo are needed";
  int turned = 0;
  for (const std::string &in : corpus_files()) {
    SCOPED_TRACE(in);
    const std::string mine = temp_path("doc-full.pdf"), theirs = temp_path("cli-full.pdf");
    int rc = -1;
    const std::string said = host("turn " + q(in) + " " + q(mine) + " full", &rc);
    EXPECT_EQ(rc, 0) << said;
    std::string err;
    tool("rotate " + q(in) + " " + q(theirs) + " --by 90 --full", &rc, &err);
    if (rc != 0) {
      // The same refusal, in the same words (but for how each names its options).
      const std::string why = err.substr(10, err.find(" (") - 10);
      EXPECT_NE(said.find(why), std::string::npos) << said << err;
      continue;
    }
    ASSERT_EQ(said.compare(0, 8, "wrote 2 "), 0) << said;
    EXPECT_EQ(read_file(mine), read_file(theirs));
    const std::string info = tool("info --json " + q(in), &rc);
    if (info.find("\"password_needed\": true") == std::string::npos) {
      EXPECT_EQ(pdfinfo_rotations(mine), pdfinfo_rotations(theirs));
      EXPECT_LE(run("qpdf --check " + q(mine) + " >/dev/null 2>&1; echo $?") ,
                run("qpdf --check " + q(in) + " >/dev/null 2>&1; echo $?"));
    }
    // The facts are the command line's.
    const size_t at = info.find("\"info\": ");
    EXPECT_NE(said.find(info.substr(at, info.find(", \"text_budget_reached\"") - at)), std::string::npos) << said;
    ++turned;
  }
  EXPECT_GT(turned, 20);
}

TEST(DocApi, ASignedFileGetsAnUpdateThatKeepsItsSignature) {
  if (!testpdf::have_tool("pdfsig") || !testpdf::have_tool("openssl")) GTEST_SKIP() << "poppler and openssl are needed";
  std::string s = testsign::unsigned_doc().build();
  ASSERT_TRUE(testsign::sign_bytes(s, "doc-signed"));
  const std::string in = write_temp("doc-signed.pdf", s), out = temp_path("doc-signed-out.pdf");
  int rc = -1;
  const std::string said = host("turn " + q(in) + " " + q(out) + " auto", &rc);
  EXPECT_EQ(said.compare(0, 8, "wrote 1 "), 0) << said;  // an update
  EXPECT_NE(run("pdfsig " + q(out) + " 2>&1").find("Signature is Valid."), std::string::npos);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90, 90}));
  EXPECT_EQ(read_file(out).compare(0, s.size(), s), 0);
  // In full, on request only: the signature no longer covers it.
  host("turn " + q(in) + " " + q(out) + " full", &rc);
  EXPECT_EQ(run("pdfsig " + q(out) + " 2>&1").find("Signature is Valid."), std::string::npos);
}

TEST(DocApi, ACertifiedFileIsRefusedUnlessForcedAsTheCommandLineRefusesIt) {
  if (!testpdf::have_tool("openssl")) GTEST_SKIP() << "openssl is needed";
  std::string s = testsign::unsigned_doc(" /Perms <</DocMDP 5 0 R>>").build();
  ASSERT_TRUE(testsign::sign_bytes(s, "doc-certified"));
  const std::string in = write_temp("doc-certified.pdf", s), out = temp_path("doc-certified-out.pdf");
  const std::string why = in + " is certified: its certification forbids changing its pages";
  for (const char *mode : {"auto", "incremental", "full"}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(host("turn " + q(in) + " " + q(out) + " " + mode), "save failed: " + why + " (LEAFTURN_DOC_FORCE turns them all the same)\n");
  }
  std::string err;
  int rc = -1;
  tool("rotate " + q(in) + " " + q(out) + " --by 90", &rc, &err);
  EXPECT_EQ(err, "leafturn: " + why + " (--force turns them all the same)\n");
  // Forced: an update, as the command line's --force gives it.
  EXPECT_EQ(host("turn " + q(in) + " " + q(out) + " auto force", &rc).compare(0, 8, "wrote 1 "), 0);
  const std::string theirs = temp_path("doc-certified-cli.pdf");
  tool("rotate " + q(in) + " " + q(theirs) + " --by 90 --force", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(read_file(out), read_file(theirs));
}

TEST(DocApi, EncryptedFilesGiveTheirStatuses) {
  if (!testpdf::have_tool("qpdf")) GTEST_SKIP() << "qpdf is needed";
  const std::string src = testpdf::corpus_dir() + "/004-pdflatex-4-pages_pdflatex-4-pages.pdf";
  const std::string locked = temp_path("doc-locked.pdf");
  run("qpdf --encrypt user owner 256 -- --object-streams=generate " + q(src) + " " + q(locked));
  EXPECT_EQ(host("open " + q(locked)),
            "4 " + locked + " needs its password to be read (give it with the password of leafturn_doc_open)\n");
  EXPECT_EQ(host("open " + q(locked) + " wrong"), "5 the password given does not open " + locked + "\n");
  EXPECT_EQ(host("open " + q(locked) + " user"), "0 \n");
  EXPECT_EQ(host("open " + q(locked) + " owner"), "0 \n");
}

TEST(DocApi, OneVersionForBothHeaders) {
  EXPECT_STREQ(LEAFTURN_DOC_VERSION, LEAFTURN_VERSION);
  EXPECT_EQ(LEAFTURN_DOC_VERSION_MAJOR, LEAFTURN_VERSION_MAJOR);
  EXPECT_EQ(LEAFTURN_DOC_VERSION_MINOR, LEAFTURN_VERSION_MINOR);
  EXPECT_EQ(LEAFTURN_DOC_VERSION_PATCH, LEAFTURN_VERSION_PATCH);
}

TEST(DocApi, DocumentsOnSeveralThreadsAtOnce) {
  std::string files;
  for (const std::string &f : corpus_files()) files += " " + q(f);
  int rc = -1;
  const std::string said = host("threads 4" + files, &rc);
  EXPECT_EQ(rc, 0) << said;
  EXPECT_EQ(said, "threads: 4, ok\n");
}

TEST(DocApi, UprightThroughTheLibrary) {
  const std::string line = "(The quick brown fox jumps over the lazy dog.)";
  const std::string c = "BT /F1 12 Tf 0 1 -1 0 500 100 Tm " + line + " Tj ET";
  testpdf::builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R] /Count 1 /Resources <</Font <</F1 5 0 R>>>>>>");
  b.obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>");
  b.stream(4, "", c);
  b.obj(5, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>");
  const std::string in = write_temp("doc-upright.pdf", b.build()), out = temp_path("doc-upright-out.pdf");
  int rc = -1;
  EXPECT_EQ(host("upright " + q(in) + " " + q(out), &rc).compare(0, 17, "wrote 2 changed 1"), 0);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90}));
}

}  // namespace
