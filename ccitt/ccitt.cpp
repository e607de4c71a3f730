// SPDX-License-Identifier: MIT
// CCITT fax decoding: ITU-T T.4 (Group 3, one- and two-dimensional) and
// T.6 (Group 4).
//
// A row is held as its changing elements: the columns where the colour
// changes, white first, strictly rising, followed by three copies of the
// width so that the search for b1 and b2 on the reference row always stops.
// Run-length codes are read through lookup tables of the next 12 (white)
// or 13 (black) bits, mode codes through the next 7; each entry holds the
// code's length and value. Zero-length runs cancel the change before them,
// so a row never holds more changes than it has columns, and every code
// read consumes at least one bit, so that decoding ends within the data.
//
// Past the end of the data the reader feeds 0 bits, which never complete a
// code; a row that used them ran out of data.
#include "ccitt.h"

#include <algorithm>
#include <cstring>

namespace lt {

namespace {

// ---- code tables ----

struct code {
  const char *bits;
  int value;
};

// Terminating codes (runs 0-63) then makeup codes (64-1728) of white runs.
const code k_white[] = {
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
    {"010011010", 1600}, {"011000", 1664},   {"010011011", 1728},
};

// The same for black runs.
const code k_black[] = {
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
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704},
    {"0000001001100", 768}, {"0000001001101", 832}, {"0000001110010", 896},
    {"0000001110011", 960}, {"0000001110100", 1024}, {"0000001110101", 1088},
    {"0000001110110", 1152}, {"0000001110111", 1216}, {"0000001010010", 1280},
    {"0000001010011", 1344}, {"0000001010100", 1408}, {"0000001010101", 1472},
    {"0000001011010", 1536}, {"0000001011011", 1600}, {"0000001100100", 1664},
    {"0000001100101", 1728},
};

// Makeup codes of either colour for runs of 1792 and more.
const code k_extended[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

// Table entries of run codes: the value in the low 12 bits, the code's
// length above them; 0 where no code starts.
constexpr int k_value_bits = 12;
constexpr unsigned k_value_mask = (1u << k_value_bits) - 1;
constexpr unsigned k_eol = 4095;           // 0000 0000 0001
constexpr unsigned k_uncompressed = 4094;  // 0000 0000 1111, the one-dimensional way in
constexpr int k_white_bits = 12, k_black_bits = 13, k_mode_bits = 7;

enum mode : std::uint8_t {
  m_none, m_pass, m_horizontal, m_v0, m_vr1, m_vr2, m_vr3, m_vl1, m_vl2, m_vl3, m_extension
};
struct mode_code {
  const char *bits;
  mode m;
};
const mode_code k_modes[] = {
    {"0001", m_pass},     {"001", m_horizontal}, {"1", m_v0},         {"011", m_vr1},
    {"000011", m_vr2},    {"0000011", m_vr3},    {"010", m_vl1},      {"000010", m_vl2},
    {"0000010", m_vl3},   {"0000001", m_extension},
};

struct tables {
  std::uint16_t white[1 << k_white_bits];
  std::uint16_t black[1 << k_black_bits];
  std::uint8_t modes[1 << k_mode_bits];  // mode | length << 4

  static void put(std::uint16_t *t, int width, const char *bits, unsigned value) {
    const int n = static_cast<int>(std::strlen(bits));
    unsigned c = 0;
    for (int i = 0; i < n; ++i) c = c << 1 | unsigned(bits[i] - '0');
    const unsigned first = c << (width - n), count = 1u << (width - n);
    for (unsigned i = 0; i < count; ++i)
      t[first + i] = static_cast<std::uint16_t>(value | unsigned(n) << k_value_bits);
  }
  static void put_all(std::uint16_t *t, int width, const code *codes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) put(t, width, codes[i].bits, unsigned(codes[i].value));
  }

  tables() {
    std::memset(white, 0, sizeof white);
    std::memset(black, 0, sizeof black);
    std::memset(modes, 0, sizeof modes);
    put_all(white, k_white_bits, k_white, sizeof k_white / sizeof *k_white);
    put_all(white, k_white_bits, k_extended, sizeof k_extended / sizeof *k_extended);
    put(white, k_white_bits, "000000000001", k_eol);
    put(white, k_white_bits, "000000001111", k_uncompressed);
    put_all(black, k_black_bits, k_black, sizeof k_black / sizeof *k_black);
    put_all(black, k_black_bits, k_extended, sizeof k_extended / sizeof *k_extended);
    put(black, k_black_bits, "000000000001", k_eol);
    put(black, k_black_bits, "000000001111", k_uncompressed);
    for (const mode_code &m : k_modes) {
      const int n = static_cast<int>(std::strlen(m.bits));
      unsigned c = 0;
      for (int i = 0; i < n; ++i) c = c << 1 | unsigned(m.bits[i] - '0');
      for (unsigned i = 0; i < 1u << (k_mode_bits - n); ++i)
        modes[c << (k_mode_bits - n) | i] = static_cast<std::uint8_t>(m.m | n << 4);
    }
  }
};

const tables &code_tables() {
  static const tables t;  // built once, before any thread can see it
  return t;
}

// ---- bits ----

int leading_zeros(std::uint64_t v) {
#if defined(__GNUC__) || defined(__clang__)
  return v ? __builtin_clzll(v) : 64;
#else
  int n = 0;
  while (n < 64 && !(v >> (63 - n) & 1)) ++n;
  return n;
#endif
}

// The data, most significant bit first, through a 64-bit window whose top
// `count_` bits are the next ones. Past the end it feeds 0 bytes.
class bit_reader {
 public:
  bit_reader(const std::uint8_t *in, std::size_t len)
      : start_(in), p_(in), end_(in + len), total_(std::uint64_t(len) * 8) {
    fill();
  }
  // At least 48 bits in the window afterwards.
  void fill() {
    if (end_ - p_ >= 8) {
      std::uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = v << 8 | p_[i];
      window_ |= v >> count_;
      const int take = (63 - count_) >> 3;
      p_ += take;
      count_ += take << 3;
    } else {
      while (count_ <= 56) {
        std::uint64_t b = 0;
        if (p_ < end_)
          b = *p_++;
        else
          ++padding_;
        window_ |= b << (56 - count_);
        count_ += 8;
      }
    }
  }
  void need() {
    if (count_ < 48) fill();
  }
  // The next n bits (n <= 48, after need()).
  unsigned peek(int n) const { return unsigned(window_ >> (64 - n)); }
  std::uint64_t window() const { return window_; }
  void skip(int n) {
    window_ <<= n;
    count_ -= n;
  }
  // Bits consumed so far.
  std::uint64_t pos() const {
    return (std::uint64_t(p_ - start_) + padding_) * 8 - std::uint64_t(count_);
  }
  bool past_end() const { return pos() > total_; }
  bool at_end() const { return pos() >= total_; }
  void align() { skip(count_ & 7); }
  // How many of the next bits (up to 48) are 0.
  int zeros_ahead() {
    need();
    return std::min(leading_zeros(window_), 48);
  }

