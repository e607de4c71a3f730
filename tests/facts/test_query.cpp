// SPDX-License-Identifier: MIT
// The rotation query and the last-error contract, through the exports.
#include <gtest/gtest.h>

#include <string>

#include "leafturn.h"
#include "pdf_builder.h"

using testpdf::builder;
using testpdf::simple_doc;
using testpdf::write_temp;

namespace {

std::string err() { return leafturn_last_error(); }

// Rotation of page 1 of a one-page document whose page carries `page`
// and whose page tree root carries `pages`.
int rotation_of(const std::string &page, const std::string &pages = "") {
  const std::string path = write_temp("q.pdf", simple_doc(1, page, pages).build());
  return leafturn_get_rotation(path.c_str(), 1);
}

}  // namespace

TEST(LastError, LifecycleAcrossCalls) {
  const std::string good = write_temp("good.pdf", simple_doc(3).build());
  EXPECT_EQ(leafturn_get_rotation(good.c_str(), 9), -1);
  EXPECT_EQ(err(), "page 9 out of range (document has 3 pages)");
  const char *p = leafturn_last_error();
  EXPECT_EQ(leafturn_last_error(), p);  // the same buffer, unchanged by reading
  EXPECT_EQ(err(), "page 9 out of range (document has 3 pages)");

  EXPECT_EQ(leafturn_get_rotation(good.c_str(), 1), 0);
  EXPECT_EQ(err(), "");

  EXPECT_EQ(leafturn_get_rotation(nullptr, 1), -1);
  EXPECT_EQ(leafturn_init(), 1);
  EXPECT_EQ(err(), "");
  EXPECT_EQ(leafturn_get_rotation(nullptr, 1), -1);
  leafturn_cleanup();
  EXPECT_EQ(err(), "");
}

TEST(LastError, LongMessagesAreCutAt1023Characters) {
  const std::string path = "/nonexistent/" + std::string(3000, 'a');
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 1), -1);
  EXPECT_EQ(err().size(), 1023u);
  EXPECT_EQ(err().substr(0, 25), "cannot open /nonexistent/");
}

TEST(RotationQuery, ArgumentsAreCheckedBeforeTheFileIsOpened) {
  EXPECT_EQ(leafturn_get_rotation(nullptr, 0), -1);
  EXPECT_EQ(err(), "NULL path argument");
  EXPECT_EQ(leafturn_get_rotation("/does/not/exist.pdf", 0), -1);
  EXPECT_EQ(err(), "page_number must be >= 1 (got 0)");
  EXPECT_EQ(leafturn_get_rotation("/does/not/exist.pdf", -7), -1);
  EXPECT_EQ(err(), "page_number must be >= 1 (got -7)");
  EXPECT_EQ(leafturn_get_rotation("/does/not/exist.pdf", 1), -1);
  EXPECT_EQ(err(), "cannot open /does/not/exist.pdf");
}

TEST(RotationQuery, OwnValueWinsOverInherited) {
  EXPECT_EQ(rotation_of(" /Rotate 90", " /Rotate 180"), 90);
  EXPECT_EQ(rotation_of("", " /Rotate 180"), 180);
  EXPECT_EQ(rotation_of(""), 0);
  EXPECT_EQ(rotation_of(" /Rotate 450"), 90);
  EXPECT_EQ(rotation_of(" /Rotate 360"), 0);
  EXPECT_EQ(rotation_of(" /Rotate 45"), 45);
  EXPECT_EQ(rotation_of("", " /Rotate 270"), 270);
  EXPECT_EQ(rotation_of(" /Rotate /Foo", " /Rotate 180"), 180);
}

TEST(RotationQuery, NegativeValuesAreRotations) {
  EXPECT_EQ(rotation_of(" /Rotate -90", " /Rotate 180"), 270);
  EXPECT_EQ(rotation_of(" /Rotate -450"), 270);
  EXPECT_EQ(rotation_of("", " /Rotate -180"), 180);
}

