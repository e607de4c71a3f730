// SPDX-License-Identifier: MIT
// Objects stored in compressed object streams: how the header is read, which
// entries survive, how they compete with direct copies, and how they are
// written out again as plain objects.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "load/loader.h"
#include "core.h"
#include "facts/rotation.h"
#include "leafturn.h"
#include "pdf_builder.h"

using namespace lt;
using testpdf::builder;
using testpdf::read_file;
using testpdf::temp_path;
using testpdf::write_temp;

namespace {

using entries = std::vector<std::pair<int, std::string>>;


// The decoded bytes of an object stream holding `objs`: the header of
// number/offset pairs, then the objects one after another.
std::string objstm_bytes(const entries &objs, int *first) {
  std::string header, body;
  for (const auto &o : objs) {
    header += std::to_string(o.first) + " " + std::to_string(body.size()) + " ";
    body += o.second;
  }
  *first = static_cast<int>(header.size());
  return header + body;
}

// Adds an object stream as object `num` to the builder.
void add_objstm(builder &b, int num, const entries &objs, bool flate = true) {
  int first = 0;
  const std::string plain = objstm_bytes(objs, &first);
  const std::string dict = "/Type /ObjStm /N " + std::to_string(objs.size()) + " /First " +
                           std::to_string(first) + (flate ? " /Filter /FlateDecode" : "");
  b.stream(num, dict, flate ? testpdf::deflated(plain) : plain);
}

// A document whose catalog, page tree and pages all live in one object stream.
builder compressed_doc(int pages, bool flate = true, const std::string &page_extra = "") {
  entries objs;
  objs.emplace_back(1, "<</Type /Catalog /Pages 2 0 R>>");
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(i + 3) + " 0 R ";
  objs.emplace_back(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + ">>");
  for (int i = 0; i < pages; ++i)
    objs.emplace_back(i + 3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200]" + page_extra + ">>");
  builder b;
  add_objstm(b, 50, objs, flate);
  return b;
}

bool load(document &d, const std::string &bytes) {
  const std::string path = write_temp("objstm.pdf", bytes);
  failure err;
  const bool ok = doc_load(path.c_str(), d, err);
  if (!ok) ADD_FAILURE() << err.text();
  return ok;
}

std::string body_of(const document &d, int num) {
  const obj_rec *r = d.d.find(num);
  if (!r || !r->in_objstm()) return "<none>";
  return std::string(reinterpret_cast<const char *>(r->body), static_cast<size_t>(r->body_len));
}

}  // namespace

TEST(ObjectStreams, FlateAndRawStreamsAreExpanded) {
  for (bool flate : {true, false}) {
    SCOPED_TRACE(flate ? "flate" : "raw");
    document d;
    ASSERT_TRUE(load(d, compressed_doc(3, flate, " /Rotate 90").build()));
    ASSERT_EQ(d.d.pages.size(), 3u);
    EXPECT_EQ(body_of(d, 1), "<</Type /Catalog /Pages 2 0 R>>");
    EXPECT_EQ(d.d.find(50), nullptr) << "the container never survives";
    EXPECT_EQ(effective_rotation(d.d, d.lex, d.d.pages[2]), 90);
  }
}

TEST(ObjectStreams, HeaderAndLengths) {
  // /N 3 /First 15, header "10 0 11 5 12 9" padded to 15 bytes.
  builder b = testpdf::simple_doc(1);
  b.stream(40, "/Type /ObjStm /N 3 /First 15", "10 0 11 5 12 9 (aaa)(bb)(the rest)");
  document d;
  ASSERT_TRUE(load(d, b.build()));
  EXPECT_EQ(body_of(d, 10), "(aaa)");
  EXPECT_EQ(body_of(d, 11), "(bb)");
  EXPECT_EQ(body_of(d, 12), "(the rest)");
}

