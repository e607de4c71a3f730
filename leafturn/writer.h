// SPDX-License-Identifier: MIT
// Output: the rewrite of a page dictionary, the planned outputs, and the
// sinks that write them to a file or to memory.
#ifndef LEAFTURN_WRITER_H
#define LEAFTURN_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "doc.h"
#include "lex.h"
#include "loader.h"
#include "rotation.h"
#include "xref.h"

namespace lt {

// ---- page dictionary rewriting (rewrite.cpp) ---------------------------------

// A planned rewrite: the bytes [start, close) less the old entry
// [cut_from, cut_to), then "/Rotate r >>", then [close + 2, end).
struct dict_edit {
  const u8 *b = nullptr;
  i32 start = 0, close = 0, end = 0, cut_from = -1, cut_to = -1;
  i32 rotation = 0;
  // The new entry "/Rotate r >>" into buf (room for 40 bytes); its length.
  int write_entry(char *buf) const;
  // The rewrite in order: kept(from, to) for each range of b that stays
  // (from >= to: nothing), and the new entry among them as entry(text, n).
  template <typename Kept, typename Entry>
  void each_part(Kept kept, Entry entry) const {
    if (cut_from < 0 || cut_from >= close || cut_to <= start) {
      kept(start, close);
    } else {
      kept(start, cut_from);
      kept(cut_to, close);
    }
    char buf[40];
    entry(buf, static_cast<size_t>(write_entry(buf)));
    if (close + 2 < end) kept(close + 2, end);
  }
  size_t size() const {
    size_t n = 0;
    each_part([&](i32 a, i32 z) { n += z > a ? static_cast<size_t>(z - a) : 0; },
              [&](const char *, size_t k) { n += k; });
    return n;
  }
};
// A direct object's dictionary [start, end) with its closing ">>" at close
// (-1: none) and its first own /Rotate at name_pos (-1: none).
dict_edit plan_dict_edit(const u8 *b, i32 len, i32 start, i32 end, i32 close, i32 name_pos,
                         i32 rotation);
// Where an object stream member is written from when it becomes a plain
// object: past the comments that some writers put before a member (a label
// naming it), which would stand between "obj" and the dictionary, where
// the object scan does not look past them; 0 when none comes first.
i32 member_start(const u8 *body, i32 len);
// An object stream member's body, its first own /Rotate at name_pos (-1:
// none). False when the body cannot be rewritten (shorter than 2 bytes, no
// ">>").
bool plan_body_edit(const u8 *body, i32 len, i32 name_pos, i32 rotation, dict_edit *edit);

// ---- outputs (writer.cpp) and where they go (file_out.cpp) -------------------

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

// The full rewrite: "%PDF-1.4", every live object in ascending number (none
// in object streams), one classic cross-reference table and the trailer;
// page objects with a planned rotation carry it as their own /Rotate.
class rewrite_output final : public output {
 public:
  // Plans the rewrite of doc with the rotation per object number (-1:
  // unchanged; turn_plan::targets). False with the message set when it
  // cannot be made.
  bool plan(document &loaded, std::vector<i32> target, failure &err);
  size_t size() const override { return size_; }
  bool emit(piece_sink &sink) const override;
  const doc *source() const override { return doc_ ? &doc_->d : nullptr; }

 private:
  document *doc_ = nullptr;
  std::vector<i32> target_;
  // The rewritten bodies of object stream members, by object number in
  // ascending order: planned first, since only they can be refused.
  std::vector<std::pair<i32, dict_edit>> member_edits_;
  size_t size_ = 0;
};

// An appended update: the input's bytes unchanged, then one new revision
// holding each page object with a planned rotation (same number and
// generation, a plain object even when the old copy sat in an object
// stream) and one cross-reference section in the form of the newest one (a
// table after a table or a hybrid file's table, an uncompressed stream after
// a stream) whose trailer repeats the previous one's entries, with /Size
// raised and /Prev naming the previous section. Signatures, earlier
// revisions and compression stay as they were.
class update_output final : public output {
 public:
  // Plans the update; false with the message set when the cross-reference
  // data cannot be read, or does not name the copies the loader uses of the
  // catalog, the /Pages nodes above a turned page and the turned pages.
  // `shown` names the input in messages.
  // `instead` ends the message: what to do instead.
  bool plan(document &loaded, std::vector<i32> target, const char *shown, failure &err,
            const char *instead = "write a full copy instead");
  size_t size() const override { return size_; }
  bool emit(piece_sink &sink) const override;
  const doc *source() const override { return loaded_ ? &loaded_->d : nullptr; }
  // The object numbers the update writes, ascending.
  const std::vector<i32> &written() const { return written_; }

 private:
  document *loaded_ = nullptr;
  std::vector<i32> target_;
  std::vector<std::pair<i32, dict_edit>> member_edits_;
  std::vector<i32> written_;
  i32 prev_ = -1, size_before_ = 0, dict_open_ = -1, dict_close_ = -1;
  bool stream_form_ = false;
  size_t size_ = 0;
};

// Whether an update can be appended to the loaded document (whatever pages
// turn): empty, or why not.
std::string update_refusal(document &loaded);

// Writes an output to path; an existing regular file is replaced
// atomically. 1 on success; 0 with the message set.
int write_output(const char *path, const output &out, failure &err);
// Writes an output to an open stream (standard output, say), which stays
// open; messages name it `shown`. 1 on success; 0 with the message set.
int write_output_to(std::FILE *f, const output &out, const char *shown, failure &err);
// The output's bytes in memory.
std::string output_bytes(const output &out);

// The rotating exports' work: the listed pages (every page when pages is
// null) turned by degrees and the full rewrite written to out_path. 1 on
// success; 0 with the message set.
int rotate_doc(document &loaded, const char *out_path, const int *pages, int count, int degrees,
               failure &err);

}  // namespace lt

#endif
