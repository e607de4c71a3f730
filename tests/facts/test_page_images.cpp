// SPDX-License-Identifier: MIT
// Which images pages show (info and info --json): pages built in code with
// images drawn every way (sideways by their matrix, on a turned page,
// through nested Form XObjects, inline with abbreviations, as masks, twice,
// inside a form that draws itself), files img2pdf makes from JPEG, PNG and
// Group 4 TIFF images, and the corpus's files with images, each checked
// against pdfimages -list.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "pdf_builder.h"

namespace {

using testcli::q;
using testcli::tool;
using testpdf::builder;
using testpdf::have_tool;
using testpdf::run;
using testpdf::temp_path;
using testpdf::write_temp;

struct shown {
  int page = 0;
  long width = 0, height = 0;
  int bits = 0, colors = 0;
  std::string colorspace, filter;
  bool mask = false;
  double dpi = 0, dpi_x = 0, dpi_y = 0, coverage = 0;
  std::string corners;
};

// Every image of info --json, page by page.
std::vector<shown> images_of(const std::string &path) {
  int rc = -1;
  const std::string json = tool("info --json " + q(path), &rc);
  EXPECT_EQ(rc, 0) << json;
  std::vector<shown> out;
  static const std::regex page_re("\\{\"number\": ([0-9]+)");
  static const std::regex image_re(
      "\"width\": ([0-9]+), \"height\": ([0-9]+), \"bits\": ([0-9]+), \"colors\": ([0-9]+), "
      "\"colorspace\": (null|\"[A-Za-z]+\"), \"mask\": (true|false), \"decode\": [^\"]*"
      "\"filter\": (null|\"[A-Za-z0-9]+\"), \"filters\": [^\\]]*\\], \"dpi\": ([0-9.]+), "
      "\"dpi_x\": ([0-9.]+), \"dpi_y\": ([0-9.]+), \"coverage\": ([0-9.]+), \"corners\": "
      "(\\[\\[[-0-9., \\[\\]]*\\]\\])\\}");
  std::vector<std::pair<size_t, int>> pages;
  for (auto it = std::sregex_iterator(json.begin(), json.end(), page_re); it != std::sregex_iterator(); ++it)
    pages.push_back({static_cast<size_t>(it->position()), std::stoi((*it)[1].str())});
  auto unquote = [](const std::string &s) { return s == "null" ? s : s.substr(1, s.size() - 2); };
  for (auto it = std::sregex_iterator(json.begin(), json.end(), image_re); it != std::sregex_iterator(); ++it) {
    shown s;
    for (const auto &p : pages)
      if (p.first < static_cast<size_t>(it->position())) s.page = p.second;
    s.width = std::stol((*it)[1].str());
    s.height = std::stol((*it)[2].str());
    s.bits = std::stoi((*it)[3].str());
    s.colors = std::stoi((*it)[4].str());
    s.colorspace = unquote((*it)[5].str());
    s.mask = (*it)[6].str() == "true";
    s.filter = unquote((*it)[7].str());
    s.dpi = std::stod((*it)[8].str());
    s.dpi_x = std::stod((*it)[9].str());
    s.dpi_y = std::stod((*it)[10].str());
    s.coverage = std::stod((*it)[11].str());
    s.corners = (*it)[12].str();
    out.push_back(s);
  }
  return out;
}

// pdfimages -list's rows: page, width, height, comp, bpc, type, enc, x-ppi, y-ppi.
struct listed {
  int page;
  long width, height;
  int comp, bpc;
  std::string type, enc;
  double xppi, yppi;
};

std::vector<listed> pdfimages_list(const std::string &path) {
  int rc = -1;
  const std::string text = run("pdfimages -list " + q(path) + " 2>/dev/null", &rc);
  EXPECT_EQ(rc, 0) << text;
  std::vector<listed> out;
  std::istringstream in(text);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    if (++n <= 2) continue;  // the heading and its rule
    std::istringstream f(line);
    std::vector<std::string> w;
    for (std::string t; f >> t;) w.push_back(t);
    // Inline images have "[inline]" where others have an object number and
    // a generation.
    const size_t ppi = w.size() > 10 && w[10] == "[inline]" ? 11 : 12;
    if (w.size() < ppi + 2) continue;
    listed l{std::stoi(w[0]), std::stol(w[3]), std::stol(w[4]), std::stoi(w[6]), std::stoi(w[7]),
             w[2], w[8], std::stod(w[ppi]), std::stod(w[ppi + 1])};
    // Soft masks and masks named by /Mask are listed apart by pdfimages;
    // they are part of the image they belong to here.
    if (l.type == "smask" || l.type == "mask") continue;
    out.push_back(l);
  }
  return out;
}

