// SPDX-License-Identifier: MIT
// The byte-scanning primitives decide what the loader recognises in damaged
// files, so their matching rules are pinned down here case by case.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "syntax/lex.h"

using namespace lt;

namespace {

const u8 *B(const std::string &s) { return reinterpret_cast<const u8 *>(s.data()); }
i32 L(const std::string &s) { return static_cast<i32>(s.size()); }

i32 kw(const std::string &s, const char *k, i32 start = 0) { return find_kw(B(s), L(s), start, k); }
i32 name(const std::string &s, const char *n) { return find_name(B(s), L(s), 0, L(s), n); }
i32 top(const std::string &s, const char *n) { return find_name_top(B(s), L(s), 0, L(s), n); }
i32 close_of(const std::string &s) { return find_dict_close(B(s), 0, L(s)); }

}  // namespace

TEST(Keywords, WholeWordsOnly) {
  EXPECT_EQ(kw("endobj", "obj"), -1);
  EXPECT_EQ(kw("objstm", "obj"), -1);
  EXPECT_EQ(kw("2obj", "obj"), -1);
  EXPECT_EQ(kw("1 0 obj<<", "obj"), 4);
  EXPECT_EQ(kw("x obj", "obj"), 2);  // at the very end of the buffer
  EXPECT_EQ(kw("obj obj", "obj", 1), 4);
  EXPECT_EQ(kw("obj", "obj", -5), 0);  // a negative start counts as 0
  const std::string s = "a stream";
  EXPECT_EQ(kw_at(B(s), 2, L(s), "stream"), 1);
  EXPECT_EQ(kw_at(B(s), 3, L(s), "stream"), 0);
  EXPECT_EQ(kw_at(B(s), -1, L(s), "stream"), 0);
  const std::string glued = "xstream";
  EXPECT_EQ(kw_at(B(glued), 1, L(glued), "stream"), 0);
}

TEST(Names, EndAtANonNameByte) {
  EXPECT_EQ(name("/Rotate 90", "Rotate"), 0);
  EXPECT_EQ(name("/Rotate/Foo", "Rotate"), 0);
  EXPECT_EQ(name("/Rotate(", "Rotate"), 0);
  EXPECT_EQ(name("/Rotate.5", "Rotate"), 0);
  EXPECT_EQ(name("/Rotate2", "Rotate"), -1);
  EXPECT_EQ(name("/Rotate_x", "Rotate"), -1);
  EXPECT_EQ(name("/Rotate-1", "Rotate"), -1);
  EXPECT_EQ(name("/Rotates", "Rotate"), -1);
  EXPECT_EQ(name("/Type /Pages", "Pages"), 6);
  EXPECT_EQ(name("<</Length1 5/Length 7>>", "Length"), 12);
  // A name cut by the end of the range matches whatever follows.
  const std::string s = "/Roots";
  EXPECT_EQ(find_name(B(s), L(s), 0, 5, "Root"), 0);
}

TEST(Names, TopLevelSkipsNestingStringsAndComments) {
  EXPECT_EQ(top("<</A <</Type /Page>> >>", "Type"), -1);
  EXPECT_EQ(top("<</A (a /Type b)>>", "Type"), -1);
  EXPECT_EQ(top("<</A 1 % /Type\n>>", "Type"), -1);
  EXPECT_EQ(top("<</Type/Page>>", "Type"), 2);
  EXPECT_EQ(top("<</A <ab/Type> /Type 1>>", "Type"), 15);
  EXPECT_EQ(top("/Type", "Type"), 0);  // before the first "<<" (depth 0)
  EXPECT_EQ(top("<</A 1 % no line end", "Type"), -1);
  EXPECT_EQ(top("<</A (unclosed /Type", "Type"), -1);
  EXPECT_EQ(top("<</A (x\\) /Type) /Type 1>>", "Type"), 17);
}

TEST(DictClose, FollowsNestingAndStrings) {
  const std::string a = "<< /A (x>>y) /B <</C 1>> >>";
  EXPECT_EQ(close_of(a), L(a) - 2);
  const std::string b = "<< /A 1 % >>\n>>";
  EXPECT_EQ(close_of(b), 10);  // comments are not recognised here
  EXPECT_EQ(close_of("<< /A (x\\) >>) >>"), 15);
  EXPECT_EQ(close_of("<< /A 1"), -1);
  EXPECT_EQ(close_of("<< /A 1 >"), -1);
  EXPECT_EQ(close_of("<< (abc)"), -1);  // end right after the string
}

TEST(DictStreamKeyword, OnlyWhiteSpaceBeforeStream) {
  auto stream_kw = [](const std::string &s) {
    return stream_kw_after(B(s), L(s), find_dict_close(B(s), 0, L(s)));
  };
  EXPECT_EQ(stream_kw("<<>>\nendobj"), -1);
  EXPECT_EQ(stream_kw("<<>> x stream"), -1);
  EXPECT_EQ(stream_kw("<</Length 5>>\r\nstream"), 15);
}

TEST(ParseInt, SignsDigitsAndCursor) {
  std::string s = "  -12 0 R";
  i32 c = 0;
  EXPECT_EQ(parse_int_at(B(s), L(s), &c), -12);
  EXPECT_EQ(c, 5);
  for (const char *bad : {"+5", "- 5", "", "   ", "-", "x1"}) {
    std::string t = bad;
    i32 cur = 0;
    EXPECT_EQ(parse_int_at(B(t), L(t), &cur), -1) << bad;
    EXPECT_EQ(cur, 0) << bad;
  }
  s = "007";
  c = 0;
  EXPECT_EQ(parse_int_at(B(s), L(s), &c), 7);
  s = "4294967386";  // wraps in 32 bits
  c = 0;
  EXPECT_EQ(parse_int_at(B(s), L(s), &c), 90);
  s = "12";
  c = 2;
  EXPECT_EQ(parse_int_at(B(s), L(s), &c), -1);
}

TEST(ObjectType, PageAndPagesOnlyAtTheOwnLevel) {
  auto type_of = [](const std::string &dict) {
    doc d;
    std::unique_ptr<u8[]> image(new u8[dict.size()]);
    std::memcpy(image.get(), dict.data(), dict.size());
    d.data.adopt(std::move(image));
    d.len = L(dict);
    obj_rec r;
    r.num = 1;
    r.dict_off = 0;
    return obj_type(d, r);
  };
  EXPECT_EQ(type_of("<</Type /Page>>"), 1);
  EXPECT_EQ(type_of("<</Type/Page/Parent 3 0 R>>"), 1);
  EXPECT_EQ(type_of("<</Type /Pages>>"), 2);
  EXPECT_EQ(type_of("<</Type /PageLabel>>"), 0);
  EXPECT_EQ(type_of("<</Type /Catalog>>"), 0);
  EXPECT_EQ(type_of("<</Type /Catalog /T <</Type /Page>> >>"), 0);
  EXPECT_EQ(type_of("<</Type /Foo /Type /Page>>"), 1);
  EXPECT_EQ(type_of("<</Type /Pagesx>>"), 0);
  EXPECT_EQ(type_of("<</S /Page>>"), 0);
}

TEST(StreamRanges, CompareByStartOnly) {
  EXPECT_EQ(sx_rng_cmp({10, 20}, {10, 5}), 0);
  EXPECT_EQ(sx_rng_cmp({9, 20}, {10, 5}), -1);
  EXPECT_EQ(sx_rng_cmp({11, 0}, {10, 5}), 1);
}
