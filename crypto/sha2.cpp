// SPDX-License-Identifier: MIT
// SHA-256, SHA-384 and SHA-512 (FIPS 180-4).
#include <cstring>

#include "crypto.h"

namespace lt {

namespace {

constexpr std::uint32_t k_256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint64_t k_512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

inline std::uint32_t ror32(std::uint32_t x, int c) { return (x >> c) | (x << (32 - c)); }
inline std::uint64_t ror64(std::uint64_t x, int c) { return (x >> c) | (x << (64 - c)); }

// Feeds n bytes through a block function of B-byte blocks with a buffer.
template <std::size_t B, typename Block>
void feed(std::uint8_t *buf, std::uint64_t &total, const std::uint8_t *p, std::size_t n,
          Block block) {
  if (n == 0) return;  // p may be null then
  std::size_t have = static_cast<std::size_t>(total % B);
  total += n;
  if (have) {
    const std::size_t take = n < B - have ? n : B - have;
    std::memcpy(buf + have, p, take);
    p += take;
    n -= take;
    have += take;
    if (have < B) return;
    block(buf);
  }
  for (; n >= B; p += B, n -= B) block(p);
  if (n) std::memcpy(buf, p, n);
}

}  // namespace

sha256::sha256()
    : h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
         0x5be0cd19} {}

void sha256::block(const std::uint8_t *p) {
  std::uint32_t w[64];
  for (int k = 0; k < 16; ++k)
    w[k] = std::uint32_t(p[4 * k]) << 24 | std::uint32_t(p[4 * k + 1]) << 16 |
           std::uint32_t(p[4 * k + 2]) << 8 | std::uint32_t(p[4 * k + 3]);
  for (int k = 16; k < 64; ++k) {
    const std::uint32_t s0 = ror32(w[k - 15], 7) ^ ror32(w[k - 15], 18) ^ (w[k - 15] >> 3);
    const std::uint32_t s1 = ror32(w[k - 2], 17) ^ ror32(w[k - 2], 19) ^ (w[k - 2] >> 10);
    w[k] = w[k - 16] + s0 + w[k - 7] + s1;
  }
  std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6],
                h = h_[7];
  for (int k = 0; k < 64; ++k) {
    const std::uint32_t t1 =
        h + (ror32(e, 6) ^ ror32(e, 11) ^ ror32(e, 25)) + ((e & f) ^ (~e & g)) + k_256[k] + w[k];
    const std::uint32_t t2 = (ror32(a, 2) ^ ror32(a, 13) ^ ror32(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
  h_[5] += f;
  h_[6] += g;
  h_[7] += h;
}

void sha256::update(const std::uint8_t *p, std::size_t n) {
  feed<64>(buf_, total_, p, n, [this](const std::uint8_t *b) { block(b); });
}

void sha256::final(std::uint8_t out[32]) {
  const std::uint64_t bits = total_ * 8;
  const std::uint8_t one = 0x80, zero[64] = {};
  update(&one, 1);
  const std::size_t have = static_cast<std::size_t>(total_ & 63);
  update(zero, have <= 56 ? 56 - have : 120 - have);
  std::uint8_t len[8];
  for (int k = 0; k < 8; ++k) len[k] = static_cast<std::uint8_t>(bits >> (56 - 8 * k));
  update(len, 8);
  for (int k = 0; k < 8; ++k)
    for (int j = 0; j < 4; ++j) out[4 * k + j] = static_cast<std::uint8_t>(h_[k] >> (24 - 8 * j));
}

void sha256::hash(const std::uint8_t *p, std::size_t n, std::uint8_t out[32]) {
  sha256 s;
  s.update(p, n);
  s.final(out);
}

sha512::sha512(bool as_384) : as_384_(as_384) {
  static constexpr std::uint64_t init_512[8] = {
      0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
      0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
  static constexpr std::uint64_t init_384[8] = {
      0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
      0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
  std::memcpy(h_, as_384 ? init_384 : init_512, sizeof h_);
}

void sha512::block(const std::uint8_t *p) {
  std::uint64_t w[80];
  for (int k = 0; k < 16; ++k) {
    std::uint64_t v = 0;
    for (int j = 0; j < 8; ++j) v = v << 8 | p[8 * k + j];
    w[k] = v;
  }
  for (int k = 16; k < 80; ++k) {
    const std::uint64_t s0 = ror64(w[k - 15], 1) ^ ror64(w[k - 15], 8) ^ (w[k - 15] >> 7);
    const std::uint64_t s1 = ror64(w[k - 2], 19) ^ ror64(w[k - 2], 61) ^ (w[k - 2] >> 6);
    w[k] = w[k - 16] + s0 + w[k - 7] + s1;
  }
  std::uint64_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6],
                h = h_[7];
  for (int k = 0; k < 80; ++k) {
    const std::uint64_t t1 =
        h + (ror64(e, 14) ^ ror64(e, 18) ^ ror64(e, 41)) + ((e & f) ^ (~e & g)) + k_512[k] + w[k];
    const std::uint64_t t2 = (ror64(a, 28) ^ ror64(a, 34) ^ ror64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
  h_[5] += f;
  h_[6] += g;
  h_[7] += h;
}

void sha512::update(const std::uint8_t *p, std::size_t n) {
  feed<128>(buf_, total_, p, n, [this](const std::uint8_t *b) { block(b); });
}

void sha512::final(std::uint8_t *out) {
  // Inputs stay far below 2^64 bits: the length's top 64 bits are zero.
  const std::uint64_t bits = total_ * 8;
  const std::uint8_t one = 0x80, zero[128] = {};
  update(&one, 1);
  const std::size_t have = static_cast<std::size_t>(total_ & 127);
  update(zero, have <= 112 ? 112 - have : 240 - have);
  std::uint8_t len[16] = {};
  for (int k = 0; k < 8; ++k) len[8 + k] = static_cast<std::uint8_t>(bits >> (56 - 8 * k));
  update(len, 16);
  const int words = as_384_ ? 6 : 8;
  for (int k = 0; k < words; ++k)
    for (int j = 0; j < 8; ++j) out[8 * k + j] = static_cast<std::uint8_t>(h_[k] >> (56 - 8 * j));
}

void sha512::hash(const std::uint8_t *p, std::size_t n, std::uint8_t out[64]) {
  sha512 s;
  s.update(p, n);
  s.final(out);
}

void sha512::hash384(const std::uint8_t *p, std::size_t n, std::uint8_t out[48]) {
  sha512 s(true);
  s.update(p, n);
  s.final(out);
}

}  // namespace lt
