// SPDX-License-Identifier: MIT
// JPEG to grey: the markers, Huffman-coded scans (sequential and
// progressive), integer inverse transforms at four scales and the
// components' conversion to luminance.
//
// Two ways through an image. When the frame is sequential and its first
// scan holds every component the grey needs, each row of blocks goes from
// the entropy decoder through the inverse transform into the pixels (the
// only memory is one row of blocks per component). Otherwise (progressive
// frames, components in scans of their own) the coefficients of the
// components the grey needs are kept, every scan refines them, and the
// transform runs once at the end. Components the grey does not need (the
// chroma of YCbCr) are decoded only as far as the bit stream demands: never
// transformed, and their scans of their own are skipped unread.
#include "dct.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace lt {
namespace {

using i64 = std::int64_t;

// The natural (row-major) position of the k-th coefficient in zigzag order,
// and 16 more entries so that a zero run past the end of a bad block stays
// inside the table.
const std::uint8_t kNatural[64 + 16] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// ---------------------------------------------------------------- bits

constexpr int kFastBits = 9;

// A Huffman table: codes up to kFastBits long by one look-up, longer ones
// by the canonical code's limits per length.
struct huff_table {
  std::uint16_t fast[1 << kFastBits];  // (length << 8) | symbol; 0: a longer code
  std::int32_t maxcode[17];            // the largest code of each length, -1 for none
  std::int32_t valptr[17];             // symbol index minus code, per length
  std::uint8_t vals[256];
  bool defined = false;
};

// Builds a table from the counts per length and the symbols; false when
// the counts oversubscribe the code space.
bool build_table(huff_table &t, const std::uint8_t counts[16], const std::uint8_t *symbols,
                 int total) {
  std::memset(t.fast, 0, sizeof t.fast);
  std::memcpy(t.vals, symbols, static_cast<std::size_t>(total));
  std::int32_t code = 0;
  int k = 0;
  t.maxcode[0] = -1;
  t.valptr[0] = 0;
  for (int len = 1; len <= 16; ++len) {
    const int n = counts[len - 1];
    if (code + n > (1 << len)) return false;
    t.valptr[len] = k - code;
    t.maxcode[len] = n ? code + n - 1 : -1;
    for (int i = 0; i < n; ++i, ++code, ++k) {
      if (len > kFastBits) continue;
      const int shift = kFastBits - len;
      const auto entry = static_cast<std::uint16_t>((len << 8) | symbols[k]);
      for (int j = 0; j < (1 << shift); ++j) t.fast[(code << shift) + j] = entry;
    }
    code <<= 1;
  }
  t.defined = true;
  return true;
}

// Entropy-coded bytes, MSB first, in a 64-bit buffer. Stuffed bytes (FF 00)
// are undone; at a marker or the end of the input the buffer is filled with
// zero bits, counted in `pad`, so that reading past the data is seen
// (overrun()) without ever reading past the input.
struct bit_reader {
  const std::uint8_t *p;
  std::size_t n;
  std::size_t pos;
  std::uint64_t buf = 0;
  int cnt = 0;
  int pad = 0;

