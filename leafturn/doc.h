// SPDX-License-Identifier: MIT
// The document record: the file image, the index of its objects, the pages
// in order, and the failure report that travels with one call. Every stage
// of the loader fills part of it; the writer only reads it.
#ifndef LEAFTURN_DOC_H
#define LEAFTURN_DOC_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/os_file.h"

namespace lt {

using i32 = std::int32_t;
using u8 = std::uint8_t;

// Largest object number the loader keeps.
constexpr i32 k_max_obj_num = 0x7FFFFF;
// Largest input file: offsets are signed 32-bit values.
constexpr long long k_max_file_size = 0x7FFFFFFFLL;
// obj_rec::dict_close before the loader looked for the close.
constexpr i32 k_close_unknown = -2;
// Longest message, as the last-error text holds it.
constexpr std::size_t k_max_message = 1023;

// How the library's calls report their results, one convention:
//  - a call that can fail returns bool: true when it did what it says;
//    false with the reason in the caller's `failure` (the calls that end a
//    load, plan or write: their one message, as the front ends show it), or
//    in a reason out-parameter (`std::string *why`, or `const char **why`
//    for fixed texts) where the caller words the message itself (a
//    cross-reference chain that cannot be read, predictor rows, an update
//    that cannot be appended);
//  - a search returns a position, or -1 for "nothing found" (the lexical
//    layer's rule);
//  - a tolerant stage, which skips what it cannot read, returns nothing;
//    what it found wrong that a later stage may refuse stays in the record
//    it fills (encryption::problem, read by the refusals);
//  - decoding stream data returns `decoded` (filters.h), whose outcomes
//    are not one failure: over the budget ends the reading, unreadable
//    skips one stream.
// The exported C functions and the front ends keep their own codes; file
// intake and the load and write entry points still return 0 or -1 (and 1
// or 0) until those change with the front ends.

// What kind of failure it is, for front ends that act on it (the page asks
// for a password) rather than only show its message.
enum class failure_kind : std::uint8_t { general, password_needed, password_wrong };

// Why one call failed. Each call owns one; only the exported functions copy
// its text into the process-wide last-error text.
class failure {
 public:
  // Formats the message (at most k_max_message bytes); %ld takes a long.
  void set(const char *fmt, ...)
#if defined(__GNUC__) || defined(__clang__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  const char *text() const { return text_; }
  bool empty() const { return text_[0] == '\0'; }
  void clear() {
    text_[0] = '\0';
    kind_ = failure_kind::general;
  }
  // set() makes a failure general; a password failure says so after it.
  failure_kind kind() const { return kind_; }
  void set_kind(failure_kind k) { kind_ = k; }

 private:
  char text_[k_max_message + 1] = "";
  failure_kind kind_ = failure_kind::general;
};

// One object of the file: where its parts stand in the image, or, for an
// object taken out of a compressed object stream, its own bytes.
struct obj_rec {
  i32 num = 0;            // object number, greater than 0
  i32 gen = 0;            // generation (0 inside an object stream)
  i32 hdr_off = -1;       // first digit of "N G obj"; -1 inside an object stream
  i32 dict_off = -1;      // the "<<" opening its dictionary, -1 if none
  i32 stream_kw_off = -1; // the "stream" keyword after the dictionary, -1 if none
  i32 data_off = -1;      // first byte of stream data, -1 if no stream
  i32 data_end = -1;      // just past the stream data, -1 if no stream
  i32 endobj_off = -1;    // the "endobj" that ends it, -1 if none was found
  i32 dict_close = k_close_unknown;  // the "<<" at dict_off closed over the whole
                          // image: the first '>' of its ">>", -1 never
  i32 body_len = 0;          // inside an object stream: bytes at body
  const u8 *body = nullptr;  // inside an object stream: its bytes (an arena block)

