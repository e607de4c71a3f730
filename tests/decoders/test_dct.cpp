// SPDX-License-Identifier: MIT
// The JPEG decoder judged by libjpeg-turbo's djpeg on JPEGs written here:
// pages of the shared corpus rendered by pdftoppm and saved by PIL (grey
// and colour, baseline and progressive, two qualities, three chroma
// samplings) and by cjpeg (odd sampling factors, restart intervals, RGB),
// at full size and reduced by 2, 4 and 8 (against djpeg -scale 1/N).
// CMYK (which djpeg does not turn to grey) is judged against PIL's own
// decoding of the same file. Then the kinds it refuses, the budget, and
// damaged data: cut short, bits flipped, markers gone, sizes made huge.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "dct.h"
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

decoded decode(const std::string &jpeg, int reduce = 1, int transform = -1,
               std::size_t budget = std::size_t(256) << 20) {
  lt::dct_options opt;
  opt.reduce = reduce;
  opt.color_transform = transform;
  opt.budget = budget;
  decoded d;
  d.ok = lt::dct_decode_grey(reinterpret_cast<const std::uint8_t *>(jpeg.data()), jpeg.size(), opt,
                             &d.px, &d.w, &d.h, &d.complete, &d.why);
  return d;
}

struct pnm {
  int w = 0, h = 0, channels = 0;
  bytes px;
};

// A binary PGM or PPM (P5/P6, maxval 255), as djpeg and pdftoppm write them.
pnm read_pnm(const std::string &path) {
  pnm im;
  const std::string s = testpdf::read_file(path);
  if (s.size() < 2 || s[0] != 'P' || (s[1] != '5' && s[1] != '6')) return im;
  std::size_t i = 2;
  int fields[3] = {};
  for (int &f : fields) {
    while (i < s.size() && (std::isspace(static_cast<unsigned char>(s[i])) || s[i] == '#')) {
      if (s[i] == '#')
        while (i < s.size() && s[i] != '\n') ++i;
      else
        ++i;
    }
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) f = f * 10 + (s[i++] - '0');
  }
  ++i;
  const int channels = s[1] == '5' ? 1 : 3;
  const std::size_t n = std::size_t(fields[0]) * fields[1] * channels;
  if (fields[2] != 255 || s.size() < i + n) return im;
  im.w = fields[0];
  im.h = fields[1];
  im.channels = channels;
  im.px.assign(s.begin() + static_cast<std::ptrdiff_t>(i), s.begin() + static_cast<std::ptrdiff_t>(i + n));
  return im;
}

void write_pnm(const std::string &path, int w, int h, int channels, const bytes &px) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "P%d\n%d %d\n255\n", channels == 1 ? 5 : 6, w, h);
  std::fwrite(px.data(), 1, px.size(), f);
  std::fclose(f);
}

struct agreement {
  double within1 = 0;  // share of pixels within one grey level
  int worst = 0;
};

agreement compare(const bytes &a, const bytes &b) {
  agreement r;
  if (a.size() != b.size() || a.empty()) {
    r.worst = 256;
    return r;
  }
  std::size_t close = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int d = std::abs(int(a[i]) - int(b[i]));
    close += d <= 1;
    r.worst = std::max(r.worst, d);
  }
  r.within1 = double(close) / double(a.size());
  return r;
}

std::string q(const std::string &s) { return "'" + s + "'"; }

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

std::string make_dir(const std::string &name) {
  const std::string d = testpdf::temp_path(name);
  ::mkdir(d.c_str(), 0700);
  return d;
}

// djpeg's grey for a file, at 1/reduce (with -nosmooth: sample replication,
// as this decoder upsamples).
bytes djpeg_grey(const std::string &jpeg, int reduce, bool nosmooth, int *w, int *h) {
  const std::string out = jpeg + ".djpeg" + std::to_string(reduce) + (nosmooth ? "n" : "") + ".pgm";
  int status = 0;
  testpdf::run("djpeg -grayscale -pnm " + std::string(nosmooth ? "-nosmooth " : "") +
                   (reduce > 1 ? "-scale 1/" + std::to_string(reduce) + " " : "") + q(jpeg) +
                   " > " + q(out) + " 2>/dev/null",
               &status);
  const pnm im = read_pnm(out);
  *w = im.w;
  *h = im.h;
  return status == 0 && im.channels == 1 ? im.px : bytes();
}

