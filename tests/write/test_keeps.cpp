// SPDX-License-Identifier: MIT
// What a rewrite keeps of the document beside its pages: the newest copy of
// each object, the file identifier, the information dictionary (from every
// kind of cross-reference section) and, in a damaged file, what its last
// trailer says. Seen through the exports, with qpdf as an independent judge
// where it is installed.
#include <gtest/gtest.h>

#include <string>

#include "leafturn.h"
#include "pdf_builder.h"

using testpdf::builder;
using testpdf::read_file;
using testpdf::simple_doc;
using testpdf::temp_path;
using testpdf::write_temp;

namespace {

std::string err() { return leafturn_last_error(); }

// Turns every page of `bytes` by 90 and returns the output (its path in
// *path when asked).
std::string rotated(const std::string &bytes, std::string *path = nullptr) {
  const std::string in = write_temp("keeps-in.pdf", bytes);
  const std::string out = temp_path("keeps-out.pdf");
  EXPECT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 1) << err();
  if (path) *path = out;
  return read_file(out);
}

// The written trailer dictionary, "<<" to ">>".
std::string trailer_of(const std::string &pdf) {
  const size_t t = pdf.rfind("trailer\n");
  if (t == std::string::npos) return "";
  const size_t e = pdf.find(">>\nstartxref", t);
  return pdf.substr(t + 8, e + 2 - t - 8);
}

// "/ID [...]" as qpdf shows the trailer of a file, or "" (or "no qpdf").
std::string qpdf_id(const std::string &path) {
  if (!testpdf::have_tool("qpdf")) return "no qpdf";
  const std::string t = testpdf::run("qpdf --show-object=trailer '" + path + "' 2>/dev/null");
  const size_t a = t.find("/ID [");
  return a == std::string::npos ? "" : t.substr(a, t.find(']', a) + 1 - a);
}

// A one-page document whose trailer carries `extra`.
std::string with_trailer(const std::string &extra) {
  return simple_doc(1).trailer_extra(extra).build();
}

// Offset of the last "xref" section of a built file.
size_t last_xref(const std::string &s) { return s.rfind("xref\n0 "); }

}  // namespace

// ---- the newest copy of an object ----------------------------------------------------

TEST(Keeps, UpdatedPageSurvivesAHeaderHiddenInAnEarlierStream) {
  // An attached file whose data reads like an object header, then the
  // pages, then an update that rewrites page 3 with /Rotate 90.
  builder b;
  b.stream(9, "/Type /EmbeddedFile", "31 0 obj\n(not an object)\nendobj\n");
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>");
  b.obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>");
  std::string s = b.build();
  const size_t prev = last_xref(s);
  const size_t upd = s.size();
  s += "3 0 obj\n<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90>>\nendobj\n";
  const size_t x = s.size();
  char entry[32];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", upd);
  s += "xref\n3 1\n" + std::string(entry) + "trailer\n<</Size 10/Root 1 0 R/Prev " +
       std::to_string(prev) + ">>\nstartxref\n" + std::to_string(x) + "\n%%EOF\n";
  const std::string in = write_temp("update.pdf", s);
  EXPECT_EQ(leafturn_get_rotation(in.c_str(), 1), 90) << err();

  const std::string out = temp_path("update-out.pdf");
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 1) << err();
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 1), 180);
  const std::string pdf = read_file(out);
  EXPECT_NE(pdf.find("/Rotate 180"), std::string::npos);
  // The attached file's data is copied whole, its "header" included.
  EXPECT_NE(pdf.find("31 0 obj\n(not an object)\nendobj\n\nendstream"), std::string::npos);
}

// ---- the file identifier ---------------------------------------------------------------

