// SPDX-License-Identifier: MIT
// The decoder on arbitrary bytes: never reads outside its input or writes
// outside its output; counting without a buffer, and decoding into a
// buffer that holds only part, agree with decoding.
#include <cstdint>
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte picks the capacity, so that "output full" is reached too.
  const std::size_t cap = (std::size_t(data[0]) + 1) * 1024;
  // Exact-size buffers: the sanitizer catches any access past either end.
  std::vector<std::uint8_t> in(data + 1, data + size);
  std::vector<std::uint8_t> out(cap);
  std::size_t len = 0, counted = 0;
  const int rc = lt::inflate_decompress(in.data(), in.size(), out.data(), cap, &len);
  const int rc2 = lt::inflate_decompress(in.data(), in.size(), nullptr, cap, &counted);
  if (rc != rc2 || len != counted || len > cap || (rc != 0 && len != 0)) std::abort();
  // A buffer of a third of the capacity: the bytes it holds are the first
  // ones, and it says whether they are all.
  const std::size_t keep = cap / 3;
  std::vector<std::uint8_t> part(keep);
  std::size_t got = 0;
  bool complete = true;
  const int rc3 = lt::inflate_decompress_some(in.data(), in.size(), part.data(), keep, cap, &got, &complete);
  if (rc3 != rc || got != len || (rc == 0 && complete != (len <= keep))) std::abort();
  if (rc == 0 && complete && !std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(len), out.begin()))
    std::abort();
  return 0;
}