 private:
  const std::uint8_t *start_, *p_, *end_;
  std::uint64_t total_;
  std::uint64_t window_ = 0;
  int count_ = 0;
  std::uint64_t padding_ = 0;
};

// Moves past the next EOL (eleven or more 0 bits and a 1). False when the
// data ends first.
bool seek_eol(bit_reader &r) {
  int zeros = 0;
  for (;;) {
    r.need();
    if (r.past_end()) return false;
    const int lz = leading_zeros(r.window());
    if (lz > 40) {
      r.skip(40);
      zeros = std::min(zeros + 40, 64);
      continue;
    }
    r.skip(lz + 1);
    if (zeros + lz >= 11) return !r.past_end();
    zeros = 0;
  }
}

// An EOL with one bit turned, where an EOL is due: 0 bits, a 1, 0 bits and
// a 1, ten or more 0 bits in all (fill bits included). Moves past it.
bool seek_damaged_eol(bit_reader &r) {
  r.need();
  const int z = leading_zeros(r.window());
  if (z > 30) return false;
  const int b = leading_zeros(r.window() << (z + 1));
  if (b > 10 || z + b < 10) return false;
  r.skip(z + b + 2);
  return true;
}

// ---- rows ----

// How a row ended. Past the end of the data every code reads as 0 bits,
// which are no code: a row that reaches it ends with row_bad or row_no_mode.
enum row_end : std::uint8_t {
  row_ok,
  row_bad,               // not a code, a run past k_max_run, a vertical mode off the row
  row_wide,              // a horizontal mode's runs pass the end of the row
  row_uncompressed,      // the mode extension into uncompressed mode
  row_uncompressed_run,  // the one-dimensional way into it, where a run is due
  row_extension,         // another mode extension
  row_no_mode,           // seven 0 bits where a mode is due (an EOFB, or the end)
};

// Where a row stopped: the changes up to the last whole code are in the
// row's list, and the colour up to `known` is the colour after them.
struct row_stop {
  int n = 0;
  int known = 0;
};

// Adds the change at x (x < columns) to a row's list, or cancels the one
// there (a zero-length run).
inline void add_change(int *c, int &n, int x) {
  if (n && c[n - 1] == x)
    --n;
  else
    c[n++] = x;
}

// Runs longer than any row this decoder takes end as bad codes, so the
// sums never overflow.
constexpr int k_max_run = 1 << 29;

// A run of one colour: makeup codes then a terminating code, their sum in
// *run (as far as it went on a bad code). 0; -1 for a bad code or a run
// past k_max_run; -2 for the way into uncompressed mode.
inline int read_run(bit_reader &r, const std::uint16_t *table, int bits, int *run) {
  int sum = 0;
  for (;;) {
    r.need();
    const unsigned e = table[r.peek(bits)];
    const unsigned value = e & k_value_mask;
    if (!e || value >= k_uncompressed) {
      *run = sum;
      return value == k_uncompressed ? -2 : -1;
    }
    r.skip(int(e >> k_value_bits));
    sum += int(value);
    if (sum > k_max_run || value < 64) {
      *run = sum;
      return sum > k_max_run ? -1 : 0;
    }
  }
}

// The end of a row at a run that was bad (status < 0) or longer than the
// room left: a run that passed the room was bad whatever came after it.
inline row_end bad_run(int status, int run, int room) {
  return status == -2 && run <= room ? row_uncompressed_run : row_bad;
}

inline row_end stop_row(row_end e, int n, int known, row_stop *s) {
  s->n = n;
  s->known = known;
  return e;
}

row_end decode_1d(bit_reader &r, const tables &t, int columns, int *cur, int *n_out,
                  row_stop *s) {
  int a0 = 0, n = 0;
  for (;;) {
    int white, black;
    const int ws = read_run(r, t.white, k_white_bits, &white);
    if (ws < 0 || white > columns - a0)
      return stop_row(bad_run(ws, white, columns - a0), n, a0, s);
    a0 += white;
    if (a0 >= columns) break;
    add_change(cur, n, a0);
    const int bs = read_run(r, t.black, k_black_bits, &black);
    if (bs < 0 || black > columns - a0)
      return stop_row(bad_run(bs, black, columns - a0), n, a0, s);
    a0 += black;
    if (a0 >= columns) break;
    add_change(cur, n, a0);
  }
  *n_out = n;
  return row_ok;
}

// A two-dimensional row against the reference row ref (its changes then
// three copies of columns). On row_ok *n_out changes in cur; otherwise *s
// says where it stopped, the reader left at the start of the bad mode code
// (or past the runs of a bad horizontal mode).
row_end decode_2d(bit_reader &r, const tables &t, int columns, const int *ref, int *cur,
                  int *n_out, row_stop *s) {
  int a0 = -1, colour = 0, n = 0, bi = 0;
  while (a0 < columns) {
    // b1: the first change on the reference row right of a0 whose colour
    // is the opposite of a0's (even places turn black, odd ones white).
    while (bi > 0 && ref[bi - 1] > a0) --bi;
    while (ref[bi] <= a0) ++bi;
    bi += (bi & 1) ^ colour;
    const int b1 = ref[bi];
    r.need();
    const unsigned e = t.modes[r.peek(k_mode_bits)];
    const int start = a0 < 0 ? 0 : a0;
    int a1;
    switch (e & 15) {
      case m_pass:
        r.skip(4);
        a0 = ref[bi + 1];
        continue;
      case m_horizontal: {
        // Both runs are read before either is checked against the room
        // left, so that a bad code after a long run is told as one.
        r.skip(3);
        const std::uint16_t *first = colour ? t.black : t.white;
        const std::uint16_t *second = colour ? t.white : t.black;
        const int fb = colour ? k_black_bits : k_white_bits;
        const int sb = colour ? k_white_bits : k_black_bits;
        int run1, run2;
        const int s1 = read_run(r, first, fb, &run1);
        const int room1 = columns - start;
        if (s1 < 0) return stop_row(bad_run(s1, run1, room1), n, start, s);
        const int s2 = read_run(r, second, sb, &run2);
        if (run1 > room1) return stop_row(s2 < 0 ? row_bad : row_wide, n, start, s);
        a1 = start + run1;
        const int room2 = columns - a1;
        if (s2 < 0) return stop_row(bad_run(s2, run2, room2), n, a1, s);
        if (run2 > room2) return stop_row(row_wide, n, a1, s);
        if (a1 < columns) add_change(cur, n, a1);
        a0 = a1 + run2;
        if (a0 < columns) add_change(cur, n, a0);
        continue;
      }
      case m_v0: a1 = b1; break;
      case m_vr1: a1 = b1 + 1; break;
      case m_vr2: a1 = b1 + 2; break;
      case m_vr3: a1 = b1 + 3; break;
      case m_vl1: a1 = b1 - 1; break;
      case m_vl2: a1 = b1 - 2; break;
      case m_vl3: a1 = b1 - 3; break;
      case m_extension:
        return stop_row(r.peek(10) == 0xf ? row_uncompressed : row_extension, n, start, s);
      default:
        return stop_row(row_no_mode, n, start, s);
    }
    if (a1 < start || a1 > columns) return stop_row(row_bad, n, start, s);
    r.skip(int(e >> 4));
    if (a1 < columns) add_change(cur, n, a1);
    a0 = a1;
    colour ^= 1;
  }
  *n_out = n;
  return row_ok;
}

// ---- the picture ----

constexpr int k_max_columns = 1 << 24;
constexpr std::size_t k_default_budget = std::size_t(256) << 20;

// Receives the decoded rows and writes them at the reduced size.
class picture {
 public:
  picture(std::vector<std::uint8_t> *px, int columns, int reduce, int rows, bool black_is_1,
          std::size_t limit)
      : px_(px), columns_(columns), r_(reduce), rows_(rows), limit_(limit) {
    one_ = black_is_1 ? 0 : 255;  // the sample of coded white
    zero_ = static_cast<std::uint8_t>(255 - one_);
    black_is_1_ = black_is_1;
    out_w_ = (columns + reduce - 1) / reduce;
    shift_ = reduce == 4 ? 2 : reduce == 2 ? 1 : 0;
    px_->clear();
    if (rows_ > 0) px_->assign(std::size_t(out_w_) * std::size_t((rows_ + r_ - 1) / r_), one_);
    if (r_ > 1) acc_.assign(std::size_t(out_w_), 0);
  }
  int width() const { return out_w_; }
  int rows_in() const { return rows_in_; }
  int height() const {
    return rows_ > 0 ? (rows_ + r_ - 1) / r_ : (rows_in_ + r_ - 1) / r_;
  }

