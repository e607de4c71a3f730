// SPDX-License-Identifier: MIT
// The JBIG2 decoder's speed on a 300-dpi A4 page, beside Debian's jbig2dec
// on the same streams (run as a separate program: its time includes
// starting up and writing its PBM, measured apart on a one-pixel page).
//
//   bench_jbig2 [PAGE.pbm | ""] [WORK_DIR]
//
// Without a page, a text-like page of 2480 x 3508 is drawn. The page is
// written by the tests' encoder as one generic region (template 0 with
// typical prediction, and the other templates), as MMR and as symbols in a
// text region.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "jbig2.h"
#include "jbig2_encoder.h"

using jb2test::bytes;
using jb2test::image;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

image drawn_page() {
  image img(2480, 3508);
  std::mt19937 rng(11);
  // Lines of "words": blocks of glyph-sized shapes with gaps.
  for (int line = 0; line < 90; ++line) {
    const int top = 250 + line * 34;
    int x = 240;
    while (x < 2240) {
      const int word = 3 + int(rng() % 8);
      for (int c = 0; c < word && x < 2240; ++c, x += 22) {
        const unsigned shape = rng();
        for (int y = 0; y < 24; ++y)
          for (int i = 0; i < 18; ++i) {
            const bool stem = (shape & 1) && i >= 2 && i < 5;
            const bool bowl = (shape & 2) && y > 10 && ((i - 10) * (i - 10) + (y - 17) * (y - 17)) < 40 &&
                              ((i - 10) * (i - 10) + (y - 17) * (y - 17)) > 16;
            const bool bar = (shape & 4) && y >= 10 && y < 13;
            if (stem || bowl || bar) img.set(x + i, top + y, 1);
          }
      }
      x += 30;
    }
  }
  return img;
}

void save(const std::string &path, const bytes &b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}

// The best of n runs of f, in seconds.
template <class F>
double best_of(int n, F f) {
  double best = 1e9;
  for (int i = 0; i < n; ++i) {
    const double t0 = now();
    f();
    best = std::min(best, now() - t0);
  }
  return best;
}

double jbig2dec_time(const std::string &dir, const bytes &page, const bytes &globals, int n) {
  save(dir + "/bench.page", page);
  save(dir + "/bench.globals", globals);
  const std::string cmd = "jbig2dec -e -o " + dir + "/bench.pbm " + dir + "/bench.globals " + dir +
                          "/bench.page >/dev/null 2>&1";
  return best_of(n, [&] {
    if (std::system(cmd.c_str()) != 0) std::printf("  (jbig2dec failed)\n");
  });
}

}  // namespace

int main(int argc, char **argv) {
  image img = argc > 1 && argv[1][0] ? jb2test::read_pbm(argv[1]) : drawn_page();
  const std::string dir = argc > 2 ? argv[2] : "/tmp";
  if (img.w == 0) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  long black = 0;
  for (auto p : img.px) black += p;
  std::printf("page %d x %d (%.1f Mpixels, %.1f%% black)\n", img.w, img.h, img.w * double(img.h) / 1e6,
              100.0 * double(black) / double(img.px.size()));
  const bool have_jbig2dec = std::system("jbig2dec --version >/dev/null 2>&1") == 0;
  double startup = 0;
  if (have_jbig2dec) {
    image dot(1, 1);
    jb2test::generic_options o;
    o.set_default_at();
    startup = jbig2dec_time(dir, jb2test::generic_page(dot, o), {}, 10);
    std::printf("jbig2dec start-up and exit (a 1x1 page): %.1f ms\n", startup * 1e3);
  }
  struct stream {
    std::string name;
    bytes page, globals;
  };
  std::vector<stream> streams;
  for (int t = 0; t < 4; ++t) {
    jb2test::generic_options o;
    o.templ = t;
    o.tpgdon = true;
    o.set_default_at();
    streams.push_back({"generic, template " + std::to_string(t) + ", TPGDON", jb2test::generic_page(img, o), {}});
  }
  {
    jb2test::generic_options o;
    o.set_default_at();
    o.at[0] = -4;
    o.at[1] = -2;
    streams.push_back({"generic, template 0, moved adaptive pixel", jb2test::generic_page(img, o), {}});
    streams.push_back({"generic, MMR", jb2test::generic_page(img, o, true), {}});
  }
  {
    jb2test::text_options o;
    const jb2test::text_stream ts = jb2test::text_page(img, o);
    streams.push_back({"symbols and text region", ts.page, ts.globals});
  }
  std::printf("%-44s %9s %12s %12s %12s\n", "stream", "bytes", "ours ms", "Mpixels/s", "jbig2dec ms");
  for (const stream &s : streams) {
    lt::jbig2_params p;
    p.globals = s.globals.empty() ? nullptr : s.globals.data();
    p.globals_len = s.globals.size();
    std::vector<std::uint8_t> px;
    int w = 0, h = 0;
    bool complete = false;
    const char *why = nullptr;
    const double ours = best_of(7, [&] {
      lt::jbig2_decode_grey(s.page.data(), s.page.size(), p, &px, &w, &h, &complete, &why);
    });
    if (w != img.w || h != img.h || !complete) std::printf("  (decoding failed: %s)\n", why ? why : "");
    std::printf("%-44s %9zu %12.1f %12.1f", s.name.c_str(), s.page.size() + s.globals.size(), ours * 1e3,
                img.w * double(img.h) / ours / 1e6);
    if (have_jbig2dec)
      std::printf(" %12.1f", (jbig2dec_time(dir, s.page, s.globals, 5) - startup) * 1e3);
    std::printf("\n");
  }
  if (have_jbig2dec) std::printf("(jbig2dec: best of 5 runs less its start-up, PBM writing included)\n");
  return 0;
}
