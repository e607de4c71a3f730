// SPDX-License-Identifier: MIT
// The cross-reference chain, read only for /Root, /Info, /ID and /Encrypt:
// from the last "startxref", either the trailer dictionaries after a classic
// table or the dictionaries of cross-reference streams along /Prev. When
// that walk finds no /Root (a damaged file), the last trailer dictionary in
// the file still gives /Info, /ID and /Encrypt. Objects are never located
// through it. Nothing here fails a load.
#include <algorithm>
#include <cstring>

#include "syntax/dict_walk.h"
#include "load/loader.h"
#include "load/xref_walk.h"

namespace lt {

namespace {

// The number after the first /key in [from, limit) that is 0 or more, or -1.
// `skip`: how many bytes past the end of the name the number is read from.
i32 key_value(const doc &d, scan_ctx &lex, pdf_name key, i32 from, i32 limit, i32 skip) {
  return number_after_key(
      d.data, d.len, text_of(key), from, skip, [&](i32 at) { return lex.next_name(key, at, limit); },
      [](i32 v) { return v >= 0; });
}

// The number after the first /key in [from, limit), whatever it is (-1 for
// none).
i32 first_key_value(const doc &d, scan_ctx &lex, pdf_name key, i32 from, i32 limit,
                    i32 skip) {
  return number_after_key(
      d.data, d.len, text_of(key), from, skip, [&](i32 at) { return lex.next_name(key, at, limit); },
      [](i32) { return true; });
}

// The file identifier after the /ID at w: "[", two strings and "]", with
// only white space between them, all before limit. Its range, or false.
bool id_value(const u8 *b, i32 w, i32 limit, i32 *from, i32 *to) {
  i32 p = skip_pdf_ws(b, limit, w + kw_len("/ID"));
  if (p >= limit || b[p] != '[') return false;
  const i32 open = p;
  for (int k = 0; k < 2; ++k) {
    p = string_end(b, skip_pdf_ws(b, limit, p + (k ? 0 : 1)), limit);
    if (p < 0) return false;
  }
  p = skip_pdf_ws(b, limit, p);
  if (p >= limit || b[p] != ']') return false;
  *from = open;
  *to = p + 1;
  return true;
}

// The first usable /ID in [from, limit) (only the first /ID when
// `first_only`) becomes the document's.
void read_id(doc &d, scan_ctx &lex, i32 from, i32 limit, bool first_only) {
  for (i32 w = lex.next_name(pdf_name::ID, from, limit); w >= 0;
       w = lex.next_name(pdf_name::ID, w + 1, limit)) {
    if (id_value(d.data, w, limit, &d.trailer_id_from, &d.trailer_id_to)) return;
    if (first_only) return;
  }
}

// The value of the first readable /Encrypt in [from, limit): a reference
// "N G R" or a direct dictionary. False when none is read.
bool read_encrypt(doc &d, scan_ctx &lex, i32 from, i32 limit) {
  const u8 *b = d.data;
  for (i32 w = lex.next_name(pdf_name::Encrypt, from, limit); w >= 0;
       w = lex.next_name(pdf_name::Encrypt, w + 1, limit)) {
    const i32 at = skip_space(b, w + kw_len("/Encrypt"), limit);
    const i32 end = value_end(b, at, limit);
    if (end < 0) continue;
    if (at + 1 < end && b[at] == '<' && b[at + 1] == '<') {
      d.encrypt_num = -1;
      d.encrypt_from = at;
      d.encrypt_to = end;
      return true;
    }
    i32 c = at;
    const i32 num = parse_int_at(b, end, &c);
    if (num <= 0 || reference_end(b, end, c, num) < 0) continue;
    const i32 gen = parse_int_at(b, end, &c);
    d.encrypt_num = num;
    d.encrypt_gen = gen;
    d.encrypt_from = d.encrypt_to = -1;
    return true;
  }
  return false;
}

// One trailer dictionary [k, v): its readable /Info and /ID replace earlier
// ones (/Root too, with `root`), /Encrypt marks the document. Numbers are
// read from one byte past the end of the name.
void read_trailer(doc &d, scan_ctx &lex, i32 k, i32 v, bool root) {
  if (root) {
    const i32 r = key_value(d, lex, pdf_name::Root, k, v, /*skip=*/1);
    if (r >= 0) d.trailer_root = r;
  }
  const i32 info = key_value(d, lex, pdf_name::Info, k, v, /*skip=*/1);
  if (info >= 0) d.trailer_info = info;
  read_id(d, lex, k, v, /*first_only=*/false);
  if (lex.next_name(pdf_name::Encrypt, k, v) >= 0) {
    d.encrypted = 1;
    read_encrypt(d, lex, k, v);
  }
}

// The dictionary of the "trailer" keyword at t: [k, v) with k at its "<",
// or false when none follows.
bool trailer_window(doc &d, scan_ctx &lex, i32 t, i32 *k, i32 *v) {
  *k = skip_pdf_ws(d.data, d.len, t + kw_len("trailer"));
  *v = lex.next_keyword(keyword::startxref, *k);
  if (*v < 0) *v = d.len;
  return *k < *v && d.data[*k] == '<';
}

// Every trailer dictionary from body to the end of the file; the last
// readable values win, /Encrypt in any of them marks the document.
void read_trailers(doc &d, scan_ctx &lex, i32 body) {
  for (i32 t = lex.next_keyword(keyword::trailer, body); t >= 0;
       t = lex.next_keyword(keyword::trailer, t + 1)) {
    i32 k = 0, v = 0;
    if (trailer_window(d, lex, t, &k, &v)) read_trailer(d, lex, k, v, /*root=*/true);
  }
}

// One cross-reference stream section at p (a digit). Returns the /Prev
// offset, or -1 when the walk stops.
i32 read_xref_stream(doc &d, scan_ctx &lex, i32 p) {
  const u8 *b = d.data;
  const i32 cur = obj_keyword_pos(b, d.len, p);
  if (!kw_at(b, cur, d.len, "obj")) return -1;
  const i32 q = skip_pdf_ws(b, d.len, cur + kw_len("obj"));
  i32 e = d.len;
  if (q < d.len && b[q] == '<') {
    const i32 s = lex.stream_after_dict(q);
    if (s > 0) e = s;
  }
  const i32 prev = first_key_value(d, lex, pdf_name::Prev, q, e, /*skip=*/0);
  // The newest section that holds a value decides it.
  if (d.trailer_root < 0) {
    const i32 root = first_key_value(d, lex, pdf_name::Root, q, e, /*skip=*/1);
    if (root >= 0) d.trailer_root = root;
  }
  if (d.trailer_info < 0) {
    const i32 info = first_key_value(d, lex, pdf_name::Info, q, e, /*skip=*/1);
    if (info >= 0) d.trailer_info = info;
  }
  if (d.trailer_id_from < 0) read_id(d, lex, q, e, /*first_only=*/true);
  if (lex.next_name(pdf_name::Encrypt, q, e) >= 0) {
    // The newest section's value, as for /Info.
    if (d.encrypted == 0 || (d.encrypt_num < 0 && d.encrypt_from < 0)) read_encrypt(d, lex, q, e);
    d.encrypted = 1;
  }
  return prev;
}


// The walk from the last "startxref": a classic table ends it (every
// trailer from there on is read), a stream goes on to its /Prev.
void walk_chain(doc &d, scan_ctx &lex) {
  const i32 at = startxref_offset(d.data, d.len, lex.last_keyword(keyword::startxref));
  xref_walk walk(d.data, d.len, xref_offset_base(d.data, d.len, at));
  walk.run(at,
           [&](xref_section kind, i32 p) -> i32 {
             if (kind == xref_section::table) read_trailers(d, lex, p + kw_len("xref"));
             if (kind != xref_section::stream) return -1;
             return read_xref_stream(d, lex, p);
           });
}

}  // namespace

void load_trailers(doc &d, scan_ctx &lex) {
  d.trailer_root = -1;
  d.trailer_info = -1;
  d.trailer_id_from = d.trailer_id_to = -1;
  d.encrypted = 0;
  d.encrypt_num = d.encrypt_from = d.encrypt_to = -1;
  walk_chain(d, lex);
  if (d.trailer_root >= 0) return;
  // A damaged chain: the last trailer dictionary in the file still tells
  // what the document carries and whether it is encrypted. Its /Root is
  // not trusted; the catalog is searched for instead.
  const i32 t = lex.last_keyword(keyword::trailer);
  i32 k = 0, v = 0;
  if (t >= 0 && trailer_window(d, lex, t, &k, &v)) read_trailer(d, lex, k, v, /*root=*/false);
}

void find_encryption_of_streams(doc &d, scan_ctx &lex) {
  if (d.encrypted == 1 || d.trailer_root >= 0) return;
  for (const obj_rec &o : d.objs) {
    if (!o.is_stream() || o.in_objstm()) continue;
    const span dict = stream_dict(d, o);
    if (!dict || lex.next_name(pdf_name::Encrypt, dict.start, dict.limit) < 0 ||
        find_name(d.data, d.len, dict.start, dict.limit, "XRef") < 0)
      continue;
    // The last such dictionary in the file decides, as trailers do; its
    // file identifier goes with it (the key is made from it).
    d.encrypted = 1;
    read_encrypt(d, lex, dict.start, dict.limit);
    d.trailer_id_from = d.trailer_id_to = -1;
    read_id(d, lex, dict.start, dict.limit, /*first_only=*/true);
  }
}

}  // namespace lt
