// SPDX-License-Identifier: MIT
// The hashes and ciphers: published test vectors, then openssl (an
// independent implementation) on random inputs of every awkward length.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypto.h"
#include "pdf_builder.h"

namespace {

using bytes = std::vector<std::uint8_t>;

std::string hex(const std::uint8_t *p, size_t n) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (size_t k = 0; k < n; ++k) {
    s += d[p[k] >> 4];
    s += d[p[k] & 15];
  }
  return s;
}
std::string hex(const bytes &b) { return hex(b.data(), b.size()); }

bytes unhex(const std::string &s) {
  bytes b;
  for (size_t k = 0; k + 1 < s.size(); k += 2) b.push_back(static_cast<std::uint8_t>(std::stoi(s.substr(k, 2), nullptr, 16)));
  return b;
}

bytes text(const std::string &s) { return bytes(s.begin(), s.end()); }

std::string md5_hex(const bytes &m) {
  std::uint8_t o[16];
  lt::md5::hash(m.data(), m.size(), o);
  return hex(o, 16);
}
std::string sha256_hex(const bytes &m) {
  std::uint8_t o[32];
  lt::sha256::hash(m.data(), m.size(), o);
  return hex(o, 32);
}
std::string sha384_hex(const bytes &m) {
  std::uint8_t o[48];
  lt::sha512::hash384(m.data(), m.size(), o);
  return hex(o, 48);
}
std::string sha512_hex(const bytes &m) {
  std::uint8_t o[64];
  lt::sha512::hash(m.data(), m.size(), o);
  return hex(o, 64);
}