// The mean of each reduce x reduce cell of a picture (cut at its edges).
bytes box_mean(const bytes &px, int w, int h, int reduce) {
  const int rw = (w + reduce - 1) / reduce, rh = (h + reduce - 1) / reduce;
  bytes out(std::size_t(rw) * rh);
  for (int y = 0; y < rh; ++y)
    for (int x = 0; x < rw; ++x) {
      unsigned sum = 0, n = 0;
      for (int yy = y * reduce; yy < std::min(h, y * reduce + reduce); ++yy)
        for (int xx = x * reduce; xx < std::min(w, x * reduce + reduce); ++xx, ++n)
          sum += px[std::size_t(yy) * w + xx];
      out[std::size_t(y) * rw + x] = static_cast<std::uint8_t>((sum + n / 2) / n);
    }
  return out;
}

// The decoder against djpeg at every reduction: at least 99% of the pixels
// within one level, none further than `worst`. Reduced, it is compared with
// djpeg -scale 1/N; for luminance subsampled against its chroma (where
// djpeg's scaled output takes a short cut of its own) with the cell means
// of djpeg's full-size picture, sample replication (-nosmooth) upsampling
// luminance as this decoder does (the means of clamped pixels there differ
// by a few levels at hard edges from pixels of clamped means).
void expect_like_djpeg(const std::string &jpeg, bool subsampled_luminance = false, int worst = 3) {
  const std::string data = testpdf::read_file(jpeg);
  int fw = 0, fh = 0;
  const bytes full = djpeg_grey(jpeg, 1, subsampled_luminance, &fw, &fh);
  for (int reduce : {1, 2, 4, 8}) {
    SCOPED_TRACE(jpeg + " at 1/" + std::to_string(reduce));
    int w = 0, h = 0;
    bytes ref;
    if (subsampled_luminance) {
      w = (fw + reduce - 1) / reduce;
      h = (fh + reduce - 1) / reduce;
      if (!full.empty()) ref = box_mean(full, fw, fh, reduce);
    } else {
      ref = djpeg_grey(jpeg, reduce, false, &w, &h);
    }
    ASSERT_FALSE(ref.empty()) << "djpeg could not decode it";
    const decoded d = decode(data, reduce);
    ASSERT_TRUE(d.ok) << d.why;
    EXPECT_TRUE(d.complete);
    ASSERT_EQ(d.w, w);
    ASSERT_EQ(d.h, h);
    const agreement a = compare(d.px, ref);
    EXPECT_GE(a.within1, 0.99);
    EXPECT_LE(a.worst, worst);
  }
}

