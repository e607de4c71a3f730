// SPDX-License-Identifier: MIT
// The JPEG decoder on arbitrary bytes: never reads outside its input, never
// makes an image other than the size it reports, and says why when it
// makes none. The first byte picks the reduction and /ColorTransform.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dct.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  lt::dct_options opt;
  opt.reduce = 1 << (data[0] & 3);
  opt.color_transform = ((data[0] >> 2) % 3) - 1;
  opt.budget = std::size_t(64) << 20;
  // An exact-size copy: the sanitizer catches any read past its end.
  std::vector<std::uint8_t> in(data + 1, data + size);
  std::vector<std::uint8_t> px;
  int w = -1, h = -1;
  bool complete = true;
  const char *why = nullptr;
  const bool ok = lt::dct_decode_grey(in.data(), in.size(), opt, &px, &w, &h, &complete, &why);
  if (ok) {
    if (why || w <= 0 || h <= 0 || px.size() != std::size_t(w) * std::size_t(h)) std::abort();
  } else if (!why || !px.empty() || w != 0 || h != 0 || complete) {
    std::abort();
  }
  return 0;
}
