// SPDX-License-Identifier: MIT
// The library's hashes and ciphers in MB/s over a 32 MB buffer (best of
// three), and the AES-256 key derivation of revision 6 in milliseconds; one
// line each, "name MB/s", for bench/crypto_speed.py to set beside openssl.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "crypto.h"
#include "decode/security.h"

namespace {

template <typename F>
double best_seconds(F f) {
  double best = 1e9;
  for (int k = 0; k < 3; ++k) {
    const auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  const size_t n = 32u << 20;
  std::vector<std::uint8_t> in(n), out(n);
  for (size_t k = 0; k < n; ++k) in[k] = static_cast<std::uint8_t>(k * 2654435761u >> 13);
  std::uint8_t key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                          17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  std::uint8_t digest[64];
  auto report = [&](const char *name, double s) { std::printf("%s %.1f\n", name, n / s / 1e6); };
  report("md5", best_seconds([&] { lt::md5::hash(in.data(), n, digest); }));
  report("sha256", best_seconds([&] { lt::sha256::hash(in.data(), n, digest); }));
  report("sha512", best_seconds([&] { lt::sha512::hash(in.data(), n, digest); }));
  report("rc4", best_seconds([&] {
    lt::rc4 r(key, 16);
    r.apply(in.data(), out.data(), n);
  }));
  for (const size_t klen : {size_t(16), size_t(32)}) {
    lt::aes a;
    a.set_key(key, klen);
    std::uint8_t iv[16] = {};
    const char *enc = klen == 16 ? "aes-128-cbc-encrypt" : "aes-256-cbc-encrypt";
    const char *dec = klen == 16 ? "aes-128-cbc-decrypt" : "aes-256-cbc-decrypt";
    report(enc, best_seconds([&] { a.cbc_encrypt(iv, in.data(), out.data(), n); }));
    report(dec, best_seconds([&] { a.cbc_decrypt(iv, in.data(), out.data(), n); }));
  }
  std::fflush(stdout);
  return 0;
}