// A picture with edges, gradients and fine detail in each channel, of an
// odd size, so that blocks and MCUs are cut at both edges.
void synthetic(int w, int h, int channels, bytes *px) {
  px->resize(std::size_t(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        int v = (x * 255 / w + c * 80) % 256;
        if (((x / 13) + (y / 7)) % 5 == 0) v = 255 - v;
        if ((x - w / 2) * (x - w / 2) + (y - h / 3) * (y - h / 3) < 900) v = c * 60;
        if (y % 17 == c) v = 0;
        (*px)[(std::size_t(y) * w + x) * channels + c] = static_cast<std::uint8_t>(v);
      }
}

// JPEGs written by cjpeg from the synthetic picture, one per option set.
std::string cjpeg_synthetic(const std::string &name, const std::string &options, int channels = 3,
                            int w = 301, int h = 203) {
  static int made = 0;
  const std::string dir = make_dir("dct-synthetic" + std::to_string(++made));
  bytes px;
  synthetic(w, h, channels, &px);
  const std::string src = dir + "/src.pnm";
  write_pnm(src, w, h, channels, px);
  const std::string out = dir + "/" + name + ".jpg";
  int status = 0;
  testpdf::run("cjpeg " + options + " " + q(src) + " > " + q(out) + " 2>/dev/null", &status);
  return status == 0 ? out : std::string();
}

// Hand-made headers: SOI, then segments.
std::string segment(int marker, const std::string &payload) {
  std::string s = {char(0xFF), char(marker)};
  const std::size_t n = payload.size() + 2;
  s += char(n >> 8);
  s += char(n & 0xFF);
  return s + payload;
}

std::string frame(int marker, int precision, int w, int h, int components) {
  std::string p = {char(precision), char(h >> 8), char(h & 0xFF), char(w >> 8), char(w & 0xFF),
                   char(components)};
  for (int i = 0; i < components; ++i) p += std::string{char(i + 1), char(0x11), char(0)};
  return segment(marker, p);
}

// A whole JPEG of one component: quant table of ones, a DC and an AC table
// with a single one-bit code each (DC difference 0, end of block), and the
// given entropy-coded bytes: every zero bit pair is a mid-grey block.
std::string tiny_grey(int w, int h, const std::string &data) {
  std::string j = {char(0xFF), char(0xD8)};
  j += segment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
  j += frame(0xC0, 8, w, h, 1);
  std::string dht = {char(0x00), char(1)};
  dht += std::string(15, '\0');
  dht += '\0';
  std::string aht = {char(0x10), char(1)};
  aht += std::string(15, '\0');
  aht += '\0';
  j += segment(0xC4, dht + aht);
  j += segment(0xDA, std::string{char(1), char(1), char(0), char(0), char(63), char(0)});
  j += data;
  return j + std::string{char(0xFF), char(0xD9)};
}

// -------------------------------------------------------------- corpus pages

// The shared corpus's pages rendered at 100 dpi (grey and colour) and saved
// by PIL and cjpeg in every variant, once for all the tests below.
class DctPages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = make_dir("dct-pages");
    const std::string corpus = LEAFTURN_SHARED_CORPUS;
    struct stat st;
    if (::stat(corpus.c_str(), &st) != 0) {
      skip_ = "the shared corpus is absent (" + corpus + ")";
      return;
    }
    const char *pages[][2] = {{"019-grayscale-image_grayscale-image.pdf", "g"},
                              {"003-pdflatex-image_pdflatex-image.pdf", "c"},
                              {"023-cmyk-image_cmyk-image.pdf", "k"}};
    for (auto &p : pages) {
      const std::string pdf = corpus + "/" + p[0];
      testpdf::run("pdftoppm -r 100 -gray -singlefile " + q(pdf) + " " + q(dir_ + "/" + p[1] + "grey"));
      testpdf::run("pdftoppm -r 100 -singlefile " + q(pdf) + " " + q(dir_ + "/" + p[1] + "colour"));
    }
    const std::string script = R"(
import sys
from PIL import Image
d = sys.argv[1]
for page in 'gck':
    g = Image.open('%s/%sgrey.pgm' % (d, page))
    c = Image.open('%s/%scolour.ppm' % (d, page))
    for quality in (50, 90):
        for prog in (False, True):
            tag = '%s-q%d-%s' % (page, quality, 'p' if prog else 'b')
            g.save('%s/pil-grey-%s.jpg' % (d, tag), quality=quality, progressive=prog)
            for sub in (0, 1, 2):
                c.save('%s/pil-colour-%s-s%d.jpg' % (d, tag, sub), quality=quality,
                       progressive=prog, subsampling=sub)
    k = c.convert('CMYK')
    k.save('%s/pil-cmyk-%s.jpg' % (d, page), quality=90)
    k.save('%s/pil-cmyk-%s-p.jpg' % (d, page), quality=75, progressive=True)
    for name in ('pil-cmyk-%s' % page, 'pil-cmyk-%s-p' % page):
        im = Image.open('%s/%s.jpg' % (d, name))
        im.load()
        assert im.mode == 'CMYK'
        open('%s/%s.cmyk' % (d, name), 'wb').write(im.tobytes())
)";
    const std::string py = dir_ + "/make.py";
    FILE *f = std::fopen(py.c_str(), "w");
    if (!f) return;
    std::fputs(script.c_str(), f);
    std::fclose(f);
    int status = 0;
    const std::string err = testpdf::run("/usr/bin/python3 " + q(py) + " " + q(dir_) + " 2>&1", &status);
    if (status != 0) failed_ = "PIL could not write the test JPEGs: " + err;
    // cjpeg: sampling factors PIL cannot write, restart intervals, RGB.
    const char *variants[][2] = {
        {"s411", "-quality 80 -sample 4x1,1x1,1x1"},
        {"s12", "-quality 80 -sample 1x2,1x1,1x1"},
        {"s21", "-quality 80 -sample 2x1,1x1,1x1"},
        {"s42", "-quality 80 -sample 4x2,1x1,1x1"},
        {"s14", "-quality 60 -sample 1x4,1x1,1x1 -progressive"},
        {"r1", "-quality 75 -restart 1"},
        {"r3b", "-quality 75 -restart 3B -sample 2x2,1x1,1x1"},
        {"r2p", "-quality 75 -restart 2 -progressive"},
        {"opt", "-quality 95 -optimize -sample 1x1,1x1,1x1"},
        {"rgb", "-quality 85 -rgb"},
        {"grey-r1p", "-quality 70 -grayscale -restart 1 -progressive"},
    };
    for (auto &v : variants) {
      testpdf::run("cjpeg " + std::string(v[1]) + " " + q(dir_ + "/ccolour.ppm") + " > " +
                       q(dir_ + "/cjpeg-" + v[0] + ".jpg"),
                   &status);
      if (status != 0) failed_ = std::string("cjpeg could not write ") + v[0];
    }
    // Subsampled luminance (the chroma at twice its rate): compared with
    // djpeg's sample replication.
    for (const char *s : {"1x1,2x2,1x1", "2x2,2x1,1x2", "1x2,2x1,2x2"}) {
      std::string name = std::string("cjpeg-n") + s;
      for (char &ch : name)
        if (ch == ',') ch = '_';
      testpdf::run("cjpeg -quality 80 -sample " + std::string(s) + " " + q(dir_ + "/kcolour.ppm") +
                       " > " + q(dir_ + "/" + name + ".jpg"),
                   &status);
      if (status != 0) failed_ = "cjpeg could not write " + name;
    }
  }

  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
    if (!testpdf::have_tool("pdftoppm") || !testpdf::have_tool("djpeg") ||
        !testpdf::have_tool("cjpeg") || !have_pil())
      GTEST_SKIP() << "pdftoppm, djpeg, cjpeg and PIL are needed";
    ASSERT_TRUE(failed_.empty()) << failed_;
  }

  static std::string dir_, skip_, failed_;
};
std::string DctPages::dir_, DctPages::skip_, DctPages::failed_;

