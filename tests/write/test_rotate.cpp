// SPDX-License-Identifier: MIT
// The rotating calls end to end: argument checks, the exact bytes the
// writer produces, how page dictionaries are rewritten, what happens to the
// output file when writing fails, and the command-line host.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "load/loader.h"
#include "facts/turn_plan.h"
#include "core.h"
#include "leafturn.h"
#include "pdf_builder.h"

using namespace std::string_literals;
using testpdf::builder;
using testpdf::file_exists;
using testpdf::read_file;
using testpdf::simple_doc;
using testpdf::temp_path;
using testpdf::write_temp;

namespace {

std::string err() { return leafturn_last_error(); }

int rot(const std::string &path, int page) { return leafturn_get_rotation(path.c_str(), page); }

// Rotates page 1 of a one-page document with the given page dictionary and
// returns the output's bytes.
std::string rotate_page_dict(const std::string &page_dict, int degrees = 90) {
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>");
  b.obj(3, page_dict);
  const std::string in = write_temp("dict.pdf", b.build());
  const std::string out = temp_path("dict-out.pdf");
  EXPECT_EQ(leafturn_page(in.c_str(), out.c_str(), 1, degrees), 1) << err();
  return read_file(out);
}

// The bytes between "3 0 obj\n" and "endobj" of an output.
std::string object3(const std::string &pdf) {
  const size_t a = pdf.find("3 0 obj\n");
  const size_t z = pdf.find("endobj", a);
  return pdf.substr(a + 8, z - a - 8);
}

}  // namespace

// ---- argument checks --------------------------------------------------------------

TEST(RotateArguments, CheckedInOrderAndNoFileTouched) {
  const std::string in = write_temp("in.pdf", simple_doc(3).build());
  const std::string out = temp_path("never.pdf");
  EXPECT_EQ(leafturn_pages(in.c_str(), nullptr, nullptr, 0, 7), 0);
  EXPECT_EQ(err(), "NULL path argument");
  EXPECT_EQ(leafturn_pages(in.c_str(), out.c_str(), nullptr, 0, 90), 0);
  EXPECT_EQ(err(), "page_count must be > 0");
  EXPECT_EQ(leafturn_pages(in.c_str(), out.c_str(), nullptr, 2, 90), 0);
  EXPECT_EQ(err(), "pages array is NULL");
  const int list[] = {1};
  EXPECT_EQ(leafturn_pages(in.c_str(), out.c_str(), list, 1, 45), 0);
  EXPECT_EQ(err(), "degrees must be 90, 180 or 270 (got 45)");
  for (int deg : {0, -90, 360}) {
    EXPECT_EQ(leafturn_all("/no/such/file.pdf", out.c_str(), deg), 0);
    EXPECT_EQ(err(), "degrees must be 90, 180 or 270 (got " + std::to_string(deg) + ")");
  }
  EXPECT_EQ(leafturn_all(nullptr, out.c_str(), 90), 0);
  EXPECT_EQ(err(), "NULL path argument");
  EXPECT_EQ(leafturn_page(in.c_str(), out.c_str(), 0, 90), 0);
  EXPECT_EQ(err(), "page 0 out of range (document has 3 pages)");
  const int bad[] = {2, 4, -1};
  EXPECT_EQ(leafturn_pages(in.c_str(), out.c_str(), bad, 3, 90), 0);
  EXPECT_EQ(err(), "page 4 out of range (document has 3 pages)");
  EXPECT_EQ(leafturn_all("/no/such/file.pdf", out.c_str(), 90), 0);
  EXPECT_EQ(err(), "cannot open /no/such/file.pdf");
  EXPECT_FALSE(file_exists(out));
}

TEST(RotateArguments, BadPageLeavesExistingOutputUntouched) {
  const std::string in = write_temp("in.pdf", simple_doc(2).build());
  const std::string out = write_temp("keep.pdf", "precious");
  EXPECT_EQ(leafturn_page(in.c_str(), out.c_str(), 3, 90), 0);
  EXPECT_EQ(read_file(out), "precious");
}

// ---- the bytes written ----------------------------------------------------------

