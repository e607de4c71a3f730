// SPDX-License-Identifier: MIT
// Decoder for zlib-wrapped DEFLATE data (RFC 1950 framing, RFC 1951 data).
// Which symbols are read never depends on the bytes produced, so with no
// output buffer the same walk only counts them.
// Canonical Huffman codes are described by their code counts; symbols are
// decoded through a small lookup of the next nine bits, falling back to the
// bit-by-bit walk over the counts for longer codes and near the end of the
// input, so both paths give the same symbol and consume the same bits.
// Running out of input marks the state exhausted; every reader checks the
// mark before it acts on what it read, and the call fails.
#include "inflate.h"

#include <cstring>

#include "deflate_constants.h"

namespace lt {

namespace {

using namespace deflate;

constexpr int k_max_bits = k_max_codeword_len;
constexpr int k_max_lcodes = k_num_litlen_syms;
constexpr int k_max_dcodes = k_num_offset_syms;
constexpr int k_fix_lcodes = k_num_fixed_litlen_syms;
constexpr int k_fast_bits = 9;
constexpr int k_fast_size = 1 << k_fast_bits;
constexpr std::size_t k_max_out = std::size_t(1) << 30;

// What a block (or a step of one) ends with. Bad data ends decoding with
// the bytes produced so far, which the call returns as its result; running
// out of input or of output room fails the call.
enum class step {
  go_on,     // the block ended as the format says; decoding goes on
  bad_data,  // the data breaks the format here
  failed,    // the input ran out, or the output would not fit
};
// decode() found no code of k_max_bits or fewer that matches the input.
constexpr int k_no_code = -1;

// A fast-table entry: (code length << k_fast_bits) | symbol, 0 for none.
// Symbols are below 2^k_fast_bits (at most 287), so they fit the low bits.
constexpr int k_symbol_mask = (1 << k_fast_bits) - 1;

struct code_table {
  std::int16_t *cnt;   // codes per length, cnt[0] symbols without a code
  std::int16_t *sym;   // symbols ordered by code
  std::uint16_t *fast; // the next k_fast_bits input bits -> an entry, 0 if none
};

struct dec_state {
  std::uint8_t *out;       // the output block; null once a byte did not fit
                           // the first out_keep (later bytes are only counted)
  std::uint32_t out_keep;  // bytes of out that are stored
  std::uint32_t out_cap;   // bytes the stream may produce before it counts as full
  std::uint32_t out_pos;   // bytes produced so far (stored or only counted)
  const std::uint8_t *in;  // the compressed data, after the two-byte header
  std::uint32_t in_len;    // its length
  std::uint32_t in_pos;    // the next byte of in to fetch into acc
  std::uint64_t acc;       // bits fetched, least significant first; whole bytes ahead allowed
  int acc_bits;            // how many bits of acc are valid
  bool exhausted;          // a read wanted bits past the input's end (it got zeros)
};

const std::int16_t k_order[k_num_precode_syms] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
const std::int16_t k_lens[k_num_len_syms] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const std::int16_t k_lext[k_num_len_syms] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const std::int16_t k_dists[k_num_offset_syms] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                  33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const std::int16_t k_dext[k_num_offset_syms] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};


inline void refill(dec_state *s) {
  while (s->acc_bits <= 56 && s->in_pos < s->in_len) {
    s->acc |= std::uint64_t(s->in[s->in_pos++]) << s->acc_bits;
    s->acc_bits += 8;
  }
}

// The next `need` bits; 0 with the state marked exhausted when the input
// has fewer left.
inline std::uint32_t bits(dec_state *s, int need) {
  if (s->acc_bits < need) {
    refill(s);
    if (s->acc_bits < need) {
      s->exhausted = true;
      return 0;
    }
  }
  const std::uint32_t v = static_cast<std::uint32_t>(s->acc & ((std::uint64_t(1) << need) - 1));
  s->acc >>= need;
  s->acc_bits -= need;
  return v;
}

// The walk over code lengths, one bit at a time.
int decode_slow(dec_state *s, const code_table *h) {
  int code = 0, first = 0, index = 0;
  for (int len = 1; len <= k_max_bits; ++len) {
    code |= static_cast<int>(bits(s, 1));
    const int count = h->cnt[len];
    if (code - count < first) return h->sym[index + (code - first)];
    index += count;
    first += count;
    first <<= 1;
    code <<= 1;
  }
  return k_no_code;
}

inline int decode(dec_state *s, const code_table *h) {
  if (s->acc_bits < k_fast_bits) refill(s);
  if (s->acc_bits >= k_fast_bits) {
    const std::uint16_t e = h->fast[s->acc & (k_fast_size - 1)];
    if (e) {
      const int len = e >> k_fast_bits;
      s->acc >>= len;
      s->acc_bits -= len;
      return e & k_symbol_mask;
    }
  }
  return decode_slow(s, h);
}

// Each k_fast_bits-bit value with its bits in reverse order: a code of len
// bits, reversed, is its entry shifted right by k_fast_bits - len.
struct reversed_table {
  std::uint16_t of[k_fast_size];
};
constexpr reversed_table make_reversed() {
  reversed_table t{};
  for (int v = 0; v < k_fast_size; ++v) {
    int r = 0;
    for (int b = 0; b < k_fast_bits; ++b) r |= ((v >> b) & 1) << (k_fast_bits - 1 - b);
    t.of[v] = static_cast<std::uint16_t>(r);
  }
  return t;
}
constexpr reversed_table k_reversed = make_reversed();

// Builds a canonical code from lengths: 0 for a complete code or one with no
// codes, the code space left for an incomplete one, negative when
// over-subscribed.
int construct(code_table *h, const std::int16_t *length, int n) {
  for (int len = 0; len <= k_max_bits; ++len) h->cnt[len] = 0;
  for (int symbol = 0; symbol < n; ++symbol) h->cnt[length[symbol]]++;
  std::memset(h->fast, 0, sizeof(std::uint16_t) * k_fast_size);
  if (h->cnt[0] == n) return 0;
  int left = 1;
  for (int len = 1; len <= k_max_bits; ++len) {
    left <<= 1;
    left -= h->cnt[len];
    if (left < 0) return left;
  }
  std::int16_t offs[k_max_bits + 1];
  offs[1] = 0;
  for (int len = 1; len < k_max_bits; ++len) offs[len + 1] = static_cast<std::int16_t>(offs[len] + h->cnt[len]);
  for (int symbol = 0; symbol < n; ++symbol)
    if (length[symbol] != 0) h->sym[offs[length[symbol]]++] = static_cast<std::int16_t>(symbol);

  // Codes of up to nine bits, bit-reversed because bits arrive LSB first.
  int code = 0, index = 0;
  for (int len = 1; len <= k_fast_bits; ++len) {
    for (int i = 0; i < h->cnt[len]; ++i) {
      const int rev = k_reversed.of[code] >> (k_fast_bits - len);
      const std::uint16_t e = static_cast<std::uint16_t>((len << k_fast_bits) | h->sym[index++]);
      for (int k = rev; k < k_fast_size; k += 1 << len) h->fast[k] = e;
      ++code;
    }
    code <<= 1;
  }
  return left;
}

step stored(dec_state *s) {
  // Start on a byte boundary: drop the bits of the current byte and give back
  // whole bytes fetched ahead.
  s->in_pos -= static_cast<std::uint32_t>(s->acc_bits >> 3);
  s->acc = 0;
  s->acc_bits = 0;
  // LEN and NLEN, its complement, two bytes each.
  if (s->in_len - s->in_pos < 4) return step::failed;
  const std::uint8_t *p = s->in + s->in_pos;
  const std::uint32_t len = p[0] | (std::uint32_t(p[1]) << 8);
  if (p[2] != (~len & 0xff) || p[3] != ((~len >> 8) & 0xff)) return step::bad_data;
  s->in_pos += 4;
  if (s->in_len - s->in_pos < len) return step::failed;
  if (s->out_cap - s->out_pos < len) return step::failed;
  if (s->out && len > s->out_keep - s->out_pos) s->out = nullptr;
  if (s->out) std::memcpy(s->out + s->out_pos, s->in + s->in_pos, len);
  s->in_pos += len;
  s->out_pos += len;
  return step::go_on;
}

step codes(dec_state *s, const code_table *lencode, const code_table *distcode) {
  for (;;) {
    int symbol = decode(s, lencode);
    if (s->exhausted) return step::failed;
    if (symbol < 0) return step::bad_data;
    if (symbol < k_num_literals) {
      if (s->out_pos == s->out_cap) return step::failed;
      if (s->out && s->out_pos == s->out_keep) s->out = nullptr;
      if (s->out) s->out[s->out_pos] = static_cast<std::uint8_t>(symbol);
      ++s->out_pos;
    } else if (symbol == k_end_of_block) {
      return step::go_on;
    } else {
      symbol -= k_first_len_sym;
      if (symbol >= k_num_len_syms) return step::bad_data;
      const std::uint32_t len = static_cast<std::uint32_t>(k_lens[symbol]) + bits(s, k_lext[symbol]);
      const int dsym = decode(s, distcode);
      if (s->exhausted) return step::failed;
      if (dsym < 0) return step::bad_data;
      const std::uint32_t dist = static_cast<std::uint32_t>(k_dists[dsym]) + bits(s, k_dext[dsym]);
      if (s->exhausted) return step::failed;
      if (dist > s->out_pos) return step::bad_data;
      if (s->out_cap - s->out_pos < len) return step::failed;
      if (s->out && len > s->out_keep - s->out_pos) s->out = nullptr;
      if (s->out) {
        std::uint8_t *to = s->out + s->out_pos;
        const std::uint8_t *from = to - dist;
        if (dist >= len) {
          std::memcpy(to, from, len);
        } else {
          for (std::uint32_t i = 0; i < len; ++i) to[i] = from[i];  // overlapping repeat
        }
      }
      s->out_pos += len;
    }
  }
}

// The fixed code. It is built once per process on first use; the language
// makes that first use thread-safe (concurrent callers wait for the one
// construction), and nothing changes it afterwards.
struct fixed_code {
  std::int16_t lencnt[k_max_bits + 1], lensym[k_fix_lcodes];
  std::int16_t distcnt[k_max_bits + 1], distsym[k_max_dcodes];
  std::uint16_t lenfast[k_fast_size], distfast[k_fast_size];
  code_table len{lencnt, lensym, lenfast};
  code_table dist{distcnt, distsym, distfast};

