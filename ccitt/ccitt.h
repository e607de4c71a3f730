// SPDX-License-Identifier: MIT
// A self-contained decoder for CCITT fax data (ITU-T T.4 and T.6), the
// data of PDF's CCITTFaxDecode filter, to 8-bit grey.
#ifndef LEAFTURN_CCITT_H
#define LEAFTURN_CCITT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lt {

// The PDF's /DecodeParms of CCITTFaxDecode, with their defaults.
struct ccitt_params {
  int k = 0;  // <0 Group 4, 0 Group 3 one-dimensional, >0 Group 3 mixed 1D/2D
  int columns = 1728;
  int rows = 0;  // 0: as many as the data holds
  bool encoded_byte_align = false, black_is_1 = false, end_of_line = false, end_of_block = true;
  // Damaged rows of Group 3 data with EOLs that still leave the image
  // complete (decoding recovers at the next EOL whatever the count).
  int damaged_rows_before_error = 0;
  // 1, 2 or 4: each output pixel is the mean of a reduce x reduce block
  // (grey where a block mixes black and white; blocks cut by the right or
  // bottom edge average the pixels they hold).
  int reduce = 1;
  // The most bytes it may allocate: the pixels and its working rows (eight
  // bytes a column). 0: 256 MiB.
  std::size_t budget = 0;
};

// Decodes the fax data in[0, len) to 8-bit grey, row after row, into
// *pixels (width*height bytes, at the reduced size). A sample is 0 for a 0
// bit and 255 for a 1 bit of the filter's output: with black_is_1 false
// (the default) 0 is black and 255 white; black_is_1 true swaps them, as
// the filter does (the image's /Decode then says what they mean).
//
// True when it made an image; *complete false when rows turned bad or the
// data ran out partway (damaged rows are recovered at the next EOL where
// the coding has them, the rest of the image kept; a Group 4 image stops at
// its first bad code, keeping the rows before it and what the bad row held
// before the bad code; rows never decoded are white), with *why saying
// what happened. False with *why (a static English text, e.g. "the image
// is larger than the budget", "no row decodes") when it made none; *why is
// null after a complete image.
//
// Reads Group 3 one-dimensional (modified Huffman), Group 3 mixed 1D/2D
// (the tag bit after each EOL, or at each row without them) and Group 4
// (T.6), with the extended makeup codes, fill bits, byte-aligned rows, and
// the end of the data at the RTC or EOFB, at /Rows, or where the data ends.
// Uncompressed mode is not read: a row using it is a damaged row ("the
// data uses uncompressed mode, which is not read").
//
// Never reads outside in[0, len), never allocates more than the budget,
// takes time linear in len and the image's size, keeps no state between
// calls: any number of threads may decode at once.
bool ccitt_decode_grey(const std::uint8_t *in, std::size_t len, const ccitt_params &p,
                       std::vector<std::uint8_t> *pixels, int *width, int *height,
                       bool *complete, const char **why);

// Why ccitt_decode_g4_rows stopped.
enum class ccitt_stop : std::uint8_t {
  done,          // every row decoded
  end_of_block,  // an EOFB before the last row
  data_ended,    // the data ended before the last row
  bad_code,      // a code that is not one, or a vertical mode off the row
  too_wide,      // a horizontal mode's two runs pass the end of the row
  uncompressed,  // the way into uncompressed mode, which is not read
  extension,     // another mode extension
  bad_size,      // columns not in [1, 2^28], or rows below 0
};

struct ccitt_rows {
  int rows = 0;          // rows decoded whole
  std::size_t used = 0;  // bytes read, up to the end of the last code (the EOFB counted)
  ccitt_stop stop = ccitt_stop::done;
};

// Decodes Group 4 (T.6) data in[0, len), rows after rows with no fill
// (byte_align: each row after the first starts on a byte boundary), into
// `rows` rows of `columns` pixels, 1 bit a pixel, the first in the top bit
// of the row's first byte, 1 for a black run of the coding. Row y goes to
// out + y * stride, (columns + 7) / 8 bytes, its unused low bits 0.
//
// The rows before the stop are whole; where a bad code (or an EOFB, or
// the end of the data) stops a row, that row is still written, with what
// it held up to its last good code (a black run that code began left 0);
// the rows after it are not touched. An EOFB right after the last row is
// optional; when there is one it is read and counted in `used`. A last
// code that runs past the end of the data (completed by 0 bits) counts.
//
// Allocates 8 * (columns + 4) bytes. Never reads outside in[0, len) or
// writes outside the rows; takes time linear in len and the image's size.
ccitt_rows ccitt_decode_g4_rows(const std::uint8_t *in, std::size_t len, int columns, int rows,
                                bool byte_align, std::uint8_t *out, std::size_t stride);

}  // namespace lt

#endif
