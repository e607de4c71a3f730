// SPDX-License-Identifier: MIT
// The scanning context's memoised answers must be exactly the plain
// searches'. Random byte soups built from PDF tokens (objects sharing distant
// "endobj"s, nested and unclosed dictionaries, strings, escapes, comments,
// hex strings) are loaded with a context that sends every range through its
// memos, and every answer is compared with the plain search over the same
// range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "load/loader.h"

using namespace lt;

namespace {

std::string soup(unsigned seed, int tokens) {
  static const char *parts[] = {
      " 0 obj ", "<<", ">>", "/Type ", "/Page ", "/Pages ", "/Rotate 90 ", "/Rotate -7 ",
      "(", ")", "\\", "% c", "\n", "\r", "<ab>", "<", ">", " ", "endobj\n", "stream\n",
      "\nendstream", "/Kids [", "]", "/Length 3 ", "/Catalog ", "/Rotate 5 0 R ", "12",
      "/Typex ", "/Type/Pages", "(a\\)b)", "/ObjStm ", "xref\n", "trailer\n<</Root 1 0 R>>",
      "startxref\n9\n"};
  std::mt19937 rng(seed);
  std::string s;
  int num = 1;
  for (int i = 0; i < tokens; ++i) {
    const unsigned r = rng() % 40;
    if (r < 6) s += "\n" + std::to_string(num++ % 50 + 1) + " 0 obj <<";
    else s += parts[r % (sizeof parts / sizeof parts[0])];
  }
  return s;
}

// The loader's stages up to live selection, on a copy of s.
void load_stages(doc &d, scan_ctx &lex, const std::string &s) {
  std::unique_ptr<u8[]> image(new u8[s.size()]);
  std::memcpy(image.get(), s.data(), s.size());
  d.data.adopt(std::move(image));
  d.len = static_cast<i32>(s.size());
  load_trailers(d, lex);
  scan_objects(d, lex);
  select_live(d, expand_object_streams(d, lex));
}

}  // namespace

// With plain_max 0 every range goes through the memos; with a small one,
// short windows are tried plainly first and fall back to the memos.
TEST(MemoisedSearches, AgreeWithThePlainScans) {
  int compared = 0;
  for (const i32 plain_max : {0, 16})
  for (unsigned seed = 1; seed <= 400; ++seed) {
    const std::string s = soup(seed, 40 + static_cast<int>(seed % 300));
    doc d;
    scan_ctx lex(d, plain_max);
    load_stages(d, lex, s);
    const u8 *b = d.data;
    for (const obj_rec &o : d.objs) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " object " + std::to_string(o.num));
      ASSERT_EQ(lex.page_type(o), obj_type(d, o));
      if (const span r = dict_span(d, o)) {
        ASSERT_EQ(lex.own_rotate(o), find_name_top(r.b, r.limit, r.start, r.limit, "Rotate"));
        ++compared;
      }
      // The close the loader recorded answers for the record's own range.
      if (!o.in_objstm() && o.dict_off >= 0) {
        const i32 end = o.is_stream() ? o.stream_kw_off : o.endobj_off;
        if (end > o.dict_off) {
          ASSERT_EQ(lex.record_close(o, end), find_dict_close(b, o.dict_off, end));
        }
      }
    }
    for (i32 i = 0; i + 1 < d.len; ++i) {
      if (b[i] != '<' || b[i + 1] != '<') continue;
      for (i32 end : {d.len, d.len - 3, std::min(i + 9, d.len)}) {
        if (end <= i) continue;
        ASSERT_EQ(lex.dict_close(i, end), find_dict_close(b, i, end)) << "seed " << seed << " at " << i << " plain_max " << plain_max;
      }
    }
    for (int k = 0; k < k_pdf_names; ++k) {
      const pdf_name name = static_cast<pdf_name>(k);
      for (i32 i = 0; i < d.len; i += 7)
        ASSERT_EQ(lex.next_name(name, i, d.len), find_name(b, d.len, i, d.len, text_of(name)))
            << seed;
    }
    for (int k = 0; k < k_keywords; ++k) {
      const keyword kw = static_cast<keyword>(k);
      for (i32 i = d.len; i >= 0; i -= 5)
        ASSERT_EQ(lex.next_keyword(kw, i), find_kw(b, d.len, i, text_of(kw))) << seed;
      ASSERT_EQ(lex.last_keyword(kw), [&] {
        i32 last = -1;
        for (i32 p = find_kw(b, d.len, 0, text_of(kw)); p >= 0; p = find_kw(b, d.len, p + 1, text_of(kw)))
          last = p;
        return last;
      }()) << seed;
    }
  }
  EXPECT_GT(compared, 1000);
}
