// SPDX-License-Identifier: MIT
// Speed of the JPEG decoder: each file named decoded to grey at full size
// and at half size, many times over; prints the median and fastest
// milliseconds of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dct.h"

int main(int argc, char **argv) {
  const int runs = 30;
  for (int i = 1; i < argc; ++i) {
    std::ifstream f(argv[i], std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    const std::string data = s.str();
    for (int reduce : {1, 2, 4, 8}) {
      lt::dct_options opt;
      opt.reduce = reduce;
      opt.budget = std::size_t(1) << 30;
      std::vector<std::uint8_t> px;
      std::vector<double> ms;
      int w = 0, h = 0;
      for (int r = 0; r < runs; ++r) {
        bool complete = false;
        const char *why = nullptr;
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = lt::dct_decode_grey(reinterpret_cast<const std::uint8_t *>(data.data()),
                                            data.size(), opt, &px, &w, &h, &complete, &why);
        const auto t1 = std::chrono::steady_clock::now();
        if (!ok || !complete) {
          std::fprintf(stderr, "%s: %s\n", argv[i], ok ? "incomplete" : why);
          return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      }
      std::sort(ms.begin(), ms.end());
      std::printf("%-40s reduce %d  %5dx%-5d  median %7.2f ms  fastest %7.2f ms\n", argv[i], reduce, w,
                  h, ms[ms.size() / 2], ms[0]);
    }
  }
  return 0;
}