TEST(RotationQuery, OnlyTheDictionarysOwnRotateCounts) {
  // A /Rotate inside a nested dictionary, a string or a comment is not the
  // page's own.
  EXPECT_EQ(rotation_of(" /Resources <</X <</Rotate 90>>>> /Rotate 180"), 180);
  EXPECT_EQ(rotation_of(" /Resources <</Rotate 90>>", " /Rotate 270"), 270);
  EXPECT_EQ(rotation_of(" /T (/Rotate 90)"), 0);
  EXPECT_EQ(rotation_of(" % /Rotate 90\n"), 0);
}

TEST(RotationQuery, IndirectValuesAreResolved) {
  builder b = simple_doc(1, " /Rotate 5 0 R");
  b.obj(5, "270");
  std::string path = write_temp("ind.pdf", b.build());
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 1), 270);

  builder c = simple_doc(1, " /Rotate 5 0 R", " /Rotate 90");
  c.obj(5, "<</Not /AnInteger>>");
  path = write_temp("ind2.pdf", c.build());
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 1), 90) << "no own value: inherited";

  builder e = simple_doc(1, " /Rotate 5 0 R");
  path = write_temp("ind3.pdf", e.build());
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 1), 0) << "missing target";
}

TEST(RotationQuery, AReferenceNeedsAPositiveObjectNumber) {
  // "-90 0 R" is the integer -90 followed by stray tokens, not a reference
  // to object -90 (which would leave the page unrotated); "0 0 R" is 0.
  builder b = simple_doc(2, "", " /Rotate 180");
  std::string s = b.build();
  const std::string path = write_temp("negref.pdf", s);
  std::string text = testpdf::read_file(path);
  auto put = [&](const std::string &from, const std::string &to) {
    text.replace(text.find(from), from.size(), to);
  };
  put("/MediaBox [0 0 612 792]>>", "/MediaBox [0 0 612 792] /Rotate -90 0 R>>");
  put("/MediaBox [0 0 612 792]>>", "/MediaBox [0 0 612 792] /Rotate 0 0 R>>");
  const std::string p2 = write_temp("negref2.pdf", text);
  EXPECT_EQ(leafturn_get_rotation(p2.c_str(), 1), 270);
  EXPECT_EQ(leafturn_get_rotation(p2.c_str(), 2), 0) << "its own 0 beats the inherited 180";
  // The rewrite takes out the value alone; the stray tokens stay.
  const std::string out = testpdf::temp_path("negref-out.pdf");
  ASSERT_EQ(leafturn_all(p2.c_str(), out.c_str(), 90), 1) << leafturn_last_error();
  const std::string written = testpdf::read_file(out);
  EXPECT_NE(written.find("/MediaBox [0 0 612 792]  0 R/Rotate 0 >>"), std::string::npos) << written;
  EXPECT_NE(written.find("/MediaBox [0 0 612 792]  0 R/Rotate 90 >>"), std::string::npos) << written;
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 1), 0);
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 2), 90);
}

TEST(RotationQuery, PageWithoutEndobjReadsToTheEndOfTheFile) {
  const std::string s = "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                        "2 0 obj\n<</Type /Pages /Kids [3 0 R]>>\nendobj\n"
                        "3 0 obj\n<</Type /Page>>\n% no end here\n"
                        "4 0 obj\n<</Type /X /Rotate 90>>\nendobj\n";
  // Object 3 shares object 4's "endobj", so its range reaches 4's /Rotate.
  const std::string path = write_temp("noend.pdf", s);
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 1), 90);
}

TEST(RotationQuery, PageCountAndOrder) {
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [5 0 R 4 0 R 3 0 R]>>");
  b.obj(3, "<</Type /Page /Rotate 90>>");
  b.obj(4, "<</Type /Page /Rotate 180>>");
  b.obj(5, "<</Type /Page /Rotate 270>>");
  const std::string path = write_temp("order.pdf", b.build());
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 1), 270);
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 2), 180);
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 3), 90);
  EXPECT_EQ(leafturn_get_rotation(path.c_str(), 4), -1);
  EXPECT_EQ(err(), "page 4 out of range (document has 3 pages)");
}
