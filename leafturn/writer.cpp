// The document writer: a complete new PDF 1.4 file assembled in memory
// (header, every live object in ascending number, one classic
// cross-reference table, trailer), chosen pages carrying a new /Rotate.
// Stream data is copied byte for byte: the output refers to the loaded bytes
// instead of copying them again. Nothing reaches the disk until the whole
// output is built.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "writer.h"

namespace lt {

namespace {

constexpr i32 k_max_plain_content = (1 << 28) - 1;
constexpr size_t k_max_output = static_cast<size_t>(std::numeric_limits<i32>::max());

// Pieces shorter than this are copied into the output's own text.
constexpr size_t k_min_reference = 24;

// The output as pieces: generated text and references to the document's
// bytes in memory. Refuses to grow past what 32-bit offsets can address.
class outbuf {
 public:
  // Generated text is headers, keywords, short pieces, the table and
  // rewritten dictionaries; everything else copied from the document is
  // referred to. `text_bound` sizes the text once.
  outbuf(output &o, size_t text_bound, size_t objects) : o_(o) {
    o_.text.reserve(std::min(text_bound, k_max_output));
    o_.pieces.reserve(2 * objects + 8);
  }
  // A counting buffer only adds up sizes.
  explicit outbuf(output &o) : o_(o), counting_(true) {}
  void add(const void *p, size_t n) {
    if (!grow(n) || counting_) return;
    const size_t at = o_.text.size();
    o_.text.append(static_cast<const char *>(p), n);
    out_piece *last = o_.pieces.empty() ? nullptr : &o_.pieces.back();
    if (last && !last->ptr && static_cast<size_t>(last->off) + last->len == at) {
      last->len += static_cast<std::uint32_t>(n);
    } else {
      o_.pieces.push_back({nullptr, static_cast<std::uint32_t>(n), static_cast<i32>(at)});
    }
  }
  void add(const std::string &t) { add(t.data(), t.size()); }
  void add(const char *t) { add(t, std::char_traits<char>::length(t)); }
  // Bytes of the document in memory; file_off is their offset in the input
  // file, or -1.
  void add_ref(const u8 *p, size_t n, i32 file_off) {
    if (n < k_min_reference) return add(p, n);
    if (!grow(n) || counting_) return;
    o_.pieces.push_back({p, static_cast<std::uint32_t>(n), file_off});
  }
  void add(const dict_edit &e) {
    if (counting_) {
      grow(e.size());
    } else {
      add(e.text());
    }
  }
  void add_range(const doc &d, i32 from, i32 to) {
    if (to > from) add_ref(d.data + from, static_cast<size_t>(to - from), from);
  }
  template <typename... A>
  void addf(const char *fmt, A... args) {
    char tmp[96];
    const int n = std::snprintf(tmp, sizeof tmp, fmt, args...);
    if (n > 0) add(tmp, static_cast<size_t>(std::min(n, int(sizeof tmp) - 1)));
  }
  i32 offset() const { return static_cast<i32>(o_.size); }
  bool failed() const { return failed_; }

