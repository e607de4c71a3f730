// SPDX-License-Identifier: MIT
// The loader's stages seen through doc_load: intake failures, the trailer
// chain, the object scan and stream extents, removal of hidden headers, live
// selection and the page tree, each with its messages.
#include <gtest/gtest.h>

#include <string>

#include "load/loader.h"
#include "core.h"
#include "leafturn.h"
#include "pdf_builder.h"

using namespace lt;
using testpdf::builder;
using testpdf::simple_doc;

namespace {

const char kNotPdf[] = "no PDF objects found \xE2\x80\x94 not a PDF: ";

struct loaded {
  bool ok;
  std::string error;
  std::string path;
};

loaded load_into(document &d, const std::string &bytes) {
  loaded r;
  r.path = testpdf::write_temp("in.pdf", bytes);
  failure err;
  r.ok = doc_load(r.path.c_str(), d, err);
  r.error = err.text();
  return r;
}

std::string load_error(const std::string &bytes) {
  document d;
  const loaded r = load_into(d, bytes);
  EXPECT_FALSE(r.ok) << "loaded unexpectedly";
  return r.error;
}

const obj_rec *rec(const doc &d, i32 num) { return d.find(num); }

// A catalog, a page tree and one page, followed by `tail`, no xref.
std::string one_page_with(const std::string &tail) {
  return "%PDF-1.4\n1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
         "2 0 obj\n<</Type /Pages /Kids [3 0 R] /Count 1>>\nendobj\n"
         "3 0 obj\n<</Type /Page /Parent 2 0 R>>\nendobj\n" +
         tail;
}

}  // namespace

// ---- intake -------------------------------------------------------------------

TEST(Intake, ReportsEachFailureInItsWords) {
  document d;
  failure err;
  EXPECT_FALSE(doc_load(nullptr, d, err));
  EXPECT_STREQ(err.text(), "NULL path argument");

  const std::string missing = testpdf::temp_path("missing.pdf");
  EXPECT_FALSE(doc_load(missing.c_str(), d, err));
  EXPECT_EQ(std::string(err.text()), "cannot open " + missing);

  const std::string empty = testpdf::write_temp("empty.pdf", "");
  EXPECT_FALSE(doc_load(empty.c_str(), d, err));
  EXPECT_EQ(std::string(err.text()), "empty input file: " + empty);

  const std::string one = testpdf::write_temp("one.pdf", "x");
  EXPECT_FALSE(doc_load(one.c_str(), d, err));
  EXPECT_EQ(std::string(err.text()), kNotPdf + one);
}

TEST(Intake, DirectoryCannotBeOpened) {
  // Some systems open a folder as a file and report a nonsensical size.
  const std::string dir = testpdf::temp_path("dir");
  ASSERT_EQ(testpdf::run("mkdir -p '" + dir + "'; echo ok"), "ok\n");
  document d;
  failure err;
  EXPECT_FALSE(doc_load(dir.c_str(), d, err));
  EXPECT_EQ(std::string(err.text()), "cannot open " + dir);
}

TEST(Intake, FilesOf2GiBOrMoreAreRefusedUnread) {
  // Offsets are 32-bit; a sparse file costs no disk space.
  const std::string big = testpdf::temp_path("big.pdf");
  int rc = -1;
  testpdf::run("truncate -s 2G '" + big + "'", &rc);
  if (rc != 0) GTEST_SKIP() << "cannot make a sparse file here";
  document d;
  failure err;
  EXPECT_FALSE(doc_load(big.c_str(), d, err));
  EXPECT_EQ(std::string(err.text()), "input file too large: " + big);
  testpdf::run("rm -f '" + big + "'");
}

TEST(Intake, FailedLoadLeavesRecordEmpty) {
  document d;
  const loaded r = load_into(d, simple_doc(1).trailer_extra("/Encrypt 9 0 R").build());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "encrypted PDFs are not supported: " + r.path);
  EXPECT_EQ(d.d.data, nullptr);
  EXPECT_TRUE(d.d.objs.empty());
  EXPECT_TRUE(d.d.pages.empty());
}