// Our records agree with pdfimages on every image: page, size, components,
// bits, encoding and (for images drawn upright) resolution, to pdfimages'
// rounding to whole pixels per inch.
void agree_with_pdfimages(const std::string &path, bool check_ppi = true) {
  if (!have_tool("pdfimages")) GTEST_SKIP() << "pdfimages missing";
  const std::vector<shown> ours = images_of(path);
  const std::vector<listed> theirs = pdfimages_list(path);
  ASSERT_EQ(ours.size(), theirs.size()) << path;
  for (size_t k = 0; k < ours.size(); ++k) {
    const shown &a = ours[k];
    const listed &b = theirs[k];
    SCOPED_TRACE(path + " image " + std::to_string(k + 1));
    EXPECT_EQ(a.page, b.page);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.bits, b.bpc);
    if (b.type == "stencil") {
      EXPECT_TRUE(a.mask);
    } else {
      EXPECT_FALSE(a.mask);
      EXPECT_EQ(a.colors, b.comp);
    }
    const std::string enc = a.filter == "DCTDecode" ? "jpeg" : a.filter == "CCITTFaxDecode" ? "ccitt"
                          : a.filter == "JBIG2Decode" ? "jbig2" : a.filter == "JPXDecode" ? "jpx" : "image";
    EXPECT_EQ(enc, b.enc);
    if (check_ppi) {
      EXPECT_LE(std::fabs(a.dpi_x - b.xppi), 0.6);
      EXPECT_LE(std::fabs(a.dpi_y - b.yppi), 0.6);
    }
  }
}

// Pages (from object 100 on) with the given contents and page entries,
// sharing resources: /Im1 a 2550 x 3300 grey scan, /Im2 3300 x 2550 RGB
// through an ICC profile, /Im3 an indexed image in DCT data, /Fm1 .. /Fm3
// forms (/Fm1 halves and draws /Fm2, which moves and draws /Im1 over the
// page; /Fm3 draws itself).
std::string doc_of(const std::vector<std::string> &contents, const std::vector<std::string> &page_extra) {
  builder b;
  const int n = static_cast<int>(contents.size());
  std::string kids;
  for (int k = 0; k < n; ++k) kids += std::to_string(100 + 2 * k) + " 0 R ";
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) +
               " /Resources <</XObject <</Im1 20 0 R /Im2 21 0 R /Im3 22 0 R /Fm1 30 0 R /Fm2 31 0 R"
               " /Fm3 32 0 R>>>>>>");
  for (int k = 0; k < n; ++k) {
    b.obj(100 + 2 * k, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                           std::to_string(101 + 2 * k) + " 0 R" + page_extra[static_cast<size_t>(k)] + ">>");
    b.stream(101 + 2 * k, "", contents[static_cast<size_t>(k)]);
  }
  b.stream(20, "/Type /XObject /Subtype /Image /Width 2550 /Height 3300 /ColorSpace /DeviceGray"
                       " /BitsPerComponent 8 /Filter /FlateDecode",
                   "x");
  b.stream(21, "/Type /XObject /Subtype /Image /Width 3300 /Height 2550 /ColorSpace [/ICCBased 23 0 R]"
                       " /BitsPerComponent 8 /Decode [0 1 0 1 0 1]",
                   "x");
  b.stream(22, "/Type /XObject /Subtype /Image /Width 100 /Height 50 /ColorSpace [/Indexed /DeviceRGB 1 <000000ffffff>]"
                       " /BitsPerComponent 8 /Filter [/FlateDecode /DCTDecode]",
                   "x");
  b.stream(23, "/N 3", "x");
  b.stream(30, "/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Matrix [0.5 0 0 0.5 0 0]", "/Fm2 Do");
  b.stream(31, "/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Matrix [1 0 0 1 100 100]",
                   "q 612 0 0 792 0 0 cm /Im1 Do Q");
  b.stream(32, "/Type /XObject /Subtype /Form /BBox [0 0 612 792]", "/Fm3 Do q 612 0 0 792 0 0 cm /Im1 Do Q");
  return b.build();
}

