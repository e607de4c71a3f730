// SPDX-License-Identifier: MIT
// The JBIG2 decoder's inner parts, shared by its sources: the allowance of
// bytes, 1-bit bitmaps, the MQ arithmetic decoder, and the region and
// dictionary decoding procedures.
#ifndef LEAFTURN_JBIG2_INTERNAL_H
#define LEAFTURN_JBIG2_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lt {
namespace jb2 {

// The longest side of any bitmap: coordinates stay well inside int.
constexpr std::uint32_t k_max_side = std::uint32_t(1) << 28;

// What may still be allocated.
struct allowance {
  std::uint64_t left = 0;
  bool take(std::uint64_t n) {
    if (n > left) return false;
    left -= n;
    return true;
  }
  void give(std::uint64_t n) { left += n; }
};

// A 1-bit picture: rows of bytes, the leftmost pixel in the high bit, the
// bits past the width always 0.
struct bitmap {
  std::uint32_t w = 0, h = 0;
  std::size_t stride = 0;
  std::vector<std::uint8_t> bits;

  static std::uint64_t bytes_for(std::uint64_t w, std::uint64_t h) { return (w + 7) / 8 * h; }
  // Makes it w x h, every pixel `fill`, the bytes taken from a. False (and
  // left empty) when a side is too long or the bytes are not there.
  bool make(std::uint32_t w, std::uint32_t h, allowance &a, bool fill = false);
  // Gives its bytes back to a and empties it.
  void drop(allowance &a);
  // Adds rows at the bottom, up to h in all, of `fill` pixels.
  bool grow(std::uint32_t h, allowance &a, bool fill);
  std::uint8_t *row(std::uint32_t y) { return bits.data() + std::size_t(y) * stride; }
  const std::uint8_t *row(std::uint32_t y) const { return bits.data() + std::size_t(y) * stride; }
  int get(std::int64_t x, std::int64_t y) const {
    if (x < 0 || y < 0 || x >= std::int64_t(w) || y >= std::int64_t(h)) return 0;
    return (bits[std::size_t(y) * stride + std::size_t(x >> 3)] >> (7 - (x & 7))) & 1;
  }
};

// The combination operators, as region and text region flags number them.
enum combine_op { op_or = 0, op_and = 1, op_xor = 2, op_xnor = 3, op_replace = 4 };

// Combines src onto dst with its top left corner at (x, y), clipped to dst.
void combine(bitmap &dst, const bitmap &src, std::int64_t x, std::int64_t y, int op);

// ---- the MQ arithmetic decoder ----

// One probability state of the coder.
struct qe_state {
  std::uint16_t qe;
  std::uint8_t nmps, nlps, swap;
};
extern const qe_state k_qe[47];

// A context: its state's index times two, plus its more probable symbol.
using context = std::uint8_t;

// Decodes from data[0, len); the bytes past the end read as 0xFF.
class mq_decoder {
 public:
  mq_decoder(const std::uint8_t *data, std::size_t len) : p_(data), len_(len) {
    c_ = std::uint32_t(at(0)) << 16;
    byte_in();
    c_ <<= 7;
    ct_ -= 7;
    a_ = 0x8000;
  }

  int decode(context &cx) {
    const qe_state &s = k_qe[cx >> 1];
    const std::uint32_t qe = s.qe;
    int mps = cx & 1, d;
    a_ -= qe;
    if ((c_ >> 16) < qe) {
      // The lower part of the interval: the less probable symbol, unless
      // the parts were exchanged.
      if (a_ < qe) {
        d = mps;
        cx = context(s.nmps << 1 | mps);
      } else {
        d = mps ^ 1;
        cx = context(s.nlps << 1 | (mps ^ s.swap));
      }
      a_ = qe;
    } else {
      c_ -= qe << 16;
      if (a_ & 0x8000) return mps;
      if (a_ < qe) {
        d = mps ^ 1;
        cx = context(s.nlps << 1 | (mps ^ s.swap));
      } else {
        d = mps;
        cx = context(s.nmps << 1 | mps);
      }
    }
    do {
      if (ct_ == 0) byte_in();
      a_ <<= 1;
      c_ <<= 1;
      --ct_;
    } while (!(a_ & 0x8000));
    return d;
  }