  void refill() {
    while (cnt <= 56) {
      unsigned b = 0;
      if (pos < n) {
        b = p[pos];
        if (b != 0xFF) {
          ++pos;
        } else if (pos + 1 < n && p[pos + 1] == 0) {
          pos += 2;
        } else {
          b = 0;
          pad += 8;
        }
      } else {
        pad += 8;
      }
      buf |= static_cast<std::uint64_t>(b) << (56 - cnt);
      cnt += 8;
    }
  }
  bool overrun() const { return pad > cnt; }
  void reset() {
    buf = 0;
    cnt = 0;
    pad = 0;
  }
  // s in 1..16; the caller has made sure of s bits in the buffer.
  unsigned take(int s) {
    const auto v = static_cast<unsigned>(buf >> (64 - s));
    buf <<= s;
    cnt -= s;
    return v;
  }
  unsigned get(int s) {
    if (cnt < s) refill();
    return take(s);
  }
  unsigned bit() {
    if (cnt < 1) refill();
    return take(1);
  }
  // A symbol, with at least 16 bits in the buffer; -1 for a code the
  // table does not have.
  int symbol(const huff_table &t) {
    const unsigned e = t.fast[buf >> (64 - kFastBits)];
    if (e) {
      const int len = static_cast<int>(e >> 8);
      buf <<= len;
      cnt -= len;
      return static_cast<int>(e & 0xFF);
    }
    for (int len = kFastBits + 1; len <= 16; ++len) {
      const auto code = static_cast<std::int32_t>(buf >> (64 - len));
      if (code <= t.maxcode[len]) {
        const std::int32_t i = t.valptr[len] + code;
        if (i < 0 || i > 255) return -1;
        buf <<= len;
        cnt -= len;
        return t.vals[i];
      }
    }
    return -1;
  }
};

inline int extend(unsigned v, int s) {
  return v < (1u << (s - 1)) ? static_cast<int>(v) - (1 << s) + 1 : static_cast<int>(v);
}

// A sequential block into blk (natural order, not dequantized); with Store
// false it is only read past. Returns the zigzag index of the last
// coefficient coded (0: the DC alone), or -1 for bad data.
template <bool Store>
int sequential_block(bit_reader &br, const huff_table &dc, const huff_table &ac, int &pred,
                     std::int16_t *blk) {
  if (br.cnt < 32) br.refill();
  const int s = br.symbol(dc);
  if (s < 0 || s > 15) return -1;
  if (s) pred = static_cast<std::int16_t>(pred + extend(br.take(s), s));
  if (Store) blk[0] = static_cast<std::int16_t>(pred);
  int last = 0;
  for (int k = 1; k < 64;) {
    if (br.cnt < 32) br.refill();
    const int rs = br.symbol(ac);
    if (rs < 0) return -1;
    const int r = rs >> 4, z = rs & 15;
    if (z) {
      k += r;
      if (k > 63) return -1;
      const int v = extend(br.take(z), z);
      if (Store) blk[kNatural[k]] = static_cast<std::int16_t>(v);
      last = k++;
    } else {
      if (r != 15) break;
      k += 16;
    }
  }
  return last;
}

bool dc_first(bit_reader &br, const huff_table &dc, int &pred, int al, std::int16_t *blk) {
  if (br.cnt < 32) br.refill();
  const int s = br.symbol(dc);
  if (s < 0 || s > 15) return false;
  if (s) pred = static_cast<std::int16_t>(pred + extend(br.take(s), s));
  blk[0] = static_cast<std::int16_t>(pred * (1 << al));
  return true;
}

void dc_refine(bit_reader &br, int al, std::int16_t *blk) {
  if (br.bit()) blk[0] = static_cast<std::int16_t>(blk[0] | (1 << al));
}

bool ac_first(bit_reader &br, const huff_table &ac, int ss, int se, int al, int &eobrun,
              std::int16_t *blk) {
  if (eobrun) {
    --eobrun;
    return true;
  }
  for (int k = ss; k <= se;) {
    if (br.cnt < 32) br.refill();
    const int rs = br.symbol(ac);
    if (rs < 0) return false;
    const int r = rs >> 4, s = rs & 15;
    if (s) {
      k += r;
      if (k > se) return false;
      blk[kNatural[k]] = static_cast<std::int16_t>(extend(br.take(s), s) * (1 << al));
      ++k;
    } else if (r < 15) {
      eobrun = (1 << r) - 1;
      if (r) eobrun += static_cast<int>(br.take(r));
      break;
    } else {
      k += 16;
    }
  }
  return true;
}

// One correction bit for a coefficient already nonzero.
inline void correct(bit_reader &br, std::int16_t &c, int p1) {
  if (br.bit() && !(c & p1)) c = static_cast<std::int16_t>(c >= 0 ? c + p1 : c - p1);
}

bool ac_refine(bit_reader &br, const huff_table &ac, int ss, int se, int al, int &eobrun,
               std::int16_t *blk) {
  const int p1 = 1 << al;
  int k = ss;
  if (!eobrun) {
    while (k <= se) {
      if (br.cnt < 32) br.refill();
      const int rs = br.symbol(ac);
      if (rs < 0) return false;
      int r = rs >> 4;
      const int s = rs & 15;
      int value = 0;
      if (s) {
        if (s != 1) return false;
        value = br.take(1) ? p1 : -p1;
      } else if (r != 15) {
        eobrun = 1 << r;
        if (r) eobrun += static_cast<int>(br.take(r));
        break;
      }
      // Past r coefficients still zero (refining the nonzero ones on the
      // way) to the one the new value goes to.
      while (k <= se) {
        std::int16_t &c = blk[kNatural[k]];
        if (c) {
          correct(br, c, p1);
        } else {
          if (r == 0) break;
          --r;
        }
        ++k;
      }
      if (value) {
        if (k > se) return false;
        blk[kNatural[k]] = static_cast<std::int16_t>(value);
      }
      ++k;
    }
  }
  if (eobrun) {
    for (; k <= se; ++k) {
      std::int16_t &c = blk[kNatural[k]];
      if (c) correct(br, c, p1);
    }
    --eobrun;
  }
  return true;
}

// ---------------------------------------------------------------- transforms

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

inline i64 descale(i64 x, int n) { return (x + (i64(1) << (n - 1))) >> n; }
inline std::uint8_t to_pixel(i64 v) {
  v += 128;
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The 8x8 inverse transform, dequantizing as it reads: the Loeffler,
// Ligtenberg and Moschytz factorisation in 13-bit fixed point, columns
// then rows.
void idct8(const std::int16_t *c, const std::uint16_t *q, std::uint8_t *out, std::size_t stride) {
  constexpr i64 k0298 = 2446, k0390 = 3196, k0541 = 4433, k0765 = 6270, k0899 = 7373,
                k1175 = 9633, k1501 = 12299, k1847 = 15137, k1961 = 16069, k2053 = 16819,
                k2562 = 20995, k3072 = 25172;
  i64 ws[64];
  for (int col = 0; col < 8; ++col) {
    const std::int16_t *p = c + col;
    const std::uint16_t *qq = q + col;
    i64 *w = ws + col;
    if (!(p[8] | p[16] | p[24] | p[32] | p[40] | p[48] | p[56])) {
      const i64 dc = i64(p[0]) * qq[0] * (1 << kPass1Bits);
      for (int r = 0; r < 8; ++r) w[8 * r] = dc;
      continue;
    }
    i64 z2 = i64(p[16]) * qq[16], z3 = i64(p[48]) * qq[48];
    i64 z1 = (z2 + z3) * k0541;
    const i64 t2 = z1 - z3 * k1847, t3 = z1 + z2 * k0765;
    z2 = i64(p[0]) * qq[0];
    z3 = i64(p[32]) * qq[32];
    const i64 t0 = (z2 + z3) * (1 << kConstBits), t1 = (z2 - z3) * (1 << kConstBits);
    const i64 e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    i64 o0 = i64(p[56]) * qq[56], o1 = i64(p[40]) * qq[40], o2 = i64(p[24]) * qq[24],
        o3 = i64(p[8]) * qq[8];
    z1 = o0 + o3;
    z2 = o1 + o2;
    z3 = o0 + o2;
    i64 z4 = o1 + o3;
    const i64 z5 = (z3 + z4) * k1175;
    o0 *= k0298;
    o1 *= k2053;
    o2 *= k3072;
    o3 *= k1501;
    z1 *= -k0899;
    z2 *= -k2562;
    z3 = z3 * -k1961 + z5;
    z4 = z4 * -k0390 + z5;
    o0 += z1 + z3;
    o1 += z2 + z4;
    o2 += z2 + z3;
    o3 += z1 + z4;
    constexpr int sh = kConstBits - kPass1Bits;
    w[0] = descale(e10 + o3, sh);
    w[56] = descale(e10 - o3, sh);
    w[8] = descale(e11 + o2, sh);
    w[48] = descale(e11 - o2, sh);
    w[16] = descale(e12 + o1, sh);
    w[40] = descale(e12 - o1, sh);
    w[24] = descale(e13 + o0, sh);
    w[32] = descale(e13 - o0, sh);
  }
  for (int r = 0; r < 8; ++r) {
    const i64 *w = ws + 8 * r;
    std::uint8_t *o = out + r * stride;
    if (!(w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7])) {
      std::memset(o, to_pixel(descale(w[0], kPass1Bits + 3)), 8);
      continue;
    }
    i64 z1 = (w[2] + w[6]) * k0541;
    const i64 t2 = z1 - w[6] * k1847, t3 = z1 + w[2] * k0765;
    const i64 t0 = (w[0] + w[4]) * (1 << kConstBits), t1 = (w[0] - w[4]) * (1 << kConstBits);
    const i64 e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    i64 o0 = w[7], o1 = w[5], o2 = w[3], o3 = w[1];
    z1 = o0 + o3;
    i64 z2 = o1 + o2, z3 = o0 + o2, z4 = o1 + o3;
    const i64 z5 = (z3 + z4) * k1175;
    o0 *= k0298;
    o1 *= k2053;
    o2 *= k3072;
    o3 *= k1501;
    z1 *= -k0899;
    z2 *= -k2562;
    z3 = z3 * -k1961 + z5;
    z4 = z4 * -k0390 + z5;
    o0 += z1 + z3;
    o1 += z2 + z4;
    o2 += z2 + z3;
    o3 += z1 + z4;
    constexpr int sh = kConstBits + kPass1Bits + 3;
    o[0] = to_pixel(descale(e10 + o3, sh));
    o[7] = to_pixel(descale(e10 - o3, sh));
    o[1] = to_pixel(descale(e11 + o2, sh));
    o[6] = to_pixel(descale(e11 - o2, sh));
    o[2] = to_pixel(descale(e12 + o1, sh));
    o[5] = to_pixel(descale(e12 - o1, sh));
    o[3] = to_pixel(descale(e13 + o0, sh));
    o[4] = to_pixel(descale(e13 - o0, sh));
  }
}

// The scaled transforms give each output pixel the mean of the 2x2 or 4x4
// pixels of the full transform it stands for: the transform evaluated at
// the cell's centre with each frequency weighted by the mean of its cosine
// over the cell. At the centres of 4 cells frequency 4 vanishes and 5, 6, 7
// fold onto 3, 2, 1; at those of 2 cells 2, 4 and 6 vanish.
constexpr i64 kR2 = 5793;                             // cos(pi/4)
constexpr i64 kW2 = 5352, kW6 = 2217;                 // cos(2pi/16), cos(6pi/16), times cos(pi/4)
constexpr i64 kA11 = 7423, kA17 = 1477, kA33 = 2607, kA35 = 1742;  // cos(pi/8), cos(3pi/8) by w1, w7, w3, w5
constexpr i64 kB31 = 3075, kB37 = 612, kB13 = 6293, kB15 = 4205;

// The 4-point transform of 8 coefficients (index 4 unused), doubled.
inline void four_point(i64 f0, i64 f1, i64 f2, i64 f3, i64 f5, i64 f6, i64 f7, i64 g[4]) {
  const i64 e0 = f0 * kR2 + f2 * kW2 - f6 * kW6;
  const i64 e1 = f0 * kR2 - f2 * kW2 + f6 * kW6;
  const i64 o0 = f1 * kA11 - f7 * kA17 + f3 * kA33 - f5 * kA35;
  const i64 o1 = f1 * kB31 - f7 * kB37 - f3 * kB13 + f5 * kB15;
  g[0] = e0 + o0;
  g[1] = e1 + o1;
  g[2] = e1 - o1;
  g[3] = e0 - o0;
}

void idct4(const std::int16_t *c, const std::uint16_t *q, std::uint8_t *out, std::size_t stride) {
  i64 ws[4][8];
  static const int cols[7] = {0, 1, 2, 3, 5, 6, 7};
  for (int u : cols) {
    const std::int16_t *p = c + u;
    const std::uint16_t *qq = q + u;
    i64 g[4];
    const i64 f0 = i64(p[0]) * qq[0];
    if (!(p[8] | p[16] | p[24] | p[40] | p[48] | p[56])) {
      g[0] = g[1] = g[2] = g[3] = f0 * kR2;
    } else {
      four_point(f0, i64(p[8]) * qq[8], i64(p[16]) * qq[16], i64(p[24]) * qq[24],
                 i64(p[40]) * qq[40], i64(p[48]) * qq[48], i64(p[56]) * qq[56], g);
    }
    for (int y = 0; y < 4; ++y) ws[y][u] = descale(g[y], kConstBits - kPass1Bits);
  }
  for (int y = 0; y < 4; ++y) {
    const i64 *w = ws[y];
    std::uint8_t *o = out + y * stride;
    if (!(w[1] | w[2] | w[3] | w[5] | w[6] | w[7])) {
      std::memset(o, to_pixel(descale(w[0] * kR2, kConstBits + kPass1Bits + 2)), 4);
      continue;
    }
    i64 g[4];
    four_point(w[0], w[1], w[2], w[3], w[5], w[6], w[7], g);
    for (int x = 0; x < 4; ++x) o[x] = to_pixel(descale(g[x], kConstBits + kPass1Bits + 2));
  }
}

inline i64 two_point_odd(i64 f1, i64 f3, i64 f5, i64 f7) {
  return f1 * kA11 - f3 * kA33 + f5 * kA35 - f7 * kA17;
}

void idct2(const std::int16_t *c, const std::uint16_t *q, std::uint8_t *out, std::size_t stride) {
  i64 ws[2][8];
  static const int cols[5] = {0, 1, 3, 5, 7};
  for (int u : cols) {
    const std::int16_t *p = c + u;
    const std::uint16_t *qq = q + u;
    const i64 f0 = i64(p[0]) * qq[0] * (1 << kConstBits);
    const i64 odd = two_point_odd(i64(p[8]) * qq[8], i64(p[24]) * qq[24], i64(p[40]) * qq[40],
                                  i64(p[56]) * qq[56]);
    ws[0][u] = descale(f0 + odd, kConstBits - kPass1Bits);
    ws[1][u] = descale(f0 - odd, kConstBits - kPass1Bits);
  }
  for (int y = 0; y < 2; ++y) {
    const i64 *w = ws[y];
    const i64 f0 = w[0] * (1 << kConstBits);
    const i64 odd = two_point_odd(w[1], w[3], w[5], w[7]);
    out[y * stride] = to_pixel(descale(f0 + odd, kConstBits + kPass1Bits + 3));
    out[y * stride + 1] = to_pixel(descale(f0 - odd, kConstBits + kPass1Bits + 3));
  }
}

void idct1(const std::int16_t *c, const std::uint16_t *q, std::uint8_t *out, std::size_t) {
  out[0] = to_pixel(descale(i64(c[0]) * q[0], 3));
}

// A block whose coefficients past the DC are all zero, at any scale.
void flat_block(const std::int16_t *c, const std::uint16_t *q, std::uint8_t *out,
                std::size_t stride, int size) {
  const std::uint8_t v = to_pixel(descale(i64(c[0]) * q[0], 3));
  for (int y = 0; y < size; ++y) std::memset(out + y * stride, v, static_cast<std::size_t>(size));
}

using idct_fn = void (*)(const std::int16_t *, const std::uint16_t *, std::uint8_t *, std::size_t);

// ---------------------------------------------------------------- decoder

enum class colour { grey, ycc, rgb, cmyk, ycck };

struct component {
  int id = 0, h = 1, v = 1, tq = 0;
  int bw = 0, bh = 0;    // blocks across and down, whole MCUs
  int cbw = 0, cbh = 0;  // the blocks that cover the component's samples
  bool needed = false;
  bool latched = false;  // q holds its quantization table
  std::uint16_t q[64] = {};
  std::int16_t *coef = nullptr;
  std::uint8_t *strip = nullptr;  // one row of MCUs, transformed
  std::size_t stride = 0;
  int size = 8;               // pixels across a transformed block
  idct_fn idct = idct8;
  int xnum = 1, xden = 1;     // strip columns per output column
  int ynum = 1, yden = 1;     // strip rows per output row
  std::uint8_t *line = nullptr;  // one output row of it, when not 1:1
  int pred = 0;
  int dc = 0, ac = 0;
};

struct scan_info {
  int ns = 0;
  component *comp[4] = {};
  int ss = 0, se = 63, ah = 0, al = 0;
};

class decoder {
 public:
  decoder(const std::uint8_t *in, std::size_t len, const dct_options &opt,
          std::vector<std::uint8_t> *pixels)
      : in_(in), len_(len), opt_(opt), px_(pixels) {}