TEST_F(DctPages, PilJpegsOfGreyAndColourPagesMatchDjpegAtEveryScale) {
  int files = 0;
  for (const char *page : {"g", "c", "k"})
    for (const char *quality : {"50", "90"})
      for (const char *kind : {"b", "p"}) {
        const std::string tag = std::string(page) + "-q" + quality + "-" + kind;
        expect_like_djpeg(dir_ + "/pil-grey-" + tag + ".jpg");
        ++files;
        for (const char *sub : {"0", "1", "2"}) {
          expect_like_djpeg(dir_ + "/pil-colour-" + tag + "-s" + sub + ".jpg");
          ++files;
        }
      }
  EXPECT_EQ(files, 48);
}

TEST_F(DctPages, CjpegSamplingFactorsRestartIntervalsAndRgbMatchDjpeg) {
  for (const char *v : {"s411", "s12", "s21", "s42", "s14", "r1", "r3b", "r2p", "opt", "rgb",
                        "grey-r1p"})
    expect_like_djpeg(dir_ + "/cjpeg-" + v + ".jpg");
  for (const char *v : {"1x1_2x2_1x1", "2x2_2x1_1x2", "1x2_2x1_2x2"})
    expect_like_djpeg(dir_ + "/cjpeg-n" + v + ".jpg", true, 8);
}