  // Whether the coder has taken many bytes from past the end of the data
  // (or past its end marker): an encoder's flush leaves the decoder two or
  // three short at most, so the data was cut short. Decoding on would
  // make up pixels from the fill bytes, up to all the region declares.
  bool exhausted() const { return past_ > k_past_end_limit; }
  static constexpr std::size_t k_past_end_limit = 64;

 private:
  std::uint8_t at(std::size_t i) const { return i < len_ ? p_[i] : 0xFF; }
  void byte_in() {
    if (at(pos_) == 0xFF) {
      const std::uint8_t b1 = at(pos_ + 1);
      if (b1 > 0x8F) {
        c_ += 0xFF00;
        ct_ = 8;
        ++past_;
      } else {
        ++pos_;
        c_ += std::uint32_t(b1) << 9;
        ct_ = 7;
      }
    } else {
      ++pos_;
      if (pos_ >= len_) ++past_;
      c_ += std::uint32_t(at(pos_)) << 8;
      ct_ = 8;
    }
  }

  const std::uint8_t *p_;
  std::size_t len_, pos_ = 0, past_ = 0;
  std::uint32_t c_ = 0, a_ = 0;
  int ct_ = 0;
};

// ---- generic regions ----

struct generic_params {
  int templ = 0;      // GBTEMPLATE, 0-3
  bool tpgdon = false;
  std::int8_t at[8] = {0};  // A1x, A1y, A2x, A2y, ... (A1 only past template 0)
};

// The adaptive pixels each template has by default.
void default_at(int templ, std::int8_t at[8]);
// Whether the adaptive pixels lie where the standard allows (above the
// pixel, or left of it on its row).
bool at_valid(const generic_params &g);
// The contexts a template needs.
inline std::size_t generic_contexts(int templ) {
  return templ == 0 ? 65536 : templ == 1 ? 8192 : 1024;
}

// Decodes the arithmetic-coded generic region into bm (made, all 0), with
// the contexts cx (generic_contexts() of them). False when the data ran
// out (the coder exhausted) before the region did: the rows after stay 0.
bool decode_generic(mq_decoder &d, context *cx, const generic_params &g, bitmap &bm);

// Decodes an MMR-coded (T.6) generic region into bm (made, all 0). The
// rows before a bad code are kept; returns null, or the reason it stopped
// early. *used: the bytes the coding took (the EOFB counted).
const char *decode_mmr(const std::uint8_t *data, std::size_t len, bitmap &bm, allowance &a,
                       std::size_t *used);

// ---- symbol dictionaries and text regions ----

// The symbols that segments left for later ones, all in one pool.
struct symbol_pool {
  std::vector<bitmap> symbols;
};

// A symbol dictionary's header and coded data.
struct dictionary_in {
  const std::uint8_t *data = nullptr;  // after SDNUMNEWSYMS
  std::size_t len = 0;
  generic_params g;
  std::uint32_t num_exported = 0, num_new = 0;
  std::vector<std::uint32_t> inputs;  // pool indices of the input symbols
};

// Decodes the dictionary; *exported gets the pool indices of its exported
// symbols. Returns null, or why it failed (nothing exported).
const char *decode_dictionary(const dictionary_in &in, symbol_pool &pool, allowance &a,
                              std::vector<std::uint32_t> *exported);

struct text_in {
  const std::uint8_t *data = nullptr;  // after SBNUMINSTANCES
  std::size_t len = 0;
  std::uint32_t num_instances = 0;
  int log_strips = 0, ref_corner = 0, combop = 0, ds_offset = 0;
  bool transposed = false, default_pixel = false;
  bool refine = false;  // each instance says whether it is refined (refined ones are not read)
  std::vector<std::uint32_t> symbols;  // pool indices, SBSYMS
};

// Decodes the text region into bm (made, every pixel the default). Returns
// null, or why it stopped early (the instances before kept).
const char *decode_text(const text_in &in, const symbol_pool &pool, allowance &a, bitmap &bm);

}  // namespace jb2
}  // namespace lt

#endif