TEST(Intake, FreeZeroesEveryField) {
  document d;
  ASSERT_TRUE(load_into(d, simple_doc(2).build()).ok);
  doc_free(d);
  EXPECT_EQ(d.d.data, nullptr);
  EXPECT_EQ(d.d.len, 0);
  EXPECT_EQ(d.d.trailer_root, 0);
  EXPECT_EQ(d.d.root_num, 0);
  EXPECT_EQ(d.d.info_num, 0);
  EXPECT_EQ(d.d.max_num(), 0);
  EXPECT_TRUE(d.d.objs.empty());
}

// ---- trailer chain ------------------------------------------------------------

TEST(Trailers, LastStartxrefAndLastReadableRootWin) {
  document d;
  // No trailer at all: the catalog is found by its /Catalog name.
  ASSERT_TRUE(load_into(d, simple_doc(1).no_xref().build()).ok);
  EXPECT_EQ(d.d.trailer_root, -1);
  EXPECT_EQ(d.d.trailer_info, -1);
  EXPECT_EQ(d.d.root_num, 1);

  // "/Root /X" then "/Root 1 0 R" in one trailer window gives 1; /Info is read.
  builder b = simple_doc(1);
  b.obj(9, "<</Title (t)>>");
  std::string s = b.root(1).info(9).build();
  s.replace(s.rfind("/Root 1 0 R"), 11, "/Root /X/Root 1 0 R");
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(d.d.trailer_root, 1);
  EXPECT_EQ(d.d.trailer_info, 9);
  EXPECT_EQ(d.d.info_num, 9);
}

TEST(Trailers, IncrementalUpdateReadsEveryTrailerFromTheLastTable) {
  document d;
  std::string base = simple_doc(1).obj(7, "<</Type /Catalog /Pages 2 0 R>>").root(1).build();
  // An update whose trailer names catalog 7; the older /Prev is not followed.
  const size_t xref2 = base.size();
  base += "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Size 8/Root 7 0 R/Prev 9>>\n"
          "startxref\n" + std::to_string(xref2) + "\n%%EOF\n";
  ASSERT_TRUE(load_into(d, base).ok);
  EXPECT_EQ(d.d.trailer_root, 7);
  EXPECT_EQ(d.d.root_num, 7);
}

TEST(Trailers, StartxrefMustPointAtATable) {
  document d;
  std::string s = simple_doc(1).root(1).build();
  // Point one byte into "xref": the walk ends at once, no /Root is read.
  const size_t x = s.rfind("xref\n0 ");
  const size_t sx = s.rfind("startxref\n");
  s = s.substr(0, sx) + "startxref\n" + std::to_string(x + 1) + "\n%%EOF\n";
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(d.d.trailer_root, -1);
  EXPECT_EQ(d.d.root_num, 1);  // found by the /Catalog search
}

TEST(Trailers, CrossReferenceStreamChain) {
  document d;
  std::string s = simple_doc(1).obj(5, "<</Type /Catalog /Pages 2 0 R>>")
                      .obj(9, "<</Type /Catalog /Pages 2 0 R>>").no_xref().build();
  const size_t older = s.size();
  s += "20 0 obj\n<</Type /XRef /Root 9 0 R /Info 3 0 R>>\nstream\nxx\nendstream\nendobj\n";
  const size_t newer = s.size();
  s += "21 0 obj\n<</Type /XRef /Root 5 0 R /Prev " + std::to_string(older) +
       ">>\nstream\nxx\nendstream\nendobj\nstartxref\n" + std::to_string(newer) + "\n%%EOF\n";
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(d.d.trailer_root, 5);
  EXPECT_EQ(d.d.trailer_info, 3);  // the first section that names one
}