  bool run(int *width, int *height, bool *complete);
  const char *why() const { return why_; }

 private:
  bool fail(const char *why) {
    why_ = why;
    return false;
  }
  std::size_t find_marker(std::size_t from) const;
  bool read_frame(const std::uint8_t *s, std::size_t n, bool progressive);
  bool read_huffman(const std::uint8_t *s, std::size_t n);
  bool read_quant(const std::uint8_t *s, std::size_t n);
  bool read_scan(const std::uint8_t *s, std::size_t n, scan_info *sc);
  bool set_up(const scan_info &sc);
  void decode_scan(const scan_info &sc);
  bool decode_mcu(const scan_info &sc, bit_reader &br, i64 mcu, int per_row);
  void skip_mcus(const scan_info &sc, i64 from, i64 to, int per_row);
  int restart(bit_reader &br);
  void grey_mcu(const scan_info &sc, i64 mcu, int per_row);
  void emit(int y0, int rows);
  void transform_all();

  const std::uint8_t *in_;
  std::size_t len_;
  dct_options opt_;
  std::vector<std::uint8_t> *px_;
  const char *why_ = nullptr;
  std::size_t pos_ = 0;

  huff_table dc_[4], ac_[4];
  std::uint16_t qt_[4][64] = {};
  bool qt_defined_[4] = {};
  int restart_interval_ = 0;
  bool adobe_ = false;
  int adobe_transform_ = 0;