// PIL writes CMYK with an Adobe marker, inverted; PIL reads it back as ink.
// The grey expected is the luminance of the RGB a PDF reader makes of the
// ink (R = (255 - C)(255 - K) / 255, ...). Forced to YCCK (/ColorTransform
// 1) the same samples are Y, Cb, Cr, K: the grey is then (255 - Y) K / 255
// over the stored (inverted) values.
TEST_F(DctPages, CmykAndYcckGreyIsTheLuminanceReadersSee) {
  for (const char *page : {"g", "c", "k"})
    for (const char *suffix : {"", "-p"}) {
      const std::string base = dir_ + "/pil-cmyk-" + page + suffix;
      SCOPED_TRACE(base);
      const std::string jpeg = testpdf::read_file(base + ".jpg");
      const std::string ink = testpdf::read_file(base + ".cmyk");
      for (int transform : {-1, 0, 1}) {
        const decoded d = decode(jpeg, 1, transform);
        ASSERT_TRUE(d.ok) << d.why;
        EXPECT_TRUE(d.complete);
        ASSERT_EQ(ink.size(), d.px.size() * 4);
        bytes expect(d.px.size());
        for (std::size_t i = 0; i < expect.size(); ++i) {
          const unsigned c = std::uint8_t(ink[4 * i]), m = std::uint8_t(ink[4 * i + 1]),
                         y = std::uint8_t(ink[4 * i + 2]), k = std::uint8_t(ink[4 * i + 3]);
          if (transform == 1) {
            const unsigned ys = 255 - c, ks = 255 - k;  // as stored
            expect[i] = static_cast<std::uint8_t>(((255 - ys) * ks + 127) / 255);
          } else {
            const std::uint64_t l = 19595ull * (255 - c) + 38470ull * (255 - m) + 7471ull * (255 - y);
            expect[i] = static_cast<std::uint8_t>((l * (255 - k) + 255 * 32768) / (255 * 65536));
          }
        }
        const agreement a = compare(d.px, expect);
        EXPECT_GE(a.within1, 0.99) << "transform " << transform;
        EXPECT_LE(a.worst, 3) << "transform " << transform;
      }
    }
}

// An RGB JPEG (Adobe marker, transform 0) read as YCbCr by /ColorTransform
// 1: the grey is then its first component, djpeg's red.
TEST_F(DctPages, ColorTransformDecidesOverTheAdobeMarker) {
  const std::string path = dir_ + "/cjpeg-rgb.jpg";
  int status = 0;
  testpdf::run("djpeg -pnm " + q(path) + " > " + q(path + ".ppm"), &status);
  ASSERT_EQ(status, 0);
  const pnm rgb = read_pnm(path + ".ppm");
  ASSERT_EQ(rgb.channels, 3);
  bytes red(std::size_t(rgb.w) * rgb.h);
  for (std::size_t i = 0; i < red.size(); ++i) red[i] = rgb.px[3 * i];
  const std::string jpeg = testpdf::read_file(path);
  const decoded d = decode(jpeg, 1, 1);
  ASSERT_TRUE(d.ok) << d.why;
  const agreement a = compare(d.px, red);
  EXPECT_GE(a.within1, 0.99);
  EXPECT_LE(a.worst, 3);
  // And /ColorTransform 0 on YCbCr data: the luminance of (Y, Cb, Cr) taken
  // as RGB, which is not the Y channel.
  const std::string ycc = testpdf::read_file(dir_ + "/pil-colour-c-q90-b-s0.jpg");
  const decoded as_y = decode(ycc, 1, -1), as_rgb = decode(ycc, 1, 0);
  ASSERT_TRUE(as_y.ok && as_rgb.ok);
  EXPECT_LT(compare(as_y.px, as_rgb.px).within1, 0.5);
}

// -------------------------------------------------------------- refusals