TEST(Trailers, PrevLoopEndsAndEncryptAnywhereInWindowCounts) {
  document d;
  std::string s = simple_doc(1).no_xref().build();
  const size_t at = s.size();
  s += "20 obj\n<</Type /XRef /Prev " + std::to_string(at) +
       ">>\nstream\nxx\nendstream\nendobj\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
  ASSERT_TRUE(load_into(d, s).ok);  // "20 obj" without generation is accepted
  EXPECT_EQ(d.d.encrypted, 0);

  // A section dictionary not followed by "stream" reaches to the end of file.
  std::string e = simple_doc(1).no_xref().build();
  const size_t at2 = e.size();
  e += "20 0 obj\n<</Type /XRef>>\nendobj\n4 0 obj\n<</Encrypt 1>>\nendobj\nstartxref\n" +
       std::to_string(at2) + "\n%%EOF\n";
  const loaded r = load_into(d, e);
  EXPECT_EQ(r.error, "encrypted PDFs are not supported: " + r.path);
}

// ---- object scan ----------------------------------------------------------------

TEST(ObjectScan, HeadersNeedNumberGenerationAndKeyword) {
  document d;
  const std::string tail =
      "x5 0 obj\n1\nendobj\n"      // letter before the number: no
      "-6 0 obj\n2\nendobj\n"      // recorded as 6
      "[7 0 obj\n3\nendobj\n"      // recorded as 7
      "8 0obj\n4\nendobj\n"        // no
      "9 0 objx\n5\nendobj\n"      // no
      "10 0\nobj\n6\nendobj\n"     // yes
      "11\r\n0\tobj\n7\nendobj\n"  // yes
      "12 3 obj\n8\nendobj\n"      // generation 3
      "0 0 obj\n9\nendobj\n"       // object 0: no
      "13\v0\vobj\n1\nendobj\n"    // vertical tab separates
      "14 obj\n1\nendobj\n"        // generation required
      "99999999999 0 obj\n1\nendobj\n";  // too large for 32 bits
  std::string s = one_page_with(tail);
  s.insert(s.find("13\v"), std::string("15\0", 3) + "0 obj\n1\nendobj\n");
  ASSERT_TRUE(load_into(d, s).ok);
  for (int n : {5, 8, 9, 14, 15}) EXPECT_EQ(rec(d.d, n), nullptr) << n;
  for (int n : {6, 7, 10, 11, 12, 13}) ASSERT_NE(rec(d.d, n), nullptr) << n;
  EXPECT_EQ(s[static_cast<size_t>(rec(d.d, 6)->hdr_off)], '6');
  EXPECT_EQ(rec(d.d, 12)->gen, 3);
  EXPECT_EQ(d.d.max_num(), 13);
}

TEST(ObjectScan, HeaderAtOffsetZeroAndObjectsWithoutEndobj) {
  document d;
  const std::string s = "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                        "2 0 obj\n<</Type /Pages /Kids [3 0 R]>>\nendobj\n"
                        "3 0 obj\n<</Type /Page>>\nendobj\n4 0 obj\n(never closed)\n";
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(rec(d.d, 1)->hdr_off, 0);
  EXPECT_EQ(rec(d.d, 4), nullptr);
}

TEST(ObjectScan, StreamDataStartsAfterTheLineEnd) {
  document d;
  const std::string tail =
      "4 0 obj\n<</Length 2>>stream\r\nab\nendstream\nendobj\n"
      "5 0 obj\n<</Length 2>>stream\rab\nendstream\nendobj\n"
      "6 0 obj\n<</Length 2>>stream \t\nab\nendstream\nendobj\n"
      "7 0 obj\n<</Length 2>>stream#ab\nendstream\nendobj\n";
  const std::string s = one_page_with(tail);
  ASSERT_TRUE(load_into(d, s).ok);
  for (int n : {4, 5, 6, 7}) {
    const obj_rec *r = rec(d.d, n);
    ASSERT_NE(r, nullptr) << n;
    EXPECT_EQ(s.substr(static_cast<size_t>(r->data_off), 2), "ab") << n;
    EXPECT_EQ(r->data_end - r->data_off, 2) << n;
  }
}