const std::string kFullPage = "q 612 0 0 792 0 0 cm /Im1 Do Q";
const std::string kInline =
    "q 72 0 0 36 100 100 cm BI /W 4 /H 2 /BPC 8 /CS /RGB /F /AHx ID\n"
    "000000111111222222333333444444555555666666777777> EI Q\n"
    "q 16 0 0 16 300 300 cm BI /W 16 /H 16 /IM true /D [1 0] ID\n" + std::string(32, 'x') + "\nEI Q\n"
    "q 50 0 0 50 400 400 cm BI /W 2 /H 2 /BPC 8 /CS /CMYK ID\n" + std::string(16, 'y') + "\nEI Q\n"
    "q 50 0 0 50 400 500 cm BI /W 2 /H 1 /BPC 8 /CS /G ID\nzz\nEI Q\n";

std::string built() {
  return write_temp("images-built.pdf",
                    doc_of({kFullPage,                                  // 1: a 300 dpi scan over the page
                            "q 0 792 -612 0 612 0 cm /Im2 Do Q",        // 2: drawn sideways by its matrix
                            kFullPage,                                  // 3: on a page turned a quarter
                            "/Fm1 Do",                                  // 4: through two forms
                            kInline,                                    // 5: inline images and a mask
                            "/Fm3 Do",                                  // 6: a form that draws itself
                            "q 306 0 0 396 0 0 cm /Im1 Do Q q 306 0 0 396 306 396 cm /Im1 Do Q "
                            "q 200 0 0 100 0 0 cm /Im3 Do Q"},          // 7: one image twice, an indexed one
                           {"", "", " /Rotate 90", "", "", "", ""}));
}

