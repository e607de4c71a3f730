// SPDX-License-Identifier: MIT
// The output stage's interface: an output is planned in full, then its
// pieces are sent to a sink as they are made: to a file (file_out.cpp), to
// standard output, or into memory. The outputs themselves: the unchanged
// copy (here), the full rewrite (full_rewrite.h) and the appended update
// (appended_update.h).
#ifndef LEAFTURN_OUTPUT_H
#define LEAFTURN_OUTPUT_H

#include <cstdio>
#include <string>

#include "load/loader.h"

namespace lt {

// Where the pieces of an output go, in order: p[0, n), which stand at offset
// file_off of the input file when file_off >= 0 (a sink may copy those from
// the file itself). False stops the output.
class piece_sink {
 public:
  virtual bool put(const u8 *p, size_t n, i32 file_off) = 0;

 protected:
  ~piece_sink() = default;
};

// An output planned in full: whatever could refuse it was checked when it
// was planned, so sending it to a sink fails only when the sink does. Its
// pieces are made as they are sent, mostly the loaded bytes themselves, so
// no copy of the output is held in memory; the document it was planned
// from must stay loaded and unchanged until it has been sent.
class output {
 public:
  virtual ~output() = default;
  // The exact size, or an upper bound of it.
  virtual size_t size() const = 0;
  // Sends every piece in order; false when the sink refused one.
  virtual bool emit(piece_sink &sink) const = 0;
  // The document whose bytes the pieces with a file offset are.
  virtual const doc *source() const = 0;
};

// The loaded file exactly as it was read.
class copy_output final : public output {
 public:
  explicit copy_output(const doc &d) : d_(d) {}
  size_t size() const override { return static_cast<size_t>(d_.len); }
  bool emit(piece_sink &sink) const override;
  const doc *source() const override { return &d_; }

 private:
  const doc &d_;
};

// Writes an output to path; an existing regular file is replaced
// atomically. True on success; false with the message set.
bool write_output(const char *path, const output &out, failure &err);
// Writes an output to an open stream (standard output, say), which stays
// open; messages name it `shown`. True on success; false with the message
// set.
bool write_output_to(std::FILE *f, const output &out, const char *shown, failure &err);
// The output's bytes in memory.
std::string output_bytes(const output &out);

}  // namespace lt

#endif