TEST(ObjectScan, LengthIsCheckedAgainstEndstream) {
  document d;
  const std::string data(100, 'z');
  const std::string tail =
      "4 0 obj\n<</Length 100>>\nstream\n" + data + "\r\nendstream\nendobj\n"
      "5 0 obj\n<</Length 500>>\nstream\n" + data + "\r\nendstream\nendobj\n"
      "6 0 obj\n<</Length 3>>\nstream\n" + data + "\nendstream\nendobj\n"
      "7 0 obj\n<</Length 0>>\nstream\n" + data + "\rendstream\nendobj\n"
      "8 0 obj\n<</Length 12 0 R>>\nstream\n" + data + "endstream\nendobj\n"
      "9 0 obj\n<</Length [3 100]>>\nstream\n" + data + "\nendstream\nendobj\n"
      "10 0 obj\n<</Length -4 /Length 100>>\nstream\n" + data + "\nendstream\nendobj\n"
      "11 0 obj\n<</Length1 7 /Length 100>>\nstream\n" + data + "\nendstream\nendobj\n"
      "12 0 obj\n100\nendobj\n";
  ASSERT_TRUE(load_into(d, one_page_with(tail)).ok);
  for (int n = 4; n <= 11; ++n) {
    const obj_rec *r = rec(d.d, n);
    ASSERT_NE(r, nullptr) << n;
    EXPECT_EQ(r->data_end - r->data_off, 100) << n;
    EXPECT_GT(r->endobj_off, r->data_end) << n;
  }
}

TEST(ObjectScan, IndirectLengthMayComeLater) {
  document d;
  const std::string data(7, 'q');
  const std::string tail = "4 0 obj\n<</Length 8 0 R>>\nstream\n" + data +
                           "endstream\nendobj\n8 0 obj 7 endobj\n";
  ASSERT_TRUE(load_into(d, one_page_with(tail)).ok);
  EXPECT_EQ(rec(d.d, 4)->data_end - rec(d.d, 4)->data_off, 7);
}

TEST(ObjectScan, StreamWithoutUsableLengthKeepsItsData) {
  document d;
  const std::string tail =
      "4 0 obj\n<</Filter /X>>\nstream\nabc\nendstream\nendobj\n"
      "5 0 obj\n<</Length 9 0 R>>\nstream\nabcd\r\nendstream\nendobj\n"  // missing target
      "6 0 obj\n<</Length 4 0 R>>\nstream\nabcde\nendstream\nendobj\n";  // stream target
  const std::string s = one_page_with(tail);
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(rec(d.d, 4)->data_end - rec(d.d, 4)->data_off, 3);
  EXPECT_EQ(rec(d.d, 5)->data_end - rec(d.d, 5)->data_off, 4);
  EXPECT_EQ(rec(d.d, 6)->data_end - rec(d.d, 6)->data_off, 5);
}

TEST(ObjectScan, MissingEndstreamEndsAtTheNextEndobj) {
  document d;
  const std::string tail =
      "4 0 obj\n<</Length 3>>\nstream\nabc\nendstreem\nendobj\n"
      "5 0 obj\n<</Type /Foo>>\nendobj\n"
      "6 0 obj\n<</Length 3>>\nstream\nendobj\n";
  const std::string s = one_page_with(tail);
  ASSERT_TRUE(load_into(d, s).ok);
  const obj_rec *r = rec(d.d, 4);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(s.substr(static_cast<size_t>(r->data_off),
                     static_cast<size_t>(r->data_end - r->data_off)),
            "abc\nendstreem");
  EXPECT_EQ(s.compare(static_cast<size_t>(r->endobj_off), 6, "endobj"), 0);
  ASSERT_NE(rec(d.d, 5), nullptr);  // not swallowed
  ASSERT_NE(rec(d.d, 6), nullptr);
  EXPECT_EQ(rec(d.d, 6)->data_end, rec(d.d, 6)->data_off);  // "endobj" right at the data
}

