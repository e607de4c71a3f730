// SPDX-License-Identifier: MIT
// Which way pages' text runs, and --upright: pages built in code with text
// set every way (Tm, cm, a Form XObject's matrix, Type 0 fonts, invisible
// text, every filter), damaged and hostile content; real files whose
// content is turned sideways here come back upright (pdfinfo), and read
// as before (pdftotext).
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "pdf_builder.h"

namespace {

using testcli::pdfinfo_rotations;
using testcli::q;
using testcli::tool;
using testpdf::builder;
using testpdf::read_file;
using testpdf::run;
using testpdf::temp_path;
using testpdf::write_temp;

const std::string kLine = "(The quick brown fox jumps over the lazy dog.)";  // 44 glyphs

// A one-font document: each page's content (a plain stream; pages from
// object 100 on) and extra objects from number 20 on; /F1 is Helvetica, /F2 a Type 0 font with
// Identity-H, /F3 the same with Identity-V.
std::string doc_of(const std::vector<std::string> &contents, const std::vector<std::string> &more = {},
                   const std::string &page_extra = "") {
  builder b;
  const int n = static_cast<int>(contents.size());
  std::string kids;
  for (int k = 0; k < n; ++k) kids += std::to_string(100 + 2 * k) + " 0 R ";
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) +
               " /Resources <</Font <</F1 10 0 R /F2 11 0 R /F3 12 0 R>> /XObject <</Fm1 20 0 R /Fm2 21 0 R /Im1 22 0 R>>>>>>");
  for (int k = 0; k < n; ++k) {
    b.obj(100 + 2 * k, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                           std::to_string(101 + 2 * k) + " 0 R" + page_extra + ">>");
    b.stream(101 + 2 * k, "", contents[static_cast<size_t>(k)]);
  }
  b.obj(10, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>");
  b.obj(11, "<</Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts []>>");
  b.obj(12, "<</Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-V /DescendantFonts []>>");
  for (size_t k = 0; k < more.size(); ++k) b.raw(more[k]);
  return b.build();
}

// A stream object for doc_of's extras.
std::string stream_obj(int num, const std::string &dict, const std::string &data) {
  return std::to_string(num) + " 0 obj\n<<" + dict + " /Length " + std::to_string(data.size()) +
         ">>\nstream\n" + data + "\nendstream\nendobj\n";
}

std::string text(const std::string &matrix, const std::string &line = kLine, const std::string &font = "/F1 12 Tf") {
  return "BT " + font + " " + matrix + " Tm " + line + " Tj ET";
}

// Each page's "text_direction" and "glyphs" from info --json.
std::vector<std::string> directions(const std::string &path, const std::string &more = "") {
  int rc = -1;
  const std::string json = tool("info --json " + more + q(path), &rc);
  EXPECT_EQ(rc, 0) << json;
  std::vector<std::string> out;
  static const std::regex re("\"text_direction\": \"([a-z]+)\", \"glyphs\": ([0-9]+)");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), re); it != std::sregex_iterator(); ++it)
    out.push_back((*it)[1].str() + " " + (*it)[2].str());
  return out;
}

TEST(TextDirection, EveryWayOfSettingTheTextGivesItsDirection) {
  const std::string form_text = text("1 0 0 1 0 0");
  const std::string path = write_temp(
      "directions.pdf",
      doc_of({text("1 0 0 1 72 700"),                                  // up
              text("0 -1 1 0 72 700"),                                 // tops to the right
              text("-1 0 0 -1 500 100"),                               // upside down
              text("0 1 -1 0 500 100"),                                // tops to the left
              "q 0 1 -1 0 612 0 cm " + text("1 0 0 1 72 300") + " Q",  // left, by cm
              "q 1 0 0 1 50 50 cm /Fm1 Do Q",                          // right, by the form's /Matrix
              text("1 0 0 1 72 700", "<" + std::string(120, '4') + ">", "/F2 10 Tf"),   // 30 codes of two bytes
              text("1 0 0 1 72 700", "<" + std::string(120, '4') + ">", "/F3 10 Tf"),   // vertical writing: up
              "q 612 0 0 792 0 0 cm /Im1 Do Q BT 3 Tr /F1 10 Tf 1 0 0 1 72 700 Tm " + kLine + " Tj ET",
              text("1 0 0 1 72 700", "(Short line)"),                   // too few glyphs
              text("1 0 0 -1 72 700"),                                  // mirrored: tops down
              text("1 0 0 1 72 700", kLine, "/F1 -12 Tf"),              // a negative size turns it over
              text("0.940 0.342 -0.342 0.940 72 700"),                  // 20 degrees off: up
              text("0.906 0.423 -0.423 0.906 72 700")},                 // 25 degrees off: none
             {stream_obj(20, "/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Matrix [0 -1 1 0 0 792]", form_text),
              stream_obj(21, "/Type /XObject /Subtype /Form /BBox [0 0 9 9]", "/Fm2 Do"),
              stream_obj(22, "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8", "\x80")}));
  EXPECT_EQ(directions(path), (std::vector<std::string>{
                                  "up 44", "right 44", "down 44", "left 44", "left 44", "right 44", "up 30",
                                  "up 30", "up 44", "none 10", "down 44", "down 44", "up 44", "none 44"}));
  int rc = -1;
  const std::string shown = tool("info " + q(path), &rc);
  EXPECT_NE(shown.find("page 2: 0 none 612 x 792 portrait text: right (44 glyphs)"), std::string::npos) << shown;
}

