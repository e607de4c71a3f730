// SPDX-License-Identifier: MIT
// The JBIG2 decoder on arbitrary bytes. The first byte picks the reduction
// (its low two bits) and whether globals come first (bit 2: then the next
// two bytes give their length); the rest is the page's stream. Never reads
// outside either, never makes a picture of another size than it says,
// never more than the budget.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "jbig2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  lt::jbig2_params p;
  const int reduces[4] = {1, 2, 4, 1};
  p.reduce = reduces[data[0] & 3];
  p.budget = std::size_t(64) << 20;
  std::size_t at = 1, glen = 0;
  if ((data[0] & 4) && size >= 3) {
    glen = std::size_t(data[1]) << 8 | data[2];
    at = 3;
    if (glen > size - at) glen = size - at;
  }
  // Exact-size copies: the sanitizer catches any read past either end.
  std::vector<std::uint8_t> globals(data + at, data + at + glen);
  std::vector<std::uint8_t> in(data + at + glen, data + size);
  p.globals = globals.empty() ? nullptr : globals.data();
  p.globals_len = globals.size();
  std::vector<std::uint8_t> px;
  int w = -1, h = -1;
  bool complete = true;
  const char *why = nullptr;
  const bool ok = lt::jbig2_decode_grey(in.data(), in.size(), p, &px, &w, &h, &complete, &why);
  if (px.size() != std::size_t(w) * std::size_t(h) || px.size() > p.budget) std::abort();
  if (!ok && (why == nullptr || w != 0 || h != 0 || !px.empty())) std::abort();
  if (ok && (w <= 0 || h <= 0)) std::abort();
  if (ok && complete != (why == nullptr)) std::abort();
  return 0;
}
