// SPDX-License-Identifier: MIT
// The syntax layer's readers that later stages build on: the content
// lexer (the tokens of drawing instructions), the value reader (an entry's
// value, direct or through a reference) and the reader of a stream's
// filters and decode parameters.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "load/loader.h"
#include "pdf_builder.h"
#include "syntax/content_lexer.h"
#include "syntax/stream_filters.h"
#include "syntax/value.h"

using namespace lt;

namespace {

const u8 *B(const std::string &s) { return reinterpret_cast<const u8 *>(s.data()); }
i32 L(const std::string &s) { return static_cast<i32>(s.size()); }

// A token as "kind:text" (numbers as their value), for comparing whole runs.
std::string show(const std::string &s, const content_token &t) {
  static const char *const names[] = {"num", "name", "str", "arr", "dict", "op", "image", "comment", "stray", "end"};
  std::string out = names[static_cast<int>(t.kind)];
  if (t.kind == content_kind::number) {
    char v[32];
    std::snprintf(v, sizeof v, "%g", t.value);
    return out + ":" + v;
  }
  if (t.kind == content_kind::end) return out;
  return out + ":" + s.substr(static_cast<size_t>(t.from), static_cast<size_t>(t.to - t.from));
}

// Every token of s (the end included), from a copy of exactly s's bytes on
// the heap, so that a read past the end is a sanitizer's error.
std::vector<std::string> tokens(const std::string &s, bool *cut = nullptr) {
  std::unique_ptr<u8[]> own(new u8[s.size() ? s.size() : 1]);
  if (!s.empty()) std::memcpy(own.get(), s.data(), s.size());
  content_lexer lx(own.get(), L(s));
  std::vector<std::string> out;
  for (int k = 0; k < 1000; ++k) {
    const content_token t = lx.next();
    out.push_back(show(s, t));
    if (t.kind == content_kind::end) break;
  }
  if (cut) *cut = lx.cut();
  return out;
}

using list = std::vector<std::string>;

// A loaded document built in code.
struct loaded_doc {
  document doc;
  explicit loaded_doc(const std::string &bytes) {
    failure err;
    if (!doc_load_bytes(B(bytes), L(bytes), doc, err)) ADD_FAILURE() << err.text();
  }
};

// A document whose object 5 holds `five` and object 6 holds `six`, beside a
// minimal page tree.
std::string doc_with(const std::string &five, const std::string &six = "null") {
  testpdf::builder b = testpdf::simple_doc(1);
  b.obj(5, five);
  b.obj(6, six);
  return b.build();
}

std::string text_of(const span &v) {
  if (!v) return "<none>";
  return std::string(reinterpret_cast<const char *>(v.b + v.start), static_cast<size_t>(v.limit - v.start));
}

}  // namespace

// ---- the content lexer -------------------------------------------------------

TEST(ContentLexer, TokenKinds) {
  EXPECT_EQ(tokens("q 1 0 0 1 72 -7.5 cm /F1 12 Tf (Hi) Tj [(a) -20 (b)] TJ <</MCID 3>> BDC EMC Q"),
            (list{"op:q", "num:1", "num:0", "num:0", "num:1", "num:72", "num:-7.5", "op:cm", "name:F1",
                  "num:12", "op:Tf", "str:(Hi)", "op:Tj", "arr:[(a) -20 (b)]", "op:TJ",
                  "dict:<</MCID 3>>", "op:BDC", "op:EMC", "op:Q", "end"}));
  // Numbers as the format writes them; a lone sign or point is an operator.
  EXPECT_EQ(tokens(".5 +3 -.25 4. - ."), (list{"num:0.5", "num:3", "num:-0.25", "num:4", "op:-", "op:.", "end"}));
  // Tokens end at delimiters; the quote operators are operators.
  EXPECT_EQ(tokens("(a)'(b)\"/N/M[1]"), (list{"str:(a)", "op:'", "str:(b)", "op:\"", "name:N", "name:M", "arr:[1]", "end"}));
  // Bytes that begin nothing come one at a time.
  EXPECT_EQ(tokens(") ] > } {"), (list{"stray:)", "stray:]", "stray:>", "stray:}", "stray:{", "end"}));
  EXPECT_EQ(tokens(""), (list{"end"}));
  EXPECT_EQ(tokens(" \n\t\r\f"), (list{"end"}));
}