TEST(TextDirection, ThePageTurnsToWhereItsTextStandsUpright) {
  // A page already turned: its text's direction is as displayed.
  const std::string path = write_temp(
      "to-upright.pdf", doc_of({text("0 -1 1 0 72 700"), text("1 0 0 1 72 700"), text("-1 0 0 -1 500 100"),
                                text("0 1 -1 0 500 100"), text("1 0 0 1 72 700", "(Few)")}));
  const std::string out = temp_path("uprighted.pdf");
  int rc = -1;
  std::string err;
  const std::string json = tool("rotate " + q(path) + " " + q(out) + " --upright --json", &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_NE(json.find("\"turned\": 3"), std::string::npos) << json;
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{270, 0, 180, 90, 0}));
  EXPECT_EQ(directions(out), (std::vector<std::string>{"up 44", "up 44", "up 44", "up 44", "none 3"}));
  // Upright is where the text stands, whatever the page had: nothing turns again.
  const std::string again = temp_path("again.pdf");
  tool("rotate " + q(out) + " " + q(again) + " --upright --json", &rc, &err);
  EXPECT_EQ(read_file(again), read_file(out));
  // With choices, and mixed with other turns.
  tool("rotate " + q(path) + " " + q(out) + " --upright --pages 1-2 --by 180 --pages 2", &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{270, 180, 0, 0, 0}));
  tool("rotate " + q(path) + " " + q(out) + " --by 90 --pages 1 --upright", &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{270, 0, 180, 90, 0}));
}

TEST(TextDirection, AMajorityOfTwoThirdsDecides) {
  // A sideways table of 39 glyphs beside 70 upright ones: no two thirds;
  // one of 19 beside 114: two thirds.
  const std::string table = text("0 1 -1 0 500 100", "(Sideways table of forty glyphs here!!!!)");
  const std::string upright70 = text("1 0 0 1 72 700") + " " + text("1 0 0 1 72 680", "(And twenty-six glyphs more)");
  const std::string small_table = text("0 1 -1 0 500 100", "(Twenty glyphs, a ta)");
  const std::string path = write_temp("mixed.pdf", doc_of({table + " " + upright70, small_table + " " + upright70 + " " + text("1 0 0 1 72 600")}));
  EXPECT_EQ(directions(path), (std::vector<std::string>{"none 109", "up 133"}));
}

// Encoders for the filters the reader decodes.
std::string hex_of(const std::string &s) {
  static const char *d = "0123456789abcdef";
  std::string o;
  for (const unsigned char c : s) {
    o += d[c >> 4];
    o += d[c & 15];
    if (o.size() % 61 == 60) o += '\n';
  }
  return o + ">";
}
std::string a85_of(const std::string &s) {
  std::string o;
  for (size_t i = 0; i < s.size(); i += 4) {
    unsigned long v = 0;
    const size_t n = std::min<size_t>(4, s.size() - i);
    for (size_t k = 0; k < 4; ++k) v = v * 256 + (k < n ? static_cast<unsigned char>(s[i + k]) : 0);
    if (v == 0 && n == 4) {
      o += 'z';
      continue;
    }
    char g[5];
    for (int k = 4; k >= 0; --k) {
      g[k] = static_cast<char>('!' + v % 85);
      v /= 85;
    }
    o.append(g, n + 1);
  }
  return o + "~>";
}
std::string rle_of(const std::string &s) {
  std::string o;
  for (size_t i = 0; i < s.size(); i += 100) {
    const std::string run = s.substr(i, 100);
    o += static_cast<char>(run.size() - 1);
    o += run;
  }
  return o + static_cast<char>(128);
}
// LZW with a clear code every 200 codes, so that codes stay 9 bits wide.
std::string lzw_of(const std::string &s) {
  std::string o;
  unsigned long acc = 0;
  int bits = 0;
  auto put = [&](int code) {
    acc = (acc << 9) | static_cast<unsigned>(code);
    bits += 9;
    while (bits >= 8) {
      o += static_cast<char>((acc >> (bits - 8)) & 0xFF);
      bits -= 8;
    }
  };
  for (size_t i = 0; i < s.size(); ++i) {
    if (i % 200 == 0) put(256);
    put(static_cast<unsigned char>(s[i]));
  }
  put(257);
  if (bits) o += static_cast<char>((acc << (8 - bits)) & 0xFF);
  return o;
}