  // One row of changes. False when the budget holds no more rows.
  bool add(const int *c, int n) {
    if (r_ == 1) {
      if (!room_for_row(rows_in_)) return false;
      std::uint8_t *row = px_->data() + std::size_t(rows_in_) * std::size_t(out_w_);
      for (int i = 0; i < n; i += 2) {
        const int end = i + 1 < n ? c[i + 1] : columns_;
        std::memset(row + c[i], zero_, std::size_t(end - c[i]));
      }
    } else {
      if (rows_in_ % r_ == 0 && !room_for_row(rows_in_ / r_)) return false;
      // Counted through the black runs, or, where black is most of the
      // row, as a black row less its white runs: the work follows the
      // lesser colour.
      int black = 0;
      for (int i = 0; i < n; i += 2) black += (i + 1 < n ? c[i + 1] : columns_) - c[i];
      if (black * 2 <= columns_) {
        for (int i = 0; i < n; i += 2) spread(c[i], i + 1 < n ? c[i + 1] : columns_, 1);
      } else {
        ++black_rows_;
        spread(0, n ? c[0] : columns_, -1);
        for (int i = 1; i < n; i += 2) spread(c[i], i + 1 < n ? c[i + 1] : columns_, -1);
      }
      in_block_ = true;
      if (rows_in_ % r_ == r_ - 1) flush(r_);
    }
    ++rows_in_;
    return true;
  }

