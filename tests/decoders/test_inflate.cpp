// SPDX-License-Identifier: MIT
// The decoder against zlib as an independent oracle, and hand-made streams
// for the cases zlib never produces: bad data (partial output reported as
// success), truncation, full output and the header checks.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "inflate.h"

using lt::inflate_decompress;

namespace {

using bytes = std::vector<std::uint8_t>;

bytes deflate_with(const bytes &in, int level, int strategy, int window_bits) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, strategy), Z_OK);
  bytes out(deflateBound(&z, static_cast<uLong>(in.size())) + 16);
  z.next_in = const_cast<Bytef *>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

bytes random_bytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  bytes b(n);
  for (auto &c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

bytes text_like(size_t n, unsigned seed) {
  static const char *words[] = {"page ", "rotate ", "obj ", "endobj\n", "<< /Type /Page >> ",
                                "stream ", "0 0 612 792 ", "BT /F1 12 Tf ", "(Hello) Tj ", "ET\n"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % 10];
  s.resize(n);
  return bytes(s.begin(), s.end());
}

int decode(const bytes &in, bytes &out, size_t cap, size_t *len) {
  out.assign(cap ? cap : 1, 0);
  return inflate_decompress(in.data(), in.size(), out.data(), cap, len);
}

}  // namespace

TEST(Inflate, MatchesZlibAtEveryLevelStrategyAndWindow) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  unsigned seed = 1;
  for (int level = 0; level <= 9; ++level) {
    for (int strategy : strategies) {
      for (int window : {9, 12, 15}) {
        for (int kind = 0; kind < 2; ++kind) {
          const size_t n = 1 + (seed * 7919) % 70000;
          const bytes data = kind ? text_like(n, seed) : random_bytes(n, seed);
          ++seed;
          const bytes z = deflate_with(data, level, strategy, window);
          SCOPED_TRACE("level " + std::to_string(level) + " strategy " +
                       std::to_string(strategy) + " window " + std::to_string(window) +
                       " kind " + std::to_string(kind) + " size " + std::to_string(n));
          bytes out;
          size_t len = 99;
          ASSERT_EQ(decode(z, out, data.size(), &len), 0);
          ASSERT_EQ(len, data.size());
          out.resize(len);
          ASSERT_TRUE(out == data);
          // One byte less capacity fails, and reports nothing decoded.
          ASSERT_EQ(decode(z, out, data.size() - 1, &len), -1);
          ASSERT_EQ(len, 0u);
          // Without a buffer the same walk only counts.
          ASSERT_EQ(inflate_decompress(z.data(), z.size(), nullptr, data.size(), &len), 0);
          ASSERT_EQ(len, data.size());
          ASSERT_EQ(inflate_decompress(z.data(), z.size(), nullptr, data.size() - 1, &len), -1);
          // A buffer that holds only part: the first bytes, counted on to the end.
          for (const size_t keep : {data.size(), data.size() - 1, data.size() / 3}) {
            bytes part(keep + 1, 0xEE);
            bool complete = !(keep < data.size());
            ASSERT_EQ(lt::inflate_decompress_some(z.data(), z.size(), part.data(), keep,
                                                  data.size(), &len, &complete), 0);
            ASSERT_EQ(len, data.size());
            ASSERT_EQ(complete, keep == data.size());
            ASSERT_EQ(part[keep], 0xEE);  // nothing past the buffer
            if (complete) {
              ASSERT_TRUE(std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(keep), data.begin()));
            }
          }
        }
      }
    }
  }
}

TEST(Inflate, LargeStreamWithRoomToSpare) {
  const bytes data = text_like(3 << 20, 42);
  const bytes z = deflate_with(data, 6, Z_DEFAULT_STRATEGY, 15);
  bytes out;
  size_t len = 0;
  ASSERT_EQ(decode(z, out, data.size() * 2, &len), 0);
  out.resize(len);
  EXPECT_TRUE(out == data);
}

TEST(Inflate, HeaderChecks) {
  bytes out;
  size_t len = 5;
  EXPECT_EQ(decode({0x78, 0x9C, 0x03, 0x00}, out, 16, &len), 0);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(decode({0x78, 0x9C, 0x03, 0x00, 0xde, 0xad}, out, 16, &len), 0)
      << "whatever follows the last block is ignored";
  len = 5;
  EXPECT_EQ(decode({0x78, 0xBC, 0x03, 0x00}, out, 16, &len), -1) << "preset dictionary";
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(decode({0x78, 0x00, 0x03, 0x00}, out, 16, &len), 0) << "check bits are ignored";
  EXPECT_EQ(decode({0x77, 0x9C, 0x03, 0x00}, out, 16, &len), -1) << "method 7";
  EXPECT_EQ(decode({0x78}, out, 16, &len), -1) << "shorter than a header";
  std::uint8_t in[4] = {0x78, 0x9C, 0x03, 0x00};
  std::uint8_t dummy = 0;
  EXPECT_EQ(inflate_decompress(in, 4, &dummy, (size_t(1) << 30) + 1, &len), -1);
  EXPECT_EQ(len, 0u);
}