TEST(ObjectStreams, EntryQuirks) {
  builder b = testpdf::simple_doc(1);
  // Object number 0 is skipped; its neighbour still ends at its offset.
  b.stream(40, "/Type /ObjStm /N 3 /First 13", "10 0 0 3 12 6(a)(b)(c)");
  // Only N - 1 readable pairs: nothing from this stream.
  b.stream(41, "/Type /ObjStm /N 3 /First 9", "20 0 21 3(a)(b)(c)");
  // A plus sign is read; equal offsets give the first a length of 0.
  b.stream(42, "/Type /ObjStm /N 0 /N 3 /First 15", "+30 0 31 0 32 3(b)(c)");
  // A minus sign abandons the whole stream.
  b.stream(43, "/Type /ObjStm /N 2 /First 10", "33 0 -34 3(a)(b)");
  // An entry reaching past the decoded data is skipped; the last one stays.
  b.stream(44, "/Type /ObjStm /N 2 /First 11", "35 0 36 900(a)(b)");
  document d;
  ASSERT_TRUE(load(d, b.build()));
  EXPECT_EQ(body_of(d, 10), "(a)");
  EXPECT_EQ(body_of(d, 12), "(c)");
  EXPECT_EQ(body_of(d, 20), "<none>");
  EXPECT_EQ(body_of(d, 21), "<none>");
  EXPECT_EQ(body_of(d, 30), "<none>");
  EXPECT_EQ(body_of(d, 31), "(b)");
  EXPECT_EQ(body_of(d, 32), "(c)");
  EXPECT_EQ(body_of(d, 33), "<none>");
  EXPECT_EQ(body_of(d, 35), "<none>");
  EXPECT_EQ(body_of(d, 36), "<none>");
}

TEST(ObjectStreams, DirectCopiesWinAndLaterStreamsWin) {
  builder b = testpdf::simple_doc(1);
  add_objstm(b, 40, {{7, "(compressed)"}, {9, "(first stream)"}});
  b.obj(7, "(direct)");
  add_objstm(b, 41, {{9, "(second stream)"}, {41, "(container's own number)"}});
  document d;
  ASSERT_TRUE(load(d, b.build()));
  const obj_rec *seven = d.d.find(7);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(seven->in_objstm(), 0);
  EXPECT_EQ(body_of(d, 9), "(second stream)");
  EXPECT_EQ(body_of(d, 41), "(container's own number)");
  // Direct survivors come first, compressed ones after them.
  bool seen_compressed = false;
  for (const obj_rec &r : d.d.objs) {
    if (r.in_objstm()) seen_compressed = true;
    else EXPECT_FALSE(seen_compressed);
  }
}

TEST(ObjectStreams, NestedStreamsAreNotExpanded) {
  int first = 0;
  const std::string inner = objstm_bytes({{60, "(deep)"}}, &first);
  const std::string inner_obj = "<</Type /ObjStm /N 1 /First " + std::to_string(first) +
                                " /Length " + std::to_string(inner.size()) + ">>stream\n" + inner +
                                "\nendstream";
  builder b = testpdf::simple_doc(1);
  add_objstm(b, 40, {{59, inner_obj}});
  document d;
  ASSERT_TRUE(load(d, b.build()));
  EXPECT_NE(body_of(d, 59), "<none>");
  EXPECT_EQ(body_of(d, 60), "<none>");
}

TEST(ObjectStreams, BufferGrowsForHighlyCompressibleData) {
  // 200 kB of blanks compress to a few hundred bytes: far more than eight
  // times the data plus 64 bytes, so the buffer must grow several times.
  builder b = testpdf::simple_doc(1);
  add_objstm(b, 40, {{70, "(x)" + std::string(200000, ' ')}, {71, "(y)"}});
  document d;
  ASSERT_TRUE(load(d, b.build()));
  EXPECT_EQ(body_of(d, 71), "(y)");
  EXPECT_EQ(body_of(d, 70).size(), 200003u);
}

TEST(ObjectStreams, TruncatedFlateStreamIsSkipped) {
  int first = 0;
  std::string z = testpdf::deflated(objstm_bytes({{70, "(x)"}}, &first));
  z.resize(z.size() / 2);
  builder b = testpdf::simple_doc(1);
  b.stream(40, "/Type /ObjStm /N 1 /First " + std::to_string(first) + " /Filter /FlateDecode", z);
  document d;
  ASSERT_TRUE(load(d, b.build()));
  EXPECT_EQ(body_of(d, 70), "<none>");
}