  // Writes the last, partly filled block of rows.
  void finish() {
    if (r_ > 1 && in_block_) {
      const int y = rows_in_ / r_;
      const int h = rows_ > 0 ? std::min(r_, rows_ - y * r_) : rows_in_ - y * r_;
      flush(h);
    }
  }

 private:
  // Makes sure output row y exists (it grows the pixels when the height is
  // not known, within the limit).
  bool room_for_row(int y) {
    if (rows_ > 0) return true;
    const std::size_t need = (std::size_t(y) + 1) * std::size_t(out_w_);
    if (need > limit_) return false;
    if (need > px_->capacity()) {
      std::size_t cap = std::max(px_->capacity() * 2, need);
      cap = std::max(cap, std::size_t(1) << 16);
      px_->reserve(std::min(cap, limit_));
    }
    px_->resize(need, one_);
    return true;
  }

  // Adds sign for each pixel of [s, e) to the counts of its block.
  void spread(int s, int e, int sign) {
    if (s >= e) return;
    std::int16_t *acc = acc_.data();
    const int r = r_, x0 = s >> shift_, x1 = (e - 1) >> shift_;
    if (x0 == x1) {
      acc[x0] = static_cast<std::int16_t>(acc[x0] + sign * (e - s));
      return;
    }
    acc[x0] = static_cast<std::int16_t>(acc[x0] + sign * (r * (x0 + 1) - s));
    for (int x = x0 + 1; x < x1; ++x) acc[x] = static_cast<std::int16_t>(acc[x] + sign * r);
    acc[x1] = static_cast<std::int16_t>(acc[x1] + sign * (e - r * x1));
  }