TEST(ContentLexer, Comments) {
  EXPECT_EQ(tokens("q % a comment (not a string\nQ%last"),
            (list{"op:q", "comment:% a comment (not a string", "op:Q", "comment:%last", "end"}));
  EXPECT_EQ(tokens("%\r1"), (list{"comment:%", "num:1", "end"}));
}

TEST(ContentLexer, StringsNestAndEscape) {
  EXPECT_EQ(tokens("(a (nested) b) Tj"), (list{"str:(a (nested) b)", "op:Tj", "end"}));
  EXPECT_EQ(tokens("(a \\) b \\( c) Tj"), (list{"str:(a \\) b \\( c)", "op:Tj", "end"}));
  EXPECT_EQ(tokens("(\\\\) Tj"), (list{"str:(\\\\)", "op:Tj", "end"}));
  EXPECT_EQ(tokens("<48 65 6C>Tj<>"), (list{"str:<48 65 6C>", "op:Tj", "str:<>", "end"}));

  // Read as string_bytes reads them, without building them.
  const std::string s = "(a\\nb\\101\\7\\\r\nc\r\nd\re\\q(x)) <4 8 6>";
  std::string built;
  ASSERT_EQ(string_bytes(B(s), 0, L(s), &built), 26);
  EXPECT_EQ(built, std::string("a\nbA\x07" "c\nd\neq(x)"));
  std::string scanned;
  EXPECT_EQ(string_scan(
                B(s), 0, L(s), [&](i32 a, i32 z) { scanned.append(s, static_cast<size_t>(a), static_cast<size_t>(z - a)); },
                [&](u8 c) { scanned += static_cast<char>(c); }),
            26);
  EXPECT_EQ(scanned, built);
  ASSERT_EQ(string_bytes(B(s), 27, L(s), &built), L(s));
  EXPECT_EQ(built, "\x48\x60");  // an odd last digit is followed by 0
  // Long strings cross the sixteen-byte blocks of the scanner.
  const std::string longer = "(" + std::string(40, 'x') + "(" + std::string(20, 'y') + "\\)" + ")" + std::string(17, 'z') + ") Tj";
  EXPECT_EQ(tokens(longer), (list{"str:" + longer.substr(0, longer.size() - 3), "op:Tj", "end"}));
}

TEST(ContentLexer, ArraysAndDictionariesWhole) {
  EXPECT_EQ(tokens("[(a]) [1 2] <</K [3]>> (b)] TJ"), (list{"arr:[(a]) [1 2] <</K [3]>> (b)]", "op:TJ", "end"}));
  EXPECT_EQ(tokens("<</A <</B (>>)>> >> BDC"), (list{"dict:<</A <</B (>>)>> >>", "op:BDC", "end"}));
}

