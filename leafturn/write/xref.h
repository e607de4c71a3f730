// SPDX-License-Identifier: MIT
// The cross-reference data read as readers read it, for appending an
// update: from the last "startxref", tables and cross-reference streams
// (decoded with the library's own inflate and the PNG predictors), along
// /Prev and /XRefStm. The loader never locates objects this way; an update
// is appended only when this data names the very objects the loader uses.
#ifndef LEAFTURN_XREF_H
#define LEAFTURN_XREF_H

#include <string>
#include <vector>

#include "load/loader.h"

namespace lt {

struct xref_entry {
  enum kind : u8 { none, free_entry, in_file, in_stream } type = none;
  i32 where = 0;         // in_file: the offset in the file; in_stream: the object stream's number
  i32 gen_or_index = 0;  // in_file: the generation; in_stream: the index in it
};

struct xref_chain {
  bool stream_form = false;  // the newest section is a cross-reference stream
  i32 newest = -1;           // its offset: the last "startxref" value
  i32 size = 0;              // its /Size
  // What the chain's offsets count from: 0, or the header's offset when
  // bytes stand before it and the sections count from there.
  i32 base = 0;
  // The newest section's dictionary: the trailer after a table, or the
  // stream's own; [open, close) from "<<" to past ">>".
  i32 dict_open = -1, dict_close = -1;
  // The newest entry of each object number (none past the end).
  std::vector<xref_entry> entries;
  const xref_entry &entry(i32 num) const;
};

// Reads the chain; false with *why saying what cannot be read (for the
// message of a refused update).
bool read_xref_chain(const doc &d, xref_chain *out, std::string *why);

}  // namespace lt

#endif