  // Turns the block's counts of black into grey, h source rows high.
  void flush(int h) {
    const int y = rows_in_ / r_;
    std::uint8_t *row = px_->data() + std::size_t(y) * std::size_t(out_w_);
    std::int16_t *acc = acc_.data();
    const int full = columns_ % r_ ? out_w_ - 1 : out_w_;  // blocks r columns wide
    const int base = black_rows_ * r_;
    if (h == r_) {
      // Blocks whose count is the base alone (most of a page) four at a
      // time, the others through a table of the r*r+1 greys.
      std::uint8_t grey_of[17];
      for (int b = 0; b <= r_ * r_; ++b) grey_of[b] = grey(unsigned(b), unsigned(r_ * r_));
      const std::uint8_t plain = grey_of[base];
      const std::uint32_t plain4 = 0x01010101u * plain;
      int x = 0;
      for (; x + 4 <= full; x += 4) {
        std::uint64_t group;
        std::memcpy(&group, acc + x, sizeof group);
        if (group == 0) {
          std::memcpy(row + x, &plain4, 4);
        } else {
          for (int i = 0; i < 4; ++i) row[x + i] = grey_of[base + acc[x + i]];
        }
      }
      for (; x < full; ++x) row[x] = grey_of[base + acc[x]];
    } else {
      for (int x = 0; x < full; ++x) row[x] = grey(unsigned(base + acc[x]), unsigned(r_ * h));
    }
    if (full < out_w_) {
      const int bw = columns_ - full * r_;
      row[full] = grey(unsigned(black_rows_ * bw + acc[full]), unsigned(bw * h));
    }
    std::memset(acc, 0, acc_.size() * sizeof *acc);
    black_rows_ = 0;
    in_block_ = false;
  }
  std::uint8_t grey(unsigned black, unsigned n) const {
    const unsigned ones = black_is_1_ ? black : n - black;
    return std::uint8_t((ones * 255u + n / 2) / n);
  }

