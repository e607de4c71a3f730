// SPDX-License-Identifier: MIT
// The fax decoder judged by independent tools: pages of the shared corpus
// and pictures made here, written as fax data by PIL and by libtiff's
// tiffcp and decoded by them (tests/decoders/ccitt_cases.py), must decode to the
// same pixels, at every reduction; Group 4 images in PDFs made by tiff2pdf
// and img2pdf decode with their /DecodeParms (checked against what
// pdfimages reads) to what poppler decodes. Hand-made data covers each
// code; damaged, cut and hostile data give a partial image or none, never
// a crash.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ccitt.h"
#include "pdf_builder.h"

namespace {

using bytes = std::vector<std::uint8_t>;

struct decoded {
  bool ok = false;
  int w = 0, h = 0;
  bool complete = false;
  const char *why = nullptr;
  bytes px;
};

decoded decode(const bytes &in, const lt::ccitt_params &p) {
  decoded d;
  d.ok = lt::ccitt_decode_grey(in.data(), in.size(), p, &d.px, &d.w, &d.h, &d.complete, &d.why);
  EXPECT_EQ(d.px.size(), std::size_t(d.w) * std::size_t(d.h));
  if (!d.ok) {
    EXPECT_NE(d.why, nullptr);
  }
  return d;
}

// Bytes from '0' and '1' (anything else is ignored), the last byte padded
// with 0 bits.
bytes from_bits(const std::string &bits) {
  bytes out;
  int n = 0;
  for (char c : bits) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= std::uint8_t(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

// '#' for black (0), '.' for white (255).
std::vector<std::string> rows_of(const decoded &d) {
  std::vector<std::string> rows;
  for (int y = 0; y < d.h; ++y) {
    std::string s;
    for (int x = 0; x < d.w; ++x) {
      const std::uint8_t v = d.px[std::size_t(y) * std::size_t(d.w) + std::size_t(x)];
      s += v == 0 ? '#' : v == 255 ? '.' : '?';
    }
    rows.push_back(s);
  }
  return rows;
}

lt::ccitt_params params(int k, int columns, int rows = 0) {
  lt::ccitt_params p;
  p.k = k;
  p.columns = columns;
  p.rows = rows;
  return p;
}

bytes read_bytes(const std::string &path) {
  const std::string s = testpdf::read_file(path);
  return bytes(s.begin(), s.end());
}

// ---- cases made by the independent tools ----

struct fax_case {
  std::string name;
  int columns = 0, rows = 0, strips = 0, rows_per_strip = 0, k = 0;
  bool align = false, eol = false, black_is_1 = false;
  std::string source() const { return name.substr(0, name.find('~')); }
};

std::string shared_corpus() {
  return std::string(LEAFTURN_SOURCE_DIR) + "/../shared/corpus";
}

bool have_pil() {
  int status = 0;
  testpdf::run("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1", &status);
  if (status == 0) return true;
  const char *allow = std::getenv("LEAFTURN_ALLOW_MISSING_TOOLS");
  if (!allow || std::string(allow) != "1")
    ADD_FAILURE() << "Debian's /usr/bin/python3 with PIL (python3-pil) is needed by this test "
                  << "(or set LEAFTURN_ALLOW_MISSING_TOOLS=1 to skip what needs it)";
  return false;
}

// The folder of cases, made once for the suite; "" when a tool is missing.
const std::string &cases_dir() {
  static std::string dir;
  static bool tried = false;
  if (tried) return dir;
  tried = true;
  for (const char *tool : {"tiffcp", "tiff2pdf", "img2pdf", "pdfimages", "pdftoppm"})
    if (!testpdf::have_tool(tool)) return dir;
  if (!have_pil()) return dir;
  const std::string out = testpdf::temp_path("ccitt-cases");
  std::string sources;
  const std::string corpus = shared_corpus();
  if (testpdf::file_exists(corpus + "/README.md")) {
    // Text pages at 150 dpi, as pdftoppm thresholds them (-mono) and as
    // grey thresholded here (ragged edges).
    const char *pages[][2] = {{"004-pdflatex-4-pages_pdflatex-4-pages.pdf", "-mono"},
                              {"011-google-doc-document_google-doc-document.pdf", "-gray"},
                              {"026-latex-multicolumn_multicolumn.pdf", "-mono"},
                              {"015-arabic_habibi.pdf", "-gray"}};
    int i = 0;
    for (auto &page : pages) {
      const std::string root = out + "-page" + std::to_string(++i);
      int status = 0;
      testpdf::run("pdftoppm -r 150 " + std::string(page[1]) + " -f 1 -l 1 -singlefile '" +
                       corpus + "/" + page[0] + "' '" + root + "'",
                   &status);
      EXPECT_EQ(status, 0) << page[0];
      sources += " '" + root + (std::string(page[1]) == "-mono" ? ".pbm'" : ".pgm'");
    }
    sources += " 'pdf:" + corpus + "/007-imagemagick-images_imagemagick-CCITTFaxDecode.pdf'";
  }
  for (const char *s : {"long-runs", "noise", "slants", "thin", "odd", "black", "white"})
    sources += std::string(" synth:") + s;
  int status = 0;
  const std::string log = testpdf::run("/usr/bin/python3 '" + std::string(LEAFTURN_SOURCE_DIR) +
                                           "/tests/decoders/ccitt_cases.py' '" + out + "'" + sources +
                                           " 2>&1",
                                       &status);
  EXPECT_EQ(status, 0) << log;
  if (status == 0) dir = out;
  return dir;
}

std::vector<fax_case> load_cases() {
  std::vector<fax_case> cases;
  std::istringstream in(testpdf::read_file(cases_dir() + "/cases.txt"));
  fax_case c;
  int align, eol, bis1;
  while (in >> c.name >> c.columns >> c.rows >> c.strips >> c.rows_per_strip >> c.k >> align >> eol >>
         bis1) {
    c.align = align;
    c.eol = eol;
    c.black_is_1 = bis1;
    cases.push_back(c);
  }
  return cases;
}

lt::ccitt_params params_of(const fax_case &c, int rows) {
  lt::ccitt_params p = params(c.k, c.columns, rows);
  p.encoded_byte_align = c.align;
  p.end_of_line = c.eol;
  p.black_is_1 = c.black_is_1;
  return p;
}

// The whole picture, strip after strip, at a reduction of 1 (each strip is
// coded on its own).
bytes decode_case(const fax_case &c, bool *all_complete) {
  bytes all;
  *all_complete = true;
  for (int i = 0; i < c.strips; ++i) {
    const int rows = std::min(c.rows_per_strip, c.rows - i * c.rows_per_strip);
    const decoded d =
        decode(read_bytes(cases_dir() + "/" + c.name + "." + std::to_string(i) + ".fax"),
               params_of(c, rows));
    EXPECT_TRUE(d.ok) << c.name << " strip " << i << ": " << (d.why ? d.why : "");
    EXPECT_EQ(d.w, c.columns);
    EXPECT_EQ(d.h, rows);
    *all_complete = *all_complete && d.complete;
    all.insert(all.end(), d.px.begin(), d.px.end());
  }
  return all;
}

// The first row where two pictures differ, or -1.
int first_difference(const bytes &a, const bytes &b, int width) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return int(i / std::size_t(width));
  return a.size() == b.size() ? -1 : int(n / std::size_t(width));
}

#define NEED_CASES()                                        \
  if (cases_dir().empty()) GTEST_SKIP() << "a checker is missing"

}  // namespace

// ---- Group 4 rows, 1 bit a pixel ----

struct packed {
  lt::ccitt_rows r;
  bytes px;
};

// Rows of 16 pixels (2 bytes), the buffer first filled with 0xAA so that
// rows left untouched show.
packed g4_rows(const bytes &in, int rows, bool byte_align = false) {
  packed p;
  p.px.assign(std::size_t(rows) * 2, 0xAA);
  p.r = lt::ccitt_decode_g4_rows(in.data(), in.size(), 16, rows, byte_align, p.px.data(), 2);
  return p;
}

TEST(CcittRows, PackedRowsWithAndWithoutEndOfBlock) {
  // ....####....#### in horizontal mode, then .....####....### in VR1s.
  const std::string two = "001 1011 011  001 1011 011  011 011 011 1";  // 30 bits
  const bytes want = {0x0F, 0x0F, 0x07, 0x87};
  packed p = g4_rows(from_bits(two), 2);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::done);
  EXPECT_EQ(p.r.rows, 2);
  EXPECT_EQ(p.r.used, 4u);
  EXPECT_EQ(p.px, want);
  // The EOFB after the last row is read and counted.
  p = g4_rows(from_bits(two + " 000000000001 000000000001 11111111"), 2);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::done);
  EXPECT_EQ(p.r.used, 7u);
  EXPECT_EQ(p.px, want);
  // An EOFB before the last row stops there; the row it stopped is white
  // and the one after it untouched.
  p = g4_rows(from_bits(two + " 000000000001 000000000001"), 4);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::end_of_block);
  EXPECT_EQ(p.r.rows, 2);
  EXPECT_EQ(p.r.used, 7u);
  const bytes cut = {0x0F, 0x0F, 0x07, 0x87, 0x00, 0x00, 0xAA, 0xAA};
  EXPECT_EQ(p.px, cut);
  // Byte-aligned rows.
  p = g4_rows(from_bits("001 1011 011 001 1011 011 0000 011 011 011 1"), 2, true);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::done);
  EXPECT_EQ(p.px, want);
}

