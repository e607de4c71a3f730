// SPDX-License-Identifier: MIT
// A small JBIG2 encoder for the decoder's tests and benchmark: the MQ
// arithmetic coder, generic regions (templates 0-3, typical prediction,
// any adaptive pixels), MMR (T.6) generic regions, symbol dictionaries and
// text regions with the integer coders, and the segments around them, in
// the embedded organisation PDF uses. Written plainly, pixel by pixel,
// from the coding procedures, apart from the decoder.
#ifndef LEAFTURN_TESTS_JBIG2_ENCODER_H
#define LEAFTURN_TESTS_JBIG2_ENCODER_H

#include <cstdint>
#include <string>
#include <vector>

namespace jb2test {

using bytes = std::vector<std::uint8_t>;

// A 1-bit picture, one byte a pixel: 1 is black.
struct image {
  int w = 0, h = 0;
  std::vector<std::uint8_t> px;
  image() = default;
  image(int w_, int h_) : w(w_), h(h_), px(std::size_t(w_) * std::size_t(h_), 0) {}
  int get(int x, int y) const {
    return x < 0 || y < 0 || x >= w || y >= h ? 0 : px[std::size_t(y) * std::size_t(w) + std::size_t(x)];
  }
  void set(int x, int y, int v) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[std::size_t(y) * std::size_t(w) + std::size_t(x)] = std::uint8_t(v);
  }
  image crop(int x, int y, int cw, int ch) const;
  bool operator==(const image &o) const { return w == o.w && h == o.h && px == o.px; }
};

// Reads a PBM (P1 or P4) file; an empty image when it cannot.
image read_pbm(const std::string &path);
bytes write_pbm(const image &img);

// The MQ arithmetic encoder; a context is its state's index times two
// plus its more probable symbol, as in the decoder.
class mq_encoder {
 public:
  mq_encoder();
  void encode(std::uint8_t &cx, int bit);
  // Flushes and returns the coded bytes, ending with the marker 0xFFAC.
  bytes finish();

 private:
  void byte_out();
  void renorm();
  bytes out_;  // out_[0] stands before the first byte
  std::uint32_t a_ = 0x8000, c_ = 0;
  int ct_ = 12;
};

// Codes an integer (or OOB) with one integer coder's 512 contexts.
void encode_int(mq_encoder &e, std::uint8_t *cx, std::int64_t v, bool oob = false);
// Codes a symbol number in len bits with 2^len contexts.
void encode_id(mq_encoder &e, std::uint8_t *cx, std::uint32_t id, int len);

struct generic_options {
  int templ = 0;
  bool tpgdon = false;
  std::int8_t at[8] = {0};  // adaptive pixels: A1x, A1y, ...; set_default_at() fills them
  void set_default_at();
};

// Codes the pixels of img as a generic region with contexts cx (65536).
void encode_generic(mq_encoder &e, std::uint8_t *cx, const image &img, const generic_options &o);
// The same, flushed: the region's coded data.
bytes generic_data(const image &img, const generic_options &o);
// The image coded as T.6 (MMR), with EOFB or without, padded to a byte.
bytes mmr_data(const image &img, bool eofb = true);

// ---- segments ----

struct segment_options {
  bool long_page = false;      // a 4-byte page association
  bool unknown_length = false; // the length written as 0xFFFFFFFF
};
void add_segment(bytes &out, std::uint32_t number, int type, std::uint32_t page,
                 const std::vector<std::uint32_t> &refs, const bytes &data,
                 const segment_options &o = segment_options());
bytes page_info(std::uint32_t w, std::uint32_t h, bool default_pixel = false, int default_op = 0,
                bool striped = false, int max_stripe = 0);
bytes region_info(std::uint32_t w, std::uint32_t h, std::uint32_t x, std::uint32_t y, int op = 0);
void put32(bytes &out, std::uint32_t v);

// A generic region segment's data (region information, flags, adaptive
// pixels, coded data); with mmr the options' template is ignored.
bytes generic_segment(const image &img, std::uint32_t x, std::uint32_t y, int op,
                      const generic_options &o, bool mmr = false, bool eofb = true);

// A page stream holding img as one generic region.
bytes generic_page(const image &img, const generic_options &o, bool mmr = false,
                   bool end_of_page = true);

// ---- symbols and text ----

struct text_options {
  int ref_corner = 1;  // 0 bottom left, 1 top left, 2 bottom right, 3 top right
  bool transposed = false;
  int log_strips = 0;
  int ds_offset = 0;     // -16..15
  int first_strip = 0;   // the value the first IADT codes
  bool split = false;    // half the symbols in a dictionary in the globals
  int sd_template = 0;
  bool sd_default_at = true;
  int combop = 0;        // 0 OR (the components' boxes hold only their pixels' neighbours)
  int dictionaries = 1;  // without split: the symbols dealt out to this many dictionaries
  std::uint32_t first_segment = 0;  // the number of the first segment
  bool end_of_page = true;
};

struct text_stream {
  bytes globals, page;
  std::size_t symbols = 0, instances = 0;
};

// img as symbols (its 8-connected components' boxes, the same bitmaps
// once) in a symbol dictionary and their places in a text region.
text_stream text_page(const image &img, const text_options &o);

}  // namespace jb2test

#endif
