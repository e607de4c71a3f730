// SPDX-License-Identifier: MIT
// Inflating stream data whose decoded size is not known beforehand, into a
// buffer that grows, under a budget: the one way the library inflates
// (object streams, the content and other streams it decodes, and
// cross-reference streams).
#ifndef LEAFTURN_INFLATE_BUFFER_H
#define LEAFTURN_INFLATE_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace lt {

class inflate_buffer {
 public:
  // Decodes the zlib stream in[0, n) into at most `budget` bytes (at most
  // 1 GiB). The bytes go first into a block kept from call to call, of
  // first_guess bytes (the budget when that is less); when more come, that
  // decode has counted them, and a second one writes them into a block of
  // their size. True with data() and size() the bytes; false when the
  // data is not a zlib stream, is cut short, or decodes to more than the
  // budget (inflate_decompress's rules).
  bool decode(const std::uint8_t *in, std::size_t n, std::size_t first_guess, std::size_t budget);

  const std::uint8_t *data() const { return data_; }
  std::size_t size() const { return size_; }
  // Whether the bytes stand in a block of their own (the second decode),
  // which take_block() then hands over; otherwise they stand in the kept
  // block, until the next decode.
  bool own_block() const { return sized_ != nullptr; }
  std::unique_ptr<std::uint8_t[]> take_block() { return std::move(sized_); }

 private:
  std::unique_ptr<std::uint8_t[]> kept_;
  std::size_t kept_size_ = 0;
  std::unique_ptr<std::uint8_t[]> sized_;
  const std::uint8_t *data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace lt

#endif