  std::vector<std::uint8_t> *px_;
  int columns_, r_, rows_;
  std::size_t limit_;
  int out_w_ = 0, rows_in_ = 0, shift_ = 0;  // reduce is 1 << shift_
  std::uint8_t one_ = 255, zero_ = 0;
  bool black_is_1_ = false, in_block_ = false;
  std::vector<std::int16_t> acc_;  // black pixels of each block, less black_rows_'s
  int black_rows_ = 0;              // rows of the block counted as all black
};

bool fail(const char *text, const char **why) {
  *why = text;
  return false;
}

}  // namespace

bool ccitt_decode_grey(const std::uint8_t *in, std::size_t len, const ccitt_params &p,
                       std::vector<std::uint8_t> *pixels, int *width, int *height,
                       bool *complete, const char **why) {
  *width = *height = 0;
  *complete = false;
  *why = nullptr;
  pixels->clear();
  if (p.columns < 1 || p.columns > k_max_columns)
    return fail("the width is not one this decoder takes", why);
  if (p.rows < 0) return fail("the height is below zero", why);
  if (p.reduce != 1 && p.reduce != 2 && p.reduce != 4)
    return fail("the reduction is not 1, 2 or 4", why);
  if (!in) len = 0;
  const std::size_t budget = p.budget ? p.budget : k_default_budget;
  const int r = p.reduce;
  const std::size_t columns = std::size_t(p.columns);
  const std::size_t out_w = (columns + std::size_t(r) - 1) / std::size_t(r);
  const std::size_t scratch = (columns + 4) * 2 * sizeof(int) + (r > 1 ? out_w * 2 : 0);
  if (scratch > budget) return fail("the image is larger than the budget", why);
  const std::size_t limit = budget - scratch;
  if (p.rows > 0 && (std::size_t(p.rows) + std::size_t(r) - 1) / std::size_t(r) > limit / out_w)
    return fail("the image is larger than the budget", why);

  const tables &t = code_tables();
  std::vector<int> lists((columns + 4) * 2);
  int *ref = lists.data(), *cur = ref + columns + 4;
  int n_ref = 0;
  ref[0] = ref[1] = ref[2] = p.columns;

  picture pic(pixels, p.columns, r, p.rows, p.black_is_1, limit);
  bit_reader bits(in, len);
  const bool g4 = p.k < 0;
  int good = 0, damaged = 0;
  bool stopped = false;     // by a bad row with no way to go on, or the budget
  bool resync = false;      // the next row starts after the next EOL
  bool suspect = false;     // two-dimensional rows refer to a damaged row
  bool uncompressed = false;
  bool last_good = false;   // the row before decoded as it should
  const char *note = nullptr;

  for (int row = 0; p.rows == 0 || row < p.rows; ++row) {
    // Where the row starts: past fill bits, an EOL, the tag bit.
    // Rows begin on a byte boundary; where EOLs are due, the fill bits are
    // the 0 bits before the EOL, which the search for it skips.
    if (row > 0 && p.encoded_byte_align && !(p.k >= 0 && p.end_of_line) &&
        bits.zeros_ahead() < 11)
      bits.align();
    if (bits.at_end()) break;
    bool eol = false;
    bits.need();
    const unsigned next12 = bits.peek(12);
    if (resync || next12 <= 1) {
      if (!seek_eol(bits)) break;  // only fill bits were left
      if (g4) break;               // EOFB
      eol = true;
    } else if (!g4 && p.end_of_line && row > 0) {
      // An EOL was due: the row before ran long.
      // After a good row, taken as a damaged EOL when it is one bit away
      // from one, so that the rows after it keep their places.
      ++damaged;
      note = "a row does not decode";
      if (!(last_good && seek_damaged_eol(bits)) && !seek_eol(bits)) break;
      eol = true;
    }
    const bool after_bad = resync;
    resync = false;
    bool two_d = g4;
    if (p.k > 0) {
      bits.need();
      two_d = bits.peek(1) == 0;
      bits.skip(1);
    }
    if (eol) {
      bits.need();
      if (bits.peek(12) <= 1) break;  // RTC: a second EOL in a row
    }
    if (bits.at_end()) break;

    int n = 0;
    const bit_reader row_start = bits;
    row_stop stop;
    row_end end = two_d ? decode_2d(bits, t, p.columns, ref, cur, &n, &stop)
                        : decode_1d(bits, t, p.columns, cur, &n, &stop);
    if (end != row_ok) {
      // What the row held before the bad code, its rest white.
      n = stop.n;
      if (n & 1) add_change(cur, n, stop.known);
    } else if (bits.past_end()) {
      end = row_bad;
    }
    if (end != row_ok && after_bad && !two_d) {
      // A one-dimensional row bad again straight after the search: more
      // of the damaged row, past 0 bits that looked like an EOL. It takes
      // no row of its own.
      bits = row_start;
      resync = true;
      --row;
      continue;
    }
    if (!two_d) suspect = false;
    const bool bad = end != row_ok || (two_d && suspect && !g4);
    if (end == row_uncompressed || end == row_uncompressed_run) uncompressed = true;
    if (!pic.add(cur, n)) {
      note = "the image is larger than the budget";
      stopped = true;
      break;
    }
    last_good = !bad;
    if (bad) {
      ++damaged;
      if (!note) note = "a row does not decode";
      if (end != row_ok) {
        if (g4) {
          stopped = true;
          break;
        }
        // The search for the next EOL starts where the row did: the bad
        // code may have taken the first 0 bits of the EOL.
        bits = row_start;
        resync = true;
        suspect = true;
      }
    } else {
      ++good;
    }
    std::swap(ref, cur);
    n_ref = n;
    ref[n_ref] = ref[n_ref + 1] = ref[n_ref + 2] = p.columns;
  }
  pic.finish();

  if (uncompressed) note = "the data uses uncompressed mode, which is not read";
  if (good == 0) {
    pixels->clear();
    return fail(note && uncompressed ? note : "no row decodes", why);
  }
  *width = pic.width();
  *height = pic.height();
  bool whole = !stopped && (p.rows == 0 || pic.rows_in() == p.rows);
  if (!whole && !note) note = "the data ran out before the last row";
  if (damaged > 0) {
    const bool tolerated = !g4 && p.end_of_line && damaged <= p.damaged_rows_before_error &&
                           !stopped && !uncompressed;
    if (!tolerated) whole = false;
  }
  *complete = whole;
  *why = whole ? nullptr : note;
  return true;
}