TEST(TextDirection, EveryFilterAndChainDecodes) {
  const std::string c = text("0 -1 1 0 72 700");
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R] /Count 1 /Resources <</Font <</F1 10 0 R>>>>>>");
  std::string arr;
  const struct {
    std::string filter, data;
  } parts[] = {
      {"/FlateDecode", testpdf::deflated(c)},
      {"[/ASCIIHexDecode /FlateDecode]", hex_of(testpdf::deflated(c))},
      {"/ASCII85Decode", a85_of(c)},
      {"[/ASCII85Decode /RunLengthDecode]", a85_of(rle_of(c))},
      {"/LZWDecode", lzw_of(c)},
      {"/AHx", hex_of(c)},
  };
  int num = 20;
  for (const auto &p : parts) {
    b.stream(num, "/Filter " + p.filter, p.data);
    arr += std::to_string(num++) + " 0 R ";
  }
  b.obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [" + arr + "]>>");
  b.obj(10, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>");
  const std::string path = write_temp("filters.pdf", b.build());
  EXPECT_EQ(directions(path), (std::vector<std::string>{"right 264"}));
}

TEST(TextDirection, BadContentHasNoDirectionAndBreaksNothing) {
  const std::string loop = "/Fm2 Do " + text("1 0 0 1 72 700");
  const std::string path = write_temp(
      "bad-content.pdf",
      doc_of({"Q Q Q q q q " + text("0 -1 1 0 72 700") + " ] } ) >> Tj TJ cm 1 2 Tm BT ET",  // unbalanced, stray
              "/Fm2 Do /Fm3 Do /Nothing Do",                                                    // forms that loop
              "BI /W 4 /H 4 /CS /G /BPC 8 ID \x01\x02 Tj (x) EI\x03 EI " + text("-1 0 0 -1 500 100"),
              std::string("\x00\xFF garbage (unclosed", 20)},
             {stream_obj(21, "/Type /XObject /Subtype /Form /BBox [0 0 9 9] /Resources <</XObject <</Fm2 23 0 R>> /Font <</F1 10 0 R>>>>", loop),
              stream_obj(23, "/Type /XObject /Subtype /Form /BBox [0 0 9 9] /Resources <</XObject <</Fm2 21 0 R>> /Font <</F1 10 0 R>>>>", loop)}));
  const std::vector<std::string> got = directions(path);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], "right 44");
  EXPECT_EQ(got[1], "up 88");  // each form once on the way in: the loop stops there
  EXPECT_EQ(got[2], "down 44");
  EXPECT_EQ(got[3], "none 0");

  // A content stream that decodes past the budget: info says so.
  const std::string bomb = testpdf::deflated(std::string(100u << 20, ' ') + text("1 0 0 1 72 700"));
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R 5 0 R] /Count 2 /Resources <</Font <</F1 10 0 R>>>>>>");
  b.obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>");
  b.stream(4, "/Filter /FlateDecode", bomb);
  b.obj(5, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R>>");
  b.stream(6, "", text("0 -1 1 0 72 700"));
  b.obj(10, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica>>");
  const std::string bombed = write_temp("bombed.pdf", b.build());
  int rc = -1;
  const std::string shown = tool("info " + q(bombed), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(shown.find("text: reading stopped at the decoding budget"), std::string::npos) << shown;
  EXPECT_NE(tool("info --json " + q(bombed), &rc).find("\"text_budget_reached\": true"), std::string::npos);
  // The rest of a turn still works.
  const std::string out = temp_path("bombed-out.pdf");
  tool("rotate " + q(bombed) + " " + q(out) + " --by 90 --pages 1 --upright", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90, 0}));
}

