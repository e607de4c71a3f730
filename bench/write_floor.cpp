// SPDX-License-Identifier: MIT
// The least any rotation of a file must do when it writes its objects out of
// their object streams: read the input into fresh memory, expand every
// object stream (with zlib's decoder), and write an output of the given size
// to a new file beside the target, renamed over it. No parsing at all.
//
//     write_floor IN OUTPUT_SIZE OUT
//
// bench/run.py times it on the object-stream input with the size of the
// output leafturn wrote, against cp of the input.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The first occurrence of the literal s in [from, n), or n.
size_t find(const unsigned char *b, size_t n, size_t from, const char *s) {
  const size_t k = std::strlen(s);
  for (size_t i = from; i + k <= n; ++i) {
    const void *hit = std::memchr(b + i, s[0], n - k + 1 - i);
    if (!hit) return n;
    i = static_cast<size_t>(static_cast<const unsigned char *>(hit) - b);
    if (std::memcmp(b + i, s, k) == 0) return i;
  }
  return n;
}

// The bytes after each "/ObjStm" dictionary's "stream" line, /Length long.
long expand_all(const unsigned char *b, size_t n, unsigned char *scratch, size_t room) {
  long total = 0;
  for (size_t at = find(b, n, 0, "/ObjStm"); at < n; at = find(b, n, at + 1, "/ObjStm")) {
    const size_t len_at = find(b, n, at, "/Length ");
    const size_t data = find(b, n, at, "stream\n");
    if (len_at >= n || data >= n) break;
    const long len = std::strtol(reinterpret_cast<const char *>(b) + len_at + 8, nullptr, 10);
    if (len <= 0 || data + 7 + static_cast<size_t>(len) > n) break;
    uLongf out = static_cast<uLongf>(room);
    if (uncompress(scratch, &out, b + data + 7, static_cast<uLong>(len)) == Z_OK)
      total += static_cast<long>(out);
    at = data + 7 + static_cast<size_t>(len);
  }
  return total;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: write_floor IN OUTPUT_SIZE OUT\n");
    return 2;
  }
  std::FILE *f = std::fopen(argv[1], "rb");
  if (!f) return 1;
  std::fseek(f, 0, SEEK_END);
  const long n = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  if (n <= 0) return 1;
  std::unique_ptr<unsigned char[]> b(new unsigned char[static_cast<size_t>(n)]);
  const bool read_ok = std::fread(b.get(), 1, static_cast<size_t>(n), f) == static_cast<size_t>(n);
  std::fclose(f);
  if (!read_ok) return 1;

  const size_t room = size_t(1) << 20;
  std::unique_ptr<unsigned char[]> scratch(new unsigned char[room]);
  if (expand_all(b.get(), static_cast<size_t>(n), scratch.get(), room) <= 0) return 1;

  // The output's bytes, written from memory already in hand.
  const std::string tmp = std::string(argv[3]) + ".floor";
  std::FILE *o = std::fopen(tmp.c_str(), "wb");
  if (!o) return 1;
  for (long left = std::atol(argv[2]); left > 0;) {
    const long k = left < n ? left : n;
    if (std::fwrite(b.get(), 1, static_cast<size_t>(k), o) != static_cast<size_t>(k)) return 1;
    left -= k;
  }
  if (std::fclose(o) != 0) return 1;
  return std::rename(tmp.c_str(), argv[3]) == 0 ? 0 : 1;
}
