// SPDX-License-Identifier: MIT
// Speed of the fax decoder: one fax stream decoded again and again at each
// reduction, the fastest of the runs reported.
// Usage: bench_ccitt FILE K COLUMNS ROWS BLACK_IS_1 [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "ccitt.h"

int main(int argc, char **argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: bench_ccitt FILE K COLUMNS ROWS BLACK_IS_1 [RUNS]\n");
    return 2;
  }
  std::ifstream f(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(f)), {});
  lt::ccitt_params p;
  p.k = std::atoi(argv[2]);
  p.columns = std::atoi(argv[3]);
  p.rows = std::atoi(argv[4]);
  p.black_is_1 = std::atoi(argv[5]) != 0;
  const int runs = argc > 6 ? std::atoi(argv[6]) : 50;
  for (int reduce : {1, 2, 4}) {
    p.reduce = reduce;
    double best = 1e9, total = 0;
    int w = 0, h = 0;
    bool complete = false;
    for (int i = 0; i < runs; ++i) {
      std::vector<std::uint8_t> px;  // a fresh picture each time, as a caller has
      const char *why = nullptr;
      const auto t0 = std::chrono::steady_clock::now();
      const bool ok = lt::ccitt_decode_grey(data.data(), data.size(), p, &px, &w, &h, &complete, &why);
      const double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      if (!ok || !complete) {
        std::fprintf(stderr, "decoding failed: %s\n", why ? why : "incomplete");
        return 1;
      }
      best = ms < best ? ms : best;
      total += ms;
    }
    std::printf("leafturn reduce %d: %dx%d  best %.2f ms  mean %.2f ms  (%zu bytes of Group 4 data)\n",
                reduce, w, h, best, total / runs, data.size());
  }
  return 0;
}
