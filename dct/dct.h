// SPDX-License-Identifier: MIT
// A self-contained decoder for JPEG (DCTDecode) data, to 8-bit grey.
//
// Reads Huffman-coded JPEG of 8-bit samples, baseline, extended sequential
// and progressive (SOF0, SOF1, SOF2), with 1, 3 or 4 components at any
// sampling factors (1 to 4), restart intervals (and resynchronises on
// damaged ones), the Adobe marker's colour transform and JFIF. Grey is the
// luminance: the Y channel of YCbCr data, the luminance of RGB, and for
// CMYK and YCCK that of the RGB a PDF reader makes of them (data with an
// Adobe marker taken as stored inverted, as Adobe's writers store it).
// Arithmetic-coded, 12-bit, lossless and hierarchical JPEGs are refused.
//
// Nothing is read outside in[0, len), nothing is allocated beyond the
// budget, and the work is linear in the input (bounded by the budget for
// what a header declares). No state is kept between calls: any number of
// threads may decode at once.
#ifndef LEAFTURN_DCT_H
#define LEAFTURN_DCT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lt {

struct dct_options {
  // 1, 2, 4 or 8: the image scaled down by it (each 8x8 block becomes 8x8,
  // 4x4, 2x2 or 1x1 pixels, the mean of the area each stands for).
  int reduce = 1;
  // The PDF's /ColorTransform: -1 when absent (the Adobe marker decides,
  // or else the component count: YCbCr for 3, CMYK for 4); 0 or 1 decide
  // over the marker.
  int color_transform = -1;
  // The most bytes of pixels (and working memory: rows of blocks, and the
  // coefficients of a progressive image) it may allocate; 0 = none allowed.
  std::size_t budget = 0;
};

// Decodes the JPEG in[0, len) to 8-bit grey (0 black, 255 white), row after
// row, into *pixels: width*height bytes at the reduced size,
// ceil(w/reduce) x ceil(h/reduce).
// True when it made an image; *complete is false when the data ran out or
// turned bad partway (the rest kept as decoded so far, missing blocks
// mid-grey). False with *why (a static English text) when it made none:
// "not a JPEG", "arithmetic-coded JPEG is not read", "12-bit JPEG is not
// read", "the image is larger than the budget", and the like.
bool dct_decode_grey(const std::uint8_t *in, std::size_t len, const dct_options &opt,
                     std::vector<std::uint8_t> *pixels, int *width, int *height, bool *complete,
                     const char **why);

}  // namespace lt

#endif
