// SPDX-License-Identifier: MIT
// AES (FIPS 197) with 128- and 256-bit keys, by 32-bit table lookups; the
// tables are built at compile time and never change. Decryption is the
// equivalent inverse cipher (round keys through InvMixColumns).
#include <cstring>

#include "crypto.h"

namespace lt {

namespace {

constexpr std::uint8_t xtime(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0));
}

constexpr std::uint8_t gmul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = xtime(a);
    b >>= 1;
  }
  return r;
}

struct tables {
  std::uint8_t s[256] = {}, si[256] = {};
  std::uint32_t te[256] = {}, td[256] = {};
  constexpr tables() {
    for (int x = 0; x < 256; ++x) {
      // The multiplicative inverse (x^254), then the affine map.
      std::uint8_t inv = 0;
      if (x) {
        std::uint8_t p = static_cast<std::uint8_t>(x), acc = 1;
        for (int e = 254; e; e >>= 1) {
          if (e & 1) acc = gmul(acc, p);
          p = gmul(p, p);
        }
        inv = acc;
      }
      std::uint8_t v = inv;
      for (int k = 1; k < 5; ++k)
        v ^= static_cast<std::uint8_t>((inv << k) | (inv >> (8 - k)));
      v ^= 0x63;
      s[x] = v;
      si[v] = static_cast<std::uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
      const std::uint8_t a = s[x], b = si[x];
      te[x] = std::uint32_t(gmul(a, 2)) << 24 | std::uint32_t(a) << 16 | std::uint32_t(a) << 8 |
              gmul(a, 3);
      td[x] = std::uint32_t(gmul(b, 14)) << 24 | std::uint32_t(gmul(b, 9)) << 16 |
              std::uint32_t(gmul(b, 13)) << 8 | gmul(b, 11);
    }
  }
};

constexpr tables k_tab{};

inline std::uint32_t ror(std::uint32_t x, int c) { return (x >> c) | (x << (32 - c)); }

inline std::uint32_t load(const std::uint8_t *p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

inline void store(std::uint8_t *p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

inline std::uint32_t sub_word(std::uint32_t w) {
  return std::uint32_t(k_tab.s[w >> 24]) << 24 | std::uint32_t(k_tab.s[(w >> 16) & 255]) << 16 |
         std::uint32_t(k_tab.s[(w >> 8) & 255]) << 8 | k_tab.s[w & 255];
}

inline std::uint32_t te(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return k_tab.te[a >> 24] ^ ror(k_tab.te[(b >> 16) & 255], 8) ^ ror(k_tab.te[(c >> 8) & 255], 16) ^
         ror(k_tab.te[d & 255], 24);
}

inline std::uint32_t td(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return k_tab.td[a >> 24] ^ ror(k_tab.td[(b >> 16) & 255], 8) ^ ror(k_tab.td[(c >> 8) & 255], 16) ^
         ror(k_tab.td[d & 255], 24);
}

}  // namespace

bool aes::set_key(const std::uint8_t *key, std::size_t n) {
  rounds_ = 0;
  if (n != 16 && n != 32) return false;
  const int nk = static_cast<int>(n / 4), nr = nk + 6, total = 4 * (nr + 1);
  for (int i = 0; i < nk; ++i) enc_[i] = load(key + 4 * i);
  std::uint32_t rcon = 0x01000000;
  for (int i = nk; i < total; ++i) {
    std::uint32_t t = enc_[i - 1];
    if (i % nk == 0) {
      t = sub_word((t << 8) | (t >> 24)) ^ rcon;
      rcon = std::uint32_t(xtime(static_cast<std::uint8_t>(rcon >> 24))) << 24;
    } else if (nk > 6 && i % nk == 4) {
      t = sub_word(t);
    }
    enc_[i] = enc_[i - nk] ^ t;
  }
  for (int r = 0; r <= nr; ++r)
    for (int j = 0; j < 4; ++j) {
      const std::uint32_t w = enc_[4 * (nr - r) + j];
      // InvMixColumns of a round key: the decryption table cancels the
      // inverse S-box when fed the S-box's output.
      dec_[4 * r + j] = (r == 0 || r == nr)
                            ? w
                            : td(k_tab.s[w >> 24] << 24, std::uint32_t(k_tab.s[(w >> 16) & 255]) << 16,
                                 std::uint32_t(k_tab.s[(w >> 8) & 255]) << 8, k_tab.s[w & 255]);
    }
  rounds_ = nr;
  return true;
}

void aes::encrypt_block(const std::uint8_t in[16], std::uint8_t out[16]) const {
  const std::uint32_t *rk = enc_;
  std::uint32_t w0 = load(in) ^ rk[0], w1 = load(in + 4) ^ rk[1], w2 = load(in + 8) ^ rk[2],
                w3 = load(in + 12) ^ rk[3];
  for (int r = 1; r < rounds_; ++r) {
    rk += 4;
    const std::uint32_t t0 = te(w0, w1, w2, w3) ^ rk[0], t1 = te(w1, w2, w3, w0) ^ rk[1],
                        t2 = te(w2, w3, w0, w1) ^ rk[2], t3 = te(w3, w0, w1, w2) ^ rk[3];
    w0 = t0;
    w1 = t1;
    w2 = t2;
    w3 = t3;
  }
  rk += 4;
  auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return std::uint32_t(k_tab.s[a >> 24]) << 24 | std::uint32_t(k_tab.s[(b >> 16) & 255]) << 16 |
           std::uint32_t(k_tab.s[(c >> 8) & 255]) << 8 | k_tab.s[d & 255];
  };
  store(out, last(w0, w1, w2, w3) ^ rk[0]);
  store(out + 4, last(w1, w2, w3, w0) ^ rk[1]);
  store(out + 8, last(w2, w3, w0, w1) ^ rk[2]);
  store(out + 12, last(w3, w0, w1, w2) ^ rk[3]);
}

