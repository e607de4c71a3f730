// SPDX-License-Identifier: MIT
#include "jbig2_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

namespace jb2test {

image image::crop(int x, int y, int cw, int ch) const {
  image out(cw, ch);
  for (int j = 0; j < ch; ++j)
    for (int i = 0; i < cw; ++i) out.set(i, j, get(x + i, y + j));
  return out;
}

image read_pbm(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return image();
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::size_t pos = 0;
  auto token = [&]() {
    for (;;) {
      while (pos < all.size() && std::isspace(static_cast<unsigned char>(all[pos]))) ++pos;
      if (pos < all.size() && all[pos] == '#') {
        while (pos < all.size() && all[pos] != '\n') ++pos;
        continue;
      }
      break;
    }
    const std::size_t s = pos;
    while (pos < all.size() && !std::isspace(static_cast<unsigned char>(all[pos]))) ++pos;
    return all.substr(s, pos - s);
  };
  const std::string magic = token();
  if (magic != "P4" && magic != "P1") return image();
  const int w = std::atoi(token().c_str()), h = std::atoi(token().c_str());
  if (w <= 0 || h <= 0) return image();
  image img(w, h);
  if (magic == "P4") {
    ++pos;  // the one whitespace
    const std::size_t stride = (std::size_t(w) + 7) / 8;
    if (all.size() < pos + stride * std::size_t(h)) return image();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        img.set(x, y, (static_cast<unsigned char>(all[pos + std::size_t(y) * stride + std::size_t(x / 8)]) >> (7 - x % 8)) & 1);
  } else {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img.set(x, y, token() == "1");
  }
  return img;
}

bytes write_pbm(const image &img) {
  std::string head = "P4\n" + std::to_string(img.w) + " " + std::to_string(img.h) + "\n";
  bytes out(head.begin(), head.end());
  const std::size_t stride = (std::size_t(img.w) + 7) / 8;
  for (int y = 0; y < img.h; ++y) {
    bytes row(stride, 0);
    for (int x = 0; x < img.w; ++x)
      if (img.get(x, y)) row[std::size_t(x / 8)] |= std::uint8_t(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// ---- the MQ encoder ----

namespace {

struct state {
  std::uint32_t qe;
  int nmps, nlps, swap;
};
const state k_states[47] = {
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

}  // namespace

mq_encoder::mq_encoder() : out_(1, 0) {}

void mq_encoder::byte_out() {
  std::uint8_t &b = out_.back();
  if (b == 0xFF) {
    out_.push_back(std::uint8_t(c_ >> 20));
    c_ &= 0xFFFFF;
    ct_ = 7;
  } else if (c_ < 0x8000000) {
    out_.push_back(std::uint8_t(c_ >> 19));
    c_ &= 0x7FFFF;
    ct_ = 8;
  } else {
    ++b;
    if (b == 0xFF) {
      c_ &= 0x7FFFFFF;
      out_.push_back(std::uint8_t(c_ >> 20));
      c_ &= 0xFFFFF;
      ct_ = 7;
    } else {
      out_.push_back(std::uint8_t(c_ >> 19));
      c_ &= 0x7FFFF;
      ct_ = 8;
    }
  }
}

void mq_encoder::renorm() {
  do {
    a_ <<= 1;
    c_ <<= 1;
    if (--ct_ == 0) byte_out();
  } while (!(a_ & 0x8000));
}

void mq_encoder::encode(std::uint8_t &cx, int bit) {
  const state &s = k_states[cx >> 1];
  const int mps = cx & 1;
  if (bit == mps) {
    a_ -= s.qe;
    if (!(a_ & 0x8000)) {
      if (a_ < s.qe)
        a_ = s.qe;
      else
        c_ += s.qe;
      cx = std::uint8_t(s.nmps << 1 | mps);
      renorm();
    } else {
      c_ += s.qe;
    }
  } else {
    a_ -= s.qe;
    if (a_ < s.qe)
      c_ += s.qe;
    else
      a_ = s.qe;
    cx = std::uint8_t(s.nlps << 1 | (mps ^ s.swap));
    renorm();
  }
}

bytes mq_encoder::finish() {
  // Sets as many low bits as the interval allows.
  const std::uint32_t top = c_ + a_;
  c_ |= 0xFFFF;
  if (c_ >= top) c_ -= 0x8000;
  c_ <<= ct_;
  byte_out();
  c_ <<= ct_;
  byte_out();
  if (out_.back() != 0xFF) out_.push_back(0xFF);
  out_.push_back(0xAC);
  return bytes(out_.begin() + 1, out_.end());
}

void encode_int(mq_encoder &e, std::uint8_t *cx, std::int64_t v, bool oob) {
  unsigned prev = 1;
  auto put = [&](int b) {
    e.encode(cx[prev], b);
    prev = prev < 256 ? (prev << 1 | unsigned(b)) : (((prev << 1 | unsigned(b)) & 511) | 256);
  };
  const int s = oob || v < 0;
  const std::uint64_t mag = oob ? 0 : std::uint64_t(v < 0 ? -v : v);
  put(s);
  struct range {
    std::uint64_t top;
    int prefix_ones, bits;
    std::uint64_t offset;
  };
  const range ranges[] = {{3, 0, 2, 0},     {19, 1, 4, 4},      {83, 2, 6, 20},
                          {339, 3, 8, 84},  {4435, 4, 12, 340}, {~0ull, 5, 32, 4436}};
  for (const range &r : ranges) {
    if (mag > r.top) continue;
    for (int i = 0; i < r.prefix_ones; ++i) put(1);
    if (r.prefix_ones < 5) put(0);
    const std::uint64_t rest = mag - r.offset;
    for (int i = r.bits - 1; i >= 0; --i) put(int((rest >> i) & 1));
    return;
  }
}

void encode_id(mq_encoder &e, std::uint8_t *cx, std::uint32_t id, int len) {
  std::uint32_t prev = 1;
  for (int i = len - 1; i >= 0; --i) {
    const int b = int((id >> i) & 1);
    e.encode(cx[prev], b);
    prev = prev << 1 | std::uint32_t(b);
  }
}

// ---- generic regions ----

void generic_options::set_default_at() {
  const std::int8_t t0[8] = {3, -1, -3, -1, 2, -2, -2, -2};
  const std::int8_t t1[8] = {3, -1, 0, 0, 0, 0, 0, 0};
  const std::int8_t t23[8] = {2, -1, 0, 0, 0, 0, 0, 0};
  std::memcpy(at, templ == 0 ? t0 : templ == 1 ? t1 : t23, 8);
}

namespace {

// The context's pixels from its most significant bit down; 100 + i
// stands for the adaptive pixel A(i+1).
const int k_t0[16][2] = {{100, 3}, {-1, -2}, {0, -2}, {1, -2}, {100, 2}, {100, 1}, {-2, -1}, {-1, -1},
                         {0, -1},  {1, -1},  {2, -1}, {100, 0}, {-4, 0}, {-3, 0}, {-2, 0},  {-1, 0}};
const int k_t1[13][2] = {{-1, -2}, {0, -2}, {1, -2}, {2, -2}, {-2, -1}, {-1, -1}, {0, -1},
                         {1, -1},  {2, -1}, {100, 0}, {-3, 0}, {-2, 0},  {-1, 0}};
const int k_t2[10][2] = {{-1, -2}, {0, -2}, {1, -2}, {-2, -1}, {-1, -1},
                         {0, -1},  {1, -1}, {100, 0}, {-2, 0},  {-1, 0}};
const int k_t3[10][2] = {{-3, -1}, {-2, -1}, {-1, -1}, {0, -1}, {1, -1},
                         {100, 0}, {-4, 0},  {-3, 0},  {-2, 0}, {-1, 0}};
const std::uint32_t k_sltp[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};

std::uint32_t context_of(const image &img, int x, int y, const generic_options &o) {
  const int(*t)[2] = o.templ == 0 ? k_t0 : o.templ == 1 ? k_t1 : o.templ == 2 ? k_t2 : k_t3;
  const int n = o.templ == 0 ? 16 : o.templ == 1 ? 13 : 10;
  std::uint32_t c = 0;
  for (int i = 0; i < n; ++i) {
    int dx = t[i][0], dy = t[i][1];
    if (dx == 100) {
      const int a = dy;
      dx = o.at[2 * a];
      dy = o.at[2 * a + 1];
    }
    c = c << 1 | std::uint32_t(img.get(x + dx, y + dy));
  }
  return c;
}

}  // namespace

void encode_generic(mq_encoder &e, std::uint8_t *cx, const image &img, const generic_options &o) {
  int ltp = 0;
  for (int y = 0; y < img.h; ++y) {
    if (o.tpgdon) {
      bool same = true;
      for (int x = 0; x < img.w && same; ++x) same = img.get(x, y) == img.get(x, y - 1);
      const int now = same ? 1 : 0;
      e.encode(cx[k_sltp[o.templ]], now ^ ltp);
      ltp = now;
      if (ltp) continue;
    }
    for (int x = 0; x < img.w; ++x) e.encode(cx[context_of(img, x, y, o)], img.get(x, y));
  }
}

bytes generic_data(const image &img, const generic_options &o) {
  mq_encoder e;
  std::vector<std::uint8_t> cx(65536, 0);
  encode_generic(e, cx.data(), img, o);
  return e.finish();
}

// ---- MMR ----

namespace {

struct code {
  const char *bits;
  int run;
};
const code k_white_term[64] = {
    {"00110101", 0},  {"000111", 1},    {"0111", 2},      {"1000", 3},      {"1011", 4},
    {"1100", 5},      {"1110", 6},      {"1111", 7},      {"10011", 8},     {"10100", 9},
    {"00111", 10},    {"01000", 11},    {"001000", 12},   {"000011", 13},   {"110100", 14},
    {"110101", 15},   {"101010", 16},   {"101011", 17},   {"0100111", 18},  {"0001100", 19},
    {"0001000", 20},  {"0010111", 21},  {"0000011", 22},  {"0000100", 23},  {"0101000", 24},
    {"0101011", 25},  {"0010011", 26},  {"0100100", 27},  {"0011000", 28},  {"00000010", 29},
    {"00000011", 30}, {"00011010", 31}, {"00011011", 32}, {"00010010", 33}, {"00010011", 34},
    {"00010100", 35}, {"00010101", 36}, {"00010110", 37}, {"00010111", 38}, {"00101000", 39},
    {"00101001", 40}, {"00101010", 41}, {"00101011", 42}, {"00101100", 43}, {"00101101", 44},
    {"00000100", 45}, {"00000101", 46}, {"00001010", 47}, {"00001011", 48}, {"01010010", 49},
    {"01010011", 50}, {"01010100", 51}, {"01010101", 52}, {"00100100", 53}, {"00100101", 54},
    {"01011000", 55}, {"01011001", 56}, {"01011010", 57}, {"01011011", 58}, {"01001010", 59},
    {"01001011", 60}, {"00110010", 61}, {"00110011", 62}, {"00110100", 63},
};
const char *const k_white_makeup[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011",
};
const char *const k_black_term[64] = {
    "0000110111",   "010",          "11",           "10",           "011",
    "0011",         "0010",         "00011",        "000101",       "000100",
    "0000100",      "0000101",      "0000111",      "00000100",     "00000111",
    "000011000",    "0000010111",   "0000011000",   "0000001000",   "00001100111",
    "00001101000",  "00001101100",  "00000110111",  "00000101000",  "00000010111",
    "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010",
    "000011010011", "000011010100", "000011010101", "000011010110", "000011010111",
    "000001101100", "000001101101", "000011011010", "000011011011", "000001010100",
    "000001010101", "000001010110", "000001010111", "000001100100", "000001100101",
    "000001010010", "000001010011", "000000100100", "000000110111", "000000111000",
    "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111",
};
const char *const k_black_makeup[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101",
};
const char *const k_ext_makeup[13] = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111",
};

struct bit_writer {
  bytes out;
  int n = 0;
  void put(const char *bits) {
    for (const char *c = bits; *c; ++c) {
      if (n % 8 == 0) out.push_back(0);
      if (*c == '1') out.back() |= std::uint8_t(0x80 >> (n % 8));
      ++n;
    }
  }
};

void put_run(bit_writer &w, int run, int colour) {
  while (run > 2560) {
    w.put(k_ext_makeup[12]);
    run -= 2560;
  }
  if (run >= 64) {
    const int m = run / 64;  // 1..40
    if (m <= 27)
      w.put(colour ? k_black_makeup[m - 1] : k_white_makeup[m - 1]);
    else
      w.put(k_ext_makeup[m - 28]);
    run -= m * 64;
  }
  w.put(colour ? k_black_term[run] : k_white_term[run].bits);
}

// The changes of a row: positions whose pixel differs from the one before
// (white before the row), then the width.
std::vector<int> changes(const image &img, int y) {
  std::vector<int> c;
  int prev = 0;
  for (int x = 0; x < img.w; ++x) {
    const int v = y < 0 ? 0 : img.get(x, y);
    if (v != prev) c.push_back(x);
    prev = v;
  }
  return c;
}

}  // namespace

bytes mmr_data(const image &img, bool eofb) {
  bit_writer w;
  const int width = img.w;
  std::vector<int> ref = changes(img, -1);
  for (int y = 0; y < img.h; ++y) {
    const std::vector<int> cur = changes(img, y);
    auto at = [&](const std::vector<int> &v, std::size_t i) { return i < v.size() ? v[i] : width; };
    int a0 = -1, colour = 0;
    while (a0 < width) {
      std::size_t i = 0;
      while (i < cur.size() && cur[i] <= a0) ++i;
      const int a1 = at(cur, i), a2 = at(cur, i + 1);
      std::size_t j = 0;
      while (j < ref.size() && ref[j] <= a0) ++j;
      if ((j & 1) != std::size_t(colour)) ++j;
      const int b1 = at(ref, j), b2 = at(ref, j + 1);
      if (b2 < a1) {
        w.put("0001");
        a0 = b2;
      } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
        static const char *const v[7] = {"0000010", "000010", "010", "1", "011", "000011", "0000011"};
        w.put(v[a1 - b1 + 3]);
        a0 = a1;
        colour ^= 1;
      } else {
        w.put("001");
        put_run(w, a1 - (a0 < 0 ? 0 : a0), colour);
        put_run(w, a2 - a1, colour ^ 1);
        a0 = a2;
      }
    }
    ref = cur;
  }
  if (eofb) w.put("000000000001000000000001");
  return w.out;
}

// ---- segments ----

void put32(bytes &out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(v >> s));
}

void add_segment(bytes &out, std::uint32_t number, int type, std::uint32_t page,
                 const std::vector<std::uint32_t> &refs, const bytes &data, const segment_options &o) {
  put32(out, number);
  const bool long_page = o.long_page || page > 255;
  out.push_back(std::uint8_t(type | (long_page ? 0x40 : 0)));
  if (refs.size() <= 4) {
    out.push_back(std::uint8_t(refs.size() << 5));
  } else {
    put32(out, 0xE0000000u | std::uint32_t(refs.size()));
    out.insert(out.end(), (refs.size() + 8) / 8, 0);
  }
  for (std::uint32_t r : refs) {
    if (number <= 256) {
      out.push_back(std::uint8_t(r));
    } else if (number <= 65536) {
      out.push_back(std::uint8_t(r >> 8));
      out.push_back(std::uint8_t(r));
    } else {
      put32(out, r);
    }
  }
  if (long_page)
    put32(out, page);
  else
    out.push_back(std::uint8_t(page));
  put32(out, o.unknown_length ? 0xFFFFFFFFu : std::uint32_t(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

bytes page_info(std::uint32_t w, std::uint32_t h, bool default_pixel, int default_op, bool striped,
                int max_stripe) {
  bytes d;
  put32(d, w);
  put32(d, h);
  put32(d, 0);
  put32(d, 0);
  d.push_back(std::uint8_t(1 | (default_pixel ? 4 : 0) | (default_op << 3)));
  const int s = (striped ? 0x8000 : 0) | (max_stripe & 0x7FFF);
  d.push_back(std::uint8_t(s >> 8));
  d.push_back(std::uint8_t(s));
  return d;
}

bytes region_info(std::uint32_t w, std::uint32_t h, std::uint32_t x, std::uint32_t y, int op) {
  bytes d;
  put32(d, w);
  put32(d, h);
  put32(d, x);
  put32(d, y);
  d.push_back(std::uint8_t(op));
  return d;
}

bytes generic_segment(const image &img, std::uint32_t x, std::uint32_t y, int op,
                      const generic_options &o, bool mmr, bool eofb) {
  bytes d = region_info(std::uint32_t(img.w), std::uint32_t(img.h), x, y, op);
  if (mmr) {
    d.push_back(1);
    const bytes m = mmr_data(img, eofb);
    d.insert(d.end(), m.begin(), m.end());
    return d;
  }
  d.push_back(std::uint8_t(o.templ << 1 | (o.tpgdon ? 8 : 0)));
  const int n = o.templ == 0 ? 8 : 2;
  for (int i = 0; i < n; ++i) d.push_back(std::uint8_t(o.at[i]));
  const bytes c = generic_data(img, o);
  d.insert(d.end(), c.begin(), c.end());
  return d;
}

bytes generic_page(const image &img, const generic_options &o, bool mmr, bool end_of_page) {
  bytes out;
  add_segment(out, 0, 48, 1, {}, page_info(std::uint32_t(img.w), std::uint32_t(img.h)));
  add_segment(out, 1, 38, 1, {}, generic_segment(img, 0, 0, 0, o, mmr));
  if (end_of_page) add_segment(out, 2, 49, 1, {}, {});
  return out;
}

// ---- symbols and text ----

namespace {

struct box {
  int x, y, w, h;
};

// The boxes of the 8-connected components of black pixels.
std::vector<box> components(const image &img) {
  std::vector<box> boxes;
  std::vector<std::uint8_t> seen(img.px.size(), 0);
  std::vector<std::pair<int, int>> stack;
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      const std::size_t i = std::size_t(y) * std::size_t(img.w) + std::size_t(x);
      if (!img.px[i] || seen[i]) continue;
      box b{x, y, 1, 1};
      int x1 = x, y1 = y;
      seen[i] = 1;
      stack.push_back({x, y});
      while (!stack.empty()) {
        auto [cx, cy] = stack.back();
        stack.pop_back();
        b.x = std::min(b.x, cx);
        b.y = std::min(b.y, cy);
        x1 = std::max(x1, cx);
        y1 = std::max(y1, cy);
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = cx + dx, ny = cy + dy;
            if (!img.get(nx, ny)) continue;
            const std::size_t k = std::size_t(ny) * std::size_t(img.w) + std::size_t(nx);
            if (seen[k]) continue;
            seen[k] = 1;
            stack.push_back({nx, ny});
          }
      }
      b.w = x1 - b.x + 1;
      b.h = y1 - b.y + 1;
      boxes.push_back(b);
    }
  return boxes;
}

struct contexts {
  std::vector<std::uint8_t> v;
  explicit contexts(std::size_t n) : v(n, 0) {}
  std::uint8_t *data() { return v.data(); }
};

// A dictionary's segment data: new symbols in height classes (in the order
// given, which must keep equal heights together), then export runs.
bytes dictionary_data(const std::vector<const image *> &syms, std::size_t inputs,
                      const std::vector<std::uint32_t> &runs, std::uint32_t exported,
                      const generic_options &g) {
  bytes d;
  const int flags = g.templ << 10;
  d.push_back(std::uint8_t(flags >> 8));
  d.push_back(std::uint8_t(flags));
  const int n = g.templ == 0 ? 8 : 2;
  for (int i = 0; i < n; ++i) d.push_back(std::uint8_t(g.at[i]));
  put32(d, exported);
  put32(d, std::uint32_t(syms.size()));
  mq_encoder e;
  contexts gcx(65536), iadh(512), iadw(512), iaex(512);
  int height = 0;
  std::size_t i = 0;
  while (i < syms.size()) {
    const int h = syms[i]->h;
    encode_int(e, iadh.data(), h - height);
    height = h;
    int width = 0;
    for (; i < syms.size() && syms[i]->h == h; ++i) {
      encode_int(e, iadw.data(), syms[i]->w - width);
      width = syms[i]->w;
      encode_generic(e, gcx.data(), *syms[i], g);
    }
    encode_int(e, iadw.data(), 0, true);
  }
  (void)inputs;
  for (std::uint32_t r : runs) encode_int(e, iaex.data(), r);
  const bytes c = e.finish();
  d.insert(d.end(), c.begin(), c.end());
  return d;
}

}  // namespace

text_stream text_page(const image &img, const text_options &o) {
  text_stream ts;
  const std::vector<box> boxes = components(img);
  // The distinct bitmaps, and each box's.
  std::vector<image> uniq;
  std::map<std::tuple<int, int, std::vector<std::uint8_t>>, std::size_t> index;
  std::vector<std::size_t> of_box;
  for (const box &b : boxes) {
    image s = img.crop(b.x, b.y, b.w, b.h);
    auto key = std::make_tuple(s.w, s.h, s.px);
    auto it = index.find(key);
    if (it == index.end()) {
      it = index.emplace(key, uniq.size()).first;
      uniq.push_back(std::move(s));
    }
    of_box.push_back(it->second);
  }
  ts.symbols = uniq.size();
  ts.instances = boxes.size();
  // Dictionary order: by height, then width.
  auto order_of = [&](std::vector<std::size_t> ids) {
    std::stable_sort(ids.begin(), ids.end(), [&](std::size_t a, std::size_t b) {
      return std::make_pair(uniq[a].h, uniq[a].w) < std::make_pair(uniq[b].h, uniq[b].w);
    });
    return ids;
  };
  generic_options g;
  g.templ = o.sd_template;
  g.set_default_at();
  if (!o.sd_default_at) {
    const std::int8_t t0[8] = {-2, -1, 1, -2, -3, 0, -1, -2};
    const std::int8_t t1[8] = {-1, -2, 0, 0, 0, 0, 0, 0};
    std::memcpy(g.at, g.templ == 0 ? t0 : t1, 8);
  }
  std::vector<std::uint32_t> sym_id(uniq.size());  // the text region's number of each
  bytes page;
  const std::uint32_t base = o.first_segment;
  std::uint32_t seg = base + (o.split ? 1 : 0);  // with split, the globals' dictionary is `base`
  add_segment(page, seg++, 48, 1, {}, page_info(std::uint32_t(img.w), std::uint32_t(img.h)));
  std::vector<std::uint32_t> text_refs;
  std::size_t nsyms = 0;
  if (!o.split) {
    // The symbols dealt out to the dictionaries in turn.
    const std::size_t nd = std::size_t(std::max(1, o.dictionaries));
    std::vector<std::vector<std::size_t>> parts(nd);
    for (std::size_t i = 0; i < uniq.size(); ++i) parts[i % nd].push_back(i);
    std::uint32_t offset = 0;
    for (const auto &part : parts) {
      const std::vector<std::size_t> order = order_of(part);
      std::vector<const image *> syms;
      for (std::size_t k = 0; k < order.size(); ++k) {
        syms.push_back(&uniq[order[k]]);
        sym_id[order[k]] = offset + std::uint32_t(k);
      }
      const std::uint32_t n = std::uint32_t(syms.size());
      add_segment(page, seg, 0, 1, {}, dictionary_data(syms, 0, {0, n}, n, g));
      text_refs.push_back(seg++);
      offset += n;
    }
    nsyms = offset;
  } else {
    // Even symbols in the globals' dictionary; the page's dictionary takes
    // them as input, exports all but the first `skip` of them and its own.
    std::vector<std::size_t> even, odd;
    for (std::size_t i = 0; i < uniq.size(); ++i) (i % 2 ? odd : even).push_back(i);
    const std::vector<std::size_t> o0 = order_of(even), o1 = order_of(odd);
    std::vector<const image *> s0, s1;
    for (std::size_t i : o0) s0.push_back(&uniq[i]);
    for (std::size_t i : o1) s1.push_back(&uniq[i]);
    const std::uint32_t n0 = std::uint32_t(s0.size()), n1 = std::uint32_t(s1.size());
    const std::uint32_t skip = n0 / 3;
    add_segment(ts.globals, base, 0, 0, {}, dictionary_data(s0, 0, {0, n0}, n0, g));
    add_segment(page, seg, 0, 1, {base},
                dictionary_data(s1, n0, {skip, n0 - skip + n1}, n0 - skip + n1, g));
    // The text region refers to both: the globals' n0, then the page's
    // re-exported n0 - skip and its own n1.
    text_refs = {base, seg++};
    for (std::size_t k = 0; k < o0.size(); ++k) sym_id[o0[k]] = std::uint32_t(k);
    for (std::size_t k = 0; k < o1.size(); ++k) sym_id[o1[k]] = std::uint32_t(n0 + (n0 - skip) + k);
    nsyms = n0 + (n0 - skip) + n1;
  }
  // The instances by strip, then along the strip.
  const bool right = o.ref_corner == 2 || o.ref_corner == 3;
  const bool bottom = o.ref_corner == 0 || o.ref_corner == 2;
  const int strips = 1 << o.log_strips;
  struct inst {
    long long strip, t, s0, s1;
    std::uint32_t id;
  };
  std::vector<inst> list;
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    const box &b = boxes[k];
    inst in;
    if (!o.transposed) {
      in.t = bottom ? b.y + b.h - 1 : b.y;
      in.s0 = b.x;
      in.s1 = b.x + b.w - 1;
    } else {
      in.t = right ? b.x + b.w - 1 : b.x;
      in.s0 = b.y;
      in.s1 = b.y + b.h - 1;
    }
    in.strip = (in.t >= 0 ? in.t / strips : -((-in.t + strips - 1) / strips)) * strips;
    in.id = sym_id[of_box[k]];
    list.push_back(in);
  }
  std::stable_sort(list.begin(), list.end(), [](const inst &a, const inst &b) {
    return std::make_pair(a.strip, a.s0) < std::make_pair(b.strip, b.s0);
  });
  int codelen = 0;
  while ((std::size_t(1) << codelen) < nsyms) ++codelen;
  mq_encoder e;
  contexts iadt(512), iafs(512), iads(512), iait(512), iaid(std::size_t(1) << codelen);
  long long stript = -static_cast<long long>(o.first_strip) * strips, firsts = 0, curs = 0;
  encode_int(e, iadt.data(), o.first_strip);
  for (std::size_t k = 0; k < list.size();) {
    const long long strip = list[k].strip;
    encode_int(e, iadt.data(), (strip - stript) / strips);
    stript = strip;
    bool first = true;
    for (; k < list.size() && list[k].strip == strip; ++k) {
      const inst &in = list[k];
      if (first) {
        encode_int(e, iafs.data(), in.s0 - firsts);
        firsts = in.s0;
        first = false;
      } else {
        encode_int(e, iads.data(), in.s0 - curs - o.ds_offset);
      }
      if (strips > 1) encode_int(e, iait.data(), in.t - stript);
      encode_id(e, iaid.data(), in.id, codelen);
      curs = in.s1;
    }
    encode_int(e, iads.data(), 0, true);
  }
  bytes d = region_info(std::uint32_t(img.w), std::uint32_t(img.h), 0, 0, 0);
  const int flags = (o.log_strips << 2) | (o.ref_corner << 4) | (o.transposed ? 0x40 : 0) |
                    (o.combop << 7) | ((o.ds_offset & 0x1F) << 10);
  d.push_back(std::uint8_t(flags >> 8));
  d.push_back(std::uint8_t(flags));
  put32(d, std::uint32_t(list.size()));
  const bytes c = e.finish();
  d.insert(d.end(), c.begin(), c.end());
  add_segment(page, seg++, 6, 1, text_refs, d);
  if (o.end_of_page) add_segment(page, seg++, 49, 1, {}, {});
  ts.page = std::move(page);
  return ts;
}

}  // namespace jb2test