TEST(WriterBytes, EveryObjectKindTableAndTrailer) {
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>");
  b.obj(3, "<< /Type /Page /Rotate 90 /MediaBox [0 0 612 792] >>");
  b.stream(4, "", "hello");
  b.obj(6, "(info)", 2);
  b.obj(7, "");
  const std::string in = write_temp("bytes.pdf", b.info(6).build());
  const std::string out = temp_path("bytes-out.pdf");
  ASSERT_EQ(leafturn_page(in.c_str(), out.c_str(), 1, 180), 1) << err();
  EXPECT_EQ(err(), "");

  std::string want = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> off(8, 0);
  off[1] = want.size();
  want += "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n";
  off[2] = want.size();
  want += "2 0 obj\n<</Type /Pages /Kids [3 0 R] /Count 1>>\nendobj\n";
  off[3] = want.size();
  want += "3 0 obj\n<< /Type /Page  /MediaBox [0 0 612 792] /Rotate 270 >>\nendobj\n";
  off[4] = want.size();
  want += "4 0 obj\n<</Length 5>>\nstream\nhello\nendstream\nendobj\n";
  off[6] = want.size();
  want += "6 2 obj\n(info)\nendobj\n";
  off[7] = want.size();
  want += "7 0 obj\nendobj\n";
  const size_t xref = want.size();
  char line[32];
  want += "xref\n0 8\n0000000000 65535 f \n";
  for (int j : {1, 2, 3, 4}) {
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off[static_cast<size_t>(j)]);
    want += line;
  }
  std::snprintf(line, sizeof line, "%010zu 65535 f \n", off[4]);  // 5 is free
  want += line;
  std::snprintf(line, sizeof line, "%010zu 00002 n \n", off[6]);  // its own generation
  want += line;
  std::snprintf(line, sizeof line, "%010zu 00000 n \n", off[7]);
  want += line;
  want += "trailer\n<</Size 8/Root 1 0 R/Info 6 2 R>>\nstartxref " + std::to_string(xref) +
          "\n%%EOF\n";
  EXPECT_EQ(read_file(out), want);
}

TEST(WriterBytes, NoInfoAndFreeEntriesAfterGaps) {
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [5 0 R]>>");
  b.obj(5, "<</Type /Page>>");
  const std::string in = write_temp("gaps.pdf", b.build());
  const std::string out = temp_path("gaps-out.pdf");
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 1) << err();
  const std::string pdf = read_file(out);
  const size_t o2 = pdf.find("2 0 obj\n");
  char free3[32];
  std::snprintf(free3, sizeof free3, "%010zu 65535 f \n", o2);
  const size_t x = pdf.find("xref\n0 6\n");
  ASSERT_NE(x, std::string::npos);
  EXPECT_EQ(pdf.substr(x + 9 + 3 * 20, 20), free3);  // 3: value of entry 2
  EXPECT_EQ(pdf.substr(x + 9 + 4 * 20, 20), "0000000000 65535 f \n");
  EXPECT_NE(pdf.find("trailer\n<</Size 6/Root 1 0 R>>\nstartxref "), std::string::npos);
  EXPECT_EQ(pdf.find("\n3 0 obj"), std::string::npos);
}

// ---- page dictionary rewriting ------------------------------------------------------

TEST(Rewrite, ReplacesTheOwnEntryBeforeTheClose) {
  EXPECT_EQ(object3(rotate_page_dict("<< /Type /Page >>")), "<< /Type /Page /Rotate 90 >>\n");
  EXPECT_EQ(object3(rotate_page_dict("<< /Type /Page /Rotate 270 >>")),
            "<< /Type /Page  /Rotate 0 >>\n");
  // The whole old value token goes, reals and references included.
  EXPECT_EQ(object3(rotate_page_dict("<</Type /Page /Rotate 90.0>>")),
            "<</Type /Page /Rotate 180 >>\n");
  // Negative values are rotations and are replaced, not duplicated.
  EXPECT_EQ(object3(rotate_page_dict("<</Type /Page /Rotate -90>>")),
            "<</Type /Page /Rotate 0 >>\n");
  // A nested /Rotate is neither read nor removed.
  EXPECT_EQ(object3(rotate_page_dict("<</Type /Page /R <</Rotate 5>> /Rotate 180>>")),
            "<</Type /Page /R <</Rotate 5>> /Rotate 270 >>\n");
}

TEST(Rewrite, IndirectRotateIsResolvedAndRemovedWhole) {
  builder b = simple_doc(1, " /Rotate 9 0 R");
  b.obj(9, "90");
  const std::string in = write_temp("ind.pdf", b.build());
  const std::string out = temp_path("ind-out.pdf");
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 1) << err();
  EXPECT_EQ(object3(read_file(out)),
            "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 180 >>\n");
}

TEST(Rewrite, ZeroByteInsideAStringIsKept) {
  const std::string dict = "<</Type /Page /T (a\0b) /Rotate 90>>"s;
  EXPECT_EQ(object3(rotate_page_dict(dict)), "<</Type /Page /T (a\0b) /Rotate 180 >>\n"s);
}

TEST(Rewrite, StreamPageKeepsItsData) {
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>");
  b.stream(3, "/Type /Page ", "bin\0ary\r\n"s);
  const std::string in = write_temp("sp.pdf", b.build());
  const std::string out = temp_path("sp-out.pdf");
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 270), 1) << err();
  const std::string pdf = read_file(out);
  EXPECT_NE(pdf.find("3 0 obj\n<</Type /Page /Length 9/Rotate 270 >>\nstream\n"
                     "bin\0ary\r\n\nendstream\nendobj\n"s),
            std::string::npos);
  EXPECT_EQ(rot(out, 1), 270);
}