TEST(ContentLexer, InlineImageDataSteppedOver) {
  const std::string s = "q BI /W 4 /H 1 /BPC 8 /CS /G ID \x01(\x02 Tj EIx\x03 EI Q";
  std::unique_ptr<u8[]> own(new u8[s.size()]);
  std::memcpy(own.get(), s.data(), s.size());
  content_lexer lx(own.get(), L(s));
  EXPECT_EQ(show(s, lx.next()), "op:q");
  const content_token img = lx.next();
  ASSERT_EQ(img.kind, content_kind::inline_image);
  EXPECT_EQ(s.substr(static_cast<size_t>(img.from), static_cast<size_t>(img.to - img.from)),
            "BI /W 4 /H 1 /BPC 8 /CS /G ID \x01(\x02 Tj EIx\x03 EI");
  EXPECT_EQ(s.substr(static_cast<size_t>(img.dict_from), static_cast<size_t>(img.dict_to - img.dict_from)),
            " /W 4 /H 1 /BPC 8 /CS /G ");
  EXPECT_EQ(s.substr(static_cast<size_t>(img.data_from), static_cast<size_t>(img.data_to - img.data_from)),
            "\x01(\x02 Tj EIx\x03");
  EXPECT_EQ(show(s, lx.next()), "op:Q");
  EXPECT_EQ(show(s, lx.next()), "end");
  // An image without its "EI" runs to the end.
  EXPECT_EQ(tokens("BI /W 1 ID \xFF\xFF"), (list{"image:BI /W 1 ID \xFF\xFF", "end"}));
  EXPECT_EQ(tokens("BI"), (list{"image:BI", "end"}));
  EXPECT_EQ(tokens("BIG 1"), (list{"op:BIG", "num:1", "end"}));
}

TEST(ContentLexer, DamagedContentEndsWithinItsBytes) {
  bool cut = false;
  EXPECT_EQ(tokens("q (unclosed \\) Tj", &cut), (list{"op:q", "end"}));
  EXPECT_TRUE(cut);
  EXPECT_EQ(tokens("1 [2 (3) 4", &cut), (list{"num:1", "end"}));
  EXPECT_TRUE(cut);
  EXPECT_EQ(tokens("<48", &cut), (list{"end"}));
  EXPECT_TRUE(cut);
  EXPECT_EQ(tokens("(\\", &cut), (list{"end"}));
  EXPECT_TRUE(cut);
  EXPECT_EQ(tokens("<", &cut), (list{"end"}));
  EXPECT_EQ(tokens("/", &cut), (list{"name:", "end"}));
  EXPECT_FALSE(cut);
  EXPECT_EQ(tokens("%", &cut), (list{"comment:%", "end"}));
  EXPECT_EQ(tokens("<<", &cut), (list{"end"}));
  EXPECT_TRUE(cut);
  // Every prefix of a busy stream lexes within its bytes (the heap copy
  // holds exactly the prefix).
  const std::string busy = "q 1 0 0 1 0 0 cm BT /F1 9 Tf [(a\\)b) -3 <41>] TJ (x\\101) ' ET % c\nBI /W 1 ID \x01 EI Q";
  for (size_t n = 0; n <= busy.size(); ++n) tokens(busy.substr(0, n));
}

// ---- the value reader ------------------------------------------------------------

TEST(Values, EntryValueFirstTopLevelKey) {
  const std::string d = "<</A 1 /Sub <</B 2>> /B (x) /C null /D [1 2] /B 3 /E#20F 4>>";
  const span dict{B(d), 0, L(d)};
  EXPECT_EQ(text_of(entry_value(dict, "A")), "1");
  EXPECT_EQ(text_of(entry_value(dict, "B")), "(x)");  // the first at the dictionary's own level
  EXPECT_EQ(text_of(entry_value(dict, "C")), "<none>");  // null is absent
  EXPECT_EQ(text_of(entry_value(dict, "D")), "[1 2]");
  EXPECT_EQ(text_of(entry_value(dict, "E F")), "4");  // #xx resolved
  EXPECT_EQ(text_of(entry_value(dict, "Z")), "<none>");
  EXPECT_EQ(text_of(entry_value(dict, "")), "<none>");
  const std::string cut = "<</A (open";
  EXPECT_EQ(text_of(entry_value(span{B(cut), 0, L(cut)}, "A")), "<none>");
}

