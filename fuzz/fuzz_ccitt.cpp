// SPDX-License-Identifier: MIT
// The fax decoder on arbitrary bytes: the first four pick the coding (k
// below, at or above 0), the width, the height (or none), the flags and
// the reduction; the rest is the data. Never reads outside it, never makes
// a picture of another size than it says, never more than the budget.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ccitt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 4) return 0;
  lt::ccitt_params p;
  p.k = int(data[0] % 3) - 1;                       // -1, 0, 1
  if (data[0] & 0x80) p.k *= 4;                     // -4 or 4 read the same way
  const int widths[] = {1, 2, 7, 8, 16, 257, 64, 333, 1728, 2480, 5300, 1 << 20};
  p.columns = widths[data[1] % 12];
  if (data[1] & 0x80) p.columns = 1 + data[1] * 3;
  p.rows = data[2] & 1 ? 0 : int(data[2] >> 1) * 7;
  p.encoded_byte_align = data[3] & 1;
  p.black_is_1 = data[3] & 2;
  p.end_of_line = data[3] & 4;
  p.end_of_block = data[3] & 8;
  p.damaged_rows_before_error = (data[3] >> 4) & 3;
  p.reduce = 1 << ((data[3] >> 6) % 3);
  p.budget = std::size_t(64) << 20;
  // An exact-size copy: the sanitizer catches any read past the end.
  std::vector<std::uint8_t> in(data + 4, data + size);
  std::vector<std::uint8_t> px;
  int w = -1, h = -1;
  bool complete = true;
  const char *why = nullptr;
  const bool ok = lt::ccitt_decode_grey(in.data(), in.size(), p, &px, &w, &h, &complete, &why);
  if (px.size() != std::size_t(w) * std::size_t(h) || px.size() > p.budget) std::abort();
  if (!ok && (why == nullptr || w != 0 || h != 0 || !px.empty())) std::abort();
  if (ok && (w != (p.columns + p.reduce - 1) / p.reduce || h <= 0)) std::abort();
  if (ok && p.rows && h != (p.rows + p.reduce - 1) / p.reduce) std::abort();
  if (ok && complete != (why == nullptr)) std::abort();
  return 0;
}