TEST(CcittRows, ABadCodeKeepsTheRowUpToItsLastGoodCode) {
  const std::string first = "001 1011 011  001 1011 011 ";
  // VR1 twice (black 5..9), then no code: the black run stands.
  packed p = g4_rows(from_bits(first + "011 011 0000000 1"), 3);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::bad_code);
  EXPECT_EQ(p.r.rows, 1);
  EXPECT_EQ(p.px, (bytes{0x0F, 0x0F, 0x07, 0x80, 0xAA, 0xAA}));
  // A black run begun by the last good code is left white.
  p = g4_rows(from_bits(first + "011 0000000 1"), 2);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::bad_code);
  EXPECT_EQ(p.px, (bytes{0x0F, 0x0F, 0x00, 0x00}));
  // White 15 and black 3 pass the end of a row of 16.
  EXPECT_EQ(g4_rows(from_bits("001 110101 10 1111"), 1).r.stop, lt::ccitt_stop::too_wide);
  // A bad second run after a long first one (white 64) is a bad code.
  EXPECT_EQ(g4_rows(from_bits("001 11011 00110101 000000000000 0"), 1).r.stop,
            lt::ccitt_stop::bad_code);
  EXPECT_EQ(g4_rows(from_bits("0000001111 0000"), 1).r.stop, lt::ccitt_stop::uncompressed);
  EXPECT_EQ(g4_rows(from_bits("0000001011 0000"), 1).r.stop, lt::ccitt_stop::extension);
  // Six white rows of V0; a seventh begun by VL1 (its last bit past the
  // end of the data) has no data for its next code.
  p = g4_rows(bytes{0xFD}, 6);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::done);
  EXPECT_EQ(p.r.used, 1u);
  p = g4_rows(bytes{0xFD}, 8);
  EXPECT_EQ(p.r.stop, lt::ccitt_stop::data_ended);
  EXPECT_EQ(p.r.rows, 6);
  EXPECT_EQ(g4_rows(bytes{}, 1).r.stop, lt::ccitt_stop::bad_code);
  bytes none;
  EXPECT_EQ(lt::ccitt_decode_g4_rows(none.data(), 0, 0, 1, false, nullptr, 0).stop,
            lt::ccitt_stop::bad_size);
}