  bool have_frame_ = false, progressive_ = false;
  int w_ = 0, h_ = 0, nc_ = 0, hmax_ = 1, vmax_ = 1, mcus_x_ = 0, mcus_y_ = 0;
  component comp_[4];
  int scale_ = 8;  // pixels across a transformed block
  int out_w_ = 0, out_h_ = 0;

  bool started_ = false;  // set up for the first scan
  bool streaming_ = false;
  bool decoded_ = false;  // some scan was decoded
  bool bad_ = false;
  colour colour_ = colour::grey;
  int next_rst_ = 0;
  int eobrun_ = 0;
  i64 work_left_ = 0;

  std::vector<std::uint8_t> strips_;
  std::vector<std::int16_t> coefs_;
};

std::size_t decoder::find_marker(std::size_t i) const {
  while (i + 1 < len_) {
    const void *f = std::memchr(in_ + i, 0xFF, len_ - i - 1);
    if (!f) return len_;
    i = static_cast<std::size_t>(static_cast<const std::uint8_t *>(f) - in_);
    const std::uint8_t b = in_[i + 1];
    if (b == 0xFF) {
      ++i;
    } else if (b == 0) {
      i += 2;
    } else {
      return i;
    }
  }
  return len_;
}

bool decoder::read_frame(const std::uint8_t *s, std::size_t n, bool progressive) {
  if (n < 6) return fail("the JPEG's headers are damaged");
  if (s[0] == 12) return fail("12-bit JPEG is not read");
  if (s[0] != 8) return fail("a JPEG of other than 8-bit samples is not read");
  h_ = (s[1] << 8) | s[2];
  w_ = (s[3] << 8) | s[4];
  nc_ = s[5];
  if (w_ == 0) return fail("the JPEG's headers are damaged");
  if (h_ == 0) return fail("a JPEG whose height follows its data (DNL) is not read");
  if (nc_ != 1 && nc_ != 3 && nc_ != 4) return fail("only JPEGs of 1, 3 or 4 components are read");
  if (n < 6 + 3 * static_cast<std::size_t>(nc_)) return fail("the JPEG's headers are damaged");
  hmax_ = vmax_ = 1;
  for (int i = 0; i < nc_; ++i) {
    component &c = comp_[i];
    c.id = s[6 + 3 * i];
    c.h = s[7 + 3 * i] >> 4;
    c.v = s[7 + 3 * i] & 15;
    c.tq = s[8 + 3 * i];
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3)
      return fail("the JPEG's headers are damaged");
    hmax_ = std::max(hmax_, c.h);
    vmax_ = std::max(vmax_, c.v);
  }
  mcus_x_ = (w_ + 8 * hmax_ - 1) / (8 * hmax_);
  mcus_y_ = (h_ + 8 * vmax_ - 1) / (8 * vmax_);
  for (int i = 0; i < nc_; ++i) {
    component &c = comp_[i];
    c.bw = mcus_x_ * c.h;
    c.bh = mcus_y_ * c.v;
    const int cw = (w_ * c.h + hmax_ - 1) / hmax_, ch = (h_ * c.v + vmax_ - 1) / vmax_;
    c.cbw = (cw + 7) / 8;
    c.cbh = (ch + 7) / 8;
  }
  progressive_ = progressive;
  have_frame_ = true;
  const int r = opt_.reduce;
  out_w_ = (w_ + r - 1) / r;
  out_h_ = (h_ + r - 1) / r;
  if (static_cast<std::uint64_t>(out_w_) * static_cast<std::uint64_t>(out_h_) > opt_.budget)
    return fail("the image is larger than the budget");
  return true;
}

