// SPDX-License-Identifier: MIT
// Inflating into a buffer that grows (inflate_buffer.h).
#include "inflate_buffer.h"

#include "inflate.h"

namespace lt {

bool inflate_buffer::decode(const std::uint8_t *in, std::size_t n, std::size_t first_guess,
                            std::size_t budget) {
  sized_.reset();
  data_ = nullptr;
  size_ = 0;
  std::size_t keep = first_guess < budget ? first_guess : budget;
  if (keep > kept_size_) {
    kept_.reset(new std::uint8_t[keep]);
    kept_size_ = keep;
  }
  // A block kept from a larger guess holds as much again.
  keep = kept_size_ < budget ? kept_size_ : budget;
  std::size_t total = 0;
  bool complete = false;
  if (inflate_decompress_some(in, n, kept_.get(), keep, budget, &total, &complete) != 0) return false;
  if (complete) {
    data_ = kept_.get();
    size_ = total;
    return true;
  }
  // Counted, not kept: decoded again at its size.
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[total ? total : 1]);
  std::size_t got = 0;
  if (inflate_decompress(in, n, block.get(), total, &got) != 0 || got != total) return false;
  sized_ = std::move(block);
  data_ = sized_.get();
  size_ = total;
  return true;
}

}  // namespace lt
