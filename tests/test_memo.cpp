// The memoised searches must answer exactly as the plain primitives do.
// Random byte soups built from PDF tokens (objects sharing distant
// "endobj"s, nested and unclosed dictionaries, strings, escapes, comments,
// hex strings) are loaded, and every memoised answer is compared with the
// plain scan over the same range.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "internal.h"

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

void load_stages(doc &d, const std::string &s) {
  d.data = reinterpret_cast<const u8 *>(s.data());
  d.len = static_cast<i32>(s.size());
  load_trailers(d);
  scan_objects(d);
  expand_object_streams(d);
  select_live(d);
}

}  // namespace

TEST(MemoisedSearches, AgreeWithThePlainScans) {
  struct every_range_memoised {
    i32 saved = g_plain_scan_max;
    every_range_memoised() { g_plain_scan_max = 0; }
    ~every_range_memoised() { g_plain_scan_max = saved; }
  } guard;
  int compared = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    const std::string s = soup(seed, 40 + static_cast<int>(seed % 300));
    doc d;
    load_stages(d, s);
    const u8 *b = d.data;
    for (const obj_rec &o : d.objs) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " object " + std::to_string(o.num));
      ASSERT_EQ(record_type(d, o), obj_type(d, o));
      const u8 *rb;
      i32 lo, hi;
      if (dict_range(d, o, &rb, &lo, &hi)) {
        ASSERT_EQ(own_rotate_name(d, o), find_name_top(rb, hi, lo, hi, "Rotate"));
        ++compared;
      }
    }
    for (i32 i = 0; i + 1 < d.len; ++i) {
      if (b[i] != '<' || b[i + 1] != '<') continue;
      for (i32 end : {d.len, d.len - 3, i + 9}) {
        if (end <= i) continue;
        ASSERT_EQ(dict_close(d, i, end), find_dict_close(b, i, end)) << "seed " << seed << " at " << i;
      }
    }
    for (const char *name : {"Type", "Rotate", "Length", "Kids", "Catalog", "Foo"}) {
      for (i32 i = 0; i < d.len; i += 7)
        ASSERT_EQ(next_name(d, name, i, d.len), find_name(b, d.len, i, d.len, name)) << seed;
    }
    for (const char *kw : {"obj", "endobj", "endstream", "trailer"}) {
      for (i32 i = d.len; i >= 0; i -= 5)
        ASSERT_EQ(next_keyword(d, kw, i), find_kw(b, d.len, i, kw)) << seed;
    }
    doc_free(d);
  }
  EXPECT_GT(compared, 1000);
}