 private:
  bool grow(size_t n) {
    if (failed_) return false;
    if (n > k_max_output - o_.size) {
      failed_ = true;
      return false;
    }
    o_.size += n;
    return true;
  }
  output &o_;
  bool counting_ = false;
  bool failed_ = false;
};

// An upper bound of the generated text for these targets.
size_t text_bound(const doc &d, const std::vector<i32> &target) {
  size_t n = 4096 + 20 * (static_cast<size_t>(d.max_num()) + 2);
  auto piece = [](long long len) -> size_t {
    return len > 0 && static_cast<size_t>(len) < k_min_reference ? static_cast<size_t>(len) : 0;
  };
  for (const obj_rec &o : d.objs) {
    n += 64;  // header line and closing keywords
    const bool chosen = target[static_cast<size_t>(o.num)] >= 0;
    if (o.in_objstm()) {
      n += chosen ? static_cast<size_t>(o.body_len) + 48 : piece(o.body_len);
    } else if (o.is_stream()) {
      const long long dict = static_cast<long long>(o.stream_kw_off) - o.dict_off;
      n += (chosen ? static_cast<size_t>(dict) + 48 : piece(dict)) +
           piece(static_cast<long long>(o.data_end) - o.data_off);
    } else {
      const long long all = static_cast<long long>(o.endobj_off) - o.hdr_off;
      n += chosen ? static_cast<size_t>(all) + 48 : piece(all);
    }
  }
  return n;
}

// An upper bound of the whole output's size, whichever pages turn (a
// rewritten dictionary grows by less than 48 bytes).
unsigned long long output_bound(const doc &d) {
  auto at_least0 = [](long long v) { return static_cast<unsigned long long>(v > 0 ? v : 0); };
  unsigned long long n = 4096 + 20ull * (static_cast<unsigned long long>(d.max_num()) + 2);
  for (const obj_rec &o : d.objs) {
    n += 96;  // header line, keywords and a rewritten entry
    if (o.in_objstm()) {
      n += at_least0(o.body_len);
    } else if (o.is_stream()) {
      n += at_least0(static_cast<long long>(o.stream_kw_off) - o.dict_off) +
           at_least0(static_cast<long long>(o.data_end) - o.data_off);
    } else {
      n += at_least0(static_cast<long long>(o.endobj_off) - o.hdr_off);
    }
  }
  return n;
}

// The decimal digits of v, as %ld writes them; returns their count.
size_t put_decimal(char *p, long long v) {
  char tmp[24];
  size_t n = 0;
  const bool neg = v < 0;
  unsigned long long u = neg ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  do {
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u);
  size_t k = 0;
  if (neg) p[k++] = '-';
  while (n) p[k++] = tmp[--n];
  return k;
}

// v in exactly `width` digits, zero-padded (v has at most that many).
void put_padded(char *p, std::uint32_t v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
}

// A generation as the cross-reference table can carry it.
long xref_gen(i32 gen) { return (gen >= 0 && gen <= 65535) ? gen : 0; }

// Where a plain object's content starts: after its header and "obj".
i32 content_start(const doc &d, const obj_rec &o) {
  return skip_pdf_ws(d.data, d.len, obj_keyword_pos(d.data, d.len, o.hdr_off) + 3);
}

// Appends one object's body; false (message set) when a chosen page cannot
// be rewritten.
bool write_body(outbuf &out, const doc &d, scan_ctx &lex, const obj_rec &o, i32 rotation,
                failure &err) {
  const bool chosen = rotation >= 0;
  if (o.in_objstm()) {
    if (chosen) {
      dict_edit edit;
      if (!plan_body_edit(o.body, o.body_len, lex.own_rotate(o), rotation, &edit)) {
        err.set("failed to rebuild body for obj %ld", static_cast<long>(o.num));
        return false;
      }
      out.add(edit);
    } else {
      out.add_ref(o.body, static_cast<size_t>(o.body_len), -1);
    }
    out.add("\nendobj\n");
    return true;
  }
  if (o.is_stream()) {
    if (chosen && o.dict_off >= 0) {
      out.add(plan_dict_edit(d.data, d.len, o.dict_off, o.stream_kw_off,
                             lex.dict_close(o.dict_off, o.stream_kw_off), lex.own_rotate(o),
                             rotation));
    } else {
      out.add_range(d, o.dict_off, o.stream_kw_off);
    }
    out.add("stream\n");
    out.add_range(d, o.data_off, o.data_end);
    out.add("\nendstream\nendobj\n");
    return true;
  }
  if (chosen && o.dict_off >= 0) {
    out.add(plan_dict_edit(d.data, d.len, o.dict_off, o.endobj_off,
                           lex.dict_close(o.dict_off, o.endobj_off), lex.own_rotate(o),
                           rotation));
  } else {
    const i32 c = content_start(d, o);
    const long long n = static_cast<long long>(o.endobj_off) - c;
    if (n >= 1 && n <= k_max_plain_content) out.add_range(d, c, o.endobj_off);
  }
  out.add("endobj\n");
  return true;
}

}  // namespace

namespace {

// Target rotation per object number (-1: not chosen); a page named twice
// keeps the last. False with the message set for a page out of range.
bool plan_targets(const doc &d, scan_ctx &lex, const int *pages, int count, int degrees,
                  std::vector<i32> *target, failure &err) {
  const int n_pages = static_cast<int>(d.pages.size());
  const int n_targets = pages ? count : n_pages;

  target->assign(static_cast<size_t>(d.max_num()) + 1, -1);
  // A page object can stand many times in the page list: its own /Rotate
  // is read once (-2: not read yet).
  std::vector<i32> own(static_cast<size_t>(d.max_num()) + 1, -2);
  for (int k = 0; k < n_targets; ++k) {
    const int p = pages ? pages[k] : k + 1;
    if (p < 1 || p > n_pages) {
      err.set("page %d out of range (document has %d pages)", p, n_pages);
      return false;
    }
    // The effective rotation, as effective_rotation gives it. Page objects
    // are live, so their numbers lie within 1..max_num.
    const page_ref &ref = d.pages[static_cast<size_t>(p - 1)];
    const size_t num = static_cast<size_t>(ref.num);
    if (own[num] == -2) {
      const obj_rec *rec = d.find(ref.num);
      own[num] = rec ? obj_rotate_own(d, lex, *rec) : -1;
    }
    const i32 r = own[num] >= 0 ? own[num] : ref.inherited_rotate;
    (*target)[num] = (r + degrees) % 360;
  }
  return true;
}

// Assembles the whole output; false with the message set.
bool assemble(const doc &d, scan_ctx &lex, const std::vector<i32> &target, outbuf &out,
              failure &err) {
  std::vector<i32> offset(static_cast<size_t>(d.max_num()) + 1, -1);
  std::vector<i32> gen(static_cast<size_t>(d.max_num()) + 1, 0);

  out.add("%PDF-1.4\n");
  out.add("%\xE2\xE3\xCF\xD3\n");
  // Live objects in ascending number: one record per number.
  for (const i32 idx : d.by_num) {
    if (idx < 0) continue;
    const obj_rec &o = d.objs[static_cast<size_t>(idx)];
    const i32 at = out.offset();
    char head[32];
    size_t n = put_decimal(head, o.num);
    head[n++] = ' ';
    n += put_decimal(head + n, o.gen);
    std::memcpy(head + n, " obj\n", 5);
    out.add(head, n + 5);
    if (!write_body(out, d, lex, o, target[static_cast<size_t>(o.num)], err)) return false;
    offset[static_cast<size_t>(o.num)] = at;
    gen[static_cast<size_t>(o.num)] = o.gen;
    if (out.failed()) break;
  }

  const i32 xref_at = out.offset();
  out.addf("xref\n0 %ld\n", static_cast<long>(d.max_num()) + 1);
  // Entries of 20 bytes: "OOOOOOOOOO GGGGG n \n" (offsets fit 10 digits).
  char line[20] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0', ' ',
                   '0', '0', '0', '0', '0', ' ', 'n', ' ', '\n'};
  for (i32 j = 0; j <= d.max_num() && !out.failed(); ++j) {
    const size_t u = static_cast<size_t>(j);
    if (offset[u] >= 0) {
      put_padded(line, static_cast<std::uint32_t>(offset[u]), 10);
      put_padded(line + 11, static_cast<std::uint32_t>(xref_gen(gen[u])), 5);
      line[17] = 'n';
    } else {
      const i32 prev = (j >= 1 && offset[u - 1] >= 0) ? offset[u - 1] : 0;
      put_padded(line, static_cast<std::uint32_t>(prev), 10);
      std::memcpy(line + 11, "65535", 5);
      line[17] = 'f';
    }
    out.add(line, sizeof line);
  }
  auto ref_gen = [&](i32 num) -> long {
    const obj_rec *o = d.find(num);
    return o ? xref_gen(o->gen) : 0;
  };
  out.addf("trailer\n<</Size %ld/Root %ld %ld R", static_cast<long>(d.max_num()) + 1,
           static_cast<long>(d.root_num), ref_gen(d.root_num));
  if (d.info_num >= 0)
    out.addf("/Info %ld %ld R", static_cast<long>(d.info_num), ref_gen(d.info_num));
  out.addf(">>\nstartxref %ld", static_cast<long>(xref_at));
  out.add("\n%%EOF\n");
  if (out.failed()) {
    err.set("failed to build output");
    return false;
  }
  return true;
}

// Assembles the output into result. A counting pass comes first, so that
// an output too large for 32-bit offsets fails before anything is built.
bool assemble_checked(document &doc, const std::vector<i32> &target, output *result,
                      failure &err) {
  // Only an output that might not fit is measured first.
  if (output_bound(doc.d) > k_max_output) {
    output sizes;
    outbuf count(sizes);
    if (!assemble(doc.d, doc.lex, target, count, err)) return false;
  }
  *result = output();
  outbuf out(*result, text_bound(doc.d, target), doc.d.objs.size());
  return assemble(doc.d, doc.lex, target, out, err);
}

}  // namespace