TEST(CcittRows, GroupFourCasesDecodeAsTheGreyDecoderDoes) {
  NEED_CASES();
  int n = 0;
  for (const fax_case &c : load_cases()) {
    if (c.k >= 0) continue;
    SCOPED_TRACE(c.name);
    for (int i = 0; i < c.strips; ++i) {
      const int rows = std::min(c.rows_per_strip, c.rows - i * c.rows_per_strip);
      const bytes in = read_bytes(cases_dir() + "/" + c.name + "." + std::to_string(i) + ".fax");
      const decoded g = decode(in, params_of(c, rows));
      const std::size_t stride = (std::size_t(c.columns) + 7) / 8;
      bytes px(stride * std::size_t(rows), 0xAA);
      const lt::ccitt_rows r = lt::ccitt_decode_g4_rows(in.data(), in.size(), c.columns, rows,
                                                        c.align, px.data(), stride);
      EXPECT_EQ(r.stop, lt::ccitt_stop::done);
      EXPECT_EQ(r.rows, rows);
      EXPECT_LE(r.used, in.size());
      ASSERT_EQ(g.px.size(), std::size_t(c.columns) * std::size_t(rows));
      const std::uint8_t black = c.black_is_1 ? 255 : 0;
      int bad = 0;
      for (int y = 0; y < rows; ++y)
        for (int x = 0; x < c.columns; ++x) {
          const int bit = px[std::size_t(y) * stride + std::size_t(x) / 8] >> (7 - x % 8) & 1;
          if (bit != (g.px[std::size_t(y) * std::size_t(c.columns) + std::size_t(x)] == black)) ++bad;
        }
      EXPECT_EQ(bad, 0) << "strip " << i;
      ++n;
    }
  }
  EXPECT_GT(n, 0);
}

// ---- against libtiff and PIL ----

