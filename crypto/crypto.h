// SPDX-License-Identifier: MIT
// The hashes and ciphers of the standard security handler, self-contained:
// MD5, SHA-256/384/512, RC4 and AES-128/256 (a block either way, and CBC).
// Every function works on the caller's buffers, allocates nothing and keeps
// no state between calls: any number of threads may use them at once.
// Lengths are size_t throughout; a length of 0 is always valid, with any
// pointer (null included).
#ifndef LEAFTURN_CRYPTO_H
#define LEAFTURN_CRYPTO_H

#include <cstddef>
#include <cstdint>

namespace lt {

// MD5, fed in any pieces.
class md5 {
 public:
  md5();
  void update(const std::uint8_t *p, std::size_t n);
  void final(std::uint8_t out[16]);  // the object is spent afterwards
  static void hash(const std::uint8_t *p, std::size_t n, std::uint8_t out[16]);

 private:
  void block(const std::uint8_t *p);
  std::uint32_t h_[4];
  std::uint8_t buf_[64];
  std::uint64_t total_ = 0;
};

// SHA-256, fed in any pieces.
class sha256 {
 public:
  sha256();
  void update(const std::uint8_t *p, std::size_t n);
  void final(std::uint8_t out[32]);
  static void hash(const std::uint8_t *p, std::size_t n, std::uint8_t out[32]);

 private:
  void block(const std::uint8_t *p);
  std::uint32_t h_[8];
  std::uint8_t buf_[64];
  std::uint64_t total_ = 0;
};

// SHA-512, or SHA-384 (its digest is the first 48 bytes of a run started
// from other values), fed in any pieces.
class sha512 {
 public:
  explicit sha512(bool as_384 = false);
  void update(const std::uint8_t *p, std::size_t n);
  // 64 bytes, or 48 for SHA-384.
  void final(std::uint8_t *out);
  std::size_t size() const { return as_384_ ? 48 : 64; }
  static void hash(const std::uint8_t *p, std::size_t n, std::uint8_t out[64]);
  static void hash384(const std::uint8_t *p, std::size_t n, std::uint8_t out[48]);

 private:
  void block(const std::uint8_t *p);
  std::uint64_t h_[8];
  std::uint8_t buf_[128];
  std::uint64_t total_ = 0;
  bool as_384_;
};

// RC4 with a key of 1 to 256 bytes (longer keys use their first 256).
class rc4 {
 public:
  rc4(const std::uint8_t *key, std::size_t n);
  // Encrypts or decrypts (the same thing); in and out may be the same.
  void apply(const std::uint8_t *in, std::uint8_t *out, std::size_t n);

 private:
  std::uint8_t s_[256];
  std::uint8_t i_ = 0, j_ = 0;
};

// AES with a 128- or 256-bit key.
class aes {
 public:
  // False (and the object unusable) for any length but 16 or 32.
  bool set_key(const std::uint8_t *key, std::size_t n);
  void encrypt_block(const std::uint8_t in[16], std::uint8_t out[16]) const;
  void decrypt_block(const std::uint8_t in[16], std::uint8_t out[16]) const;
  // CBC over n bytes (a multiple of 16; false otherwise, nothing written),
  // iv updated to the last cipher block so that calls can be chained. in
  // and out may be the same.
  bool cbc_encrypt(std::uint8_t iv[16], const std::uint8_t *in, std::uint8_t *out,
                   std::size_t n) const;
  bool cbc_decrypt(std::uint8_t iv[16], const std::uint8_t *in, std::uint8_t *out,
                   std::size_t n) const;

 private:
  std::uint32_t enc_[60] = {};
  std::uint32_t dec_[60] = {};
  int rounds_ = 0;
};

}  // namespace lt

#endif
