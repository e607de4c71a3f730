// The decoder on arbitrary bytes: never reads outside its input or writes
// outside its output; counting without a buffer agrees with decoding.
#include <cstdint>
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
  return 0;
}