  fixed_code() {
    std::int16_t lengths[k_fix_lcodes];
    int symbol = 0;
    for (; symbol < k_fixed_9bit_first; ++symbol) lengths[symbol] = 8;
    for (; symbol < k_fixed_7bit_first; ++symbol) lengths[symbol] = 9;
    for (; symbol < k_fixed_8bit_again_first; ++symbol) lengths[symbol] = 7;
    for (; symbol < k_fix_lcodes; ++symbol) lengths[symbol] = 8;
    construct(&len, lengths, k_fix_lcodes);
    for (symbol = 0; symbol < k_max_dcodes; ++symbol) lengths[symbol] = k_fixed_offset_len;
    construct(&dist, lengths, k_max_dcodes);
  }
  fixed_code(const fixed_code &) = delete;
  fixed_code &operator=(const fixed_code &) = delete;
};

step fixed(dec_state *s) {
  static const fixed_code code;
  return codes(s, &code.len, &code.dist);
}

step dynamic(dec_state *s) {
  std::int16_t lengths[k_max_lcodes + k_max_dcodes];
  std::int16_t lencnt[k_max_bits + 1], lensym[k_max_lcodes];
  std::int16_t distcnt[k_max_bits + 1], distsym[k_max_dcodes];
  std::uint16_t lenfast[k_fast_size], distfast[k_fast_size];
  code_table lencode = {lencnt, lensym, lenfast};
  code_table distcode = {distcnt, distsym, distfast};

  const int nlen = static_cast<int>(bits(s, k_hlit_bits)) + k_min_litlen_codes;
  const int ndist = static_cast<int>(bits(s, k_hdist_bits)) + k_min_offset_codes;
  const int ncode = static_cast<int>(bits(s, k_hclen_bits)) + k_min_precode_codes;
  if (s->exhausted) return step::failed;
  if (nlen > k_max_lcodes || ndist > k_max_dcodes) return step::bad_data;

  int index = 0;
  for (; index < ncode; ++index)
    lengths[k_order[index]] = static_cast<std::int16_t>(bits(s, k_precode_len_bits));
  if (s->exhausted) return step::failed;
  for (; index < k_num_precode_syms; ++index) lengths[k_order[index]] = 0;
  if (construct(&lencode, lengths, k_num_precode_syms) != 0) return step::bad_data;

  index = 0;
  while (index < nlen + ndist) {
    int symbol = decode(s, &lencode);
    if (s->exhausted) return step::failed;
    if (symbol < 0) return step::bad_data;
    if (symbol < k_repeat_previous) {
      lengths[index++] = static_cast<std::int16_t>(symbol);
      continue;
    }
    std::int16_t len = 0;
    if (symbol == k_repeat_previous) {
      if (index == 0) return step::bad_data;  // no previous length, tested before the bits
      len = lengths[index - 1];
      symbol = k_repeat_previous_base + static_cast<int>(bits(s, k_repeat_previous_bits));
    } else if (symbol == k_repeat_zero_short) {
      symbol = k_repeat_zero_short_base + static_cast<int>(bits(s, k_repeat_zero_short_bits));
    } else {
      symbol = k_repeat_zero_long_base + static_cast<int>(bits(s, k_repeat_zero_long_bits));
    }
    if (s->exhausted) return step::failed;
    if (index + symbol > nlen + ndist) return step::bad_data;
    while (symbol--) lengths[index++] = len;
  }
  if (lengths[k_end_of_block] == 0) return step::bad_data;

  int err = construct(&lencode, lengths, nlen);
  if (err && (err < 0 || nlen != lencode.cnt[0] + lencode.cnt[1])) return step::bad_data;
  err = construct(&distcode, lengths + nlen, ndist);
  if (err && (err < 0 || ndist != distcode.cnt[0] + distcode.cnt[1])) return step::bad_data;
  return codes(s, &lencode, &distcode);
}

step run_blocks(dec_state *s) {
  step r;
  bool last;
  do {
    last = bits(s, k_block_final_bits) != 0;
    const std::uint32_t type = bits(s, k_block_type_bits);
    if (s->exhausted) return step::failed;
    r = type == k_block_stored    ? stored(s)
        : type == k_block_fixed   ? fixed(s)
        : type == k_block_dynamic ? dynamic(s)
                                  : step::bad_data;
  } while (r == step::go_on && !last);
  return r;
}

}  // namespace