TEST(PageImages, ImagesBuiltInCodeShowWhereTheirMatrixPutsThem) {
  const std::string path = built();
  const std::vector<shown> im = images_of(path);
  ASSERT_EQ(im.size(), 12u);
  // A full-page scan.
  EXPECT_EQ(im[0].page, 1);
  EXPECT_EQ(im[0].width, 2550);
  EXPECT_EQ(im[0].height, 3300);
  EXPECT_EQ(im[0].colorspace, "DeviceGray");
  EXPECT_EQ(im[0].filter, "FlateDecode");
  EXPECT_EQ(im[0].dpi, 300);
  EXPECT_EQ(im[0].coverage, 1);
  EXPECT_EQ(im[0].corners, "[[0, 0], [612, 0], [612, 792], [0, 792]]");
  // Sideways by its matrix: its width runs up the page.
  EXPECT_EQ(im[1].page, 2);
  EXPECT_EQ(im[1].colorspace, "ICCBased");
  EXPECT_EQ(im[1].colors, 3);
  EXPECT_EQ(im[1].filter, "null");
  EXPECT_EQ(im[1].dpi_x, 300);
  EXPECT_EQ(im[1].dpi_y, 300);
  EXPECT_EQ(im[1].coverage, 1);
  EXPECT_EQ(im[1].corners, "[[612, 0], [612, 792], [0, 792], [0, 0]]");
  // On a page turned a quarter: the image's lower-left corner shows at the
  // displayed page's upper left.
  EXPECT_EQ(im[2].page, 3);
  EXPECT_EQ(im[2].corners, "[[0, 612], [0, 0], [792, 0], [792, 612]]");
  EXPECT_EQ(im[2].dpi, 300);
  EXPECT_EQ(im[2].coverage, 1);
  // Through /Fm1 (halves) and /Fm2 (moves by 100, 100).
  EXPECT_EQ(im[3].page, 4);
  EXPECT_EQ(im[3].corners, "[[50, 50], [356, 50], [356, 446], [50, 446]]");
  EXPECT_EQ(im[3].dpi, 600);
  EXPECT_EQ(im[3].coverage, 0.25);
  // Inline images, with abbreviated names, and a mask.
  EXPECT_EQ(im[4].page, 5);
  EXPECT_EQ(im[4].width, 4);
  EXPECT_EQ(im[4].height, 2);
  EXPECT_EQ(im[4].colors, 3);
  EXPECT_EQ(im[4].colorspace, "DeviceRGB");
  EXPECT_EQ(im[4].filter, "ASCIIHexDecode");
  EXPECT_EQ(im[4].dpi, 4);
  EXPECT_EQ(im[4].corners, "[[100, 100], [172, 100], [172, 136], [100, 136]]");
  EXPECT_EQ(im[4].coverage, 0.005);  // 72 x 36 of 612 x 792
  EXPECT_TRUE(im[5].mask);
  EXPECT_EQ(im[5].bits, 1);
  EXPECT_EQ(im[5].colorspace, "null");
  EXPECT_EQ(im[5].dpi, 72);
  EXPECT_EQ(im[6].colorspace, "DeviceCMYK");
  EXPECT_EQ(im[6].colors, 4);
  EXPECT_EQ(im[7].colorspace, "DeviceGray");
  EXPECT_EQ(im[7].filter, "null");
  // A form that draws itself is read once.
  EXPECT_EQ(im[8].page, 6);
  EXPECT_EQ(im[8].coverage, 1);
  // One image drawn twice is listed twice; an indexed image.
  EXPECT_EQ(im[9].page, 7);
  EXPECT_EQ(im[9].coverage, 0.25);
  EXPECT_EQ(im[10].corners, "[[306, 396], [612, 396], [612, 792], [306, 792]]");
  EXPECT_EQ(im[11].corners, "[[0, 0], [200, 0], [200, 100], [0, 100]]");
  EXPECT_EQ(im[11].colorspace, "Indexed");
  EXPECT_EQ(im[11].colors, 1);
  EXPECT_EQ(im[11].filter, "DCTDecode");

  int rc = -1;
  const std::string text = tool("info " + q(path), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(text.find("page 1: 0 none 612 x 792 portrait text: none (0 glyphs)\n"
                      "  image 1: 2550x3300, 8 bits, 1 colour, FlateDecode, 300 dpi, covers 100%\n"
                      "page 2:"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  image 2: 16x16, 1 bit, 1 colour (mask), unfiltered, 72 dpi, covers 0.1%\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  image 1: 4x2, 8 bits, 3 colours (inline), ASCIIHexDecode, 4 dpi, covers 0.5%\n"),
            std::string::npos)
      << text;
}

TEST(PageImages, BuiltPagesAgreeWithPdfimages) {
  // pdfimages measures resolution along the page's axes: images drawn
  // sideways or on turned pages are checked above instead.
  agree_with_pdfimages(write_temp("images-upright.pdf",
                                  doc_of({kFullPage, "/Fm1 Do", kInline,
                                          "q 306 0 0 396 0 0 cm /Im1 Do Q q 306 0 0 396 306 396 cm /Im1 Do Q"},
                                         {"", "", "", ""})));
  agree_with_pdfimages(built(), false);
}

TEST(PageImages, FilesImg2pdfMakesAgreeWithPdfimages) {
  if (!have_tool("img2pdf") || !have_tool("pdfimages")) GTEST_SKIP() << "img2pdf or pdfimages missing";
  const std::string dir = temp_path("img2pdf");
  int rc = -1;
  const std::string made = run(
      "mkdir -p " + q(dir) + " && cd " + q(dir) +
          " && /usr/bin/python3 -c \""
          "from PIL import Image, ImageDraw\n"
          "im = Image.new('RGB', (620, 877), (200, 220, 240)); ImageDraw.Draw(im).rectangle((50, 50, 300, 400), fill=(10, 20, 30))\n"
          "im.save('scan.jpg', dpi=(150, 150), quality=80)\n"
          "g = Image.new('L', (300, 200), 128); g.save('grey.png', dpi=(72, 72))\n"
          "b = Image.new('1', (2480, 3508), 1); ImageDraw.Draw(b).rectangle((200, 200, 1200, 800), fill=0)\n"
          "b.save('fax.tif', compression='group4', dpi=(300, 300))\n"
          "\" && img2pdf -o jpeg.pdf scan.jpg && img2pdf -o png.pdf grey.png && img2pdf -o fax.pdf fax.tif"
          " && img2pdf -o all.pdf scan.jpg grey.png fax.tif 2>&1",
      &rc);
  ASSERT_EQ(rc, 0) << made;
  for (const char *f : {"jpeg.pdf", "png.pdf", "fax.pdf", "all.pdf"}) agree_with_pdfimages(dir + "/" + f);
  const std::vector<shown> all = images_of(dir + "/all.pdf");
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].filter, "DCTDecode");
  EXPECT_EQ(all[0].dpi, 150);
  EXPECT_EQ(all[0].colors, 3);
  EXPECT_EQ(all[2].filter, "CCITTFaxDecode");
  EXPECT_EQ(all[2].dpi, 300);
  EXPECT_EQ(all[2].bits, 1);
  for (const shown &s : all) EXPECT_EQ(s.coverage, 1);
  const std::string text = tool("info " + q(dir + "/fax.pdf"), &rc);
  EXPECT_NE(text.find("  image 1: 2480x3508, 1 bit, 1 colour, CCITTFaxDecode, 300 dpi, covers 100%\n"),
            std::string::npos)
      << text;
}