TEST(ObjectScan, StreamWithoutEndstreamHidesHeadersInItsData) {
  document d;
  // The data runs to the "endobj" after object 5's header, which it hides.
  std::string s = one_page_with("4 0 obj\n<</Length 3>>\nstream\nabc\n5 0 obj\n1\nendobj\n");
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_NE(rec(d.d, 4), nullptr);
  EXPECT_EQ(rec(d.d, 5), nullptr);
  // With no "endobj" after it either, the stream runs to the end and goes.
  s = one_page_with("4 0 obj\n<</Length 3>>\nstream\nabc\n");
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(rec(d.d, 4), nullptr);
}

TEST(ObjectScan, HeadersInsideStreamDataAreDropped) {
  document d;
  const std::string inner = "9 0 obj\n<</Type /Page>>\nendobj\n";
  const std::string tail =
      "4 0 obj\n<</Length " + std::to_string(inner.size()) + ">>\nstream\n" + inner +
      "\nendstream\nendobj\n"
      // The container itself is dropped (no endobj), but still hides object 10.
      "5 0 obj\n<</Length 28>>\nstream\n10 0 obj\n(x)\nendobj\nendstream\n";
  ASSERT_TRUE(load_into(d, one_page_with(tail)).ok);
  EXPECT_NE(rec(d.d, 4), nullptr);
  EXPECT_EQ(rec(d.d, 9), nullptr);
  EXPECT_EQ(rec(d.d, 5), nullptr);
  EXPECT_EQ(rec(d.d, 10), nullptr);
}

TEST(ObjectScan, HexStringObjectDoesNotBorrowTheNextStream) {
  document d;
  const std::string tail = "4 0 obj\n<414243>\nendobj\n"
                           "5 0 obj\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n";
  const std::string s = one_page_with(tail);
  ASSERT_TRUE(load_into(d, s).ok);
  const obj_rec *r = rec(d.d, 4);
  ASSERT_NE(r, nullptr);
  EXPECT_FALSE(r->is_stream());
  EXPECT_EQ(r->dict_off, -1);
  EXPECT_EQ(s.compare(static_cast<size_t>(r->endobj_off), 6, "endobj"), 0);
  EXPECT_LT(r->endobj_off, rec(d.d, 5)->hdr_off);
}

// ---- live selection ---------------------------------------------------------------

TEST(LiveSelection, LastDirectCopyWinsAndOrderIsKept) {
  document d;
  const std::string tail = "5 0 obj\n(first)\nendobj\n5 0 obj\n(second)\nendobj\n"
                           "8388607 0 obj\n1\nendobj\n8388608 0 obj\n1\nendobj\n";
  const std::string s = one_page_with(tail);
  ASSERT_TRUE(load_into(d, s).ok);
  const obj_rec *r = rec(d.d, 5);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(s.compare(static_cast<size_t>(r->hdr_off) + 8, 8, "(second)"), 0);
  EXPECT_EQ(d.d.max_num(), 8388607);
  for (size_t k = 1; k < d.d.objs.size(); ++k)
    EXPECT_LT(d.d.objs[k - 1].hdr_off, d.d.objs[k].hdr_off);
}

TEST(LiveSelection, ObjectStreamContainersNeverSurvive) {
  document d;
  const std::string tail =
      "40 0 obj\n<</Type /ObjStm /N 1 /First 4 /Length 7>>\nstream\n2 0 (x)\nendstream\nendobj\n";
  ASSERT_TRUE(load_into(d, one_page_with(tail)).ok);
  EXPECT_EQ(rec(d.d, 40), nullptr);
  EXPECT_EQ(d.d.max_num(), 3);  // the container's number does not count
}

