// SPDX-License-Identifier: MIT
// What a stream dictionary says of its data's encoding: the filters of
// /Filter, by their names in full or abbreviated as inline images write
// them (one table, for every reader: the loader's object streams, the
// decoders of content, the update's cross-reference streams), each with
// its decode parameters from /DecodeParms.
#ifndef LEAFTURN_STREAM_FILTERS_H
#define LEAFTURN_STREAM_FILTERS_H

#include <vector>

#include "syntax/value.h"

namespace lt {

enum class filter_kind : u8 {
  flate,       // FlateDecode, Fl
  lzw,         // LZWDecode, LZW
  ascii_hex,   // ASCIIHexDecode, AHx
  ascii85,     // ASCII85Decode, A85
  run_length,  // RunLengthDecode, RL
  ccitt_fax,   // CCITTFaxDecode, CCF
  dct,         // DCTDecode, DCT
  jbig2,       // JBIG2Decode
  jpx,         // JPXDecode
  crypt,       // Crypt
  unknown,     // any other name
};

// The filter a name stands for ("FlateDecode" and "Fl" both give flate).
filter_kind filter_named(const std::string &name);
// Its full name ("FlateDecode"); "" for unknown.
const char *filter_full_name(filter_kind k);

// A filter's decode parameters. Each holds its default when the entry is
// absent or null, and -1 when the entry holds something else than a
// non-negative integer: a strict reader refuses such a value, a lenient one
// takes the default (lenient()).
struct decode_parms {
  int predictor = 1, colors = 1, bpc = 8, columns = 1;
  int early_change = 1;  // LZW: code widths grow one code early

  decode_parms lenient() const;
};

// The decode parameters that a dictionary holds (from its "<<"), as
// decode_parms reads them: Predictor, Colors, BitsPerComponent, Columns,
// EarlyChange (the last of each standing).
decode_parms read_decode_parms(const span &dict);

struct filter_step {
  filter_kind kind = filter_kind::unknown;
  decode_parms parms;
};

// The filters of the stream dictionary opened by the "<<" at dict.start,
// in the order they decode, into *chain (empty: the data is stored as it
// is). /Filter is a name or an array of names; /DecodeParms a dictionary
// (for a chain of one filter) or an array with one dictionary (or null)
// per filter; each may stand directly or through a reference, followed
// with `source` (null: references are not followed, and such a value
// reads as missing). Null entries are absent; when an entry is repeated the
// last counts. False when the dictionary is cut, or /Filter or an array of
// /DecodeParms cannot be read.
bool read_filter_chain(const doc &d, const span &dict, std::vector<filter_step> *chain,
                       value_source source = live_value);

}  // namespace lt

#endif