bool decoder::read_huffman(const std::uint8_t *s, std::size_t n) {
  while (n > 0) {
    if (n < 17) return false;
    const int tc = s[0] >> 4, th = s[0] & 15;
    if (tc > 1 || th > 3) return false;
    int total = 0;
    for (int i = 1; i <= 16; ++i) total += s[i];
    if (total > 256 || n < 17 + static_cast<std::size_t>(total)) return false;
    huff_table &t = tc ? ac_[th] : dc_[th];
    if (!build_table(t, s + 1, s + 17, total)) {
      t.defined = false;
      return false;
    }
    s += 17 + total;
    n -= 17 + static_cast<std::size_t>(total);
  }
  return true;
}

bool decoder::read_quant(const std::uint8_t *s, std::size_t n) {
  while (n > 0) {
    const int pq = s[0] >> 4, tq = s[0] & 15;
    if (pq > 1 || tq > 3) return false;
    const std::size_t size = pq ? 128 : 64;
    if (n < 1 + size) return false;
    for (int k = 0; k < 64; ++k)
      qt_[tq][kNatural[k]] =
          static_cast<std::uint16_t>(pq ? (s[1 + 2 * k] << 8) | s[2 + 2 * k] : s[1 + k]);
    qt_defined_[tq] = true;
    s += 1 + size;
    n -= 1 + size;
  }
  return true;
}

// The scan header; false when it is unusable (the scan is then skipped).
bool decoder::read_scan(const std::uint8_t *s, std::size_t n, scan_info *sc) {
  if (n < 1) return false;
  const int ns = s[0];
  if (ns < 1 || ns > 4 || n < 4 + 2 * static_cast<std::size_t>(ns)) return false;
  sc->ns = ns;
  int blocks = 0;
  for (int i = 0; i < ns; ++i) {
    const int id = s[1 + 2 * i], t = s[2 + 2 * i];
    component *c = nullptr;
    for (int j = 0; j < nc_ && !c; ++j) {
      if (comp_[j].id != id) continue;
      bool taken = false;
      for (int k = 0; k < i; ++k) taken |= sc->comp[k] == &comp_[j];
      if (!taken) c = &comp_[j];
    }
    if (!c || (t >> 4) > 3 || (t & 15) > 3) return false;
    c->dc = t >> 4;
    c->ac = t & 15;
    sc->comp[i] = c;
    blocks += c->h * c->v;
  }
  if (ns > 1 && blocks > 10) return false;
  const std::uint8_t *p = s + 1 + 2 * ns;
  sc->ss = p[0];
  sc->se = p[1];
  sc->ah = p[2] >> 4;
  sc->al = p[2] & 15;
  if (!progressive_) {
    sc->ss = 0;
    sc->se = 63;
    sc->ah = sc->al = 0;
  } else {
    if (sc->al > 13 || sc->ah > 13) return false;
    if (sc->ss == 0 && sc->se != 0) return false;
    if (sc->ss > 0 && (ns != 1 || sc->se < sc->ss || sc->se > 63)) return false;
  }
  for (int i = 0; i < ns; ++i) {
    const component &c = *sc->comp[i];
    const bool needs_dc = !progressive_ || (sc->ss == 0 && sc->ah == 0);
    const bool needs_ac = !progressive_ || sc->ss > 0;
    if (needs_dc && !dc_[c.dc].defined) return false;
    if (needs_ac && !ac_[c.ac].defined) return false;
  }
  return true;
}

