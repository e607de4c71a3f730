// Shared records and helpers of the library's internals: the document and
// object records, the byte-scanning primitives, the loader stages and the
// error text. Nothing here is exported from the shared library.
#ifndef LEAFTURN_INTERNAL_H
#define LEAFTURN_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lt {

using i32 = std::int32_t;
using u8 = std::uint8_t;

// Largest object number the loader keeps.
constexpr i32 k_max_obj_num = 0x7FFFFF;
// Largest input file: offsets are signed 32-bit values.
constexpr long long k_max_file_size = 0x7FFFFFFFLL;

// ---- error text -----------------------------------------------------------

// Formats a message into the process-wide last-error text (at most 1023
// characters). %ld arguments are passed as long.
void set_error(const char *fmt, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void clear_error();
const char *error_text();

// ---- records --------------------------------------------------------------

struct obj_rec {
  i32 num = 0;
  i32 gen = 0;
  i32 hdr_off = -1;
  i32 dict_off = -1;
  i32 stream_kw_off = -1;
  i32 data_off = -1;
  i32 data_end = -1;
  i32 endobj_off = -1;
  const u8 *body = nullptr;
  i32 body_len = 0;
  std::int8_t is_stream = 0;
  std::int8_t in_objstm = 0;
};

struct page_ref {
  i32 num;
  i32 inherited_rotate;
};

struct sx_rng {
  i32 start;
  i32 end;
};

// Orders stream ranges by start only; equal starts compare equal.
int sx_rng_cmp(const sx_rng &a, const sx_rng &b);

// Heap blocks owned by a document (decoded object streams).
class arena {
 public:
  u8 *alloc(std::size_t size);  // throws std::bad_alloc when memory is short
  u8 *adopt(std::unique_ptr<u8[]> block);
  std::size_t count() const { return blocks_.size(); }
  void clear() { blocks_.clear(); }

 private:
  std::vector<std::unique_ptr<u8[]>> blocks_;
};

struct scan_cache;  // memoised searches over one file image (scan_index.cpp)
struct top_cache;   // memoised searches at a dictionary's own level (top_level.cpp)
struct scan_cache_free {
  void operator()(scan_cache *c) const;
};
struct top_cache_free {
  void operator()(top_cache *c) const;
};

// Where a document's bytes came from, to tell later whether the file still
// holds them.
struct file_identity {
  bool known = false;
  std::string path;
  unsigned long long dev = 0, ino = 0;
  long long size = 0, mtime_ns = 0;
};

struct doc {
  doc() = default;
  doc(const doc &) = delete;
  doc &operator=(const doc &) = delete;

  std::unique_ptr<u8[]> image;  // owns the file bytes
  const u8 *data = nullptr;
  i32 len = 0;
  i32 trailer_root = -1;
  i32 trailer_info = -1;
  i32 encrypted = 0;
  std::vector<obj_rec> objs;
  lt::arena arena;
  std::vector<page_ref> pages;
  i32 root_num = -1;
  i32 info_num = -1;
  i32 max_num = 0;

  // After live selection: record index of each object number, -1 if none.
  std::vector<i32> by_num;
  std::unique_ptr<scan_cache, scan_cache_free> cache;
  std::unique_ptr<top_cache, top_cache_free> top;
  file_identity source;

  // First record with this number, or null.
  const obj_rec *find(i32 num) const;
  i32 find_index(i32 num) const;
};

// Loads a file: intake, trailer chain, object scan, object streams, live
// selection, catalog and page tree. 0 on success; -1 with the message set
// and the record emptied.
int doc_load(const char *path, doc &d);
// The same stages on bytes already in memory (messages name "(memory)").
int doc_load_bytes(const u8 *bytes, i32 len, doc &d);
void doc_free(doc &d);

// Loader stages on an image already in d.data / d.len.
void load_trailers(doc &d);
void scan_objects(doc &d);
void expand_object_streams(doc &d);
void select_live(doc &d);
int load_page_tree(doc &d, const char *path);

// ---- byte classes ---------------------------------------------------------

inline bool is_pdf_ws(u8 c) {
  return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}
inline bool is_text_ws(u8 c) { return (c >= 9 && c <= 13) || c == 32; }
inline bool is_digit(u8 c) { return c >= '0' && c <= '9'; }
inline bool is_alnum(u8 c) {
  return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool is_name_cont(u8 c) {
  return is_alnum(c) || c == '+' || c == '-' || c == '_';
}
inline i32 skip_pdf_ws(const u8 *b, i32 len, i32 p) {
  while (p < len && is_pdf_ws(b[p])) ++p;
  return p;
}

// ---- scanning primitives --------------------------------------------------

i32 find_kw(const u8 *b, i32 len, i32 start, const char *kw);
int kw_at(const u8 *b, i32 p, i32 len, const char *kw);
i32 find_name(const u8 *b, i32 len, i32 start, i32 end, const char *name);
i32 find_name_top(const u8 *b, i32 len, i32 start, i32 end, const char *name);
i32 find_dict_close(const u8 *b, i32 start, i32 end);
// The ')' that closes the literal string opened by the '(' at i (nesting,
// backslash escapes), or -1 when it is not closed before limit.
i32 literal_string_close(const u8 *b, i32 i, i32 limit);

// The scan of find_name_top, resumable: next() returns the '/' of the next
// match at the outermost level (depth 0 or 1) and goes on from the byte after
// it with the same nesting depth; -1 when the limit is reached.
struct top_scan {
  const u8 *b;
  i32 limit;
  i32 i;
  int depth;
  i32 next(const char *name);
};
i32 dict_stream_kw(const u8 *b, i32 len, i32 d);
i32 parse_int_at(const u8 *b, i32 len, i32 *cursor);

// Dictionary range of a record: [*start, *limit) within *buf. False when the
// record has none.
bool dict_range(const doc &d, const obj_rec &o, const u8 **buf, i32 *start,
                i32 *limit);
int obj_type(const doc &d, const obj_rec &o);

// obj_type and the offset (in the record's own buffer) of the first /Rotate
// at its dictionary's own level, or -1; memoised for records of d.objs.
int record_type(const doc &d, const obj_rec &o);
i32 own_rotate_name(const doc &d, const obj_rec &o);
void drop_top_cache(doc &d);
extern i32 g_plain_scan_max;  // ranges this short skip the memo

// ---- memoised searches over the whole image (same results as above) -------

// Positions of every whole-word keyword, ascending.
const std::vector<i32> &keyword_positions(const doc &d, const char *kw);
// First whole-word occurrence at or after start, or -1.
i32 next_keyword(const doc &d, const char *kw, i32 start);
// Last whole-word occurrence in the image, or -1.
i32 last_keyword(const doc &d, const char *kw);
// First /name at or after start whose name ends at or before limit, or -1.
i32 next_name(const doc &d, const char *name, i32 start, i32 limit);
void drop_scan_cache(doc &d);
// The ')' closing the literal string opened at offset x of the image, or -1.
i32 image_string_close(const doc &d, i32 x);
// find_dict_close(data, start, end) for a "<<" at start.
i32 dict_close(const doc &d, i32 start, i32 end);
// dict_stream_kw(data, len, start) for a "<<" at start.
i32 dict_stream(const doc &d, i32 start);

bool is_objstm_container(const doc &d, const obj_rec &r);

// ---- rotation values --------------------------------------------------------

// An object's own /Rotate at its dictionary's own level, reduced into
// 0..359; -1 when it has none that counts.
i32 obj_rotate_own(const doc &d, const obj_rec &o);
i32 effective_rotation(const doc &d, const page_ref &p);
inline i32 normalise_rotation(long long v) {
  long long r = v % 360;
  return static_cast<i32>(r < 0 ? r + 360 : r);
}

// ---- rewriting and writing ---------------------------------------------------

// A page dictionary with its own /Rotate entry taken out and "/Rotate r "
// placed before the closing ">>". The text carries its length, so a zero
// byte inside a string survives. Null when the body cannot be rewritten.
std::string rebuild_dict_with_rotate(const u8 *b, i32 len, i32 start, i32 end,
                                     i32 rotation);

// A planned rewrite: the bytes [start, close) less the old entry
// [cut_from, cut_to), then "/Rotate r >>", then [close + 2, end).
struct dict_edit {
  const u8 *b = nullptr;
  i32 start = 0, close = 0, end = 0, cut_from = -1, cut_to = -1;
  i32 rotation = 0;
  size_t size() const;
  std::string text() const;
};
constexpr i32 k_search = -2;  // name position not known: search for it
// close: the dictionary's closing ">>" (-1: none); name_pos: the first own
// /Rotate in [start, end), -1 for none.
dict_edit plan_dict_edit(const u8 *b, i32 len, i32 start, i32 end, i32 close, i32 name_pos,
                         i32 rotation);
// False when the body cannot be rewritten (shorter than 2 bytes, no ">>").
bool plan_body_edit(const u8 *body, i32 len, i32 name_pos, i32 rotation, dict_edit *edit);
std::unique_ptr<std::string> rebuild_body_with_rotate(const u8 *body, i32 len,
                                                      i32 rotation);

// An assembled output file: pieces in order, each either generated text
// (ptr null, at `off` in `text`) or bytes of the loaded document in memory
// (then `off` >= 0 says the same bytes stand at that offset of the input
// file). Output offsets fit 32 bits, so every piece does too.
struct out_piece {
  const u8 *ptr;
  std::uint32_t len;
  i32 off;  // ptr null: offset in the text; else the offset in the input file, or -1
};
struct output {
  std::string text;
  std::vector<out_piece> pieces;
  size_t size = 0;
  std::string bytes() const;  // all pieces joined
};

// Writes the loaded document with the chosen pages turned. pages null and
// count 0 selects every page. 1 on success; 0 with the message set.
int rotate_doc(const doc &d, const char *out_path, const int *pages, int count,
               int degrees);
// The output of rotate_doc, assembled in memory without writing it (a null
// output path is not checked). 1 on success; 0 with the message set.
int build_output(const doc &d, const int *pages, int count, int degrees, output *out);

// Writes an output to path; an existing regular file is replaced
// atomically. Bytes that the input file still holds unchanged may be copied
// from it by the system. 1 on success; 0 with the message set.
int write_output(const char *path, const output &out, const file_identity &input);

}  // namespace lt

#endif