// ---- rotation semantics -----------------------------------------------------------------

// An object stream member's new entry goes before its last ">>" as the body
// reads forward, each pair of '>' taken whole: in ">>>" that is the first
// two bytes, in "a>> b>" the pair after "a".
TEST(Rewrite, MemberEntryGoesBeforeTheLastCloseReadForward) {
  auto forward = [](const std::string &body) {
    int last = -1;
    for (size_t j = 0; j + 1 < body.size();) {
      if (body[j] == '>' && body[j + 1] == '>') {
        last = static_cast<int>(j);
        j += 2;
      } else {
        ++j;
      }
    }
    return last;
  };
  unsigned seed = 7;
  for (int k = 0; k < 3000; ++k) {
    std::string body = "<<";
    const int n = k % 23;
    for (int i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      body += "> /a"[(seed >> 16) % 4];
    }
    lt::dict_edit e;
    const bool ok = lt::plan_body_edit(reinterpret_cast<const lt::u8 *>(body.data()),
                                       static_cast<lt::i32>(body.size()), -1, 90, &e);
    ASSERT_EQ(ok, forward(body) >= 0) << body;
    if (ok) {
      ASSERT_EQ(e.close, forward(body)) << body;
    }
  }
}

TEST(Rotate, TargetsAddToEffectiveRotation) {
  const std::string in =
      write_temp("sem.pdf", simple_doc(3, "", " /Rotate 90").build());
  const std::string out = temp_path("sem-out.pdf");
  const int list[] = {2, 2, 3};
  ASSERT_EQ(leafturn_pages(in.c_str(), out.c_str(), list, 3, 270), 1) << err();
  EXPECT_EQ(rot(out, 1), 90);  // untouched, still inherited
  EXPECT_EQ(rot(out, 2), 0);   // named twice, turned once: 90 + 270
  EXPECT_EQ(rot(out, 3), 0);
  const std::string pdf = read_file(out);
  EXPECT_NE(pdf.find("/Count 3 /Rotate 90>>"), std::string::npos);  // ancestor unchanged
}

TEST(Rotate, InPlaceReplacesTheInput) {
  const std::string path = write_temp("inplace.pdf", simple_doc(2).build());
  ASSERT_EQ(leafturn_all(path.c_str(), path.c_str(), 90), 1) << err();
  EXPECT_EQ(rot(path, 1), 90);
  ASSERT_EQ(leafturn_page(path.c_str(), path.c_str(), 2, 180), 1) << err();
  EXPECT_EQ(rot(path, 2), 270);
  EXPECT_EQ(rot(path, 1), 90);
}

// ---- writing the file -------------------------------------------------------------------

TEST(WriteFile, LargeStreamsWrittenStraightFromTheImageAreExact) {
  // Large pieces skip the staging block and go out straight from the loaded
  // image; the bytes must be exactly those assembled in memory, in place or
  // not. The file spans several huge pages and a tail.
  std::string big;
  for (unsigned i = 0; i < 4500000; ++i) big += static_cast<char>((i * 7919u) >> 3);
  builder b = simple_doc(2);
  b.stream(9, "/Type /XObject /Subtype /Image", big);
  b.stream(10, "", big.substr(1000, 70000));
  const std::string in = write_temp("large.pdf", b.build());
  lt::document d;
  lt::failure e;
  ASSERT_TRUE(lt::doc_load(in.c_str(), d, e));
  lt::turn_plan plan(d);
  ASSERT_EQ(plan.apply(nullptr, lt::turn{false, 90}, lt::page_filter::any, e), 2);
  lt::rewrite_output expected;
  ASSERT_TRUE(expected.plan(d, plan.targets(), e));
  const std::string want = lt::output_bytes(expected);  // refers to the document's bytes
  lt::doc_free(d);
  ASSERT_NE(want.find(big), std::string::npos);

  const std::string out = temp_path("large-out.pdf");
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 1) << err();
  EXPECT_TRUE(read_file(out) == want);
  ASSERT_EQ(leafturn_all(in.c_str(), in.c_str(), 90), 1) << err();
  EXPECT_TRUE(read_file(in) == want);
}


TEST(WriteFile, FailuresAreReportedWithThePath) {
  const std::string in = write_temp("in.pdf", simple_doc(1).build());
  EXPECT_EQ(leafturn_all(in.c_str(), "/dev/full", 90), 0);
  EXPECT_TRUE(err() == "short write to /dev/full" || err() == "close error on /dev/full") << err();
  const std::string missing = temp_path("no-such-dir") + "/out.pdf";
  EXPECT_EQ(leafturn_all(in.c_str(), missing.c_str(), 90), 0);
  EXPECT_EQ(err(), "cannot write " + missing);
}