TEST(CcittTools, EveryWriterAndModeDecodesAsLibtiffAndPilDo) {
  NEED_CASES();
  const std::vector<fax_case> cases = load_cases();
  ASSERT_GT(cases.size(), 60u);
  int pages = 0;
  for (const fax_case &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name.find("page") != std::string::npos) ++pages;
    bool complete = false;
    const bytes got = decode_case(c, &complete);
    EXPECT_TRUE(complete);
    const bytes ref = read_bytes(cases_dir() + "/" + c.name + ".ref");
    const bytes src = read_bytes(cases_dir() + "/" + c.source() + ".src");
    ASSERT_EQ(ref.size(), std::size_t(c.columns) * std::size_t(c.rows));
    EXPECT_EQ(first_difference(got, ref, c.columns), -1) << "against PIL's decoding";
    EXPECT_EQ(first_difference(got, src, c.columns), -1) << "against the picture written";
  }
  if (testpdf::file_exists(shared_corpus() + "/README.md")) {
    EXPECT_GT(pages, 40);
  }
}

TEST(CcittTools, ReducedByTwoAndFourAsPilReducesThePicture) {
  NEED_CASES();
  for (const fax_case &c : load_cases()) {
    if (c.strips != 1) continue;
    SCOPED_TRACE(c.name);
    const bytes data = read_bytes(cases_dir() + "/" + c.name + ".0.fax");
    for (int r : {2, 4}) {
      lt::ccitt_params p = params_of(c, c.rows);
      p.reduce = r;
      const decoded d = decode(data, p);
      ASSERT_TRUE(d.ok);
      EXPECT_TRUE(d.complete);
      EXPECT_EQ(d.w, (c.columns + r - 1) / r);
      EXPECT_EQ(d.h, (c.rows + r - 1) / r);
      const bytes want = read_bytes(cases_dir() + "/" + c.source() + ".r" + std::to_string(r));
      EXPECT_EQ(first_difference(d.px, want, d.w), -1) << "reduce " << r;
    }
  }
}

TEST(CcittTools, WithoutRowsTheDataSaysWhereThePictureEnds) {
  NEED_CASES();
  for (const fax_case &c : load_cases()) {
    if (c.strips != 1) continue;
    SCOPED_TRACE(c.name);
    const bytes data = read_bytes(cases_dir() + "/" + c.name + ".0.fax");
    for (int r : {1, 2}) {
      lt::ccitt_params p = params_of(c, 0);
      p.reduce = r;
      const decoded d = decode(data, p);
      ASSERT_TRUE(d.ok);
      EXPECT_TRUE(d.complete) << (d.why ? d.why : "");
      EXPECT_EQ(d.h, (c.rows + r - 1) / r);
      const bytes want = read_bytes(cases_dir() + "/" + c.source() + (r == 1 ? ".src" : ".r2"));
      EXPECT_EQ(first_difference(d.px, want, d.w), -1);
    }
    // /EndOfBlock false reads the same data the same way.
    lt::ccitt_params p = params_of(c, c.rows);
    p.end_of_block = false;
    const decoded d = decode(data, p);
    EXPECT_TRUE(d.complete);
    EXPECT_EQ(first_difference(d.px, read_bytes(cases_dir() + "/" + c.source() + ".src"), d.w), -1);
  }
}

TEST(CcittTools, BlackIs1SwapsTheSamples) {
  NEED_CASES();
  for (const fax_case &c : load_cases()) {
    if (c.strips != 1 || c.name.find("tc-g4-mib") == std::string::npos) continue;
    SCOPED_TRACE(c.name);
    lt::ccitt_params p = params_of(c, c.rows);
    p.black_is_1 = !p.black_is_1;
    const decoded d = decode(read_bytes(cases_dir() + "/" + c.name + ".0.fax"), p);
    const bytes src = read_bytes(cases_dir() + "/" + c.source() + ".src");
    ASSERT_EQ(d.px.size(), src.size());
    for (std::size_t i = 0; i < src.size(); ++i) ASSERT_EQ(d.px[i], 255 - src[i]) << i;
  }
}

// Reads "/Name value" out of the image's /DecodeParms in the PDF's bytes
// (the writers here leave the image dictionary uncompressed).
std::string decode_parm(const std::string &pdf, const std::string &name) {
  const std::size_t at = pdf.find("/DecodeParms");
  if (at == std::string::npos) return "";
  const std::size_t end = pdf.find(">>", at);
  const std::string dict = pdf.substr(at, end - at);
  std::size_t k = dict.find("/" + name);
  while (k != std::string::npos && std::isalpha(static_cast<unsigned char>(dict[k + 1 + name.size()])))
    k = dict.find("/" + name, k + 1);
  if (k == std::string::npos) return "";
  std::istringstream in(dict.substr(k + 1 + name.size()));
  std::string v;
  in >> v;
  return v;
}