TEST(Dct, RefusesTheKindsItDoesNotReadWithTheReason) {
  struct refusal {
    std::string data;
    const char *why;
  };
  const std::string soi = {char(0xFF), char(0xD8)};
  std::vector<refusal> cases = {
      {frame(0xC0, 12, 64, 64, 1), "12-bit JPEG is not read"},
      {frame(0xC1, 12, 64, 64, 3), "12-bit JPEG is not read"},
      {frame(0xC2, 12, 64, 64, 1), "12-bit JPEG is not read"},
      {frame(0xC3, 8, 64, 64, 1), "lossless JPEG is not read"},
      {frame(0xC5, 8, 64, 64, 1), "hierarchical JPEG is not read"},
      {frame(0xC7, 8, 64, 64, 1), "hierarchical JPEG is not read"},
      {frame(0xC9, 8, 64, 64, 1), "arithmetic-coded JPEG is not read"},
      {frame(0xCA, 8, 64, 64, 3), "arithmetic-coded JPEG is not read"},
      {frame(0xCB, 8, 64, 64, 1), "arithmetic-coded JPEG is not read"},
      {frame(0xCD, 8, 64, 64, 1), "arithmetic-coded JPEG is not read"},
      {frame(0xCF, 8, 64, 64, 1), "arithmetic-coded JPEG is not read"},
      {frame(0xC0, 8, 64, 0, 1), "a JPEG whose height follows its data (DNL) is not read"},
      {frame(0xC0, 8, 64, 64, 2), "only JPEGs of 1, 3 or 4 components are read"},
      {frame(0xC0, 8, 64, 64, 5), "only JPEGs of 1, 3 or 4 components are read"},
      {frame(0xC0, 8, 65535, 65535, 1), "the image is larger than the budget"},
  };
  for (auto &c : cases) c.data = soi + c.data;
  cases.push_back({"%PDF-1.4", "not a JPEG"});
  cases.push_back({"", "not a JPEG"});
  cases.push_back({soi + segment(0xE0, "JFIF"), "the JPEG has no frame header"});
  for (const auto &c : cases) {
    SCOPED_TRACE(c.why);
    const decoded d = decode(c.data, 1, -1, 64 << 20);
    EXPECT_FALSE(d.ok);
    ASSERT_NE(d.why, nullptr);
    EXPECT_STREQ(d.why, c.why);
    EXPECT_TRUE(d.px.empty());
    EXPECT_EQ(d.w, 0);
  }
  if (!testpdf::have_tool("cjpeg")) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is needed";
  for (const char *options : {"-arithmetic", "-arithmetic -progressive", "-arithmetic -grayscale"}) {
    const std::string path = cjpeg_synthetic("arith", options);
    ASSERT_FALSE(path.empty());
    const decoded d = decode(testpdf::read_file(path));
    EXPECT_FALSE(d.ok) << options;
    EXPECT_STREQ(d.why, "arithmetic-coded JPEG is not read") << options;
  }
}

// -------------------------------------------------------------- budget

TEST(Dct, KeepsToTheBudget) {
  // Declared huge: refused from the header, whatever follows.
  const std::string huge = tiny_grey(65535, 65535, std::string(64, '\0'));
  for (int reduce : {1, 2, 4, 8}) {
    const decoded d = decode(huge, reduce, -1, 64 << 20);
    EXPECT_FALSE(d.ok);
    EXPECT_STREQ(d.why, "the image is larger than the budget");
  }
  // Reduced by 8 it fits: all mid-grey but what the 64 bytes hold, and
  // known to be incomplete.
  const decoded small = decode(huge, 8, -1, 100 << 20);
  ASSERT_TRUE(small.ok) << small.why;
  EXPECT_EQ(small.w, 8192);
  EXPECT_EQ(small.h, 8192);
  EXPECT_FALSE(small.complete);
  // A budget of nothing allows nothing.
  const std::string ok = tiny_grey(16, 16, std::string(2, '\0'));
  EXPECT_TRUE(decode(ok, 1, -1, 4096).ok);
  EXPECT_STREQ(decode(ok, 1, -1, 0).why, "the image is larger than the budget");
  // The pixels alone are not enough: a row of blocks is needed too, and a
  // progressive image's coefficients.
  EXPECT_FALSE(decode(ok, 1, -1, 256).ok);
  if (!testpdf::have_tool("cjpeg")) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is needed";
  const std::string prog = testpdf::read_file(cjpeg_synthetic("prog", "-progressive -grayscale", 1));
  const decoded full = decode(prog);
  ASSERT_TRUE(full.ok);
  const std::size_t pixels = std::size_t(full.w) * full.h;
  const std::size_t coefs = std::size_t((full.w + 7) / 8) * ((full.h + 7) / 8) * 64 * 2;
  EXPECT_FALSE(decode(prog, 1, -1, pixels + coefs).ok);
  EXPECT_TRUE(decode(prog, 1, -1, pixels + coefs + std::size_t((full.w + 7) / 8) * 64).ok);
}