int inflate_decompress(const std::uint8_t *in, std::size_t in_len, std::uint8_t *out,
                       std::size_t out_cap, std::size_t *out_len) {
  bool complete = false;
  return inflate_decompress_some(in, in_len, out, out_cap, out_cap, out_len, &complete);
}

int inflate_decompress_some(const std::uint8_t *in, std::size_t in_len, std::uint8_t *out,
                            std::size_t keep, std::size_t out_cap, std::size_t *out_len,
                            bool *complete) {
  *out_len = 0;
  *complete = false;
  if (in_len < k_zlib_header_len || out_cap > k_max_out) return -1;
  if ((in[0] & k_zlib_method_mask) != k_zlib_method_deflate || (in[1] & k_zlib_fdict) != 0)
    return -1;
  if (in_len - k_zlib_header_len > 0xFFFFFFFFu) return -1;
  dec_state s;
  s.out = out;
  s.out_keep = static_cast<std::uint32_t>(keep < out_cap ? keep : out_cap);
  s.out_cap = static_cast<std::uint32_t>(out_cap);
  s.out_pos = 0;
  s.in = in + k_zlib_header_len;
  s.in_len = static_cast<std::uint32_t>(in_len - k_zlib_header_len);
  s.in_pos = 0;
  s.acc = 0;
  s.acc_bits = 0;
  s.exhausted = false;
  if (run_blocks(&s) == step::failed) return -1;
  *out_len = s.out_pos;
  *complete = out != nullptr && s.out != nullptr;
  return 0;
}

}  // namespace lt