// At the first scan: what the grey is made of, which way the image goes
// (straight through, or by its coefficients), and the memory for it.
bool decoder::set_up(const scan_info &sc) {
  if (nc_ == 1) {
    colour_ = colour::grey;
  } else if (nc_ == 3) {
    int t = opt_.color_transform;
    if (t < 0) {
      if (adobe_)
        t = adobe_transform_ ? 1 : 0;
      else
        t = comp_[0].id == 'R' && comp_[1].id == 'G' && comp_[2].id == 'B' ? 0 : 1;
    }
    colour_ = t ? colour::ycc : colour::rgb;
  } else {
    int t = opt_.color_transform;
    if (t < 0) t = adobe_ ? adobe_transform_ : 0;
    colour_ = t ? colour::ycck : colour::cmyk;
  }
  for (int i = 0; i < nc_; ++i)
    comp_[i].needed = colour_ == colour::grey || colour_ == colour::ycc ? i == 0
                      : colour_ == colour::ycck                         ? i == 0 || i == 3
                                                                        : true;
  bool all_in_scan = true;
  for (int i = 0; i < nc_; ++i) {
    if (!comp_[i].needed) continue;
    bool in = false;
    for (int k = 0; k < sc.ns; ++k) in |= sc.comp[k] == &comp_[i];
    all_in_scan &= in;
  }
  streaming_ = !progressive_ && all_in_scan &&
               (sc.ns > 1 || (sc.comp[0]->h == hmax_ && sc.comp[0]->v == vmax_));

  // Each component is transformed at the smallest scale that still gives
  // a sample per output pixel: a subsampled one is reduced less (and, at
  // full size, its samples repeated).
  const int r = opt_.reduce;
  std::uint64_t strip_bytes = 0, coef_count = 0, line_bytes = 0, blocks = 0;
  for (int i = 0; i < nc_; ++i) {
    component &c = comp_[i];
    blocks += static_cast<std::uint64_t>(c.bw) * static_cast<std::uint64_t>(c.bh);
    if (!c.needed) continue;
    c.size = 1;
    while (c.size < 8 && (c.size * c.h * r < 8 * hmax_ || c.size * c.v * r < 8 * vmax_)) c.size *= 2;
    c.idct = c.size == 8 ? idct8 : c.size == 4 ? idct4 : c.size == 2 ? idct2 : idct1;
    c.xnum = c.size * c.h * r;
    c.xden = 8 * hmax_;
    c.ynum = c.size * c.v * r;
    c.yden = 8 * vmax_;
    strip_bytes += static_cast<std::uint64_t>(c.bw) * c.size * static_cast<std::uint64_t>(c.v) * c.size;
    if (!streaming_)
      coef_count += static_cast<std::uint64_t>(c.bw) * static_cast<std::uint64_t>(c.bh) * 64;
    if (c.xnum != c.xden || c.ynum != c.yden) line_bytes += static_cast<std::uint64_t>(out_w_);
  }
  const std::uint64_t total = static_cast<std::uint64_t>(out_w_) * static_cast<std::uint64_t>(out_h_) +
                              strip_bytes + coef_count * sizeof(std::int16_t) + line_bytes;
  if (total > opt_.budget) return fail("the image is larger than the budget");
  try {
    px_->assign(static_cast<std::size_t>(out_w_) * static_cast<std::size_t>(out_h_), 128);
    strips_.assign(static_cast<std::size_t>(strip_bytes + line_bytes), 128);
    coefs_.assign(static_cast<std::size_t>(coef_count), 0);
  } catch (const std::bad_alloc &) {
    px_->clear();
    return fail("out of memory");
  }
  std::size_t strip_at = 0, coef_at = 0;
  for (int i = 0; i < nc_; ++i) {
    component &c = comp_[i];
    if (!c.needed) continue;
    c.stride = static_cast<std::size_t>(c.bw) * c.size;
    c.strip = strips_.data() + strip_at;
    strip_at += c.stride * static_cast<std::size_t>(c.v * c.size);
    if (!streaming_) {
      c.coef = coefs_.data() + coef_at;
      coef_at += static_cast<std::size_t>(c.bw) * static_cast<std::size_t>(c.bh) * 64;
    }
  }
  for (int i = 0; i < nc_; ++i) {
    component &c = comp_[i];
    if (!c.needed || (c.xnum == c.xden && c.ynum == c.yden)) continue;
    c.line = strips_.data() + strip_at;
    strip_at += static_cast<std::size_t>(out_w_);
  }
  // Progressive data may refine each coefficient at most 14 times; a
  // little more is allowed, and no more, so that scans that cost nothing
  // to write cannot make the work unbounded.
  work_left_ = static_cast<i64>(blocks) * 64 * 20;
  started_ = true;
  return true;
}

// Output row y of a component from its strip: the strip row itself when
// they match 1:1, else each pixel the mean of the strip samples it covers
// (one, repeated, where the component is subsampled).
const std::uint8_t *component_row(const component &c, int ry, int out_w) {
  const std::uint8_t *row = c.strip + static_cast<std::size_t>(i64(ry) * c.ynum / c.yden) * c.stride;
  if (!c.line) return row;
  const int r0 = static_cast<int>(i64(ry) * c.ynum / c.yden);
  const int r1 = std::max(r0 + 1, static_cast<int>(i64(ry + 1) * c.ynum / c.yden));
  const int limit = static_cast<int>(c.stride);
  for (int x = 0; x < out_w; ++x) {
    const int x0 = static_cast<int>(i64(x) * c.xnum / c.xden);
    const int x1 = std::min(limit, std::max(x0 + 1, static_cast<int>(i64(x + 1) * c.xnum / c.xden)));
    unsigned sum = 0, n = 0;
    for (int yy = r0; yy < r1; ++yy)
      for (int xx = x0; xx < x1; ++xx, ++n) sum += row[(yy - r0) * c.stride + xx];
    c.line[x] = static_cast<std::uint8_t>(n ? (sum + n / 2) / n : 128);
  }
  return c.line;
}

void decoder::emit(int y0, int rows) {
  const int y1 = std::min(out_h_, y0 + rows);
  for (int y = y0; y < y1; ++y) {
    std::uint8_t *o = px_->data() + static_cast<std::size_t>(y) * out_w_;
    const std::uint8_t *src[4] = {};
    for (int i = 0; i < nc_; ++i)
      if (comp_[i].needed) src[i] = component_row(comp_[i], y - y0, out_w_);
    auto at = [&](int i, int x) -> unsigned { return src[i][x]; };
    switch (colour_) {
      case colour::grey:
      case colour::ycc:
        std::memcpy(o, src[0], static_cast<std::size_t>(out_w_));
        break;
      case colour::rgb:
        for (int x = 0; x < out_w_; ++x)
          o[x] = static_cast<std::uint8_t>((19595 * at(0, x) + 38470 * at(1, x) + 7471 * at(2, x) +
                                            32768) >> 16);
        break;
      case colour::cmyk:
        // With an Adobe marker the samples are stored inverted: they are
        // 255 - ink, the RGB a reader makes of the ink.
        for (int x = 0; x < out_w_; ++x) {
          unsigned c = at(0, x), m = at(1, x), yy = at(2, x), k = at(3, x);
          if (!adobe_) {
            c = 255 - c;
            m = 255 - m;
            yy = 255 - yy;
            k = 255 - k;
          }
          const std::uint64_t l = 19595u * c + 38470u * m + 7471u * yy;
          o[x] = static_cast<std::uint8_t>((l * k + 255u * 32768u) / (255u * 65536u));
        }
        break;
      case colour::ycck:
        // Y is the luminance of the RGB that is 255 - the CMY as stored;
        // stored inverted (Adobe), that RGB is the ink.
        for (int x = 0; x < out_w_; ++x) {
          const unsigned yy = at(0, x), k = at(3, x);
          const unsigned l = adobe_ ? 255 - yy : yy, kk = adobe_ ? k : 255 - k;
          o[x] = static_cast<std::uint8_t>((l * kk + 127) / 255);
        }
        break;
    }
  }
}