TEST(Values, DirectReferenceNullAndMissing) {
  loaded_doc l(doc_with("<</K /V>>", "[7 8]"));
  const doc &d = l.doc.d;
  const std::string v = "<</Direct <</K /W>> /Ref 5 0 R /Arr 6 0 R /Null null /Gone 99 0 R /Num 12>>";
  const span dict{B(v), 0, L(v)};
  EXPECT_EQ(text_of(dict_value(d, entry_value(dict, "Direct"))), "<</K /W>>");
  const span five = dict_value(d, entry_value(dict, "Ref"));
  ASSERT_TRUE(five);
  EXPECT_EQ(text_of(entry_value(five, "K")), "/V");
  i32 num = -1;
  EXPECT_TRUE(resolved(d, entry_value(dict, "Ref"), &num));
  EXPECT_EQ(num, 5);
  EXPECT_EQ(referenced_record(d, entry_value(dict, "Ref"))->num, 5);
  EXPECT_EQ(text_of(array_value(d, entry_value(dict, "Arr"))), "7 8");
  EXPECT_FALSE(dict_value(d, entry_value(dict, "Arr")));
  EXPECT_FALSE(dict_value(d, entry_value(dict, "Null")));
  EXPECT_FALSE(resolved(d, entry_value(dict, "Gone")));
  EXPECT_FALSE(dict_value(d, entry_value(dict, "Missing")));
  EXPECT_EQ(text_of(resolved(d, entry_value(dict, "Num"), &num)), "12");
  EXPECT_EQ(num, 0);
  EXPECT_EQ(referenced_record(d, entry_value(dict, "Num")), nullptr);
}

TEST(Values, OwnRotateValue) {
  const std::string s = "<</Rotate 90 /Rotate -270/Rotate 7 0 R /Rotate /X /Rotate 90.0>>";
  rotate_value v = rotate_value_at(B(s), L(s), 2);
  EXPECT_TRUE(v.present && !v.reference && v.number == 90 && v.end == 12);
  v = rotate_value_at(B(s), L(s), 13);
  EXPECT_TRUE(v.present && v.number == -270);
  v = rotate_value_at(B(s), L(s), 25);
  EXPECT_TRUE(v.present && v.reference && v.number == 7 && s.substr(static_cast<size_t>(v.end - 1), 1) == "R");
  EXPECT_FALSE(rotate_value_at(B(s), L(s), 39).present);
  v = rotate_value_at(B(s), L(s), 50);
  EXPECT_TRUE(v.present && v.number == 90 && s[static_cast<size_t>(v.end)] == '.');
}

// ---- filters and decode parameters -------------------------------------------------

TEST(StreamFilters, NamesAndAbbreviations) {
  const struct {
    const char *full, *abbreviation;
    filter_kind kind;
  } names[] = {{"FlateDecode", "Fl", filter_kind::flate},        {"LZWDecode", "LZW", filter_kind::lzw},
               {"ASCIIHexDecode", "AHx", filter_kind::ascii_hex}, {"ASCII85Decode", "A85", filter_kind::ascii85},
               {"RunLengthDecode", "RL", filter_kind::run_length}, {"CCITTFaxDecode", "CCF", filter_kind::ccitt_fax},
               {"DCTDecode", "DCT", filter_kind::dct}};
  for (const auto &n : names) {
    EXPECT_EQ(filter_named(n.full), n.kind) << n.full;
    EXPECT_EQ(filter_named(n.abbreviation), n.kind) << n.abbreviation;
    EXPECT_STREQ(filter_full_name(n.kind), n.full);
  }
  EXPECT_EQ(filter_named("Crypt"), filter_kind::crypt);
  EXPECT_EQ(filter_named("JPXDecode"), filter_kind::jpx);
  EXPECT_EQ(filter_named("Flate"), filter_kind::unknown);
  EXPECT_EQ(filter_named("fl"), filter_kind::unknown);
}