// ---- catalog and page tree -----------------------------------------------------------

TEST(PageTree, CatalogFromTrailerOrSearch) {
  document d;
  // /Root names a missing object: the /Catalog search finds object 1.
  ASSERT_TRUE(load_into(d, simple_doc(1).root(9).build()).ok);
  EXPECT_EQ(d.d.root_num, 1);
  // No /Catalog anywhere: object 1, itself the page tree root.
  const std::string s = "1 0 obj\n<</Type /Pages /Kids [2 0 R]>>\nendobj\n"
                        "2 0 obj\n<</Type /Page>>\nendobj\n";
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(d.d.root_num, 1);
  ASSERT_EQ(d.d.pages.size(), 1u);
  EXPECT_EQ(d.d.pages[0].num, 2);
}

TEST(PageTree, PagesReferenceIsTheFirstWithAPositiveNumber) {
  document d;
  std::string s = "1 0 obj\n<</Type /Catalog /PageLayout /SinglePage /Pages /Foo /Pages 3 0 R>>\n"
                  "endobj\n3 0 obj\n<</Type /Pages /Kids [4 0 R 5 0 R]>>\nendobj\n"
                  "4 0 obj\n<</Type /Page>>\nendobj\n5 0 obj\n<</Type /Page>>\nendobj\n";
  ASSERT_TRUE(load_into(d, s).ok);
  ASSERT_EQ(d.d.pages.size(), 2u);
  EXPECT_EQ(d.d.pages[0].num, 4);
  EXPECT_EQ(d.d.pages[1].num, 5);
}