int build_output_turns(document &doc, const std::vector<page_turn> &turns, output *result,
                       failure &err) {
  const lt::doc &d = doc.d;
  const int n_pages = static_cast<int>(d.pages.size());
  std::vector<i32> target(static_cast<size_t>(d.max_num()) + 1, -1);
  for (const page_turn &t : turns) {
    if (t.page < 1 || t.page > n_pages) {
      err.set("page %d out of range (document has %d pages)", t.page, n_pages);
      return 0;
    }
    target[static_cast<size_t>(d.pages[static_cast<size_t>(t.page - 1)].num)] =
        normalise_rotation(t.rotation);
  }
  return assemble_checked(doc, target, result, err) ? 1 : 0;
}

output unchanged_output(const doc &d) {
  output out;
  out.pieces.push_back({d.data.get(), static_cast<std::uint32_t>(d.len), 0});
  out.size = static_cast<size_t>(d.len);
  return out;
}

int build_output(document &doc, const int *pages, int count, int degrees, output *result,
                 failure &err) {
  std::vector<i32> target;
  if (!plan_targets(doc.d, doc.lex, pages, count, degrees, &target, err)) return 0;
  return assemble_checked(doc, target, result, err) ? 1 : 0;
}

std::string output::bytes() const {
  std::string all;
  all.reserve(size);
  for (const out_piece &p : pieces)
    all.append(p.ptr ? reinterpret_cast<const char *>(p.ptr) : text.data() + p.off, p.len);
  return all;
}

int rotate_doc(document &doc, const char *out_path, const int *pages, int count, int degrees,
               failure &err) {
  std::vector<i32> target;
  if (!plan_targets(doc.d, doc.lex, pages, count, degrees, &target, err)) return 0;
  if (!out_path) {
    err.set("NULL output path");
    return 0;
  }
  output result;
  if (!assemble_checked(doc, target, &result, err)) return 0;
  return write_output(out_path, result, doc.d.source, err);
}

}  // namespace lt
