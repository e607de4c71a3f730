// SPDX-License-Identifier: MIT
// Object streams: each direct stream whose dictionary names /ObjStm is
// decoded (Flate when its filters name it, else taken as it stands), its
// header of object numbers and offsets is read, and one record per
// contained object is appended to the index, pointing into the decoded bytes
// that the document's arena owns. A stream or an entry that cannot be read is
// skipped; running out of memory fails the load instead.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "inflate_buffer.h"
#include "load/loader.h"
#include "decode/security.h"
#include "syntax/stream_filters.h"

namespace lt {

namespace {

constexpr long long k_max_objstm_data = 1LL << 28;
constexpr long long k_max_retry_size = 0xFFFFFFFLL;
constexpr long long k_max_decoded = 1LL << 30;
constexpr i32 k_max_objstm_count = 100000;
constexpr i32 k_max_objstm_entry = 0x100000;
// The scratch buffer: streams that decode to more are measured first (and
// bombs cost no more than that).
constexpr long long k_scratch_size = 1LL << 20;

// The number after the first /key in [from, limit) that passes `ok`.
template <typename Ok>
i32 dict_number(const doc &d, scan_ctx &lex, pdf_name key, i32 from, i32 limit, Ok ok) {
  return number_after_key(
      d.data, d.len, text_of(key), from, /*skip=*/0,
      [&](i32 at) { return lex.next_name(key, at, limit); }, ok);
}

// The most a stream of n bytes may decode to: the largest of the buffer
// sizes eight times the data plus 64 bytes, four times that, and so on
// while the last was at most k_max_retry_size, that does not exceed the
// decoder's limit; 0 when none does. A stream is read when its output fits
// such a buffer.
long long decoded_cap(long long n) {
  long long largest = 0;
  for (long long size = n * 8 + 64;; size *= 4) {
    if (size <= k_max_decoded) largest = size;
    if (size > k_max_retry_size) return largest;
  }
}

// Decodes the stream's data into a block owned by the arena. Null when the
// stream is skipped.
const u8 *decode_stream(doc &d, const obj_rec &r, bool flate, inflate_buffer &inflater,
                        i32 *decoded_len) {
  long long n = static_cast<long long>(r.data_end) - r.data_off;
  const u8 *data = d.data + r.data_off;
  // An encrypted file's object streams are decrypted first.
  std::vector<u8> plain;
  if (d.sec.present && d.sec.streams != crypt_method::identity) {
    if (!decrypt_bytes(d.sec, d.sec.streams, r.num, r.gen, data, static_cast<size_t>(n), &plain)) {
      if (d.sec.damaged_stream < 0) d.sec.damaged_stream = r.num;
      return nullptr;
    }
    data = plain.data();
    n = static_cast<long long>(plain.size());
  }
  if (!flate) {
    u8 *block = d.arena.alloc(static_cast<size_t>(n));
    if (n > 0) std::memcpy(block, data, static_cast<size_t>(n));
    *decoded_len = static_cast<i32>(n);
    return block;
  }
  const long long largest = decoded_cap(n);
  if (largest == 0) return nullptr;
  // Decoded once into the kept buffer and copied out when it fits there;
  // otherwise that decode measured it, and it is decoded again at its size.
  const size_t keep = static_cast<size_t>(std::min(largest, k_scratch_size));
  if (!inflater.decode(data, static_cast<size_t>(n), keep, static_cast<size_t>(largest))) return nullptr;
  *decoded_len = static_cast<i32>(inflater.size());
  if (inflater.own_block()) return d.arena.adopt(inflater.take_block());
  u8 *block = d.arena.alloc(inflater.size());
  if (inflater.size()) std::memcpy(block, inflater.data(), inflater.size());
  return block;
}

void expand(doc &d, scan_ctx &lex, const obj_rec &r, inflate_buffer &inflater) {
  const long long n = static_cast<long long>(r.data_end) - r.data_off;
  if (n < 0 || n > k_max_objstm_data) return;
  const span dict = stream_dict(d, r);
  const i32 limit = dict.limit;
  // Flate when the filters name it, by either name; else taken as it
  // stands. Objects are not chosen yet: references are not followed.
  std::vector<filter_step> chain;
  bool flate = false;
  if (read_filter_chain(d, dict, &chain, /*source=*/nullptr))
    for (const filter_step &f : chain) flate |= f.kind == filter_kind::flate;
  i32 decoded_len = 0;
  const u8 *block = decode_stream(d, r, flate, inflater, &decoded_len);
  if (!block) return;

  const i32 count = dict_number(d, lex, pdf_name::N, r.dict_off, limit, [](i32 v) { return v > 0; });
  const i32 first = dict_number(d, lex, pdf_name::First, r.dict_off, limit, [](i32 v) { return v >= 0; });
  if (count < 1 || count > k_max_objstm_count || first < 0 || first > decoded_len) return;

  std::vector<i32> nums(static_cast<size_t>(count)), offs(static_cast<size_t>(count));
  i32 cursor = 0;
  for (size_t k = 0; k < nums.size(); ++k) {
    nums[k] = parse_signed_at(block, decoded_len, &cursor);
    if (nums[k] < 0) return;
    offs[k] = parse_signed_at(block, decoded_len, &cursor);
    if (offs[k] < 0) return;
  }
  for (size_t k = 0; k < nums.size(); ++k) {
    const long long start = static_cast<long long>(first) + offs[k];
    const long long len = k + 1 < nums.size() ? static_cast<long long>(offs[k + 1]) - offs[k]
                                              : decoded_len - start;
    if (nums[k] <= 0 || len < 1 || len > k_max_objstm_entry) continue;
    // An entry must lie wholly inside the decoded bytes.
    if (start + len > decoded_len) continue;
    obj_rec c;
    c.num = nums[k];
    c.gen = 0;
    c.body = block + start;
    c.body_len = static_cast<i32>(len);
    // In an encrypted file a member's strings are plain text, encrypted
    // only with the stream: they are encrypted here for the member's own
    // number, so that the member reads, and is written, as a plain object.
    std::string enc;
    if (d.sec.present && encrypt_strings(d.sec, c.num, 0, c.body, static_cast<size_t>(len), &enc)) {
      u8 *own = d.arena.alloc(enc.size());
      std::memcpy(own, enc.data(), enc.size());
      c.body = own;
      c.body_len = static_cast<i32>(enc.size());
    }
    d.objs.push_back(c);
  }
}

// A direct stream whose dictionary names /ObjStm.
bool is_objstm_container(const doc &d, scan_ctx &lex, const obj_rec &r) {
  const span dict = stream_dict(d, r);
  return dict && lex.next_name(pdf_name::ObjStm, dict.start, dict.limit) >= 0;
}

}  // namespace

std::vector<i32> expand_object_streams(doc &d, scan_ctx &lex) {
  // Records appended here are compressed and never examined again, so an
  // object stream inside an object stream is not expanded.
  const size_t direct = d.objs.size();
  // Room for the members the containers declare, reserved once (at most
  // four times the direct records, against declarations that lie).
  std::vector<i32> containers;
  size_t declared = 0;
  for (size_t k = 0; k < direct; ++k) {
    const obj_rec &r = d.objs[k];
    if (!is_objstm_container(d, lex, r)) continue;
    containers.push_back(static_cast<i32>(k));
    const i32 limit = stream_dict(d, r).limit;
    const i32 count = dict_number(d, lex, pdf_name::N, r.dict_off, limit, [](i32 v) { return v > 0; });
    if (count > 0 && count <= k_max_objstm_count) declared += static_cast<size_t>(count);
  }
  d.objs.reserve(direct + std::min(declared, 4 * direct + 1024));
  inflate_buffer inflater;
  if (!containers.empty()) d.sec.object_streams = true;
  // Without the key an encrypted file's object streams cannot be read (nor
  // their members' strings encrypted when they are written).
  if (d.sec.present && !d.sec.key_known &&
      (d.sec.streams != crypt_method::identity || d.sec.strings != crypt_method::identity))
    return containers;
  for (const i32 k : containers) {
    const obj_rec r = d.objs[static_cast<size_t>(k)];  // a copy: expanding may grow the vector
    expand(d, lex, r, inflater);
  }
  return containers;
}

}  // namespace lt