TEST(Keeps, FileIdentifierIsCopiedAfterRootAndInfo) {
  // Hexadecimal strings, copied as they stand.
  builder b = simple_doc(1);
  b.obj(9, "<</Title (t)>>");
  std::string pdf = rotated(b.info(9).trailer_extra("/ID [<0A1B> <0a1b>]").build());
  EXPECT_EQ(trailer_of(pdf), "<</Size 10/Root 1 0 R/Info 9 0 R/ID [<0A1B> <0a1b>]>>");

  // Literal strings with nested and escaped parentheses, and white space of
  // every kind between the parts; no /Info.
  std::string out;
  pdf = rotated(with_trailer("/ID\r\n[ (a(b)c\\)d)\t(x\\\\) ]"), &out);
  EXPECT_EQ(trailer_of(pdf), "<</Size 4/Root 1 0 R/ID [ (a(b)c\\)d)\t(x\\\\) ]>>");
  if (testpdf::have_tool("qpdf")) {
    int rc = -1;
    testpdf::run("qpdf --check '" + out + "' >/dev/null 2>&1", &rc);
    EXPECT_EQ(rc, 0);
  }
}

TEST(Keeps, IdentifierAsQpdfSeesItIsTheInputs) {
  if (!testpdf::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string in =
      write_temp("id-in.pdf", with_trailer("/ID [<00112233445566778899AABBCCDDEEFF>"
                                           "<FFEEDDCCBBAA99887766554433221100>]"));
  const std::string out = temp_path("id-out.pdf");
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 180), 1) << err();
  EXPECT_NE(qpdf_id(in), "");
  EXPECT_EQ(qpdf_id(out), qpdf_id(in));
}

