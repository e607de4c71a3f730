// SPDX-License-Identifier: MIT
// The object scan: every "obj" keyword preceded by an object number and a
// generation becomes a record, with its dictionary, stream data and "endobj"
// located from the bytes alone. Stream data ends where /Length says when
// "endstream" stands there, else at the next "endstream". Records whose
// header lies inside some stream's data are dropped.
#include <algorithm>
#include <limits>

#include "load/loader.h"

namespace lt {

namespace {

// Reads the digit run [from, to) as a decimal number; false when it does not
// fit a signed 32-bit value.
bool read_decimal(const u8 *b, i32 from, i32 to, i32 *out) {
  int_token t;
  t.first = from;
  t.end = to;
  const long long v = saturated_value(b, t);
  if (v > std::numeric_limits<i32>::max()) return false;
  *out = static_cast<i32>(v);
  return true;
}

// Walks back from the "obj" at p over: text white space, the generation,
// text white space, the object number. Fills num, gen and hdr_off.
bool read_header(const u8 *b, i32 p, obj_rec *r) {
  i32 i = p - 1;
  const i32 ws1 = i;
  while (i >= 0 && is_text_ws(b[i])) --i;
  if (i == ws1 || i < 0) return false;
  const i32 gen_end = i + 1;
  while (i >= 0 && is_digit(b[i])) --i;
  const i32 gen_start = i + 1;
  if (gen_start == gen_end || gen_start == 0) return false;
  const i32 ws2 = i;
  while (i >= 0 && is_text_ws(b[i])) --i;
  if (i == ws2 || i < 0) return false;
  const i32 num_end = i + 1;
  while (i >= 0 && is_digit(b[i])) --i;
  const i32 num_start = i + 1;
  if (num_start == num_end) return false;
  if (num_start > 0 && is_alnum(b[num_start - 1])) return false;
  if (!read_decimal(b, num_start, num_end, &r->num) ||
      !read_decimal(b, gen_start, gen_end, &r->gen))
    return false;
  if (r->num <= 0) return false;
  r->hdr_off = num_start;
  return true;
}

// The header scan: every header, in the order of its "obj" keyword.
void scan_headers(doc &d, scan_ctx &lex) {
  const u8 *b = d.data;
  const i32 len = d.len;
  d.objs.reserve(lex.obj_keywords().size());  // one record at most per keyword
  for (const i32 p : lex.obj_keywords()) {
    if (p > len - 4) break;  // an "obj" that ends the file is not tried
    obj_rec r;
    if (!read_header(b, p, &r)) continue;
    const i32 q = skip_pdf_ws(b, len, p + kw_len("obj"));
    if (q < len && b[q] == '<' && q + 1 < len && b[q + 1] == '<') {
      r.dict_off = q;
      r.dict_close = lex.dict_close(q, len);
      const i32 s = stream_kw_after(b, len, r.dict_close);
      if (s >= 0) {
        r.stream_kw_off = s;
        r.data_off = stream_data_start(b, len, s);
      } else {
        r.endobj_off = lex.next_keyword(keyword::endobj, q);
        if (r.endobj_off < 0) continue;
      }
    } else {
      // No dictionary; a single '<' opens a hex string, which is a value
      // like any other and never borrows a later object's dictionary.
      r.endobj_off = lex.next_keyword(keyword::endobj, p + kw_len("obj"));
      if (r.endobj_off < 0) continue;
    }
    d.objs.push_back(r);
  }
}

// First record of each object number in scan order: (num, index) pairs
// sorted by number, then index.
using first_index = std::vector<std::pair<i32, i32>>;

first_index index_by_number(const doc &d) {
  first_index v;
  v.reserve(d.objs.size());
  for (size_t k = 0; k < d.objs.size(); ++k)
    v.emplace_back(d.objs[k].num, static_cast<i32>(k));
  // Records come in file order, which is usually number order already.
  if (!std::is_sorted(v.begin(), v.end())) std::sort(v.begin(), v.end());
  return v;
}

// The length stored in the plain object that /Length refers to, or -1.
i32 indirect_length(const doc &d, const first_index &index, i32 num) {
  auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(num, i32(-1)));
  if (it == index.end() || it->first != num) return -1;
  const obj_rec *o = &d.objs[static_cast<size_t>(it->second)];
  if (o->is_stream()) return -1;
  const u8 *b = d.data;
  i32 c = obj_keyword_pos(b, d.len, o->hdr_off);
  if (kw_at(b, c, d.len, "obj")) c = skip_pdf_ws(b, d.len, c + kw_len("obj"));
  return parse_int_at(b, d.len, &c);
}

// The stream length that /Length gives, or -1 when none is usable.
i32 declared_length(const doc &d, scan_ctx &lex, const obj_rec &r, const first_index &index) {
  const u8 *b = d.data;
  const i32 sk = r.stream_kw_off;
  for (i32 at = lex.next_name(pdf_name::Length, r.dict_off, sk); at >= 0;
       at = lex.next_name(pdf_name::Length, at + 1, sk)) {
    i32 v = at + kw_len("/Length");
    while (v < sk && is_pdf_ws(b[v])) ++v;
    if (v >= sk) return -1;
    if (b[v] == '[') {
      i32 found = -1;
      i32 pos = v + 1;
      while (pos < sk && b[pos] != ']') {
        i32 c = pos;
        const i32 n = parse_int_at(b, sk, &c);
        if (c != pos) {
          if (n >= 0) found = n;
          pos = c;
        } else {
          ++pos;
        }
      }
      if (found >= 0) return found;
    } else if (is_digit(b[v]) || b[v] == '-') {
      i32 c = v;
      const i32 n = parse_int_at(b, d.len, &c);
      if (n < 0) continue;
      if (reference_end(b, sk, c, n) < 0) return n;
      return indirect_length(d, index, n);
    }
  }
  return -1;
}

// Stream extents: the end of each stream's data and the "endobj" after it.
void settle_extents(doc &d, scan_ctx &lex) {
  const u8 *b = d.data;
  const i32 len = d.len;
  const first_index index = index_by_number(d);
  for (obj_rec &r : d.objs) {
    if (!r.is_stream()) continue;
    const i32 length = declared_length(d, lex, r, index);
    if (length >= 0) {
      const long long e = static_cast<long long>(r.data_off) + length;
      if (endstream_at(b, len, e)) {
        r.data_end = static_cast<i32>(e);
        r.endobj_off = lex.next_keyword(keyword::endobj, r.data_end + 1);
        continue;
      }
    }
    // No usable /Length, or it does not land on "endstream": the data ends
    // at the next "endstream", less one line end.
    const i32 f = lex.next_keyword(keyword::endstream, r.data_off + 1);
    if (f >= 0) {
      r.data_end = f;
      if (b[f - 1] == '\n') {
        r.data_end = (f - 2 >= r.data_off && b[f - 2] == '\r') ? f - 2 : f - 1;
      } else if (b[f - 1] == '\r') {
        r.data_end = f - 1;
      }
      r.endobj_off = lex.next_keyword(keyword::endobj, r.data_end + 1);
      continue;
    }
    // No "endstream" at all: the data ends before the next "endobj", so one
    // misspelt keyword does not swallow the rest of the file.
    const i32 g = lex.next_keyword(keyword::endobj, r.data_off);
    if (g < 0) {
      r.data_end = len;
      r.endobj_off = -1;
      continue;
    }
    r.data_end = g;
    if (g > r.data_off) {
      if (b[g - 1] == '\n') {
        r.data_end = (g - 2 >= r.data_off && b[g - 2] == '\r') ? g - 2 : g - 1;
      } else if (b[g - 1] == '\r') {
        r.data_end = g - 1;
      }
    }
    r.endobj_off = g;
  }
}

// Removal: drop streams without "endobj" and every record whose header lies
// inside the data of any stream (kept or not).
void remove_hidden(doc &d) {
  std::vector<sx_rng> ranges;
  for (const obj_rec &r : d.objs)
    if (r.is_stream() && r.data_off >= 0 && r.data_off < r.data_end)
      ranges.push_back({r.data_off, r.data_end});
  const auto before = [](const sx_rng &a, const sx_rng &b) { return sx_rng_cmp(a, b) < 0; };
  if (!std::is_sorted(ranges.begin(), ranges.end(), before))
    std::sort(ranges.begin(), ranges.end(), before);
  std::vector<i32> run_max(ranges.size());
  for (size_t i = 0; i < ranges.size(); ++i)
    run_max[i] = i ? std::max(run_max[i - 1], ranges[i].end) : ranges[i].end;

  auto hidden = [&](const obj_rec &r) {
    if (r.is_stream() && r.endobj_off < 0) return true;
    auto it = std::upper_bound(ranges.begin(), ranges.end(), r.hdr_off,
                               [](i32 v, const sx_rng &x) { return v < x.start; });
    if (it == ranges.begin()) return false;
    const size_t i = static_cast<size_t>(it - ranges.begin()) - 1;
    return r.hdr_off < run_max[i];
  };
  // The records that stay keep their file order, so that of two copies of
  // one object the later (an update's) is still the later one.
  d.objs.erase(std::remove_if(d.objs.begin(), d.objs.end(), hidden), d.objs.end());
}

}  // namespace

void scan_objects(doc &d, scan_ctx &lex) {
  d.objs.clear();
  if (d.len < 4) return;
  scan_headers(d, lex);
  settle_extents(d, lex);
  remove_hidden(d);
}

}  // namespace lt