// Fills one MCU's part of the strips with mid-grey (streaming only).
void decoder::grey_mcu(const scan_info &sc, i64 mcu, int per_row) {
  const int mx = static_cast<int>(mcu % per_row);
  for (int i = 0; i < sc.ns; ++i) {
    const component &c = *sc.comp[i];
    if (!c.needed) continue;
    const int s = c.size;
    const int bw = sc.ns == 1 ? 1 : c.h, bh = sc.ns == 1 ? 1 : c.v;
    for (int y = 0; y < bh * s; ++y)
      std::memset(c.strip + y * c.stride + static_cast<std::size_t>(mx) * bw * s, 128,
                  static_cast<std::size_t>(bw * s));
  }
}

// MCUs [from, to) lost: mid-grey when streaming (their rows emitted as
// they complete); kept as the earlier scans left them otherwise.
void decoder::skip_mcus(const scan_info &sc, i64 from, i64 to, int per_row) {
  if (!streaming_) return;
  const int group = sc.ns == 1 ? scale_ : vmax_ * scale_;
  for (i64 m = from; m < to; ++m) {
    grey_mcu(sc, m, per_row);
    if ((m + 1) % per_row == 0) emit(static_cast<int>(m / per_row) * group, group);
  }
}

// At the end of a restart interval: 0 when the expected marker follows,
// n > 0 when n intervals before the marker found are lost, -1 when no
// restart marker is left in the scan.
int decoder::restart(bit_reader &br) {
  std::size_t from = br.pos;
  // More than the last byte's padding left unread: the interval's data
  // was not what it should be.
  if (br.cnt - br.pad >= 8) bad_ = true;
  br.reset();
  for (;;) {
    const std::size_t i = find_marker(from);
    if (i >= len_) {
      br.pos = len_;
      return -1;
    }
    const int m = in_[i + 1];
    if (m < 0xD0 || m > 0xD7) {
      br.pos = i;
      return -1;
    }
    const int d = (m - 0xD0 - next_rst_) & 7;
    if (d == 0) {
      if (i != from) bad_ = true;  // bytes between the data and the marker
      br.pos = i + 2;
      next_rst_ = (next_rst_ + 1) & 7;
      return 0;
    }
    if (d <= 3) {
      br.pos = i;
      return d;
    }
    bad_ = true;
    from = i + 2;  // a marker from before: look further on
  }
}

bool decoder::decode_mcu(const scan_info &sc, bit_reader &br, i64 mcu, int per_row) {
  const int mx = static_cast<int>(mcu % per_row), my = static_cast<int>(mcu / per_row);
  alignas(16) std::int16_t scratch[64];
  for (int i = 0; i < sc.ns; ++i) {
    component &c = *sc.comp[i];
    const int bw = sc.ns == 1 ? 1 : c.h, bh = sc.ns == 1 ? 1 : c.v;
    for (int by = 0; by < bh; ++by) {
      for (int bx = 0; bx < bw; ++bx) {
        const int gx = mx * bw + bx, gy = my * bh + by;
        if (streaming_) {
          if (!c.needed) {
            if (sequential_block<false>(br, dc_[c.dc], ac_[c.ac], c.pred, scratch) < 0) return false;
            continue;
          }
          std::memset(scratch, 0, sizeof scratch);
          const int last = sequential_block<true>(br, dc_[c.dc], ac_[c.ac], c.pred, scratch);
          if (last < 0) return false;
          std::uint8_t *dst = c.strip + static_cast<std::size_t>(by * c.size) * c.stride +
                              static_cast<std::size_t>(gx) * c.size;
          if (last == 0)
            flat_block(scratch, c.q, dst, c.stride, c.size);
          else
            c.idct(scratch, c.q, dst, c.stride);
          continue;
        }
        std::int16_t *blk = scratch;
        if (c.needed) {
          blk = c.coef + (static_cast<std::size_t>(gy) * c.bw + gx) * 64;
        } else {
          std::memset(scratch, 0, sizeof scratch);
        }
        if (!progressive_) {
          if ((c.needed ? sequential_block<true>(br, dc_[c.dc], ac_[c.ac], c.pred, blk)
                        : sequential_block<false>(br, dc_[c.dc], ac_[c.ac], c.pred, blk)) < 0)
            return false;
        } else if (sc.ss == 0) {
          if (sc.ah == 0) {
            if (!dc_first(br, dc_[c.dc], c.pred, sc.al, blk)) return false;
          } else {
            dc_refine(br, sc.al, blk);
          }
        } else if (sc.ah == 0) {
          if (!ac_first(br, ac_[c.ac], sc.ss, sc.se, sc.al, eobrun_, blk)) return false;
        } else {
          if (!ac_refine(br, ac_[c.ac], sc.ss, sc.se, sc.al, eobrun_, blk)) return false;
        }
      }
    }
  }
  return true;
}

void decoder::decode_scan(const scan_info &sc) {
  const bool single = sc.ns == 1;
  const int per_row = single ? sc.comp[0]->cbw : mcus_x_;
  const int rows = single ? sc.comp[0]->cbh : mcus_y_;
  const i64 total = i64(per_row) * rows;
  const int group = single ? scale_ : vmax_ * scale_;
  const i64 ri = restart_interval_;
  for (int i = 0; i < nc_; ++i) comp_[i].pred = 0;
  eobrun_ = 0;
  next_rst_ = 0;
  bit_reader br{in_, len_, pos_};
  i64 mcu = 0;
  while (mcu < total) {
    bool ok = decode_mcu(sc, br, mcu, per_row) && !br.overrun();
    if (ok) {
      ++mcu;
      if (streaming_ && mcu % per_row == 0) emit(static_cast<int>(mcu / per_row - 1) * group, group);
      if (mcu >= total) break;
      if (!ri || mcu % ri) continue;
    } else {
      bad_ = true;
      const i64 end = ri ? std::min(total, (mcu / ri + 1) * ri) : mcu + (per_row - mcu % per_row);
      skip_mcus(sc, mcu, end, per_row);
      mcu = end;
      if (!ri || mcu >= total) break;
    }
    // A restart marker is due.
    int lost;
    while ((lost = restart(br)) > 0) {
      bad_ = true;
      const i64 end = std::min(total, mcu + lost * ri);
      skip_mcus(sc, mcu, end, per_row);
      mcu = end;
      next_rst_ = (next_rst_ + lost) & 7;
      if (mcu >= total) break;
    }
    if (lost < 0) {
      bad_ = true;
      if (mcu % per_row) skip_mcus(sc, mcu, mcu + (per_row - mcu % per_row), per_row);
      break;
    }
    for (int i = 0; i < nc_; ++i) comp_[i].pred = 0;
    eobrun_ = 0;
  }
  pos_ = br.pos;
}

