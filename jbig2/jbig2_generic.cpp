// SPDX-License-Identifier: MIT
// Bitmaps and their combination, the MQ coder's probability states, and
// generic regions: arithmetic-coded (templates 0-3, typical prediction,
// adaptive pixels) and MMR-coded (T.6, through the fax decoder).
//
// The arithmetic decoding keeps, for each row, 24-bit windows of the two
// rows above (the byte before, the pixel's byte, the byte after) and a
// register of the pixels decoded on the row; a pixel's context is a few
// shifts and masks of these. Adaptive pixels away from their default
// places are read one by one.
#include <algorithm>
#include <cstring>

#include "ccitt.h"
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

const char *decode_mmr(const std::uint8_t *data, std::size_t len, bitmap &bm, allowance &a,
                       std::size_t *used) {
  *used = 0;
  if (bm.w == 0 || bm.h == 0) return nullptr;
  // The fax decoder's two lists of changes, 4 bytes a column each, and
  // 32 KiB for its code tables.
  const std::uint64_t need = 32768 + 2 * (std::uint64_t(bm.w) + 4) * sizeof(std::uint32_t);
  if (!a.take(need)) return "an MMR region is larger than the budget";
  const ccitt_rows r = ccitt_decode_g4_rows(data, len, int(bm.w), int(bm.h), false,
                                            bm.bits.data(), bm.stride);
  a.give(need);
  *used = r.used;
  switch (r.stop) {
    case ccitt_stop::done: return nullptr;
    case ccitt_stop::end_of_block:
    case ccitt_stop::data_ended: return "the MMR data ends before the region does";
    case ccitt_stop::too_wide: return "an MMR row runs past the region's width";
    case ccitt_stop::uncompressed:
    case ccitt_stop::extension: return "MMR data in uncompressed mode, which is not read";
    default: return "a bad code in the MMR data";
  }
}

}  // namespace jb2
}  // namespace lt