// -------------------------------------------------------------- damage

struct damaged_case {
  std::string name;
  std::string jpeg;
  decoded clean;
};

std::vector<damaged_case> damage_inputs() {
  std::vector<damaged_case> v;
  const char *opts[][3] = {{"baseline-420", "-quality 75", "3"},
                           {"progressive-420", "-quality 75 -progressive", "3"},
                           {"restart", "-quality 75 -restart 1 -sample 2x1,1x1,1x1", "3"},
                           {"progressive-restart", "-quality 75 -restart 2 -progressive", "3"},
                           {"grey-progressive", "-quality 90 -grayscale -progressive", "1"}};
  for (auto &o : opts) {
    const std::string path = cjpeg_synthetic(o[0], o[1], std::atoi(o[2]));
    if (path.empty()) continue;
    damaged_case c{o[0], testpdf::read_file(path), {}};
    c.clean = decode(c.jpeg);
    v.push_back(c);
  }
  return v;
}

void expect_sane(const decoded &d) {
  if (!d.ok) {
    EXPECT_NE(d.why, nullptr);
    EXPECT_TRUE(d.px.empty());
    return;
  }
  EXPECT_EQ(d.why, nullptr);
  EXPECT_GT(d.w, 0);
  EXPECT_GT(d.h, 0);
  EXPECT_EQ(d.px.size(), std::size_t(d.w) * std::size_t(d.h));
}

TEST(Dct, DataCutShortGivesThePartDecodedAndSaysSo) {
  if (!testpdf::have_tool("cjpeg")) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is needed";
  const auto inputs = damage_inputs();
  ASSERT_EQ(inputs.size(), 5u);
  for (const auto &c : inputs) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.clean.ok && c.clean.complete);
    // The first scan's data starts after its header; cuts past it make an
    // image, cuts inside the scans say it is incomplete.
    const std::size_t sos = c.jpeg.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    for (std::size_t cut = 0; cut < c.jpeg.size(); cut += 1 + c.jpeg.size() / 150) {
      const decoded d = decode(c.jpeg.substr(0, cut));
      expect_sane(d);
      if (cut > sos + 20 && cut + 16 < c.jpeg.size()) {
        ASSERT_TRUE(d.ok) << "cut at " << cut << ": " << d.why;
        EXPECT_FALSE(d.complete) << "cut at " << cut;
        EXPECT_EQ(d.w, c.clean.w);
        EXPECT_EQ(d.h, c.clean.h);
      }
    }
  }
  // A baseline image cut in half: the rows above the cut are as before,
  // those below it mid-grey.
  const auto &b = inputs[0];
  const decoded half = decode(b.jpeg.substr(0, b.jpeg.size() / 2));
  ASSERT_TRUE(half.ok);
  int same_rows = 0;
  while (same_rows < half.h &&
         std::equal(half.px.begin() + std::ptrdiff_t(same_rows) * half.w,
                    half.px.begin() + std::ptrdiff_t(same_rows + 1) * half.w,
                    b.clean.px.begin() + std::ptrdiff_t(same_rows) * half.w))
    ++same_rows;
  EXPECT_GE(same_rows, half.h / 4);
  EXPECT_LT(same_rows, half.h);
  const std::uint8_t *last = half.px.data() + std::size_t(half.h - 1) * half.w;
  EXPECT_TRUE(std::all_of(last, last + half.w, [](std::uint8_t v) { return v == 128; }));
}

