// SPDX-License-Identifier: MIT
// Bitmaps and their combination, the MQ coder's probability states, and
// generic regions: arithmetic-coded (templates 0-3, typical prediction,
// adaptive pixels) and MMR-coded (T.6).
//
// The arithmetic decoding keeps, for each row, 24-bit windows of the two
// rows above (the byte before, the pixel's byte, the byte after) and a
// register of the pixels decoded on the row; a pixel's context is a few
// shifts and masks of these. Adaptive pixels away from their default
// places are read one by one.
#include <algorithm>
#include <cstring>

#include "jbig2_internal.h"

namespace lt {
namespace jb2 {

// ---- bitmaps ----

bool bitmap::make(std::uint32_t nw, std::uint32_t nh, allowance &a, bool fill) {
  bits.clear();
  w = h = 0;
  stride = 0;
  if (nw > k_max_side || nh > k_max_side) return false;
  const std::uint64_t n = bytes_for(nw, nh);
  if (!a.take(n)) return false;
  w = nw;
  h = nh;
  stride = (std::size_t(nw) + 7) / 8;
  bits.assign(std::size_t(n), 0);
  if (fill && n) {
    std::memset(bits.data(), 0xFF, bits.size());
    if (w & 7) {
      const std::uint8_t last = std::uint8_t(0xFF << (8 - (w & 7)));
      for (std::uint32_t y = 0; y < h; ++y) row(y)[stride - 1] = last;
    }
  }
  return true;
}

void bitmap::drop(allowance &a) {
  a.give(bits.size());
  bits = std::vector<std::uint8_t>();
  w = h = 0;
  stride = 0;
}

bool bitmap::grow(std::uint32_t nh, allowance &a, bool fill) {
  if (nh <= h) return true;
  if (nh > k_max_side) return false;
  const std::uint64_t more = std::uint64_t(stride) * (nh - h);
  if (!a.take(more)) return false;
  const std::uint32_t old = h;
  bits.resize(std::size_t(stride) * nh, 0);
  h = nh;
  if (fill && stride) {
    std::memset(row(old), 0xFF, std::size_t(more));
    if (w & 7) {
      const std::uint8_t last = std::uint8_t(0xFF << (8 - (w & 7)));
      for (std::uint32_t y = old; y < h; ++y) row(y)[stride - 1] = last;
    }
  }
  return true;
}

namespace {

// The 8 pixels of a row from pixel `first` on (0 outside the row's bytes).
inline unsigned fetch8(const std::uint8_t *s, std::size_t stride, std::int64_t first) {
  if (first < 0) return s[0] >> (-first);
  const std::size_t i = std::size_t(first >> 3);
  const unsigned sh = unsigned(first & 7);
  unsigned v = (i < stride ? unsigned(s[i]) << 8 : 0u) | (i + 1 < stride ? s[i + 1] : 0u);
  return (v << sh) >> 8 & 0xFF;
}

template <int Op>
void combine_rows(bitmap &dst, const bitmap &src, std::int64_t x, std::int64_t y,
                  std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1) {
  const std::size_t b0 = std::size_t(x0 >> 3), b1 = std::size_t((x1 - 1) >> 3);
  const unsigned m0 = 0xFFu >> (x0 & 7), m1 = (0xFFu << (7 - ((x1 - 1) & 7))) & 0xFF;
  const bool aligned = (x & 7) == 0;
  for (std::int64_t dy = y0; dy < y1; ++dy) {
    const std::uint8_t *s = src.row(std::uint32_t(dy - y));
    std::uint8_t *d = dst.row(std::uint32_t(dy));
    for (std::size_t b = b0; b <= b1; ++b) {
      const std::int64_t first = std::int64_t(b) * 8 - x;
      const unsigned v = aligned ? s[std::size_t(first >> 3)] : fetch8(s, src.stride, first);
      unsigned m = 0xFF;
      if (b == b0) m &= m0;
      if (b == b1) m &= m1;
      const unsigned old = d[b];
      unsigned nv;
      switch (Op) {
        case op_or: nv = old | v; break;
        case op_and: nv = old & v; break;
        case op_xor: nv = old ^ v; break;
        case op_xnor: nv = ~(old ^ v); break;
        default: nv = v; break;
      }
      d[b] = std::uint8_t((old & ~m) | (nv & m));
    }
  }
}

}  // namespace

void combine(bitmap &dst, const bitmap &src, std::int64_t x, std::int64_t y, int op) {
  if (src.w == 0 || src.h == 0 || dst.w == 0 || dst.h == 0) return;
  const std::int64_t x0 = std::max<std::int64_t>(x, 0);
  const std::int64_t x1 = std::min<std::int64_t>(x + src.w, dst.w);
  const std::int64_t y0 = std::max<std::int64_t>(y, 0);
  const std::int64_t y1 = std::min<std::int64_t>(y + src.h, dst.h);
  if (x0 >= x1 || y0 >= y1) return;
  switch (op) {
    case op_or: combine_rows<op_or>(dst, src, x, y, x0, x1, y0, y1); break;
    case op_and: combine_rows<op_and>(dst, src, x, y, x0, x1, y0, y1); break;
    case op_xor: combine_rows<op_xor>(dst, src, x, y, x0, x1, y0, y1); break;
    case op_xnor: combine_rows<op_xnor>(dst, src, x, y, x0, x1, y0, y1); break;
    default: combine_rows<op_replace>(dst, src, x, y, x0, x1, y0, y1); break;
  }
}

// ---- the MQ coder's states: Qe, the next state after the more and the
// less probable symbol, and whether the less probable one swaps them ----

const qe_state k_qe[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

// ---- arithmetic-coded generic regions ----

void default_at(int templ, std::int8_t at[8]) {
  static const std::int8_t t0[8] = {3, -1, -3, -1, 2, -2, -2, -2};
  static const std::int8_t t1[8] = {3, -1, 0, 0, 0, 0, 0, 0};
  static const std::int8_t t23[8] = {2, -1, 0, 0, 0, 0, 0, 0};
  std::memcpy(at, templ == 0 ? t0 : templ == 1 ? t1 : t23, 8);
}

bool at_valid(const generic_params &g) {
  const int n = g.templ == 0 ? 4 : 1;
  for (int i = 0; i < n; ++i) {
    const int x = g.at[2 * i], y = g.at[2 * i + 1];
    if (y > 0 || (y == 0 && x >= 0)) return false;
  }
  return true;
}

namespace {

bool at_is_default(const generic_params &g) {
  std::int8_t d[8];
  default_at(g.templ, d);
  const int n = g.templ == 0 ? 8 : 2;
  return std::memcmp(d, g.at, std::size_t(n)) == 0;
}

// The contexts of typical prediction's pseudo-pixel, by template.
constexpr std::uint32_t k_sltp[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};

template <int T, bool Def>
bool generic_rows(mq_decoder &dec, context *cx, const generic_params &g, bitmap &bm) {
  mq_decoder d = dec;  // a local copy the compiler keeps in registers
  const std::uint32_t w = bm.w, h = bm.h;
  const std::size_t stride = bm.stride;
  const int ax0 = g.at[0], ay0 = g.at[1], ax1 = g.at[2], ay1 = g.at[3];
  const int ax2 = g.at[4], ay2 = g.at[5], ax3 = g.at[6], ay3 = g.at[7];
  int ltp = 0;
  for (std::uint32_t y = 0; y < h; ++y) {
    std::uint8_t *row = bm.row(y);
    if (g.tpgdon) {
      if (d.exhausted()) {
        dec = d;
        return false;
      }
      ltp ^= d.decode(cx[k_sltp[T]]);
      if (ltp) {
        if (y > 0) std::memcpy(row, row - stride, stride);
        continue;
      }
    }
    const std::uint8_t *p1 = y >= 1 ? row - stride : nullptr;
    const std::uint8_t *p2 = y >= 2 ? row - 2 * stride : nullptr;
    std::uint32_t r1 = 0, r2 = 0;
    if (p1) r1 = std::uint32_t(p1[0]) << 8 | (stride > 1 ? p1[1] : 0u);
    if (p2) r2 = std::uint32_t(p2[0]) << 8 | (stride > 1 ? p2[1] : 0u);
    std::uint32_t cur = 0;
    for (std::size_t xb = 0; xb < stride; ++xb) {
      if (d.exhausted()) {
        dec = d;
        return false;
      }
      if (xb > 0) {
        const bool more = xb + 1 < stride;
        r1 = r1 << 8 | (p1 && more ? p1[xb + 1] : 0u);
        r2 = r2 << 8 | (p2 && more ? p2[xb + 1] : 0u);
      }
      const int n = xb + 1 < stride ? 8 : int(w - 8 * std::uint32_t(xb));
      unsigned byte = 0;
      const std::int64_t x8 = std::int64_t(xb) * 8;
      for (int k = 0; k < n; ++k) {
        std::uint32_t ctx;
        if (Def) {
          if (T == 0)
            ctx = (cur & 0xF) | ((r1 >> (12 - k)) & 0x7F) << 4 | ((r2 >> (13 - k)) & 0x1F) << 11;
          else if (T == 1)
            ctx = (cur & 0x7) | ((r1 >> (12 - k)) & 0x3F) << 3 | ((r2 >> (13 - k)) & 0xF) << 9;
          else if (T == 2)
            ctx = (cur & 0x3) | ((r1 >> (13 - k)) & 0x1F) << 2 | ((r2 >> (14 - k)) & 0x7) << 7;
          else
            ctx = (cur & 0xF) | ((r1 >> (13 - k)) & 0x3F) << 4;
        } else {
          const std::int64_t x = x8 + k;
          const std::int64_t yy = y;
          if (T == 0) {
            ctx = (cur & 0xF) | ((r1 >> (13 - k)) & 0x1F) << 5 | ((r2 >> (14 - k)) & 0x7) << 12;
            ctx |= std::uint32_t(bm.get(x + ax0, yy + ay0)) << 4 |
                   std::uint32_t(bm.get(x + ax1, yy + ay1)) << 10 |
                   std::uint32_t(bm.get(x + ax2, yy + ay2)) << 11 |
                   std::uint32_t(bm.get(x + ax3, yy + ay3)) << 15;
          } else if (T == 1) {
            ctx = (cur & 0x7) | ((r1 >> (13 - k)) & 0x1F) << 4 | ((r2 >> (13 - k)) & 0xF) << 9;
            ctx |= std::uint32_t(bm.get(x + ax0, yy + ay0)) << 3;
          } else if (T == 2) {
            ctx = (cur & 0x3) | ((r1 >> (14 - k)) & 0xF) << 3 | ((r2 >> (14 - k)) & 0x7) << 7;
            ctx |= std::uint32_t(bm.get(x + ax0, yy + ay0)) << 2;
          } else {
            ctx = (cur & 0xF) | ((r1 >> (14 - k)) & 0x1F) << 5;
            ctx |= std::uint32_t(bm.get(x + ax0, yy + ay0)) << 4;
          }
        }
        const int bit = d.decode(cx[ctx]);
        cur = cur << 1 | unsigned(bit);
        byte |= unsigned(bit) << (7 - k);
        // An adaptive pixel on this row reads the pixels just decoded.
        if (!Def && bit) row[xb] = std::uint8_t(byte);
      }
      row[xb] = std::uint8_t(byte);
    }
  }
  dec = d;
  return true;
}

}  // namespace

bool decode_generic(mq_decoder &d, context *cx, const generic_params &g, bitmap &bm) {
  if (bm.w == 0 || bm.h == 0) return true;
  const bool def = at_is_default(g);
  switch (g.templ) {
    case 0: return def ? generic_rows<0, true>(d, cx, g, bm) : generic_rows<0, false>(d, cx, g, bm);
    case 1: return def ? generic_rows<1, true>(d, cx, g, bm) : generic_rows<1, false>(d, cx, g, bm);
    case 2: return def ? generic_rows<2, true>(d, cx, g, bm) : generic_rows<2, false>(d, cx, g, bm);
    default: return def ? generic_rows<3, true>(d, cx, g, bm) : generic_rows<3, false>(d, cx, g, bm);
  }
}

// ---- MMR-coded generic regions (T.6) ----

namespace {

struct run_code {
  const char *bits;
  int run;
};

// Terminating codes (runs 0-63) and makeup codes (64-1728) of white runs.
const run_code k_white[] = {
    {"00110101", 0},    {"000111", 1},      {"0111", 2},        {"1000", 3},
    {"1011", 4},        {"1100", 5},        {"1110", 6},        {"1111", 7},
    {"10011", 8},       {"10100", 9},       {"00111", 10},      {"01000", 11},
    {"001000", 12},     {"000011", 13},     {"110100", 14},     {"110101", 15},
    {"101010", 16},     {"101011", 17},     {"0100111", 18},    {"0001100", 19},
    {"0001000", 20},    {"0010111", 21},    {"0000011", 22},    {"0000100", 23},
    {"0101000", 24},    {"0101011", 25},    {"0010011", 26},    {"0100100", 27},
    {"0011000", 28},    {"00000010", 29},   {"00000011", 30},   {"00011010", 31},
    {"00011011", 32},   {"00010010", 33},   {"00010011", 34},   {"00010100", 35},
    {"00010101", 36},   {"00010110", 37},   {"00010111", 38},   {"00101000", 39},
    {"00101001", 40},   {"00101010", 41},   {"00101011", 42},   {"00101100", 43},
    {"00101101", 44},   {"00000100", 45},   {"00000101", 46},   {"00001010", 47},
    {"00001011", 48},   {"01010010", 49},   {"01010011", 50},   {"01010100", 51},
    {"01010101", 52},   {"00100100", 53},   {"00100101", 54},   {"01011000", 55},
    {"01011001", 56},   {"01011010", 57},   {"01011011", 58},   {"01001010", 59},
    {"01001011", 60},   {"00110010", 61},   {"00110011", 62},   {"00110100", 63},
    {"11011", 64},      {"10010", 128},     {"010111", 192},    {"0110111", 256},
    {"00110110", 320},  {"00110111", 384},  {"01100100", 448},  {"01100101", 512},
    {"01101000", 576},  {"01100111", 640},  {"011001100", 704}, {"011001101", 768},
    {"011010010", 832}, {"011010011", 896}, {"011010100", 960}, {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280},
    {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536},
    {"010011010", 1600}, {"011000", 1664},    {"010011011", 1728},
};

// The same for black runs.
const run_code k_black[] = {
    {"0000110111", 0},     {"010", 1},            {"11", 2},             {"10", 3},
    {"011", 4},            {"0011", 5},           {"0010", 6},           {"00011", 7},
    {"000101", 8},         {"000100", 9},         {"0000100", 10},       {"0000101", 11},
    {"0000111", 12},       {"00000100", 13},      {"00000111", 14},      {"000011000", 15},
    {"0000010111", 16},    {"0000011000", 17},    {"0000001000", 18},    {"00001100111", 19},
    {"00001101000", 20},   {"00001101100", 21},   {"00000110111", 22},   {"00000101000", 23},
    {"00000010111", 24},   {"00000011000", 25},   {"000011001010", 26},  {"000011001011", 27},
    {"000011001100", 28},  {"000011001101", 29},  {"000001101000", 30},  {"000001101001", 31},
    {"000001101010", 32},  {"000001101011", 33},  {"000011010010", 34},  {"000011010011", 35},
    {"000011010100", 36},  {"000011010101", 37},  {"000011010110", 38},  {"000011010111", 39},
    {"000001101100", 40},  {"000001101101", 41},  {"000011011010", 42},  {"000011011011", 43},
    {"000001010100", 44},  {"000001010101", 45},  {"000001010110", 46},  {"000001010111", 47},
    {"000001100100", 48},  {"000001100101", 49},  {"000001010010", 50},  {"000001010011", 51},
    {"000000100100", 52},  {"000000110111", 53},  {"000000111000", 54},  {"000000100111", 55},
    {"000000101000", 56},  {"000001011000", 57},  {"000001011001", 58},  {"000000101011", 59},
    {"000000101100", 60},  {"000001011010", 61},  {"000001100110", 62},  {"000001100111", 63},
    {"0000001111", 64},    {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384}, {"000000110101", 448}, {"0000001101100", 512},
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768},
    {"0000001001101", 832}, {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216}, {"0000001010010", 1280},
    {"0000001010011", 1344}, {"0000001010100", 1408}, {"0000001010101", 1472}, {"0000001011010", 1536},
    {"0000001011011", 1600}, {"0000001100100", 1664}, {"0000001100101", 1728},
};

// Makeup codes of 1792-2560, the same for both colours.
const run_code k_extended[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

constexpr int k_run_bits = 13;

// Lookup tables of the next 13 bits: the run (12 bits) and the code's
// length (the top 4; 0 where no code fits).
struct run_tables {
  std::uint16_t white[1 << k_run_bits];
  std::uint16_t black[1 << k_run_bits];
};

void put_codes(std::uint16_t *t, const run_code *codes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    unsigned v = 0, len = 0;
    for (const char *c = codes[i].bits; *c; ++c, ++len) v = v << 1 | unsigned(*c - '0');
    const unsigned lo = v << (k_run_bits - len), hi = (v + 1) << (k_run_bits - len);
    for (unsigned j = lo; j < hi; ++j) t[j] = std::uint16_t(len << 12 | unsigned(codes[i].run));
  }
}

struct bit_reader {
  const std::uint8_t *p;
  std::size_t len;
  std::size_t bit = 0;
  // The next n (at most 24) bits; 0 bits past the end.
  std::uint32_t peek(int n) const {
    const std::size_t b = bit >> 3;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | (b + i < len ? p[b + i] : 0u);
    return (v << (bit & 7)) >> (32 - n);
  }
  void skip(int n) { bit += std::size_t(n); }
  bool past_end() const { return bit > len * 8; }
};

// A run of white or black: makeup codes then a terminating one. -1 for a
// bad code.
int read_run(bit_reader &r, const std::uint16_t *t) {
  int run = 0;
  for (;;) {
    const std::uint16_t e = t[r.peek(k_run_bits)];
    const int len = e >> 12;
    if (len == 0 || r.past_end()) return -1;
    r.skip(len);
    const int v = e & 0xFFF;
    run += v;
    if (run > (1 << 29)) return -1;
    if (v < 64) return run;
  }
}

// Sets pixels [s, e) of a row.
void set_span(std::uint8_t *row, std::uint32_t s, std::uint32_t e) {
  if (s >= e) return;
  const std::uint32_t bs = s >> 3, be = (e - 1) >> 3;
  const unsigned ms = 0xFFu >> (s & 7), me = (0xFFu << (7 - ((e - 1) & 7))) & 0xFF;
  if (bs == be) {
    row[bs] = std::uint8_t(row[bs] | (ms & me));
    return;
  }
  row[bs] = std::uint8_t(row[bs] | ms);
  if (be > bs + 1) std::memset(row + bs + 1, 0xFF, be - bs - 1);
  row[be] = std::uint8_t(row[be] | me);
}

}  // namespace

const char *decode_mmr(const std::uint8_t *data, std::size_t len, bitmap &bm, allowance &a,
                       std::size_t *used) {
  *used = 0;
  const std::uint32_t w = bm.w;
  if (w == 0 || bm.h == 0) return nullptr;
  // Two lists of changes (positions where the colour turns, white first),
  // each followed by three copies of the width.
  const std::uint64_t need = sizeof(run_tables) + 2 * (std::uint64_t(w) + 4) * sizeof(std::uint32_t);
  if (!a.take(need)) return "an MMR region is larger than the budget";
  std::vector<run_tables> tables(1);
  run_tables &t = tables[0];
  std::memset(&t, 0, sizeof t);
  put_codes(t.white, k_white, sizeof k_white / sizeof *k_white);
  put_codes(t.white, k_extended, sizeof k_extended / sizeof *k_extended);
  put_codes(t.black, k_black, sizeof k_black / sizeof *k_black);
  put_codes(t.black, k_extended, sizeof k_extended / sizeof *k_extended);
  std::vector<std::uint32_t> ref_v(std::size_t(w) + 4, w), cur_v(std::size_t(w) + 4, w);
  std::uint32_t *ref = ref_v.data(), *cur = cur_v.data();
  std::size_t nref = 0;
  bit_reader r{data, len};
  const char *why = nullptr;
  std::uint32_t y = 0;
  for (; y < bm.h && !why; ++y) {
    std::size_t ncur = 0;
    // Records a change; one at the place of the last undoes it.
    auto change = [&](std::uint32_t at) {
      if (at >= w) return;
      if (ncur > 0 && cur[ncur - 1] == at)
        --ncur;
      else
        cur[ncur++] = at;
    };
    std::int64_t a0 = -1;
    int colour = 0;
    std::size_t ri = 0;  // the first change of the reference row right of a0
    while (a0 < std::int64_t(w)) {
      while (std::int64_t(ref[ri]) <= a0) ++ri;
      const std::size_t bi = ri + ((ri & 1) != std::size_t(colour) ? 1 : 0);
      const std::uint32_t b1 = ref[bi], b2 = ref[bi + 1];
      const std::uint32_t m = r.peek(7);
      if (r.past_end()) {
        why = "the MMR data ends before the region does";
        break;
      }
      std::int64_t a1;
      if (m >= 0x40) {
        r.skip(1);
        a1 = b1;
      } else if (m >= 0x20) {
        r.skip(3);
        a1 = std::int64_t(b1) + ((m & 0x10) ? 1 : -1);
      } else if (m >= 0x10) {
        // Horizontal: a run of a0's colour and one of the other.
        r.skip(3);
        const int run1 = read_run(r, colour ? t.black : t.white);
        const int run2 = run1 < 0 ? -1 : read_run(r, colour ? t.white : t.black);
        if (run2 < 0) {
          why = "a bad code in the MMR data";
          break;
        }
        const std::int64_t s = a0 < 0 ? 0 : a0;
        const std::int64_t e1 = s + run1, e2 = e1 + run2;
        if (e2 > std::int64_t(w)) {
          why = "an MMR row runs past the region's width";
          break;
        }
        change(std::uint32_t(e1));
        change(std::uint32_t(e2));
        a0 = e2;
        continue;
      } else if (m >= 0x08) {
        // Pass: a0 moves under b2, the colour kept.
        r.skip(4);
        a0 = b2;
        continue;
      } else if (m >= 0x04) {
        r.skip(6);
        a1 = std::int64_t(b1) + ((m & 0x02) ? 2 : -2);
      } else if (m >= 0x02) {
        r.skip(7);
        a1 = std::int64_t(b1) + ((m & 0x01) ? 3 : -3);
      } else {
        why = m == 1 ? "MMR data in uncompressed mode, which is not read"
                     : (r.peek(24) == 0x001001 ? "the MMR data ends before the region does"
                                               : "a bad code in the MMR data");
        break;
      }
      // A vertical mode: a1 relative to b1.
      if (a1 < (a0 < 0 ? 0 : a0) || a1 > std::int64_t(w)) {
        why = "a bad code in the MMR data";
        break;
      }
      change(std::uint32_t(a1));
      a0 = a1;
      colour ^= 1;
    }
    // The row as its changes say (a bad row as far as it went).
    std::uint8_t *row = bm.row(y);
    for (std::size_t i = 0; i < ncur; i += 2)
      set_span(row, cur[i], i + 1 < ncur ? cur[i + 1] : (why ? cur[i] : w));
    for (std::size_t i = ncur; i < ncur + 3; ++i) cur[i] = w;
    std::swap(ref, cur);
    nref = ncur;
  }
  (void)nref;
  *used = std::min(len, (r.bit + 7) / 8);
  a.give(need);
  return why;
}

}  // namespace jb2
}  // namespace lt