TEST(Crypto, HashesMatchPublishedVectors) {
  // RFC 1321's suite.
  EXPECT_EQ(md5_hex(text("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5_hex(text("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5_hex(text("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5_hex(text("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
            "57edf4a22be3c955ac49da2e2107b67a");
  // FIPS 180-4's examples.
  const bytes two_blocks = text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
  EXPECT_EQ(sha256_hex(text("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex(text("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex(two_blocks), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha384_hex(text("abc")),
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
  EXPECT_EQ(sha512_hex(text("abc")),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
            "454d4423643ce80e2a9ac94fa54ca49f");
  EXPECT_EQ(sha512_hex(text("")),
            "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f"
            "63b931bd47417a81a538327af927da3e");
  // Nothing, from no buffer at all (an empty password's bytes).
  std::uint8_t none[64];
  lt::md5::hash(nullptr, 0, none);
  EXPECT_EQ(hex(none, 16), "d41d8cd98f00b204e9800998ecf8427e");
  lt::sha256::hash(nullptr, 0, none);
  EXPECT_EQ(hex(none, 32), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  lt::sha512::hash(nullptr, 0, none);
  EXPECT_EQ(hex(none, 4), "cf83e135");
  lt::rc4 keyless(nullptr, 0);
  keyless.apply(nullptr, nullptr, 0);
  // A million 'a's, fed in uneven pieces.
  lt::sha256 s;
  lt::md5 m;
  const bytes a(1000, 'a');
  for (int k = 0; k < 1000; ++k) {
    s.update(a.data(), 999);
    s.update(a.data(), 1);
    m.update(a.data(), 1000);
  }
  std::uint8_t o[32];
  s.final(o);
  EXPECT_EQ(hex(o, 32), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  m.final(o);
  EXPECT_EQ(hex(o, 16), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Crypto, CiphersMatchPublishedVectors) {
  // FIPS 197, appendix C.
  bytes key(32);
  for (int k = 0; k < 32; ++k) key[static_cast<size_t>(k)] = static_cast<std::uint8_t>(k);
  const bytes plain = unhex("00112233445566778899aabbccddeeff");
  std::uint8_t out[16], back[16];
  lt::aes a;
  ASSERT_TRUE(a.set_key(key.data(), 16));
  a.encrypt_block(plain.data(), out);
  EXPECT_EQ(hex(out, 16), "69c4e0d86a7b0430d8cdb78070b4c55a");
  a.decrypt_block(out, back);
  EXPECT_EQ(hex(back, 16), hex(plain));
  ASSERT_TRUE(a.set_key(key.data(), 32));
  a.encrypt_block(plain.data(), out);
  EXPECT_EQ(hex(out, 16), "8ea2b7ca516745bfeafc49904b496089");
  a.decrypt_block(out, back);
  EXPECT_EQ(hex(back, 16), hex(plain));
  EXPECT_FALSE(a.set_key(key.data(), 24));
  EXPECT_FALSE(a.set_key(key.data(), 0));

  // SP 800-38A, F.2.1 and F.2.5: CBC over four blocks.
  const bytes msg = unhex(
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
      "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  const bytes k128 = unhex("2b7e151628aed2a6abf7158809cf4f3c");
  const bytes k256 = unhex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  const bytes iv0 = unhex("000102030405060708090a0b0c0d0e0f");
  for (const auto &c : {std::make_pair(k128, std::string("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
                                                          "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7")),
                        std::make_pair(k256, std::string("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                                                          "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"))}) {
    ASSERT_TRUE(a.set_key(c.first.data(), c.first.size()));
    bytes iv = iv0, enc(msg.size()), dec(msg.size());
    ASSERT_TRUE(a.cbc_encrypt(iv.data(), msg.data(), enc.data(), msg.size()));
    EXPECT_EQ(hex(enc), c.second);
    iv = iv0;
    ASSERT_TRUE(a.cbc_decrypt(iv.data(), enc.data(), dec.data(), enc.size()));
    EXPECT_EQ(dec, msg);
    EXPECT_FALSE(a.cbc_encrypt(iv.data(), msg.data(), enc.data(), 17));
  }
  lt::aes unset;
  std::uint8_t iv[16] = {};
  EXPECT_FALSE(unset.cbc_decrypt(iv, plain.data(), out, 16));

  // RC4: the classic vectors, and RFC 6229's 40-bit key at offset 0.
  auto rc4_hex = [](const std::string &k, const bytes &m) {
    lt::rc4 r(reinterpret_cast<const std::uint8_t *>(k.data()), k.size());
    bytes o(m.size());
    r.apply(m.data(), o.data(), m.size());
    return hex(o);
  };
  EXPECT_EQ(rc4_hex("Key", text("Plaintext")), "bbf316e8d940af0ad3");
  EXPECT_EQ(rc4_hex("Wiki", text("pedia")), "1021bf0420");
  EXPECT_EQ(rc4_hex("Secret", text("Attack at dawn")), "45a01f645fc35b383552544b9bf5");
  const bytes k40 = unhex("0102030405");
  EXPECT_EQ(rc4_hex(std::string(k40.begin(), k40.end()), bytes(16, 0)), "b2396305f03dc027ccc3524a0a1118a8");
}

// openssl's answer for the command, fed the bytes on standard input.
std::string openssl(const std::string &args, const bytes &input) {
  const std::string in = testpdf::write_temp("crypto-in.bin", std::string(input.begin(), input.end()));
  const std::string out = testpdf::temp_path("crypto-out.bin");
  int rc = -1;
  testpdf::run("openssl " + args + " < '" + in + "' > '" + out + "' 2>/dev/null", &rc);
  EXPECT_EQ(rc, 0) << args;
  const std::string o = testpdf::read_file(out);
  return hex(reinterpret_cast<const std::uint8_t *>(o.data()), o.size());
}

TEST(Crypto, AgreesWithOpensslOnRandomInputs) {
  if (!testpdf::have_tool("openssl")) GTEST_SKIP() << "openssl is needed";
  std::mt19937 rng(20261210);
  auto random_bytes = [&](size_t n) {
    bytes b(n);
    for (auto &c : b) c = static_cast<std::uint8_t>(rng());
    return b;
  };
  // Lengths around every block and padding boundary, and some large ones.
  for (const size_t n : {size_t(1), size_t(55), size_t(56), size_t(63), size_t(64), size_t(65),
                         size_t(111), size_t(112), size_t(127), size_t(128), size_t(129),
                         size_t(1000), size_t(65537)}) {
    SCOPED_TRACE(n);
    const bytes m = random_bytes(n);
    EXPECT_EQ(openssl("dgst -md5 -binary", m), md5_hex(m));
    EXPECT_EQ(openssl("dgst -sha256 -binary", m), sha256_hex(m));
    EXPECT_EQ(openssl("dgst -sha384 -binary", m), sha384_hex(m));
    EXPECT_EQ(openssl("dgst -sha512 -binary", m), sha512_hex(m));

    const bytes key = random_bytes(32), iv = random_bytes(16);
    const bytes whole = random_bytes((n + 15) / 16 * 16);
    for (const size_t klen : {size_t(16), size_t(32)}) {
      lt::aes a;
      ASSERT_TRUE(a.set_key(key.data(), klen));
      bytes v = iv, enc(whole.size()), dec(whole.size());
      a.cbc_encrypt(v.data(), whole.data(), enc.data(), whole.size());
      const std::string cipher = klen == 16 ? "aes-128-cbc" : "aes-256-cbc";
      const bytes k(key.begin(), key.begin() + static_cast<long>(klen));
      EXPECT_EQ(openssl("enc -" + cipher + " -nopad -K " + hex(k) + " -iv " + hex(iv), whole), hex(enc));
      v = iv;
      a.cbc_decrypt(v.data(), enc.data(), dec.data(), enc.size());
      EXPECT_EQ(dec, whole);
    }
    for (const size_t klen : {size_t(5), size_t(16)}) {
      lt::rc4 r(key.data(), klen);
      bytes o(m.size());
      r.apply(m.data(), o.data(), m.size());
      const bytes k(key.begin(), key.begin() + static_cast<long>(klen));
      const std::string cipher = klen == 5 ? "rc4-40" : "rc4";
      EXPECT_EQ(openssl("enc -" + cipher + " -nosalt -provider legacy -provider default -K " + hex(k), m),
                hex(o));
    }
  }
}

}  // namespace