TEST(Dct, FlippedBitsAndLostMarkersNeverBreakIt) {
  if (!testpdf::have_tool("cjpeg")) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is needed";
  const auto inputs = damage_inputs();
  ASSERT_EQ(inputs.size(), 5u);
  std::mt19937 rng(12345);
  for (const auto &c : inputs) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 150; ++i) {
      std::string j = c.jpeg;
      const int flips = 1 + i % 4;
      for (int f = 0; f < flips; ++f) j[rng() % j.size()] ^= char(1 << (rng() % 8));
      for (int reduce : {1, 8}) expect_sane(decode(j, reduce));
    }
    // Every marker taken out in turn (its two bytes).
    for (std::size_t at = c.jpeg.find('\xFF', 2); at != std::string::npos && at + 1 < c.jpeg.size();
         at = c.jpeg.find('\xFF', at + 2)) {
      if (c.jpeg[at + 1] == 0) continue;
      std::string j = c.jpeg;
      j.erase(at, 2);
      expect_sane(decode(j));
    }
    // Declared sizes made large and small.
    const std::size_t sof = c.jpeg.find(c.name.find("progressive") != std::string::npos ? "\xFF\xC2" : "\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (int size : {1, 7, 9, 4096, 65535}) {
      std::string j = c.jpeg;
      j[sof + 5] = j[sof + 7] = char(size >> 8);
      j[sof + 6] = j[sof + 8] = char(size & 0xFF);
      const decoded d = decode(j, 1, -1, 64 << 20);
      expect_sane(d);
      if (size == 65535) {
        EXPECT_STREQ(d.why, "the image is larger than the budget");
      }
      if (size == 4096 && d.ok) {
        EXPECT_FALSE(d.complete);
      }
    }
  }
}

// With restart markers a damaged stretch costs its own intervals only:
// bytes overwritten in the middle of the data, or a marker removed, leave
// most of the picture as it was.
TEST(Dct, RestartMarkersConfineDamage) {
  if (!testpdf::have_tool("cjpeg")) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is needed";
  for (const char *options : {"-quality 75 -restart 1", "-quality 75 -restart 4B -progressive",
                              "-quality 75 -restart 1 -grayscale"}) {
    SCOPED_TRACE(options);
    const std::string jpeg = testpdf::read_file(cjpeg_synthetic("rst", options, 3, 400, 400));
    const decoded clean = decode(jpeg);
    ASSERT_TRUE(clean.ok && clean.complete);
    std::vector<std::size_t> rst;
    for (std::size_t at = jpeg.find('\xFF'); at != std::string::npos && at + 1 < jpeg.size();
         at = jpeg.find('\xFF', at + 1))
      if (std::uint8_t(jpeg[at + 1]) >= 0xD0 && std::uint8_t(jpeg[at + 1]) <= 0xD7) rst.push_back(at);
    ASSERT_GT(rst.size(), 10u);
    auto share_same = [&](const decoded &d) {
      std::size_t same = 0;
      for (std::size_t i = 0; i < d.px.size(); ++i) same += d.px[i] == clean.px[i];
      return double(same) / double(d.px.size());
    };
    // Garbage over the middle of one interval's data (which may happen to
    // decode to as many blocks, so the damage need not be seen).
    std::string j = jpeg;
    const std::size_t from = rst[rst.size() / 2] + 2, to = rst[rst.size() / 2 + 1];
    for (std::size_t i = from + (to - from) / 4; i < from + (to - from) / 2; ++i) j[i] = '\x5A';
    decoded d = decode(j);
    ASSERT_TRUE(d.ok);
    EXPECT_NE(d.px, clean.px);
    EXPECT_GT(share_same(d), 0.85);
    // A restart marker lost, then two.
    for (int lose : {1, 2}) {
      j = jpeg;
      for (int k = lose - 1; k >= 0; --k) j.erase(rst[rst.size() / 3 + std::size_t(k) * 3], 2);
      d = decode(j);
      ASSERT_TRUE(d.ok);
      EXPECT_FALSE(d.complete);
      EXPECT_GT(share_same(d), 0.85) << lose << " lost";
    }
  }
}

// A hand-made image of blocks with nothing but a zero DC difference.
TEST(Dct, HandMadeImageOfFlatBlocksIsMidGreyAtAnyScale) {
  const std::string j = tiny_grey(40, 24, std::string(8, '\0'));
  const decoded a = decode(j), b = decode(j, 2);
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_EQ(a.w, 40);
  EXPECT_EQ(b.w, 20);
  EXPECT_EQ(b.h, 12);
  EXPECT_TRUE(std::all_of(a.px.begin(), a.px.end(), [](std::uint8_t v) { return v == 128; }));
  EXPECT_TRUE(a.complete);
}

}  // namespace