TEST(CcittTools, GroupFourInPdfDecodesWithItsDecodeParmsAsPopplerDoes) {
  NEED_CASES();
  std::istringstream in(testpdf::read_file(cases_dir() + "/pdfcases.txt"));
  std::string name, pdf_path, fax_path, params_path, poppler_path;
  int seen = 0;
  while (in >> name >> pdf_path >> fax_path >> params_path >> poppler_path) {
    SCOPED_TRACE(name);
    ++seen;
    const std::string pdf = testpdf::read_file(pdf_path);
    lt::ccitt_params p;
    p.k = std::atoi(decode_parm(pdf, "K").c_str());
    p.columns = std::atoi(decode_parm(pdf, "Columns").c_str());
    p.rows = std::atoi(decode_parm(pdf, "Rows").c_str());
    p.black_is_1 = decode_parm(pdf, "BlackIs1") == "true";
    p.encoded_byte_align = decode_parm(pdf, "EncodedByteAlign") == "true";
    // pdfimages' reading of the same parameters.
    std::istringstream params(testpdf::read_file(params_path));
    std::string opt;
    int columns = -1;
    bool g4 = false, aligned = true, black_is_1 = false;
    while (params >> opt) {
      if (opt == "-4") g4 = true;
      if (opt == "-P") aligned = false;
      if (opt == "-X") params >> columns;
      if (opt == "-W") black_is_1 = true;
    }
    EXPECT_TRUE(g4);
    EXPECT_LT(p.k, 0);
    EXPECT_EQ(p.columns, columns);
    EXPECT_EQ(p.black_is_1, black_is_1);
    EXPECT_EQ(p.encoded_byte_align, aligned);
    const decoded d = decode(read_bytes(fax_path), p);
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.complete);
    EXPECT_EQ(d.w, p.columns);
    EXPECT_EQ(d.h, p.rows);
    EXPECT_EQ(first_difference(d.px, read_bytes(poppler_path), d.w), -1) << "against poppler";
    if (name.find('~') != std::string::npos) {
        EXPECT_EQ(first_difference(d.px, read_bytes(cases_dir() + "/" + name.substr(0, name.find('~')) + ".src"), d.w), -1);
    }
  }
  EXPECT_GE(seen, 4);
}

// ---- damaged data ----

TEST(CcittDamaged, CutShortKeepsTheRowsBeforeTheCutAndLeavesTheRestWhite) {
  NEED_CASES();
  for (const fax_case &c : load_cases()) {
    if (c.strips != 1 || c.rows < 100) continue;
    SCOPED_TRACE(c.name);
    const bytes data = read_bytes(cases_dir() + "/" + c.name + ".0.fax");
    const bytes src = read_bytes(cases_dir() + "/" + c.source() + ".src");
    const std::uint8_t white = c.black_is_1 ? 0 : 255;  // the sample of coded white
    int last_first = -1;
    for (int i = 1; i < 40; ++i) {
      const bytes cut(data.begin(), data.begin() + std::ptrdiff_t(data.size() * std::size_t(i) / 40));
      const decoded d = decode(cut, params_of(c, c.rows));
      if (!d.ok) continue;  // cut inside the first row
      EXPECT_FALSE(d.complete);
      EXPECT_NE(d.why, nullptr);
      ASSERT_EQ(d.h, c.rows);
      const int first = first_difference(d.px, src, c.columns);
      if (first < 0) continue;  // cut in the blank rows at the foot
      EXPECT_GE(first, last_first) << "a longer cut keeps as many rows";
      last_first = first;
      // Past the row the cut fell in, nothing was decoded.
      for (std::size_t j = std::size_t(first + 1) * std::size_t(c.columns); j < d.px.size(); ++j)
        ASSERT_EQ(d.px[j], white) << "row " << j / std::size_t(c.columns);
    }
    EXPECT_GT(last_first, 0);
  }
}

TEST(CcittDamaged, GroupThreeRecoversAtTheNextEndOfLine) {
  NEED_CASES();
  int checked = 0;
  for (const fax_case &c : load_cases()) {
    if (c.strips != 1 || c.k < 0 || !c.eol || c.rows < 100) continue;
    SCOPED_TRACE(c.name);
    const bytes data = read_bytes(cases_dir() + "/" + c.name + ".0.fax");
    const bytes src = read_bytes(cases_dir() + "/" + c.source() + ".src");
    std::mt19937 rng(7);
    int recovered = 0;
    const int trials = 40;
    for (int trial = 0; trial < trials; ++trial) {
      bytes bad = data;
      const std::size_t at = data.size() / 4 + rng() % (data.size() / 2);
      bad[at] = std::uint8_t(bad[at] ^ (1u << (rng() % 8)));
      const decoded d = decode(bad, params_of(c, c.rows));
      ASSERT_TRUE(d.ok);
      ASSERT_EQ(d.h, c.rows);
      int differ = 0;
      for (int y = 0; y < c.rows; ++y)
        differ += !std::equal(d.px.begin() + std::ptrdiff_t(y) * c.columns,
                              d.px.begin() + std::ptrdiff_t(y + 1) * c.columns,
                              src.begin() + std::ptrdiff_t(y) * c.columns);
      // The damaged row, or, two-dimensionally, the rows up to the next
      // one-dimensional one (libtiff writes every other row so). A flip
      // that makes eleven 0 bits inside a row fakes an EOL, which no
      // decoder can tell from a real one: the rows after it may move.
      recovered += differ <= (c.k > 0 ? 3 : 1);
      ++checked;
    }
    EXPECT_GE(recovered, trials * 9 / 10);
  }
  EXPECT_GT(checked, 100);
}

