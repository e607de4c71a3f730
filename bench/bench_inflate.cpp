// SPDX-License-Identifier: MIT
// Speed of the decoder on a 10 MB stream (text-like and random data),
// compressed by zlib at its default level.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "inflate.h"

namespace {

// kind 1: text-like (long matches), 0: random bytes (stored blocks),
// 2: random letters (nearly all literals, the slowest path).
std::vector<unsigned char> make_data(int kind, size_t n) {
  std::mt19937 rng(7);
  std::vector<unsigned char> v;
  v.reserve(n);
  static const char *words[] = {"q 1 0 0 1 72 720 cm ", "BT /F1 12 Tf ", "(Hello world) Tj ",
                                "ET Q\n", "0.5 0.25 0.125 rg ", "72 72 m 540 720 l S\n"};
  while (v.size() < n) {
    if (kind == 2) {
      v.push_back(static_cast<unsigned char>('a' + rng() % 26));
    } else if (kind == 1) {
      const char *w = words[rng() % 6];
      while (*w && v.size() < n) v.push_back(static_cast<unsigned char>(*w++));
    } else {
      v.push_back(static_cast<unsigned char>(rng()));
    }
  }
  return v;
}

void BM_Inflate10MB(benchmark::State &state) {
  const int kind = static_cast<int>(state.range(0));
  const std::vector<unsigned char> data = make_data(kind, 10u << 20);
  uLongf zn = compressBound(static_cast<uLong>(data.size()));
  std::vector<unsigned char> z(zn);
  compress2(z.data(), &zn, data.data(), static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION);
  z.resize(zn);
  std::vector<unsigned char> out(data.size());
  for (auto _ : state) {
    size_t len = 0;
    const int rc = lt::inflate_decompress(z.data(), z.size(), out.data(), out.size(), &len);
    if (rc != 0 || len != data.size()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.SetLabel(kind == 2 ? "random letters" : kind == 1 ? "text-like" : "random bytes");
}
BENCHMARK(BM_Inflate10MB)->Arg(1)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