TEST(StreamFilters, ChainsAndDecodeParameters) {
  // Object 5: a parameter dictionary; object 6: an array of filters.
  loaded_doc l(doc_with("<</Predictor 12 /Columns 5>>", "[/AHx /Fl]"));
  const doc &d = l.doc.d;
  auto chain_of = [&](const std::string &dict, bool *ok = nullptr) {
    std::vector<filter_step> c;
    const bool read = read_filter_chain(d, span{B(dict), 0, L(dict)}, &c);
    if (ok) *ok = read;
    else EXPECT_TRUE(read) << dict;
    return c;
  };

  std::vector<filter_step> c = chain_of("<</Length 3>>");
  EXPECT_TRUE(c.empty());
  c = chain_of("<</Filter /Fl /DecodeParms <</Predictor 12 /Colors 3 /BitsPerComponent 4 /Columns 9 /EarlyChange 0>>>>");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].kind, filter_kind::flate);
  EXPECT_EQ(c[0].parms.predictor, 12);
  EXPECT_EQ(c[0].parms.colors, 3);
  EXPECT_EQ(c[0].parms.bpc, 4);
  EXPECT_EQ(c[0].parms.columns, 9);
  EXPECT_EQ(c[0].parms.early_change, 0);

  // Arrays: one parameter dictionary (or null) per filter.
  c = chain_of("<</Filter [/A85 /LZW /FlateDecode] /DecodeParms [null <</EarlyChange 0>> 5 0 R]>>");
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].kind, filter_kind::ascii85);
  EXPECT_EQ(c[0].parms.predictor, 1);
  EXPECT_EQ(c[1].kind, filter_kind::lzw);
  EXPECT_EQ(c[1].parms.early_change, 0);
  EXPECT_EQ(c[2].kind, filter_kind::flate);
  EXPECT_EQ(c[2].parms.predictor, 12);  // through a reference
  EXPECT_EQ(c[2].parms.columns, 5);

  // References for the filters and the parameters; a one-element array for a
  // chain of one.
  c = chain_of("<</Filter 6 0 R>>");
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[1].kind, filter_kind::flate);
  c = chain_of("<</Filter /FlateDecode /DecodeParms 5 0 R>>");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].parms.predictor, 12);
  c = chain_of("<</Filter [/FlateDecode] /DecodeParms [<</Columns 4>>]>>");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].parms.columns, 4);

  // Null stands for absent, in the entries and in the parameters.
  c = chain_of("<</Filter null /DecodeParms <</Predictor 12>>>>");
  EXPECT_TRUE(c.empty());
  c = chain_of("<</Filter /Fl /DecodeParms null>>");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].parms.predictor, 1);
  c = chain_of("<</Filter /Fl /DecodeParms <</Predictor null /Columns 3>>>>");
  EXPECT_EQ(c[0].parms.predictor, 1);
  EXPECT_EQ(c[0].parms.columns, 3);

  // A value that is not a number: -1 as read, the default when read leniently.
  c = chain_of("<</Filter /Fl /DecodeParms <</Predictor /Up /Columns 4>>>>");
  EXPECT_EQ(c[0].parms.predictor, -1);
  EXPECT_EQ(c[0].parms.lenient().predictor, 1);
  EXPECT_EQ(c[0].parms.lenient().columns, 4);

  // Without following references a referenced value reads as missing.
  std::vector<filter_step> direct;
  const std::string dict = "<</Filter /Fl /DecodeParms 5 0 R>>";
  EXPECT_TRUE(read_filter_chain(d, span{B(dict), 0, L(dict)}, &direct, nullptr));
  ASSERT_EQ(direct.size(), 1u);
  EXPECT_EQ(direct[0].parms.predictor, 1);

  // What cannot be read.
  bool ok = true;
  chain_of("<</Filter 12>>", &ok);
  EXPECT_FALSE(ok);
  chain_of("<</Filter [/Fl 3]>>", &ok);
  EXPECT_FALSE(ok);
  chain_of("<</Filter /Fl /Length (", &ok);
  EXPECT_FALSE(ok);
}