TEST(CcittDamaged, DamagedRowsBeforeErrorTolerates) {
  // Three rows of 8 with EOLs, the middle one damaged (a black run where a
  // white code is due runs past the width).
  const std::string eol = "000000000001";
  const std::string good_row = "1000 0011";          // white 3, black 5
  const std::string bad_row = "1011 0011 1011";      // white 4, black 5: past 8
  const bytes data = from_bits(eol + good_row + eol + bad_row + eol + good_row + eol + eol);
  lt::ccitt_params p = params(0, 8, 3);
  p.end_of_line = true;
  decoded d = decode(data, p);
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.complete);
  EXPECT_STREQ(d.why, "a row does not decode");
  const std::vector<std::string> want = {"...#####", "........", "...#####"};
  EXPECT_EQ(rows_of(d), want);
  p.damaged_rows_before_error = 1;
  d = decode(data, p);
  EXPECT_TRUE(d.complete);
  EXPECT_EQ(rows_of(d), want);
}

TEST(CcittDamaged, GroupFourStopsAtTheFirstBadCode) {
  // Row 1: H(white 4, black 4); row 2: V0 twice; row 3: a bad code
  // (0000000); row 4 never read.
  const bytes data = from_bits("001 1011 011 " "1 1 " "0000000 1 1 1 1");
  const decoded d = decode(data, params(-1, 8, 4));
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.complete);
  const std::vector<std::string> want = {"....####", "....####", "........", "........"};
  EXPECT_EQ(rows_of(d), want);
}

TEST(CcittDamaged, GarbageNeverCrashesAndKeepsItsSizes) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 600; ++trial) {
    bytes data(rng() % 3000);
    for (auto &b : data) b = std::uint8_t(rng() % 4 ? rng() : 0);
    lt::ccitt_params p = params(int(rng() % 3) - 1, 1 + int(rng() % 3000), int(rng() % 3) ? int(rng() % 500) : 0);
    p.encoded_byte_align = rng() & 1;
    p.end_of_line = rng() & 1;
    p.black_is_1 = rng() & 1;
    p.reduce = 1 << (rng() % 3);
    p.budget = std::size_t(1) << 22;
    const decoded d = decode(data, p);
    if (d.ok) {
      EXPECT_EQ(d.w, (p.columns + p.reduce - 1) / p.reduce);
      if (p.rows) {
        EXPECT_EQ(d.h, (p.rows + p.reduce - 1) / p.reduce);
      }
    }
  }
}

TEST(CcittDamaged, HugeSizesFailQuicklyWithinTheBudget) {
  const bytes data = from_bits("1111 1111");
  lt::ccitt_params p = params(-1, 1 << 24, 1 << 30);
  p.budget = 64u << 20;
  decoded d = decode(data, p);
  EXPECT_FALSE(d.ok);
  EXPECT_STREQ(d.why, "the image is larger than the budget");
  p = params(-1, 2480, 2147483647);
  p.budget = 64u << 20;
  d = decode(data, p);
  EXPECT_FALSE(d.ok);
  EXPECT_STREQ(d.why, "the image is larger than the budget");
  p = params(-1, (1 << 24) + 1, 10);
  EXPECT_FALSE(decode(data, p).ok);
  p = params(-1, 0, 10);
  EXPECT_FALSE(decode(data, p).ok);
  p = params(-1, 10, -1);
  EXPECT_FALSE(decode(data, p).ok);
  p = params(-1, 10, 10);
  p.reduce = 3;
  EXPECT_FALSE(decode(data, p).ok);
  // Without /Rows the image grows only up to the budget: each 1 bit is a
  // white row of one column.
  const bytes ones(100000, 0xff);
  p = params(-1, 1, 0);
  p.budget = 5000;
  d = decode(ones, p);
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.complete);
  EXPECT_STREQ(d.why, "the image is larger than the budget");
  EXPECT_LE(d.px.capacity(), p.budget);
  EXPECT_GT(d.h, 4000);
}

