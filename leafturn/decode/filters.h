// SPDX-License-Identifier: MIT
// Stream filters: what the library decodes of stream data. The predictors
// of Flate and LZW data (the update's cross-reference streams use them
// too), and the decoding of one stream through its whole filter chain for
// the content reader: FlateDecode, LZWDecode, ASCIIHexDecode,
// ASCII85Decode and RunLengthDecode, decrypted first in an encrypted file.
#ifndef LEAFTURN_FILTERS_H
#define LEAFTURN_FILTERS_H

#include <cstddef>
#include <vector>

#include "inflate_buffer.h"
#include "load/loader.h"
#include "syntax/stream_filters.h"

namespace lt {

// The predictors that the format defines for Flate data: none (1), TIFF's
// horizontal differencing (2), and PNG's (10 to 15: each row carries its
// own filter byte, whichever of the six values is named).
constexpr int k_no_predictor = 1, k_tiff_predictor = 2, k_png_first = 10, k_png_last = 15;

// A filter's predictor: the decode parameters that shape its rows.
using predictor_params = decode_parms;

// The rows that predicted data [raw, raw + raw_len) stand for: count rows
// of row bytes each, into *rows. False with *why (in the words of a
// cross-reference stream, the first to need them) when they cannot be read.
bool unpredict(const u8 *raw, size_t raw_len, const predictor_params &p, size_t row,
               size_t count, std::vector<u8> *rows, const char **why);

// What decoding one stream gave: decoded, not decodable (a filter not read,
// damaged data, no key), or more than the budget allows. Decoding tells
// these apart, as its callers act on each (the budget ends the reading).
enum class decoded { ok, unreadable, over_budget };

// Decodes direct streams through their filters, with buffers kept from one
// stream to the next. The stream's dictionary names the filters and their
// parameters (directly or through references). An encrypted file's stream
// is decrypted first, and is unreadable without the key. *spent: the bytes
// the decoding made, or what a failed decode may have cost; when they reach
// `budget` the stream is over it.
class stream_decoder {
 public:
  decoded decode(const doc &d, const obj_rec &o, size_t budget, std::vector<u8> *out,
                 size_t *spent);
  // The same without a copy: the bytes [*data, *data + *size) stay where
  // the decoding left them (the file image or the decoder's buffers), valid
  // until the decoder's next call.
  decoded decode_in_place(const doc &d, const obj_rec &o, size_t budget, const u8 **data,
                          size_t *size, size_t *spent);

 private:
  decoded run(const doc &d, const obj_rec &o, size_t budget, const u8 **data, size_t *size,
              size_t *spent);

  inflate_buffer inflater_;
  std::vector<filter_step> chain_;
  std::vector<u8> plain_, next_;
};


}  // namespace lt

#endif
