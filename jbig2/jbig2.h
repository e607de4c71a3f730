// SPDX-License-Identifier: MIT
// A self-contained decoder for JBIG2 data (ITU-T T.88) as PDF's JBIG2Decode
// filter carries it, to 8-bit grey.
#ifndef LEAFTURN_JBIG2_H
#define LEAFTURN_JBIG2_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lt {

struct jbig2_params {
  // The decoded data of the image's /JBIG2Globals stream, or null.
  const std::uint8_t *globals = nullptr;
  std::size_t globals_len = 0;
  // 1, 2 or 4: each output pixel is the mean of a reduce x reduce block
  // (grey where a block mixes black and white; blocks cut by the right or
  // bottom edge average the pixels they hold).
  int reduce = 1;
  // The most bytes it may allocate: the page and region bitmaps, the
  // symbols, the coding contexts and the output. 0: 256 MiB.
  std::size_t budget = 0;
};

// Decodes the embedded JBIG2 stream in[0, len) (the page's segments, read
// after the globals' segments) to 8-bit grey, row after row, into *pixels
// (width*height bytes, at the reduced size): 0 is black (a 1 pixel of
// JBIG2), 255 white.
//
// True when it made an image; *complete false when a segment turned bad,
// was cut short, or was of a kind not read (the rest of the page kept as
// decoded), with *why saying what (the first such thing); *why is null
// after a complete image. False with *why (a static English text, e.g.
// "the image is larger than the budget", "no page information segment",
// "halftone regions are not read") when it made none.
//
// Reads the first page of the stream: its page information (a height
// given by end-of-stripe segments too), generic regions coded with the
// arithmetic coder (every template, typical prediction, any adaptive
// pixels) or with MMR (T.6), symbol dictionaries and text regions coded
// with the arithmetic coder (without refinement), combined on the page by
// each of the five operators. Not read: refinement regions, halftone
// regions and pattern dictionaries, Huffman-coded dictionaries and text
// regions, symbols refined or aggregated, dictionaries that reuse another's
// coding contexts.
//
// Never reads outside in[0, len) and globals[0, globals_len), never
// allocates more than the budget, takes time bounded by the input's length
// and the declared sizes (which the budget bounds), keeps no state between
// calls: any number of threads may decode at once.
bool jbig2_decode_grey(const std::uint8_t *in, std::size_t len, const jbig2_params &p,
                       std::vector<std::uint8_t> *pixels, int *width, int *height,
                       bool *complete, const char **why);

}  // namespace lt

#endif