TEST(TextDirection, EncryptedContentIsReadWithTheKey) {
  if (!testpdf::have_tool("qpdf")) GTEST_SKIP() << "qpdf is needed";
  const std::string plain = write_temp("enc-text.pdf", doc_of({text("0 -1 1 0 72 700"), text("1 0 0 1 72 700")}));
  for (const char *user : {"", "user"}) {
    const std::string enc = temp_path("enc-text-locked.pdf");
    run("qpdf --encrypt '" + std::string(user) + "' owner 256 -- --object-streams=disable " + q(plain) + " " + q(enc));
    // With the key (the empty password, or the one given) the direction is read;
    // without it the pages have none, and other turns still work.
    EXPECT_EQ(directions(enc, *user ? "--password user " : ""), (std::vector<std::string>{"right 44", "up 44"}));
    if (*user) {
      EXPECT_EQ(directions(enc), (std::vector<std::string>{"none 0", "none 0"}));
      const std::string out = temp_path("enc-text-out.pdf");
      int rc = -1;
      tool("rotate " + q(enc) + " " + q(out) + " --upright --password user", &rc);
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(directions(out, "--password user "), (std::vector<std::string>{"up 44", "up 44"}));
    }
  }
}

// ---- real files turned sideways here --------------------------------------------------

// A copy of `in` whose pages show their content turned a quarter turn
// counterclockwise `quarters` times (its boxes turned with it), made with
// qpdf's QDF form and fix-qdf.
std::string sideways(const std::string &in, int quarters, const std::string &name) {
  const std::string qdf = temp_path(name + "-qdf.pdf");
  run("qpdf --qdf --object-streams=disable " + q(in) + " " + q(qdf));
  std::string s = read_file(qdf);
  // Each page's own box: [x0 y0 W H] with x0 = y0 = 0 in the files used.
  static const std::regex box("/MediaBox \\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)\\s*\\]");
  std::smatch m;
  std::string w = "612", h = "792";
  if (std::regex_search(s, m, box)) {
    w = m[1].str();
    h = m[2].str();
  }
  const std::string matrix[] = {"1 0 0 1 0 0", "0 1 -1 0 " + h + " 0", "-1 0 0 -1 " + w + " " + h,
                                "0 -1 1 0 0 " + w};
  if (quarters % 2) s = std::regex_replace(s, box, "/MediaBox [0 0 $2 $1]");
  for (size_t at = 0; (at = s.find("%% Contents for page", at)) != std::string::npos;) {
    const size_t data = s.find("stream\n", at) + 7;
    s.insert(data, "q " + matrix[quarters] + " cm\n");
    const size_t end = s.find("\nendstream", data);
    s.insert(end, "\nQ");
    at = end;
  }
  const std::string edited = write_temp(name + "-edited.pdf", s);
  const std::string out = temp_path(name + ".pdf");
  run("fix-qdf " + q(edited) + " > " + q(out));
  return out;
}

// The words pdftotext reads, in order.
std::string words(const std::string &path) {
  std::istringstream in(run("pdftotext " + q(path) + " - 2>/dev/null"));
  std::string all, w;
  while (in >> w) all += w + " ";
  return all;
}

TEST(TextDirection, RealFilesTurnedSidewaysComeBackUpright) {
  if (!testpdf::have_tool("qpdf") || !testpdf::have_tool("fix-qdf") || !testpdf::have_tool("pdftotext") ||
      !testpdf::have_tool("pdfinfo"))
    GTEST_SKIP() << "qpdf and poppler are needed";
  const std::string names[] = {"004-pdflatex-4-pages_pdflatex-4-pages.pdf",
                               "002-trivial-libre-office-writer_002-trivial-libre-office-writer.pdf",
                               "011-google-doc-document_google-doc-document.pdf"};
  const char *seen[] = {"up", "left", "down", "right"};
  const int undo[] = {0, 90, 180, 270};
  for (const std::string &name : names) {
    const std::string src = testpdf::corpus_dir() + "/" + name;
    const std::string original = words(src);
    ASSERT_GT(original.size(), 40u) << name;
    for (int k = 0; k < 4; ++k) {
      SCOPED_TRACE(name + " turned " + std::to_string(k));
      const std::string in = sideways(src, k, "side-" + std::to_string(k));
      for (const std::string &d : directions(in)) EXPECT_EQ(d.substr(0, d.find(' ')), seen[k]);
      const std::string out = temp_path("side-upright.pdf");
      int rc = -1;
      std::string err;
      tool("rotate " + q(in) + " " + q(out) + " --upright", &rc, &err);
      ASSERT_EQ(rc, 0) << err;
      for (const int r : pdfinfo_rotations(out)) EXPECT_EQ(r, undo[k]);
      EXPECT_EQ(words(out), original);
      // Upright already: the file comes out as it went in.
      if (k == 0) {
        EXPECT_EQ(read_file(out), read_file(in));
      }
    }
  }
}

}  // namespace
