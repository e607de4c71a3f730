// SPDX-License-Identifier: MIT
// RC4, as the standard security handler uses it (revisions 2 to 4).
#include "crypto.h"

namespace lt {

rc4::rc4(const std::uint8_t *key, std::size_t n) {
  if (n > 256) n = 256;
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<std::uint8_t>(k);
  if (n == 0) return;  // no key: the identity permutation's stream
  std::uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + s_[k] + key[static_cast<std::size_t>(k) % n]);
    const std::uint8_t t = s_[k];
    s_[k] = s_[j];
    s_[j] = t;
  }
}

void rc4::apply(const std::uint8_t *in, std::uint8_t *out, std::size_t n) {
  std::uint8_t i = i_, j = j_;
  for (std::size_t k = 0; k < n; ++k) {
    i = static_cast<std::uint8_t>(i + 1);
    j = static_cast<std::uint8_t>(j + s_[i]);
    const std::uint8_t t = s_[i];
    s_[i] = s_[j];
    s_[j] = t;
    out[k] = in[k] ^ s_[static_cast<std::uint8_t>(s_[i] + s_[j])];
  }
  i_ = i;
  j_ = j;
}

}  // namespace lt