TEST(Inflate, StoredBlocks) {
  bytes out;
  size_t len = 0;
  // Final stored block "abc".
  EXPECT_EQ(decode({0x78, 0x01, 0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'}, out, 3, &len), 0);
  EXPECT_EQ(len, 3u);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 3), "abc");
  EXPECT_EQ(decode({0x78, 0x01, 0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'}, out, 2, &len), -1);
  EXPECT_EQ(decode({0x78, 0x01, 0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b'}, out, 9, &len), -1)
      << "body cut short";
  EXPECT_EQ(decode({0x78, 0x01, 0x01, 0x03, 0x00}, out, 9, &len), -1) << "header cut short";
  // A non-final stored block "ab", then one whose complement is wrong: the
  // bytes before the bad data are a success.
  EXPECT_EQ(decode({0x78, 0x01, 0x00, 0x02, 0x00, 0xFD, 0xFF, 'a', 'b', 0x01, 0x01, 0x00, 0x00,
                    0x00, 'z'},
                   out, 9, &len),
            0);
  EXPECT_EQ(len, 2u);
}

TEST(Inflate, BadDataKeepsWhatWasDecoded) {
  // zlib output for "abcabc" then a bit flip is hard to aim; build by hand:
  // fixed block, literal 'a' (0x61 -> code 0x91, 8 bits), then a match of
  // length 3 at distance 2 (reaching before the output) -> bad data.
  // Bits are packed LSB first; codes MSB first.
  std::vector<int> bitseq;
  auto put = [&](unsigned v, int n, bool msb_first) {
    for (int i = 0; i < n; ++i)
      bitseq.push_back(msb_first ? (v >> (n - 1 - i)) & 1 : (v >> i) & 1);
  };
  put(1, 1, false);       // final
  put(1, 2, false);       // fixed
  put(0x30 + 'a', 8, true);
  put(1, 7, true);        // length symbol 257 (3), code 0000001
  put(1, 5, true);        // distance symbol 1 (distance 2)
  bytes z = {0x78, 0x01};
  for (size_t i = 0; i < bitseq.size(); i += 8) {
    unsigned byte = 0;
    for (size_t j = 0; j < 8 && i + j < bitseq.size(); ++j) byte |= unsigned(bitseq[i + j]) << j;
    z.push_back(static_cast<std::uint8_t>(byte));
  }
  bytes out;
  size_t len = 0;
  EXPECT_EQ(decode(z, out, 16, &len), 0);
  EXPECT_EQ(len, 1u);
  EXPECT_EQ(out[0], 'a');
  // Block type 3 is bad data at once.
  EXPECT_EQ(decode({0x78, 0x01, 0x07}, out, 16, &len), 0);
  EXPECT_EQ(len, 0u);
}

TEST(Inflate, TruncationFailsEvenAfterOutput) {
  const bytes data = text_like(5000, 3);
  bytes z = deflate_with(data, 9, Z_DEFAULT_STRATEGY, 15);
  z.resize(z.size() - 4 - 10);  // no check value, and the last block cut
  bytes out;
  size_t len = 7;
  EXPECT_EQ(decode(z, out, data.size(), &len), -1);
  EXPECT_EQ(len, 0u);
  z = deflate_with(data, 9, Z_DEFAULT_STRATEGY, 15);
  z.resize(z.size() - 4);  // only the check value is missing: never read
  EXPECT_EQ(decode(z, out, data.size(), &len), 0);
  EXPECT_EQ(len, data.size());
}

TEST(Inflate, LongOverlappingRepeat) {
  const bytes data(259, 'x');  // one literal, then distance 1, length 258
  const bytes z = deflate_with(data, 9, Z_RLE, 15);
  bytes out;
  size_t len = 0;
  ASSERT_EQ(decode(z, out, 259, &len), 0);
  EXPECT_EQ(len, 259u);
  EXPECT_TRUE(bytes(out.begin(), out.begin() + 259) == data);
}
