// SPDX-License-Identifier: MIT
// The pieces both outputs write (object_writer.h), the unchanged copy and
// an output's bytes in memory (output.h).
#include "write/object_writer.h"

#include <cstring>

#include "syntax/digits.h"

namespace lt {

namespace {

// A plain object's content is copied when it has 1 to this many bytes;
// otherwise "endobj" follows its header line directly.
constexpr i32 k_max_plain_content = (1 << 28) - 1;

// Where a plain object's content starts: after its header and "obj".
i32 content_start(const doc &d, const obj_rec &o) {
  return skip_pdf_ws(d.data, d.len, obj_keyword_pos(d.data, d.len, o.hdr_off) + kw_len("obj"));
}

// Appends every piece to a string.
class string_sink : public piece_sink {
 public:
  explicit string_sink(std::string &s) : s_(s) {}
  bool put(const u8 *p, size_t n, i32) override {
    s_.append(reinterpret_cast<const char *>(p), n);
    return true;
  }

 private:
  std::string &s_;
};

}  // namespace

bool plan_member_edits(document &loaded, const std::vector<i32> &target, member_edits *edits,
                       failure &err) {
  const doc &d = loaded.d;
  edits->clear();
  for (const i32 idx : d.by_num) {
    if (idx < 0) continue;
    const obj_rec &o = d.objs[static_cast<size_t>(idx)];
    const i32 rotation = target[static_cast<size_t>(o.num)];
    if (rotation < 0 || !o.in_objstm()) continue;
    dict_edit edit;
    if (!plan_body_edit(o.body, o.body_len, loaded.lex.own_rotate(o), rotation, &edit)) {
      err.set("failed to rebuild body for obj %ld", static_cast<long>(o.num));
      return false;
    }
    edits->emplace_back(o.num, edit);
  }
  return true;
}

long xref_gen(i32 gen) { return (gen >= 0 && gen <= 65535) ? gen : 0; }

void write_object_header(outbuf &out, i32 num, long gen) {
  char head[32];
  size_t n = put_decimal(head, num);
  head[n++] = ' ';
  n += put_decimal(head + n, gen);
  std::memcpy(head + n, " obj\n", kw_len(" obj\n"));
  out.add(head, n + kw_len(" obj\n"));
}

void write_table_line(outbuf &out, std::uint32_t offset, std::uint32_t gen, char kind) {
  char line[20] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0', ' ',
                   '0', '0', '0', '0', '0', ' ', 'n', ' ', '\n'};
  put_padded(line, offset, 10);
  put_padded(line + 11, gen, 5);
  line[17] = kind;
  out.add(line, sizeof line);
}

void write_body(outbuf &out, const doc &d, scan_ctx &lex, const obj_rec &o, i32 rotation,
                const dict_edit *member_edit) {
  const bool chosen = rotation >= 0;
  if (o.in_objstm()) {
    if (chosen) {
      out.add(*member_edit, false);
    } else {
      const i32 from = member_start(o.body, o.body_len);
      out.add_ref(o.body + from, static_cast<size_t>(o.body_len - from), -1);
    }
    out.add("\nendobj\n");
    return;
  }
  if (o.is_stream()) {  // a stream always has its dictionary
    if (chosen) {
      out.add(plan_dict_edit(d.data, d.len, o.dict_off, o.stream_kw_off,
                             lex.record_close(o, o.stream_kw_off), lex.own_rotate(o),
                             rotation),
              true);
    } else {
      out.add_range(d, o.dict_off, o.stream_kw_off);
    }
    out.add("stream\n");
    out.add_range(d, o.data_off, o.data_end);
    out.add("\nendstream\nendobj\n");
    return;
  }
  if (chosen && o.dict_off >= 0) {
    out.add(plan_dict_edit(d.data, d.len, o.dict_off, o.endobj_off,
                           lex.record_close(o, o.endobj_off), lex.own_rotate(o),
                           rotation),
            true);
  } else {
    const i32 c = content_start(d, o);
    const long long n = static_cast<long long>(o.endobj_off) - c;
    if (n >= 1 && n <= k_max_plain_content) out.add_range(d, c, o.endobj_off);
  }
  out.add("endobj\n");
}

bool copy_output::emit(piece_sink &sink) const { return sink.put(d_.data, size(), 0); }

std::string output_bytes(const output &out) {
  std::string all;
  all.reserve(out.size());
  string_sink s(all);
  out.emit(s);
  return all;
}

}  // namespace lt