TEST(PageImages, CorpusFilesWithImagesAgreeWithPdfimages) {
  const std::string list = run("ls " + q(testpdf::corpus_dir()) + "/*image*.pdf /work/shared/corpus/*image*.pdf 2>/dev/null");
  std::istringstream in(list);
  std::string path;
  int files = 0;
  while (std::getline(in, path)) {
    agree_with_pdfimages(path);
    ++files;
  }
  EXPECT_GE(files, 9);
}

TEST(PageImages, HostileContentIsBounded) {
  // Forms that draw each other and themselves, deep; images past the cap;
  // cut inline images; broken matrices.
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R 5 0 R] /Count 2 /Resources <</XObject <</A 10 0 R /B 11 0 R /I 12 0 R>>>>>>");
  b.obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>");
  // Numbers past what a double holds, and a matrix that flattens the image.
  const std::string huge(320, '9');
  b.obj(5, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R>>");
  b.stream(6, "", "q " + huge + " 0 0 " + huge + " -" + huge + " 5 cm /I Do Q 0 0 0 0 0 0 cm /I Do");
  std::string many;
  for (int k = 0; k < 10100; ++k) many += "/I Do ";
  b.stream(4, "", "/A Do " + many + "1 2 cm /I Do q q q Q Q Q Q Q BI /W 1 /H ID");
  b.stream(10, "/Type /XObject /Subtype /Form", "/B Do /A Do /I Do");
  b.stream(11, "/Type /XObject /Subtype /Form /Matrix [1 0]", "/A Do /B Do /I Do");
  b.stream(12, "/Type /XObject /Subtype /Image /Width -5 /Height 1e99 /ImageMask true", "x");
  const std::string path = write_temp("images-hostile.pdf", b.build());
  const std::vector<shown> im = images_of(path);
  // The huge one has no finite corners: images_of passes over it.
  ASSERT_EQ(im.size(), 10001u);
  EXPECT_EQ(im[0].width, 0);
  EXPECT_TRUE(im[0].mask);
  EXPECT_EQ(im[10000].page, 2);
  EXPECT_EQ(im[10000].dpi, 0);
  EXPECT_EQ(im[10000].coverage, 0);
  int rc = -1;
  const std::string json = tool("info --json " + q(path), &rc);
  EXPECT_EQ(rc, 0);
  for (const char *bad : {"inf,", "inf]", "nan"}) EXPECT_EQ(json.find(bad), std::string::npos) << bad;
  EXPECT_NE(json.find("\"corners\": [[null, null]"), std::string::npos);
}

}  // namespace