TEST(PageTree, RefusalsAndBrokenTrees) {
  auto err = [](const std::string &s) { return load_error(s); };
  EXPECT_EQ(err("1 0 obj\n<</Type /Catalog>>\nendobj\n"),
            "catalog (obj 1) has no /Pages reference");
  EXPECT_EQ(err("2 0 obj\n<</Type /Catalog /Pages 3 0 R>>\nendobj\n"),
            "could not resolve the page tree (obj 3 is not a /Pages or /Page object, or tree "
            "is broken)")
      << "the /Catalog search finds object 2, whose /Pages is missing";
  EXPECT_EQ(err("1 0 obj\n(no catalog)\nendobj\n"), "catalog (obj 1) has no /Pages reference");
  EXPECT_EQ(err(simple_doc(1).build().replace(
                simple_doc(1).build().find("[3 0 R]"), 7, "[3 0 R <</Type /Page>>]")),
            "page tree uses inline page dictionaries in /Kids \xE2\x80\x94 pages must be "
            "indirect objects");
  const char broken[] =
      "could not resolve the page tree (obj 2 is not a /Pages or /Page object, or tree is "
      "broken)";
  EXPECT_EQ(err("1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                "2 0 obj\n<</Type /Pages /Kids [2 0 R]>>\nendobj\n"),
            broken);
  EXPECT_EQ(err("1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                "2 0 obj\n<</Type /Pages /Kids [4 0 R]>>\nendobj\n"
                "4 0 obj\n<</Type /Pages /Kids [2 0 R]>>\nendobj\n"),
            broken);
  EXPECT_EQ(err("1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                "2 0 obj\n<</Type /Pages /Kids [7 0 R]>>\nendobj\n"),
            broken);
  EXPECT_EQ(err("1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                "2 0 obj\n<</Type /Pages /Kids [4 0 R]>>\nendobj\n"
                "4 0 obj\n<</Type /Pages /Kids [5 0 R <</Type /Page>>]>>\nendobj\n"
                "5 0 obj\n<</Type /Page>>\nendobj\n"),
            broken)
      << "an inline dictionary below the root surfaces as a broken tree";
  EXPECT_EQ(err("1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                "2 0 obj\n<</Type /Pages /Kids []>>\nendobj\n"),
            "document has no pages");
  EXPECT_EQ(err("1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
                "2 0 obj\n<</Type /Pages /Kids 5 0 R>>\nendobj\n5 0 obj\n[3 0 R]\nendobj\n"),
            "document has no pages")
      << "an indirect /Kids array is not followed";
}

TEST(PageTree, OrderRepeatsAndInheritedRotation) {
  document d;
  const std::string s =
      "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
      "2 0 obj\n<</Type /Pages /Rotate 90 /Kids [4 0 R 3 0 R 5 0 R]>>\nendobj\n"
      "3 0 obj\n<</Type /Page>>\nendobj\n"
      "4 0 obj\n<</Type /Pages /Rotate 450 /Kids [3 0 R]>>\nendobj\n"
      "5 0 obj\n<</Type /Pages /Kids [6 0 R 3 0 R]>>\nendobj\n"
      "6 0 obj\n<</Type /Pages /Rotate -90 /Kids [3 0 R]>>\nendobj\n";
  ASSERT_TRUE(load_into(d, s).ok);
  ASSERT_EQ(d.d.pages.size(), 4u);
  EXPECT_EQ(d.d.pages[0].inherited_rotate, 90);   // 450 reduced
  EXPECT_EQ(d.d.pages[1].inherited_rotate, 90);   // the root's own
  EXPECT_EQ(d.d.pages[2].inherited_rotate, 270);  // -90 is a rotation
  EXPECT_EQ(d.d.pages[3].inherited_rotate, 90);   // passed down through 5
  for (const page_ref &p : d.d.pages) EXPECT_EQ(p.num, 3);
}

// /Pages nodes without "endobj" reach as far as the next one, so each finds
// the same /Kids array as its own: every one of them lists its pages.
TEST(PageTree, NodesSharingOneKidsArrayEachListIt) {
  document d;
  const std::string s =
      "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"
      "2 0 obj\n<</Type /Pages /Kids [3 0 R 4 0 R 5 0 R]>>\nendobj\n"
      "3 0 obj\n<</Type /Pages /Rotate 90\n"
      "4 0 obj\n<</Type /Pages\n"
      "5 0 obj\n<</Type /Pages /Kids [6 0 R 7 0 R]>>\nendobj\n"
      "6 0 obj\n<</Type /Page>>\nendobj\n7 0 obj\n<</Type /Page>>\nendobj\n";
  ASSERT_TRUE(load_into(d, s).ok);
  ASSERT_EQ(d.d.pages.size(), 6u);
  const i32 nums[] = {6, 7, 6, 7, 6, 7};
  const i32 rotations[] = {90, 90, 0, 0, 0, 0};
  for (size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(d.d.pages[k].num, nums[k]) << k;
    EXPECT_EQ(d.d.pages[k].inherited_rotate, rotations[k]) << k;
  }
  ASSERT_EQ(d.d.nodes.size(), 4u);  // the root and the three nodes, each once
  EXPECT_EQ(d.d.nodes[static_cast<size_t>(d.d.pages[0].parent)].num, 3);
  EXPECT_EQ(d.d.nodes[static_cast<size_t>(d.d.pages[2].parent)].num, 4);
  EXPECT_EQ(d.d.nodes[static_cast<size_t>(d.d.pages[4].parent)].num, 5);
}

TEST(PageTree, DeepTreeDoesNotExhaustTheStack) {
  const int depth = 200000;
  std::string s = "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n";
  for (int n = 2; n < depth; ++n)
    s += std::to_string(n) + " 0 obj\n<</Type /Pages /Kids [" + std::to_string(n + 1) +
         " 0 R]>>\nendobj\n";
  s += std::to_string(depth) + " 0 obj\n<</Type /Page /Rotate 180>>\nendobj\n";
  document d;
  ASSERT_TRUE(load_into(d, s).ok);
  ASSERT_EQ(d.d.pages.size(), 1u);
  EXPECT_EQ(d.d.pages[0].num, depth);
}

// ---- hostile shapes: each finishes (a quadratic scan would not, in practice) ----

TEST(Hostile, ManyHeadersWithoutEndobjOrClose) {
  std::string s;
  for (int i = 1; i <= 100000; ++i) s += std::to_string(i) + " 0 obj\n<< /A (";
  EXPECT_EQ(load_error(s).rfind(kNotPdf, 0), 0u);
  std::string t;
  for (int i = 1; i <= 100000; ++i) t += std::to_string(i) + " 0 obj << <<\n";
  t += "endobj\n";
  // Every object shares the one "endobj"; none has a page tree.
  EXPECT_EQ(load_error(t), "catalog (obj 1) has no /Pages reference");
}

TEST(Hostile, LongRunsOfParenthesesAndBackslashes) {
  std::string s = "1 0 obj\n<< /A ";
  s += std::string(2000000, '(');
  s += std::string(2000000, '\\');
  for (int i = 2; i < 50000; ++i) s += std::to_string(i) + " 0 obj << (";
  EXPECT_EQ(load_error(s).rfind(kNotPdf, 0), 0u);
}

TEST(Hostile, ManyTrailersBeforeOneStartxref) {
  std::string s = simple_doc(1).no_xref().build() + "xref\n";
  for (int i = 0; i < 200000; ++i) s += "trailer\n<</Size 1>>\n";
  s += "startxref\n" + std::to_string(simple_doc(1).no_xref().build().size()) + "\n%%EOF\n";
  document d;
  ASSERT_TRUE(load_into(d, s).ok);
  EXPECT_EQ(d.d.trailer_root, -1);
}

TEST(Hostile, PagesSharingOneDistantEndobj) {
  // Every page's range runs to the one "endobj": the output would repeat
  // each page's range and pass 2 GiB, which is refused before building.
  const int n = 14000;
  std::string s = "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n2 0 obj\n<</Type /Pages /Kids [";
  for (int i = 0; i < n; ++i) s += std::to_string(i + 3) + " 0 R ";
  s += "]>>\nendobj\n";
  for (int i = 0; i < n; ++i) s += std::to_string(i + 3) + " 0 obj\n<</Type /Page>>\n";
  s += "endobj\n";
  const std::string in = testpdf::write_temp("shared-endobj.pdf", s);
  EXPECT_EQ(leafturn_get_rotation(in.c_str(), n), 0);
  const std::string out = testpdf::temp_path("shared-endobj-out.pdf");
  EXPECT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 0);
  EXPECT_STREQ(leafturn_last_error(), "failed to build output");
  EXPECT_FALSE(testpdf::file_exists(out));
  // Every object is written with its whole content, chosen or not.
  EXPECT_EQ(leafturn_page(in.c_str(), out.c_str(), 1, 90), 0);
  EXPECT_STREQ(leafturn_last_error(), "failed to build output");
}

TEST(Hostile, PagesNodesSharingOneKidsArray) {
  // 3,000 nodes without "endobj" all find the same /Kids of 3,000 pages: the
  // page list would hold 9 million entries, more than there can be objects.
  const int n = 3000;
  std::string s = "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n2 0 obj\n<</Type /Pages /Kids [";
  for (int i = 0; i < n; ++i) s += std::to_string(i + 3) + " 0 R ";
  s += "]>>\nendobj\n";
  for (int i = 0; i < n; ++i) s += std::to_string(i + 3) + " 0 obj\n<</Type /Pages>>\n";
  s += "/Kids [";
  for (int i = 0; i < n; ++i) s += "9000 0 R ";
  s += "]\nendobj\n9000 0 obj\n<</Type /Page>>\nendobj\n";
  EXPECT_EQ(load_error(s), "out of memory");
}