void aes::decrypt_block(const std::uint8_t in[16], std::uint8_t out[16]) const {
  const std::uint32_t *rk = dec_;
  std::uint32_t w0 = load(in) ^ rk[0], w1 = load(in + 4) ^ rk[1], w2 = load(in + 8) ^ rk[2],
                w3 = load(in + 12) ^ rk[3];
  for (int r = 1; r < rounds_; ++r) {
    rk += 4;
    const std::uint32_t t0 = td(w0, w3, w2, w1) ^ rk[0], t1 = td(w1, w0, w3, w2) ^ rk[1],
                        t2 = td(w2, w1, w0, w3) ^ rk[2], t3 = td(w3, w2, w1, w0) ^ rk[3];
    w0 = t0;
    w1 = t1;
    w2 = t2;
    w3 = t3;
  }
  rk += 4;
  auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return std::uint32_t(k_tab.si[a >> 24]) << 24 | std::uint32_t(k_tab.si[(b >> 16) & 255]) << 16 |
           std::uint32_t(k_tab.si[(c >> 8) & 255]) << 8 | k_tab.si[d & 255];
  };
  store(out, last(w0, w3, w2, w1) ^ rk[0]);
  store(out + 4, last(w1, w0, w3, w2) ^ rk[1]);
  store(out + 8, last(w2, w1, w0, w3) ^ rk[2]);
  store(out + 12, last(w3, w2, w1, w0) ^ rk[3]);
}

bool aes::cbc_encrypt(std::uint8_t iv[16], const std::uint8_t *in, std::uint8_t *out,
                      std::size_t n) const {
  if (n % 16 != 0 || rounds_ == 0) return false;
  for (std::size_t k = 0; k < n; k += 16) {
    std::uint8_t x[16];
    for (int j = 0; j < 16; ++j) x[j] = in[k + j] ^ iv[j];
    encrypt_block(x, out + k);
    std::memcpy(iv, out + k, 16);
  }
  return true;
}

bool aes::cbc_decrypt(std::uint8_t iv[16], const std::uint8_t *in, std::uint8_t *out,
                      std::size_t n) const {
  if (n % 16 != 0 || rounds_ == 0) return false;
  for (std::size_t k = 0; k < n; k += 16) {
    std::uint8_t c[16], x[16];
    std::memcpy(c, in + k, 16);
    decrypt_block(c, x);
    for (int j = 0; j < 16; ++j) out[k + j] = x[j] ^ iv[j];
    std::memcpy(iv, c, 16);
  }
  return true;
}

}  // namespace lt