TEST(ObjectStreams, WrittenOutAsPlainObjects) {
  const std::string in = write_temp("cin.pdf", compressed_doc(2, true, " /Rotate 270").build());
  const std::string out = temp_path("cout.pdf");
  ASSERT_EQ(leafturn_page(in.c_str(), out.c_str(), 2, 180), 1) << leafturn_last_error();
  const std::string pdf = read_file(out);
  EXPECT_NE(pdf.find("1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n"), std::string::npos);
  EXPECT_NE(pdf.find("3 0 obj\n<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Rotate "
                     "270>>\nendobj\n"),
            std::string::npos);
  EXPECT_NE(pdf.find("4 0 obj\n<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Rotate "
                     "90 >>\nendobj\n"),
            std::string::npos);
  EXPECT_EQ(pdf.find("50 0 obj"), std::string::npos) << "containers are not written";
  EXPECT_NE(pdf.find("xref\n0 5\n"), std::string::npos);
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 1), 270);
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 2), 90);
  if (testpdf::have_tool("qpdf")) {
    int rc = -1;
    testpdf::run("qpdf --check '" + out + "' >/dev/null 2>&1", &rc);
    EXPECT_EQ(rc, 0);
  }
}

TEST(ObjectStreams, PageThatCannotBeRewrittenFailsTheCall) {
  // A page body without any ">>" is still a page (its /Type stands at the
  // outermost level) but has no dictionary end to write the entry before.
  builder b;
  add_objstm(b, 40,
             {{1, "<</Type /Catalog /Pages 2 0 R>>"},
              {2, "<</Type /Pages /Kids [3 0 R]>>"},
              {3, "/Type /Page"}});
  const std::string in = write_temp("nobody.pdf", b.build());
  const std::string out = temp_path("nobody-out.pdf");
  EXPECT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 0);
  EXPECT_STREQ(leafturn_last_error(), "failed to rebuild body for obj 3");
  EXPECT_FALSE(testpdf::file_exists(out));
}

TEST(ObjectStreams, FilesFromAnIndependentProducer) {
  if (!testpdf::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string plain =
      write_temp("plain.pdf", testpdf::simple_doc(4, "", " /Rotate 90").build());
  const std::string packed = temp_path("packed.pdf");
  int rc = -1;
  testpdf::run("qpdf --object-streams=generate '" + plain + "' '" + packed + "' 2>&1", &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_NE(read_file(packed).find("/ObjStm"), std::string::npos);
  for (int p = 1; p <= 4; ++p) EXPECT_EQ(leafturn_get_rotation(packed.c_str(), p), 90);
  const std::string out = temp_path("packed-out.pdf");
  const int list[] = {1, 3};
  ASSERT_EQ(leafturn_pages(packed.c_str(), out.c_str(), list, 2, 90), 1) << leafturn_last_error();
  testpdf::run("qpdf --check '" + out + "' >/dev/null 2>&1", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(testpdf::run("pdfinfo -f 1 -l 4 '" + out + "' | grep -o 'rot: *[0-9]*' | tr -s ' '"),
            "rot: 180\nrot: 90\nrot: 180\nrot: 90\n");
}

TEST(ObjectStreams, AbbreviatedFilterNameIsExpanded) {
  // /Fl is FlateDecode's abbreviation: the stream is inflated like any
  // other, in a one-element array too.
  for (const char *filter : {"/Fl", "[/Fl]", "[/FlateDecode]"}) {
    SCOPED_TRACE(filter);
    entries objs;
    objs.emplace_back(1, "<</Type /Catalog /Pages 2 0 R>>");
    objs.emplace_back(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>");
    objs.emplace_back(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Rotate 90>>");
    int first = 0;
    const std::string plain = objstm_bytes(objs, &first);
    builder b;
    b.stream(50, "/Type /ObjStm /N 3 /First " + std::to_string(first) + " /Filter " + filter,
             testpdf::deflated(plain));
    document d;
    ASSERT_TRUE(load(d, b.build()));
    ASSERT_EQ(d.d.pages.size(), 1u);
    EXPECT_EQ(body_of(d, 3), objs[2].second);
    EXPECT_EQ(effective_rotation(d.d, d.lex, d.d.pages[0]), 90);
  }
}
