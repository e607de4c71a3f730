// SPDX-License-Identifier: MIT
// The full rewrite (full_rewrite.h): a complete new PDF 1.4 file (header,
// every live object in ascending number, one classic cross-reference table,
// trailer), chosen pages carrying a new /Rotate. Stream data is copied byte
// for byte. The output is planned, not built: its pieces, mostly the loaded
// bytes themselves, are made as they are written, after everything that
// could refuse them has been checked, so nothing reaches the disk for an
// output that cannot be made.
#include "write/full_rewrite.h"

#include "load/xref_walk.h"

#include <algorithm>
#include <string>

#include "write/object_writer.h"
#include "load/xref_walk.h"

namespace lt {

namespace {

// What the bound allows for the header, the table's subsection line and
// the trailer (whose /ID is counted on its own).
constexpr unsigned long long k_frame_bound = 4096;

// An upper bound of the whole output's size, whichever pages turn (a
// rewritten dictionary grows by less than 48 bytes).
unsigned long long output_bound(const doc &d) {
  auto at_least0 = [](long long v) { return static_cast<unsigned long long>(v > 0 ? v : 0); };
  unsigned long long n = k_frame_bound + 20ull * (static_cast<unsigned long long>(d.max_num()) + 2) +
                         at_least0(static_cast<long long>(d.trailer_id_to) - d.trailer_id_from) +
                         at_least0(static_cast<long long>(d.encrypt_to) - d.encrypt_from);
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

// The header's version: "1.4", but an encrypted file keeps the input's
// version where that is a later one (AES needs 1.6, AES-256 1.7; 2.0).
std::string header_version(const doc &d) {
  std::string v = "1.4";
  if (!d.sec.present) return v;
  const i32 limit = d.len < 1024 ? d.len : 1024;
  const i32 at = header_offset(d.data, d.len);
  if (at < 0 || at + kw_len("%PDF-1.4") > limit) return v;
  const u8 *p = d.data + at + kw_len("%PDF-");
  // The versions that exist after 1.4: 1.5 to 1.7, and 2.0 (not 1.70, and
  // the file may end right after the version).
  const bool ends = at + kw_len("%PDF-1.4") >= d.len || !is_digit(p[3]);
  if (p[1] == '.' && ends &&
      ((p[0] == '1' && p[2] >= '5' && p[2] <= '7') || (p[0] == '2' && p[2] == '0')))
    v.assign(reinterpret_cast<const char *>(p), 3);
  return v;
}

// Makes the whole output, piece by piece, into out (which refuses to grow
// past what 32-bit offsets address: out.failed() tells).
void assemble(const doc &d, scan_ctx &lex, const std::vector<i32> &target,
              const member_edits &edits, outbuf &out) {
  std::vector<i32> offset(static_cast<size_t>(d.max_num()) + 1, -1);
  size_t next_edit = 0;  // edits come in ascending number, as the objects do

  out.add("%PDF-");
  out.add(header_version(d).c_str());
  out.add("\n");
  out.add("%\xE2\xE3\xCF\xD3\n");
  // Live objects in ascending number: one record per number.
  for (const i32 idx : d.by_num) {
    if (idx < 0) continue;
    const obj_rec &o = d.objs[static_cast<size_t>(idx)];
    const i32 rotation = target[static_cast<size_t>(o.num)];
    const dict_edit *edit = nullptr;
    if (rotation >= 0 && o.in_objstm()) edit = &edits[next_edit++].second;
    const i32 at = out.offset();
    write_object_header(out, o.num, o.gen);
    write_body(out, d, lex, o, rotation, edit);
    offset[static_cast<size_t>(o.num)] = at;
    if (out.failed()) return;
  }

  const i32 xref_at = out.offset();
  out.addf("xref\n0 %ld\n", static_cast<long>(d.max_num()) + 1);
  for (i32 j = 0; j <= d.max_num() && !out.failed(); ++j) {
    const size_t u = static_cast<size_t>(j);
    if (offset[u] >= 0) {
      const obj_rec &o = d.objs[static_cast<size_t>(d.by_num[u])];
      write_table_line(out, static_cast<std::uint32_t>(offset[u]),
                       static_cast<std::uint32_t>(xref_gen(o.gen)), 'n');
    } else {
      // A free entry names the offset of the object before it (0 when none).
      const i32 prev = (j >= 1 && offset[u - 1] >= 0) ? offset[u - 1] : 0;
      write_table_line(out, static_cast<std::uint32_t>(prev), 65535, 'f');
    }
  }
  auto ref_gen = [&](i32 num) -> long {
    const obj_rec *o = d.find(num);
    return o ? xref_gen(o->gen) : 0;
  };
  out.addf("trailer\n<</Size %ld/Root %ld %ld R", static_cast<long>(d.max_num()) + 1,
           static_cast<long>(d.root_num), ref_gen(d.root_num));
  if (d.info_num >= 0)
    out.addf("/Info %ld %ld R", static_cast<long>(d.info_num), ref_gen(d.info_num));
  // An encrypted file stays encrypted: its dictionary as it stands.
  if (d.sec.present && d.encrypt_num > 0)
    out.addf("/Encrypt %ld %ld R", static_cast<long>(d.encrypt_num), ref_gen(d.encrypt_num));
  else if (d.sec.present && d.encrypt_from >= 0) {
    out.add("/Encrypt ");
    out.add_range(d, d.encrypt_from, d.encrypt_to);
  }
  if (d.trailer_id_from >= 0) {
    out.add("/ID ");
    out.add_range(d, d.trailer_id_from, d.trailer_id_to);
  }
  out.addf(">>\nstartxref %ld", static_cast<long>(xref_at));
  out.add("\n%%EOF\n");
}

}  // namespace

bool rewrite_output::plan(document &loaded, std::vector<i32> target, failure &err) {
  const lt::doc &d = loaded.d;
  doc_ = &loaded;
  target_ = std::move(target);
  // Only an object stream member's rewrite can be refused (a body without
  // its dictionary's ">>").
  if (!plan_member_edits(loaded, target_, &member_edits_, err)) return false;
  // The size: an upper bound from the records, cheap and almost always
  // within 32-bit offsets; only an output that might not fit is measured
  // by making its pieces once without keeping them.
  const unsigned long long bound = output_bound(d);
  if (bound <= k_max_output) {
    size_ = static_cast<size_t>(bound);
    return true;
  }
  if (!measure([&](outbuf &out) { assemble(d, loaded.lex, target_, member_edits_, out); },
               &size_)) {
    err.set("failed to build output");
    return false;
  }
  return true;
}

bool rewrite_output::emit(piece_sink &sink) const {
  outbuf out(sink);
  assemble(doc_->d, doc_->lex, target_, member_edits_, out);
  return !out.failed();
}

}  // namespace lt