TEST(CcittDamaged, ZeroLengthRunsEndWithTheData) {
  // Horizontal mode with two zero-length runs, again and again: no row
  // ever ends, the data does.
  std::string bits;
  for (int i = 0; i < 5000; ++i) bits += "001 00110101 0000110111 ";
  for (int k : {-1, 1}) {
    const bytes data = from_bits((k > 0 ? "000000000001 0 " : "") + bits);
    const decoded d = decode(data, params(k, 64, 0));
    EXPECT_FALSE(d.ok);
    EXPECT_STREQ(d.why, "no row decodes");
  }
  // One-dimensional: white 0, black 0 forever.
  std::string one_d;
  for (int i = 0; i < 5000; ++i) one_d += "00110101 0000110111 ";
  EXPECT_FALSE(decode(from_bits(one_d), params(0, 64, 0)).ok);
}

// ---- hand-made data for each code ----

TEST(CcittCodes, OneDimensionalRunsAndEndOfLines) {
  const std::string eol = "000000000001";
  // white 3 black 5; white 0 black 8; white 8.
  const bytes data = from_bits(eol + "1000 0011" + eol + "00110101 000101" + eol + "10011" +
                               eol + eol + eol + eol + eol + eol);
  lt::ccitt_params p = params(0, 8, 0);
  p.end_of_line = true;
  const decoded d = decode(data, p);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.complete);
  const std::vector<std::string> want = {"...#####", "########", "........"};
  EXPECT_EQ(rows_of(d), want);
  // The same rows without EOLs, each from a byte boundary.
  lt::ccitt_params q = params(0, 8, 3);
  q.encoded_byte_align = true;
  const decoded e = decode(from_bits("10000011 00110101 00010100 10011"), q);
  EXPECT_TRUE(e.complete);
  EXPECT_EQ(rows_of(e), want);
}

TEST(CcittCodes, ExtendedMakeupCodes) {
  // 4000 columns: white 1856+5, black 1792+64+3, white 256+24.
  const bytes a = from_bits("00000001100 1100  00000001000 0000001111 10  0110111 0101000");
  decoded d = decode(a, params(0, 4000, 1));
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.complete);
  std::string want = std::string(1861, '.') + std::string(1859, '#') + std::string(280, '.');
  EXPECT_EQ(rows_of(d)[0], want);
  // 5220 white (2560+2560+64+36), then black 2560+0 and white 1984+2048...
  // each extended code, one row each of 8000 columns.
  const char *ext[] = {"00000001000", "00000001100", "00000001101", "000000010010",
                       "000000010011", "000000010100", "000000010101", "000000010110",
                       "000000010111", "000000011100", "000000011101", "000000011110",
                       "000000011111"};
  for (int i = 0; i < 13; ++i) {
    const int run = 1792 + 64 * i;
    // white run+0, black run+0, white the rest (8000-2*run) as makeups and 0.
    std::string bits = std::string(ext[i]) + "00110101" + ext[i] + "0000110111";
    int rest = 8000 - 2 * run;
    while (rest >= 2560) {
      bits += "000000011111";
      rest -= 2560;
    }
    // rest < 2560 here: an extended code, or one of the white makeups.
    ASSERT_EQ(rest % 64, 0);
    const std::pair<int, const char *> white_makeup[] = {
        {1728, "010011011"}, {1600, "010011010"}, {1472, "010011000"}, {1344, "011011010"},
        {1216, "011011000"}, {1088, "011010110"}, {960, "011010100"},  {832, "011010010"},
        {704, "011001100"},  {576, "01101000"},   {448, "01100100"},   {320, "00110110"}};
    if (rest >= 1792) {
      bits += ext[(rest - 1792) / 64];
    } else {
      bool found = false;
      for (auto &m : white_makeup)
        if (m.first == rest) {
          bits += m.second;
          found = true;
        }
      ASSERT_TRUE(found) << rest;
    }
    bits += "00110101";
    d = decode(from_bits(bits), params(0, 8000, 1));
    SCOPED_TRACE(run);
    ASSERT_TRUE(d.ok) << d.why;
    EXPECT_TRUE(d.complete);
    EXPECT_EQ(rows_of(d)[0], std::string(run, '.') + std::string(run, '#') +
                                 std::string(8000 - 2 * run, '.'));
  }
}

// Two rows of Group 4: the reference ....####....#### made in horizontal
// mode, then the row under test.
decoded two_rows(const std::string &second) {
  return decode(from_bits("001 1011 011  001 1011 011 " + second + " 000000000001 000000000001"),
                params(-1, 16, 0));
}

