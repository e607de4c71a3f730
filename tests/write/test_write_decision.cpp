// SPDX-License-Identifier: MIT
// The one write decision that every front end asks: what is written for a
// document with its turns (the file unchanged, an update, a full rewrite),
// the note to show, and refusals with messages that name the front end's
// own options only where it has them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core.h"
#include "pdf_builder.h"

using namespace lt;

namespace {

// Two pages; a signature field (its value need not verify here) and, when
// asked, a certification.
std::string doc_bytes(bool signed_doc, bool certified) {
  testpdf::builder b;
  std::string catalog = "<</Type /Catalog /Pages 2 0 R";
  if (signed_doc) catalog += " /AcroForm <</Fields [5 0 R] /SigFlags 3>>";
  if (certified) catalog += " /Perms <</DocMDP 6 0 R>>";
  b.obj(1, catalog + ">>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792]>>");
  b.obj(3, "<</Type /Page /Parent 2 0 R>>");
  b.obj(4, "<</Type /Page /Parent 2 0 R /Rotate 90>>");
  b.obj(5, "<</FT /Sig /T (S) /V 6 0 R>>");
  b.obj(6, "<</Type /Sig /ByteRange [0 10 20 30] /Contents <00>>>");
  return b.build();
}

struct loaded_doc {
  document d;
  loaded_doc(const std::string &bytes, const std::string &name) {
    failure err;
    std::unique_ptr<u8[]> block(new u8[bytes.size()]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    EXPECT_TRUE(doc_load_owned(std::move(block), bytes.size(), d, err, name.c_str())) << err.text();
  }
};

write_request cli_request(write_mode mode) {
  write_request r;
  r.mode = mode;
  r.full_option = "--full";
  r.force_option = "--force";
  return r;
}

}  // namespace

TEST(WriteDecision, NothingTurnedIsTheUnchangedFile) {
  loaded_doc doc(doc_bytes(false, false), "a.pdf");
  turn_plan plan(doc.d);
  failure err;
  // Turned and turned back: no page ends anywhere new.
  const std::vector<int> first{1};
  ASSERT_EQ(plan.apply(&first, turn{false, 90}, page_filter::any, err), 1);
  ASSERT_EQ(plan.apply(&first, turn{false, 270}, page_filter::any, err), 1);
  for (write_mode m : {write_mode::automatic, write_mode::incremental, write_mode::full}) {
    write_decision w;
    ASSERT_TRUE(w.decide(doc.d, plan, cli_request(m), "a.pdf", err)) << err.text();
    EXPECT_STREQ(w.mode(), "unchanged");
    EXPECT_EQ(output_bytes(w.result()), doc_bytes(false, false));
  }
}

TEST(WriteDecision, ModesAndTheSignedDefault) {
  for (const bool signed_doc : {false, true}) {
    loaded_doc doc(doc_bytes(signed_doc, false), "a.pdf");
    turn_plan plan(doc.d);
    failure err;
    ASSERT_EQ(plan.apply(nullptr, turn{false, 90}, page_filter::any, err), 2);
    EXPECT_EQ(updates_by_default(doc.d), signed_doc);
    write_decision automatic, incremental, full;
    ASSERT_TRUE(automatic.decide(doc.d, plan, cli_request(write_mode::automatic), "a.pdf", err));
    ASSERT_TRUE(incremental.decide(doc.d, plan, cli_request(write_mode::incremental), "a.pdf", err));
    ASSERT_TRUE(full.decide(doc.d, plan, cli_request(write_mode::full), "a.pdf", err));
    EXPECT_STREQ(automatic.mode(), signed_doc ? "update" : "full");
    EXPECT_STREQ(incremental.mode(), "update");
    EXPECT_STREQ(full.mode(), "full");
    EXPECT_EQ(automatic.note(),
              signed_doc ? "a.pdf is signed: the turns are appended as an update, which keeps its "
                           "signatures (--full writes a fresh file)"
                         : "");
    EXPECT_EQ(incremental.note(), "");
    // The update starts with the input's bytes.
    const std::string in = doc_bytes(signed_doc, false), out = output_bytes(incremental.result());
    EXPECT_EQ(out.compare(0, in.size(), in), 0);
    EXPECT_EQ(output_bytes(full.result()).compare(0, 8, "%PDF-1.4"), 0);
  }
}

TEST(WriteDecision, RefusalsNameOnlyTheOptionsAFrontEndHas) {
  // Certified: refused unless forced, before and after turning.
  loaded_doc cert(doc_bytes(true, true), "c.pdf");
  failure err;
  EXPECT_FALSE(may_change(cert.d, cli_request(write_mode::full), "c.pdf", err));
  EXPECT_STREQ(err.text(), "c.pdf is certified: its certification forbids changing its pages "
                           "(--force turns them all the same)");
  write_request plain;
  EXPECT_FALSE(may_change(cert.d, plain, "c.pdf", err));
  EXPECT_STREQ(err.text(), "c.pdf is certified: its certification forbids changing its pages");
  write_request forced = cli_request(write_mode::full);
  forced.force = true;
  EXPECT_TRUE(may_change(cert.d, forced, "c.pdf", err));

  // A signed file whose update is impossible (its table is gone): the
  // automatic request is refused naming the full rewrite, the incremental
  // one naming it otherwise, and without options the plain advice.
  std::string bytes = doc_bytes(true, false);
  bytes = bytes.substr(0, bytes.find("xref"));
  loaded_doc broken(bytes, "s.pdf");
  turn_plan plan(broken.d);
  ASSERT_EQ(plan.apply(nullptr, turn{false, 90}, page_filter::any, err), 2);
  write_decision w;
  EXPECT_FALSE(w.decide(broken.d, plan, cli_request(write_mode::automatic), "s.pdf", err));
  EXPECT_STREQ(err.text(), "cannot append an update to s.pdf: it has no \"startxref\" (--full "
                           "writes a fresh file, which its signatures will not cover)");
  EXPECT_FALSE(w.decide(broken.d, plan, cli_request(write_mode::incremental), "s.pdf", err));
  EXPECT_STREQ(err.text(), "cannot append an update to s.pdf: it has no \"startxref\" (write a "
                           "full copy instead, with --full)");
  write_request bare;
  EXPECT_FALSE(w.decide(broken.d, plan, bare, "s.pdf", err));
  EXPECT_STREQ(err.text(), "cannot append an update to s.pdf: it has no \"startxref\" (write a "
                           "full copy instead)");
}

TEST(WriteDecision, TurnValuesAreTheCoresOwn) {
  turn t;
  for (long long d : {90LL, 180LL, 270LL, -90LL, -180LL, -270LL}) {
    ASSERT_TRUE(make_turn(false, d, &t)) << d;
    EXPECT_EQ(t.degrees, (d % 360 + 360) % 360);
  }
  for (long long d : {0LL, 45LL, 360LL, -360LL, 450LL, 1LL << 40})
    EXPECT_FALSE(make_turn(false, d, &t)) << d;
  for (long long d : {0LL, 90LL, 180LL, 270LL}) EXPECT_TRUE(make_turn(true, d, &t)) << d;
  for (long long d : {-90LL, 360LL, 45LL}) EXPECT_FALSE(make_turn(true, d, &t)) << d;
  failure err;
  set_page_range_error(err, "12345678901234", 3);
  EXPECT_STREQ(err.text(), "page 12345678901234 out of range (document has 3 pages)");
  set_page_range_error(err, -2147483647L - 1, 3);
  EXPECT_STREQ(err.text(), "page -2147483648 out of range (document has 3 pages)");
}
