// SPDX-License-Identifier: MIT
// Rotation and output: a page's own and effective rotation, the rewrite of
// a page dictionary, the planned output file and writing it.
#ifndef LEAFTURN_WRITER_H
#define LEAFTURN_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "doc.h"
#include "lex.h"
#include "loader.h"

namespace lt {

// ---- rotation values (rotation.cpp) ------------------------------------------

// An object's own /Rotate at its dictionary's own level, reduced into
// 0..359; -1 when it has none that counts.
i32 obj_rotate_own(const doc &d, scan_ctx &lex, const obj_rec &o);
// The page's own rotation, else the one it inherits.
i32 effective_rotation(const doc &d, scan_ctx &lex, const page_ref &p);
inline i32 normalise_rotation(long long v) {
  long long r = v % 360;
  return static_cast<i32>(r < 0 ? r + 360 : r);
}

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
// An object stream member's body, its first own /Rotate at name_pos (-1:
// none). False when the body cannot be rewritten (shorter than 2 bytes, no
// ">>").
bool plan_body_edit(const u8 *body, i32 len, i32 name_pos, i32 rotation, dict_edit *edit);

// ---- the output (writer.cpp) -------------------------------------------------

// Where the pieces of an output go, in order: p[0, n), from the input file
// at offset file_off (-1: generated, or not from the input file). False
// stops the output.
class piece_sink {
 public:
  virtual bool put(const u8 *p, size_t n, i32 file_off) = 0;

 protected:
  ~piece_sink() = default;
};

// An output file. Either pieces in memory, in order (bytes of the loaded
// document: `off` >= 0 says the same bytes stand at that offset of the
// input file), or planned: the pieces are made as they are written, from a
// document that must stay loaded, unchanged and unused meanwhile.
struct out_piece {
  const u8 *ptr;
  std::uint32_t len;
  i32 off;  // the offset in the input file, or -1
};
struct output {
  std::vector<out_piece> pieces;
  size_t size = 0;  // the exact size; for a planned output, an upper bound
  document *plan = nullptr;
  std::vector<i32> target;  // planned: the rotation per object number, -1 none
  // Sends every piece to the sink; false when the sink or the plan fails
  // (the plan's failures set the message).
  bool each(piece_sink &sink, failure &err) const;
  std::string bytes() const;  // all pieces joined
};

// The output with the chosen pages turned, planned from the document (which
// must outlive it). pages null and count 0 selects every page. 1 on
// success; 0 with the message set. Whatever can fail is checked here, so
// that writing a planned output fails only when the writing does.
int build_output(document &doc, const int *pages, int count, int degrees, output *out,
                 failure &err);
// A page and the rotation it is to carry (reduced into 0..359).
struct page_turn {
  int page;  // 1-based
  i32 rotation;
};
// The output with each listed page carrying its rotation (a page listed
// twice keeps the last). 1 on success; 0 with the message set.
int build_output_turns(document &doc, const std::vector<page_turn> &turns, output *out,
                       failure &err);
// The loaded file exactly as it was read, as an output to write.
output unchanged_output(const doc &d);
// build_output, then write_output to out_path.
int rotate_doc(document &doc, const char *out_path, const int *pages, int count, int degrees,
               failure &err);

// ---- file output (file_out.cpp) ----------------------------------------------

// Writes an output to path; an existing regular file is replaced
// atomically. Bytes that the input file still holds unchanged may be copied
// from it by the system. 1 on success; 0 with the message set.
int write_output(const char *path, const output &out, const file_identity &input,
                 failure &err);

}  // namespace lt

#endif