TEST(CcittCodes, VerticalModes) {
  struct {
    const char *code, *row;
  } cases[] = {
      {"1 1 1 1", "....####....####"},
      {"011 011 011 1", ".....####....###"},
      {"000011 000011 000011 1", "......####....##"},
      {"0000011 0000011 0000011 1", ".......####....#"},
      {"010 010 010 1", "...####....#####"},
      {"000010 000010 000010 1", "..####....######"},
      {"0000010 0000010 0000010 1", ".####....#######"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.code);
    const decoded d = two_rows(c.code);
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.complete);
    const std::vector<std::string> want = {"....####....####", c.row};
    EXPECT_EQ(rows_of(d), want);
  }
}

TEST(CcittCodes, PassAndHorizontalModes) {
  // Reference ..##..##........; then pass, VR2, horizontal (black 4, white 4).
  const bytes data = from_bits("001 0111 11 001 0111 11 1  0001 000011 001 011 1011 "
                               "0001 0001 000000000001 000000000001");
  const decoded d = decode(data, params(-1, 16, 0));
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.complete);
  // The third row passes twice (over 8..12, then to the end's sentinel
  // pair) and ends white.
  const std::vector<std::string> want = {"..##..##........", "........####....",
                                         "................"};
  EXPECT_EQ(rows_of(d), want);
}

TEST(CcittCodes, MixedOneAndTwoDimensionalRows) {
  // K > 0: EOL then 1 for a one-dimensional row, EOL then 0 for a
  // two-dimensional one; RTC ends it.
  const std::string eol = "000000000001";
  const std::string rtc = eol + "1" + eol + "1" + eol + "1" + eol + "1" + eol + "1" + eol + "1";
  const bytes data = from_bits(eol + "1 1011 011 1011 011" + eol + "0 011 011 011 1" + rtc);
  lt::ccitt_params p = params(2, 16, 0);
  p.end_of_line = true;
  const decoded d = decode(data, p);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.complete);
  const std::vector<std::string> want = {"....####....####", ".....####....###"};
  EXPECT_EQ(rows_of(d), want);
  // Without EOLs the tag bit still opens each row.
  lt::ccitt_params q = params(2, 16, 2);
  const decoded e = decode(from_bits("1 1011 011 1011 011 0 011 011 011 1"), q);
  EXPECT_TRUE(e.complete);
  EXPECT_EQ(rows_of(e), want);
}

TEST(CcittCodes, ByteAlignedGroupFour) {
  const bytes data = from_bits("001 1011 011 001 1011 011 0000 " "011 011 011 1 000000");
  lt::ccitt_params p = params(-1, 16, 2);
  p.encoded_byte_align = true;
  const decoded d = decode(data, p);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.complete);
  const std::vector<std::string> want = {"....####....####", ".....####....###"};
  EXPECT_EQ(rows_of(d), want);
}

TEST(CcittCodes, UncompressedModeIsReportedAsNotRead) {
  decoded d = decode(from_bits("0000001111 0000 0000"), params(-1, 16, 1));
  EXPECT_FALSE(d.ok);
  EXPECT_STREQ(d.why, "the data uses uncompressed mode, which is not read");
  // Later in the image: the rows before it are kept.
  d = two_rows("0000001111 000000");
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.complete);
  EXPECT_STREQ(d.why, "the data uses uncompressed mode, which is not read");
  EXPECT_EQ(rows_of(d)[0], "....####....####");
  // The one-dimensional way in.
  lt::ccitt_params p = params(0, 8, 2);
  p.end_of_line = true;
  d = decode(from_bits("000000000001 1000 0011 000000000001 000000001111 000000000001"), p);
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.complete);
  EXPECT_STREQ(d.why, "the data uses uncompressed mode, which is not read");
}

TEST(CcittCodes, RowsNeverDecodedAreWhite) {
  const decoded d = decode(from_bits("001 1011 011 001 1011 011"), params(-1, 16, 3));
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.complete);
  EXPECT_STREQ(d.why, "the data ran out before the last row");
  const std::vector<std::string> want = {"....####....####", "................",
                                         "................"};
  EXPECT_EQ(rows_of(d), want);
  lt::ccitt_params p = params(-1, 16, 3);
  p.black_is_1 = true;
  const decoded e = decode(from_bits("001 1011 011 001 1011 011"), p);
  EXPECT_EQ(rows_of(e)[2], "################");  // coded white is 0 here
  EXPECT_FALSE(decode(bytes(), params(-1, 16, 3)).ok);
  EXPECT_FALSE(decode(bytes(), params(0, 16, 0)).ok);
}