  bool is_stream() const { return stream_kw_off >= 0; }
  bool in_objstm() const { return body != nullptr; }
};

// How a document is encrypted, and what its password gave (security.h
// reads it). Strings and stream data are encrypted, each with a key made
// from the file key and the object's number and generation; dictionaries,
// names and numbers never are.
enum class crypt_method : u8 { identity, rc4, aes128, aes256 };
struct encryption {
  bool present = false;          // the trailer names /Encrypt
  std::string handler;           // its /Filter ("Standard" is the one read)
  int v = 0, r = 0;              // /V and /R
  int key_bits = 0;              // the file key's length
  std::uint32_t p = 0;           // /P, the permission bits
  bool encrypt_metadata = true;  // /EncryptMetadata
  crypt_method strings = crypt_method::identity, streams = crypt_method::identity;
  bool key_known = false;        // a password opened it: key holds the file key
  bool owner = false;            // the owner password opened it
  bool password_needed = false;  // the empty user password does not open it
  std::vector<u8> key;
  // Why the encryption cannot be read, as the refusal says it ("" when it
  // can): a handler not read, a damaged dictionary, a wrong password.
  std::string problem;
  bool wrong_password = false;   // the problem is that the password did not match
  bool object_streams = false;   // the file has object streams
  i32 damaged_stream = -1;       // an object stream whose data did not decrypt
};

// One page: its object and the rotation it inherits from the page tree.
struct page_ref {
  i32 num;
  i32 inherited_rotate;  // 0..359
  i32 parent;            // the /Pages node that listed it (index in doc.nodes), -1 for none
};

// A /Pages node as the walk of the page tree met it; a node comes after its
// parent.
struct tree_node {
  i32 num;     // its object number
  i32 parent;  // index in doc.nodes, -1 for the root
};

// The byte range [start, end) of one stream's data.
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
  void clear() { blocks_.clear(); }

 private:
  std::vector<std::unique_ptr<u8[]>> blocks_;
};

// The file image: one owned block, read as a plain byte pointer.
class image_bytes {
 public:
  image_bytes() = default;
  ~image_bytes() { reset(); }
  image_bytes(const image_bytes &) = delete;
  image_bytes &operator=(const image_bytes &) = delete;

  void reset();
  void adopt(std::unique_ptr<u8[]> bytes) {
    reset();
    owned_ = std::move(bytes);
    p_ = owned_.get();
  }
  // A new uninitialised block of n bytes (n > 0) to read into; null when
  // memory is short. Large blocks come from the system directly, in huge
  // pages where it allows them (doc.cpp says what that buys).
  u8 *allocate(size_t n);
  const u8 *get() const { return p_; }
  operator const u8 *() const { return p_; }

 private:
  u8 *p_ = nullptr;
  std::unique_ptr<u8[]> owned_;
  void *mapped_ = nullptr;  // a block from the system, of mapped_size_ bytes
  size_t mapped_size_ = 0;
};

struct doc {
  doc() = default;
  doc(const doc &) = delete;
  doc &operator=(const doc &) = delete;

  image_bytes data;        // the whole input file
  i32 len = 0;             // its size in bytes
  std::string source_path; // the file it was read from (empty: bytes in memory)
  file_identity source_id; // what identified that file before it was read
  i32 trailer_root = -1;   // /Root of the trailer chain, -1 if none
  i32 trailer_info = -1;   // /Info of the trailer chain, -1 if none
  i32 trailer_id_from = -1;  // the file identifier "[<..><..>]" of the trailer
  i32 trailer_id_to = -1;    // chain: its bytes [from, to), -1 if none
  i32 encrypted = 0;       // 1 when any trailer names /Encrypt
  // The trailer's /Encrypt: a reference (its number and generation) or a
  // direct dictionary (its bytes [from, to)); -1 when none was read.
  i32 encrypt_num = -1, encrypt_gen = 0;
  i32 encrypt_from = -1, encrypt_to = -1;
  lt::encryption sec;      // what /Encrypt says, when the load reads it
  std::vector<obj_rec> objs;  // the index; one live record per number after selection
  lt::arena arena;         // decoded object streams
  std::vector<page_ref> pages;  // in document order
  std::vector<tree_node> nodes; // the /Pages nodes walked, parents first
  i32 root_num = -1;       // the catalog chosen
  i32 info_num = -1;       // trailer_info when such an object is live, else -1
  // After live selection: the record index of each object number, -1 if
  // none; its last slot is the largest live number.
  std::vector<i32> by_num;

  // Largest live object number (0 before selection or with none).
  i32 max_num() const { return by_num.empty() ? 0 : static_cast<i32>(by_num.size()) - 1; }
  // First record with this number, or null.
  const obj_rec *find(i32 num) const;
  i32 find_index(i32 num) const;
};

// File intake: the whole file (or a copy of the bytes) into d.data and
// d.len; false with the message set ("(memory)" names bytes).
bool intake_file(const char *path, doc &d, failure &err);
bool intake_bytes(const u8 *bytes, size_t len, doc &d, failure &err, const char *name);
// Takes over a block of len bytes (allocated with new[]).
bool intake_owned(std::unique_ptr<u8[]> bytes, size_t len, doc &d, failure &err, const char *name);
// Whether an input of `size` bytes can be read (offsets are 32-bit); false
// with the one message for a larger one, naming it `name`. Intake asks it
// of files and bytes; a front end that copies bytes asks it first.
bool input_fits(unsigned long long size, const char *name, failure &err);
// Releases everything the record holds; its fields become zero.
void doc_clear(doc &d);

}  // namespace lt

#endif