namespace {

// Sets pixels [s, e) of a packed row.
inline void set_span(std::uint8_t *row, int s, int e) {
  if (s >= e) return;
  const int bs = s >> 3, be = (e - 1) >> 3;
  const unsigned ms = 0xFFu >> (s & 7), me = (0xFFu << (7 - ((e - 1) & 7))) & 0xFF;
  if (bs == be) {
    row[bs] = std::uint8_t(row[bs] | (ms & me));
    return;
  }
  row[bs] = std::uint8_t(row[bs] | ms);
  if (be > bs + 1) std::memset(row + bs + 1, 0xFF, std::size_t(be - bs - 1));
  row[be] = std::uint8_t(row[be] | me);
}

// The black runs of a row's changes (an odd last one running to the end).
void put_row(std::uint8_t *row, std::size_t bytes, const int *c, int n, int columns) {
  std::memset(row, 0, bytes);
  for (int i = 0; i < n; i += 2) set_span(row, c[i], i + 1 < n ? c[i + 1] : columns);
}

constexpr unsigned k_eofb = 0x001001;  // two EOLs
constexpr int k_max_row_columns = 1 << 28;

}  // namespace

ccitt_rows ccitt_decode_g4_rows(const std::uint8_t *in, std::size_t len, int columns, int rows,
                                bool byte_align, std::uint8_t *out, std::size_t stride) {
  ccitt_rows res;
  if (columns < 1 || columns > k_max_row_columns || rows < 0) {
    res.stop = ccitt_stop::bad_size;
    return res;
  }
  if (!in) len = 0;
  const std::size_t bytes = (std::size_t(columns) + 7) / 8;
  const tables &t = code_tables();
  std::vector<int> lists((std::size_t(columns) + 4) * 2);
  int *ref = lists.data(), *cur = ref + columns + 4;
  ref[0] = ref[1] = ref[2] = columns;
  bit_reader bits(in, len);
  for (int y = 0; y < rows; ++y) {
    if (y > 0 && byte_align) bits.align();
    int n = 0;
    row_stop s;
    const row_end end = decode_2d(bits, t, columns, ref, cur, &n, &s);
    std::uint8_t *row = out + std::size_t(y) * stride;
    if (end != row_ok) {
      // The row up to its last good code, less a black run it began.
      put_row(row, bytes, cur, s.n & ~1, columns);
      switch (end) {
        case row_wide: res.stop = ccitt_stop::too_wide; break;
        case row_uncompressed: res.stop = ccitt_stop::uncompressed; break;
        case row_extension: res.stop = ccitt_stop::extension; break;
        case row_no_mode:
          bits.need();
          if (bits.past_end()) {
            res.stop = ccitt_stop::data_ended;
          } else if (bits.peek(24) == k_eofb) {
            res.stop = ccitt_stop::end_of_block;
            bits.skip(24);
          } else {
            res.stop = ccitt_stop::bad_code;
          }
          break;
        default: res.stop = ccitt_stop::bad_code; break;
      }
      res.used = std::size_t(std::min<std::uint64_t>(len, (bits.pos() + 7) / 8));
      return res;
    }
    put_row(row, bytes, cur, n, columns);
    ++res.rows;
    std::swap(ref, cur);
    ref[n] = ref[n + 1] = ref[n + 2] = columns;
  }
  if (rows > 0 && byte_align) bits.align();
  bits.need();
  if (bits.peek(24) == k_eofb) bits.skip(24);
  res.used = std::size_t(std::min<std::uint64_t>(len, (bits.pos() + 7) / 8));
  return res;
}

}  // namespace lt