TEST(Keeps, MalformedIdentifiersAreNotCopied) {
  for (const char *bad : {"/ID [<0A1B>]", "/ID [<0A1B> <0A1B> <0A1B>]", "/ID <0A1B>",
                          "/ID [<0A1B> (open]", "/ID [<0A1B> <0A1B>", "/ID [<0A1B> 12]",
                          "/ID [<<0A1B>> <0A1B>]", "/IDx [<0A><0B>]", "/ID [<0A1B>/X <0A1B>]"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(trailer_of(rotated(with_trailer(bad))), "<</Size 4/Root 1 0 R>>");
  }
  // A malformed /ID before a usable one in the same trailer: the usable one.
  EXPECT_EQ(trailer_of(rotated(with_trailer("/ID [<01>] /ID [<02><03>]"))),
            "<</Size 4/Root 1 0 R/ID [<02><03>]>>");
}

TEST(Keeps, UpdateTrailerIdentifierReplacesTheOlderOne) {
  std::string s = with_trailer("/ID [<01><01>]");
  const size_t x = s.size();
  s += "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Size 6/Root 1 0 R/ID [<01><02>]>>\n"
       "startxref\n" + std::to_string(x) + "\n%%EOF\n";
  EXPECT_EQ(trailer_of(rotated(s)), "<</Size 4/Root 1 0 R/ID [<01><02>]>>");
}

// ---- the information dictionary ---------------------------------------------------------

TEST(Keeps, InfoFromCrossReferenceStreamSections) {
  // Two stream sections: the newer has no /Info, the older names 9.
  std::string s = simple_doc(1).obj(9, "<</Title (from a stream)>>").no_xref().build();
  const size_t older = s.size();
  s += "20 0 obj\n<</Type /XRef /Root 1 0 R /Info 9 0 R /ID [<0C><0D>]>>\nstream\nxx\n"
       "endstream\nendobj\n";
  const size_t newer = s.size();
  s += "21 0 obj\n<</Type /XRef /Root 1 0 R /Prev " + std::to_string(older) +
       ">>\nstream\nxx\nendstream\nendobj\nstartxref\n" + std::to_string(newer) + "\n%%EOF\n";
  const std::string t = trailer_of(rotated(s));
  EXPECT_EQ(t, "<</Size 22/Root 1 0 R/Info 9 0 R/ID [<0C><0D>]>>");

  // A classic table reached by /Prev from a stream section overwrites /Info.
  std::string c = simple_doc(1).obj(8, "<</Title (table)>>").obj(9, "<</Title (stream)>>")
                      .info(8).build();
  const size_t table = last_xref(c);
  const size_t sec = c.size();
  c += "20 0 obj\n<</Type /XRef /Root 1 0 R /Info 9 0 R /Prev " + std::to_string(table) +
       ">>\nstream\nxx\nendstream\nendobj\nstartxref\n" + std::to_string(sec) + "\n%%EOF\n";
  EXPECT_EQ(trailer_of(rotated(c)), "<</Size 21/Root 1 0 R/Info 8 0 R>>");
}

TEST(Keeps, InfoOfAFileWithObjectStreamsAsPdfinfoSeesIt) {
  if (!testpdf::have_tool("qpdf") || !testpdf::have_tool("pdfinfo"))
    GTEST_SKIP() << "qpdf and pdfinfo are needed";
  builder b = simple_doc(2);
  b.obj(9, "<</Title (Turned \\(twice\\)) /Author <FEFF00C400DF> /Producer (leafturn tests)>>");
  const std::string plain = write_temp("info-plain.pdf", b.info(9).build());
  const std::string packed = temp_path("info-packed.pdf");
  testpdf::run("qpdf --object-streams=generate '" + plain + "' '" + packed + "' 2>&1");
  ASSERT_NE(read_file(packed).find("/XRef"), std::string::npos);
  const std::string out = temp_path("info-out.pdf");
  ASSERT_EQ(leafturn_all(packed.c_str(), out.c_str(), 90), 1) << err();
  auto doc_info = [](const std::string &p) {
    std::string keep;
    const std::string all = testpdf::run("pdfinfo '" + p + "' 2>/dev/null");
    for (const char *key : {"Title:", "Author:", "Producer:"}) {
      const size_t a = all.find(key);
      keep += a == std::string::npos ? "-" : all.substr(a, all.find('\n', a) - a) + "\n";
    }
    return keep;
  };
  EXPECT_EQ(doc_info(out), doc_info(packed));
  EXPECT_NE(doc_info(out).find("Turned (twice)"), std::string::npos);
  EXPECT_EQ(qpdf_id(out), qpdf_id(packed));
}

// ---- a damaged chain -------------------------------------------------------------------

TEST(Keeps, DamagedChainStillGivesTheLastTrailersInfoAndIdentifier) {
  builder b = simple_doc(1);
  b.obj(9, "<</Title (kept)>>");
  std::string s = b.info(9).trailer_extra("/ID [<AA><BB>]").build();
  // "startxref" leads nowhere.
  s.replace(s.rfind("startxref\n") + 10, std::string::npos, "99999999\n%%EOF\n");
  EXPECT_EQ(trailer_of(rotated(s)), "<</Size 10/Root 1 0 R/Info 9 0 R/ID [<AA><BB>]>>");

  // No "startxref" at all: the same from the last trailer; an earlier one
  // does not count.
  std::string n = simple_doc(1).obj(8, "<</Title (old)>>").obj(9, "<</Title (new)>>")
                      .info(8).trailer_extra("/ID [<01><01>]").build();
  n = n.substr(0, n.rfind("startxref"));
  n += "trailer\n<</Info 9 0 R/ID [<02><02>]>>\n";
  EXPECT_EQ(trailer_of(rotated(n)), "<</Size 10/Root 1 0 R/Info 9 0 R/ID [<02><02>]>>");
}

TEST(Keeps, DamagedChainWithEncryptIsRefused) {
  std::string s = simple_doc(1).obj(7, "<</Filter /Standard /V 1>>")
                      .trailer_extra("/Encrypt 7 0 R").build();
  s.replace(s.rfind("startxref\n") + 10, std::string::npos, "12\n%%EOF\n");
  const std::string in = write_temp("damaged-encrypted.pdf", s);
  const std::string out = temp_path("damaged-encrypted-out.pdf");
  EXPECT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 0);
  EXPECT_EQ(err(), "encrypted PDFs are not supported: " + in);
  EXPECT_FALSE(testpdf::file_exists(out));
}