TEST(WriteFile, FailedInPlaceWriteLeavesInputAndNoTemporaryFile) {
  std::string body(20000, 'x');
  builder b = simple_doc(1);
  b.stream(9, "", body);
  const std::string dir = temp_path("fsize");
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  const std::string path = dir + "/in.pdf";
  const std::string original = b.build();
  {
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(original.data(), 1, original.size(), f);
    std::fclose(f);
  }
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    const int ok = leafturn_all(path.c_str(), path.c_str(), 90);
    const std::string e = leafturn_last_error();
    ::_exit(ok == 0 && (e == "short write to " + path || e == "close error on " + path) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's call did not fail as expected";
  EXPECT_EQ(read_file(path), original);
  EXPECT_EQ(testpdf::run("ls -A '" + dir + "'"), "in.pdf\n") << "a temporary file was left";
}

TEST(WriteFile, FailedWriteToANewPathLeavesNoFile) {
  // A batch that checks whether the output exists must not take a partial
  // file for a result: a new output appears whole or not at all.
  std::string body(20000, 'x');
  builder b = simple_doc(1);
  b.stream(9, "", body);
  const std::string in = write_temp("big-in.pdf", b.build());
  const std::string dir = temp_path("fsize-new");
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  const std::string out = dir + "/out.pdf";
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {8192, 8192};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    const int ok = leafturn_all(in.c_str(), out.c_str(), 90);
    const std::string e = leafturn_last_error();
    ::_exit(ok == 0 && (e == "short write to " + out || e == "close error on " + out) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's call did not fail as expected";
  EXPECT_EQ(testpdf::run("ls -A '" + dir + "'"), "") << "a partial or temporary file was left";

  // The same on a full file system, where root can make one.
  const std::string mnt = temp_path("tiny-fs");
  ASSERT_EQ(::mkdir(mnt.c_str(), 0755), 0);
  int rc = -1;
  testpdf::run("mount -t tmpfs -o size=64k tmpfs '" + mnt + "' 2>/dev/null", &rc);
  if (rc == 0) {
    const std::string filler = mnt + "/filler";
    testpdf::run("head -c 56000 /dev/zero > '" + filler + "' 2>/dev/null");
    const std::string full_out = mnt + "/out.pdf";
    EXPECT_EQ(leafturn_all(in.c_str(), full_out.c_str(), 90), 0);
    EXPECT_TRUE(err() == "short write to " + full_out || err() == "close error on " + full_out) << err();
    EXPECT_EQ(testpdf::run("ls -A '" + mnt + "'"), "filler\n");
    testpdf::run("umount '" + mnt + "'");
  }
  // Success leaves the output and nothing else.
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 1) << err();
  EXPECT_EQ(testpdf::run("ls -A '" + dir + "'"), "out.pdf\n");
}

TEST(WriteFile, ReplacementKeepsModeAndFollowsLinks) {
  const std::string dir = temp_path("links");
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  const std::string real = dir + "/real.pdf", link = dir + "/link.pdf";
  {
    const std::string pdf = simple_doc(1).build();
    FILE *f = std::fopen(real.c_str(), "wb");
    std::fwrite(pdf.data(), 1, pdf.size(), f);
    std::fclose(f);
  }
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.pdf", link.c_str()), 0);
  ASSERT_EQ(leafturn_all(link.c_str(), link.c_str(), 90), 1) << err();
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(rot(real, 1), 90);
  EXPECT_EQ(testpdf::run("ls -A '" + dir + "' | sort | tr '\\n' ' '"), "link.pdf real.pdf ");
}

TEST(WriteFile, ReadOnlyFileIsNotReplaced) {
  // The folder is writable, so a temporary file could be renamed over the
  // read-only file; it must not be.
  const std::string dir = temp_path("ro");
  ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
  ::chmod(dir.substr(0, dir.rfind('/')).c_str(), 0711);  // let the other user in
  const std::string in = dir + "/in.pdf", out = dir + "/ro.pdf";
  {
    const std::string pdf = simple_doc(1).build();
    FILE *f = std::fopen(in.c_str(), "wb");
    std::fwrite(pdf.data(), 1, pdf.size(), f);
    std::fclose(f);
    f = std::fopen(out.c_str(), "wb");
    std::fputs("read only", f);
    std::fclose(f);
  }
  ASSERT_EQ(::chmod(in.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(out.c_str(), 0444), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Root may write any file: run the call as an ordinary user.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    const int ok = leafturn_all(in.c_str(), out.c_str(), 90);
    ::_exit(ok == 0 && leafturn_last_error() == "cannot write " + out ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_file(out), "read only");
  EXPECT_EQ(testpdf::run("ls -A '" + dir + "' | sort | tr '\\n' ' '"), "in.pdf ro.pdf ");
}