void decoder::transform_all() {
  for (int my = 0; my < mcus_y_; ++my) {
    for (int i = 0; i < nc_; ++i) {
      component &c = comp_[i];
      if (!c.needed) continue;
      const int s = c.size;
      for (int by = 0; by < c.v; ++by) {
        const std::int16_t *blk =
            c.coef + static_cast<std::size_t>(my * c.v + by) * c.bw * 64;
        std::uint8_t *dst = c.strip + static_cast<std::size_t>(by * s) * c.stride;
        for (int bx = 0; bx < c.bw; ++bx, blk += 64, dst += s) c.idct(blk, c.q, dst, c.stride);
      }
    }
    emit(my * vmax_ * scale_, vmax_ * scale_);
  }
}

bool decoder::run(int *width, int *height, bool *complete) {
  if (!in_ || len_ < 3 || in_[0] != 0xFF || in_[1] != 0xD8) return fail("not a JPEG");
  switch (opt_.reduce) {
    case 1: scale_ = 8; break;
    case 2: scale_ = 4; break;
    case 4: scale_ = 2; break;
    case 8: scale_ = 1; break;
    default: return fail("the reduction is not 1, 2, 4 or 8");
  }
  pos_ = 2;
  bool eoi = false;
  while (!eoi) {
    const std::size_t m = find_marker(pos_);
    if (m >= len_) break;
    const int code = in_[m + 1];
    pos_ = m + 2;
    if (code == 0xD9) {
      eoi = true;
      break;
    }
    if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;
    // A frame of a kind not read, before any image.
    if (!have_frame_) {
      if (code == 0xC3) return fail("lossless JPEG is not read");
      if ((code >= 0xC5 && code <= 0xC7) || code == 0xDE || code == 0xDF)
        return fail("hierarchical JPEG is not read");
      if ((code >= 0xC9 && code <= 0xCB) || (code >= 0xCD && code <= 0xCF))
        return fail("arithmetic-coded JPEG is not read");
    }
    if (pos_ + 2 > len_) break;
    const std::size_t seglen = (std::size_t(in_[pos_]) << 8) | in_[pos_ + 1];
    if (seglen < 2 || seglen > len_ - pos_) {
      if (!started_) return fail("the JPEG's headers are damaged");
      break;
    }
    const std::uint8_t *seg = in_ + pos_ + 2;
    const std::size_t n = seglen - 2;
    pos_ += seglen;
    bool ok = true;
    if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
      if (have_frame_) break;  // a second frame: the first image is over
      if (code != 0xC0 && code != 0xC1 && code != 0xC2) return fail("not a JPEG");
      if (!read_frame(seg, n, code == 0xC2)) return false;
    } else if (code == 0xC4) {
      ok = read_huffman(seg, n);
    } else if (code == 0xDB) {
      ok = read_quant(seg, n);
    } else if (code == 0xDD) {
      ok = n >= 2;
      if (ok) restart_interval_ = (seg[0] << 8) | seg[1];
    } else if (code == 0xEE) {
      if (n >= 12 && std::memcmp(seg, "Adobe", 5) == 0) {
        adobe_ = true;
        adobe_transform_ = seg[11];
      }
    } else if (code == 0xDA) {
      if (!have_frame_) return fail("the JPEG's headers are damaged");
      scan_info sc;
      if (!read_scan(seg, n, &sc)) {
        bad_ = true;
        continue;  // the scan's data is passed over by the marker search
      }
      if (!started_ && !set_up(sc)) return false;
      bool useful = false;
      for (int i = 0; i < sc.ns; ++i) useful |= sc.comp[i]->needed;
      if (streaming_) {
        bool all = true;
        for (int i = 0; i < nc_; ++i) {
          if (!comp_[i].needed) continue;
          bool in = false;
          for (int k = 0; k < sc.ns; ++k) in |= sc.comp[k] == &comp_[i];
          all &= in;
        }
        useful = all;
      }
      bool tables = true;
      for (int i = 0; i < sc.ns; ++i) {
        component &c = *sc.comp[i];
        if (!c.needed || c.latched) continue;
        if (!qt_defined_[c.tq]) {
          tables = false;
          continue;
        }
        std::memcpy(c.q, qt_[c.tq], sizeof c.q);
        c.latched = true;
      }
      if (!tables) {
        bad_ = true;
        continue;
      }
      if (!useful) continue;
      if (!streaming_) {
        const component &c0 = *sc.comp[0];
        i64 blocks = 0;
        if (sc.ns == 1) {
          blocks = i64(c0.cbw) * c0.cbh;
        } else {
          for (int i = 0; i < sc.ns; ++i)
            blocks += i64(mcus_x_) * mcus_y_ * sc.comp[i]->h * sc.comp[i]->v;
        }
        work_left_ -= blocks * (sc.se - sc.ss + 1);
        if (work_left_ < 0) {
          bad_ = true;
          break;
        }
      }
      decoded_ = true;
      decode_scan(sc);
      if (streaming_) break;  // the image is made; nothing after it counts
    }
    if (!ok) {
      if (!started_) return fail("the JPEG's headers are damaged");
      bad_ = true;
      break;
    }
  }
  if (!have_frame_) return fail("the JPEG has no frame header");
  if (!decoded_) {
    px_->clear();
    return fail("the JPEG has no image data");
  }
  if (!streaming_) transform_all();
  *width = out_w_;
  *height = out_h_;
  *complete = !bad_ && (streaming_ || eoi);
  return true;
}

}  // namespace

bool dct_decode_grey(const std::uint8_t *in, std::size_t len, const dct_options &opt,
                     std::vector<std::uint8_t> *pixels, int *width, int *height, bool *complete,
                     const char **why) {
  *width = *height = 0;
  *complete = false;
  pixels->clear();
  decoder d(in, len, opt, pixels);
  const bool ok = d.run(width, height, complete);
  if (!ok) {
    pixels->clear();
    *width = *height = 0;
    *complete = false;
  }
  *why = ok ? nullptr : d.why();
  return ok;
}

}  // namespace lt
