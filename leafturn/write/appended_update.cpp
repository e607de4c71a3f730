// SPDX-License-Identifier: MIT
// The appended update (appended_update.h): the input's bytes unchanged,
// then one revision with the turned page objects and a cross-reference
// section in the form of the newest one. It is refused, with the reason,
// whenever the cross-reference data does not name the very objects the
// loader uses.
#include "write/appended_update.h"

#include <algorithm>
#include <cstring>

#include "syntax/dict_walk.h"
#include "syntax/value.h"
#include "write/object_writer.h"
#include "facts/rotation.h"
#include "write/xref.h"

namespace lt {

namespace {

// Whether the chain's newest entry for num names the copy the loader uses.
bool names_loaded_copy(const doc &d, const xref_chain &chain, i32 num) {
  const obj_rec *r = d.find(num);
  if (!r) return false;
  const xref_entry &e = chain.entry(num);
  if (r->in_objstm()) return e.type == xref_entry::in_stream;
  return e.type == xref_entry::in_file && e.where >= 0 && e.where < d.len &&
         skip_pdf_ws(d.data, d.len, e.where) == r->hdr_off && e.gen_or_index == xref_gen(r->gen);
}

// Whether the bytes of `end` stand anywhere after the keyword `from`
// (-1: there is none, and nothing needs ending).
bool ends_after(const u8 *b, i32 len, i32 from, const char *end) {
  if (from < 0) return true;
  const u8 *e = reinterpret_cast<const u8 *>(end);
  const size_t n = std::strlen(end);
  return std::search(b + from, b + len, e, e + n) != b + len;
}

// Sets *why and says no.
bool refuse(std::string *why, const char *reason) {
  *why = reason;
  return false;
}

// Whether an update can be appended for these objects (the catalog, the
// pages whose `turned` is set and the /Pages nodes above them); false with
// *why.
bool updatable(const doc &d, const xref_chain &chain, const std::vector<char> &turned,
               std::string *why) {
  if (d.trailer_root < 0 || d.trailer_root != d.root_num)
    return refuse(why, "its trailer names no catalog that the file holds");
  // The new trailer repeats the newest one's /Root, read strictly; the
  // loader's lenient reading may have taken another, or one from an older
  // section. They must name the catalog the loader uses.
  i32 root = -1;
  for_each_entry(d.data, chain.dict_open, chain.dict_close, [&](const dict_entry &e) {
    if (e.name == "Root") root = reference_value(d.data, e.from, e.to);
  });
  if (root != d.root_num) return refuse(why, "its trailer names no catalog that the file holds");
  // Stream data that never ends would take in what is appended. Its data
  // may run straight into "endstream" (no line end between, the /Length
  // exact), where the keyword has a letter before it: such an end counts.
  // Keywords in comments are none ("% stream" in a dictionary).
  if (!ends_after(d.data, d.len, last_kw_uncommented(d.data, d.len, "stream"), "endstream"))
    return refuse(why, "its last stream has no end");
  // Nor may an object left open take the new revision's "endobj" for its own.
  if (last_kw_uncommented(d.data, d.len, "obj") > last_kw_uncommented(d.data, d.len, "endobj"))
    return refuse(why, "its last object has no end");
  std::vector<char> check(static_cast<size_t>(d.max_num()) + 1, 0);
  check[static_cast<size_t>(d.root_num)] = 1;
  for (const page_ref &p : d.pages) {
    if (!turned[static_cast<size_t>(p.num)]) continue;
    check[static_cast<size_t>(p.num)] = 1;
    // Nodes are marked once: the walk up stops at the first one marked.
    for (i32 n = p.parent; n >= 0; n = d.nodes[static_cast<size_t>(n)].parent) {
      char &c = check[static_cast<size_t>(d.nodes[static_cast<size_t>(n)].num)];
      if (c) break;
      c = 1;
    }
  }
  for (i32 num = 1; num <= d.max_num(); ++num)
    if (check[static_cast<size_t>(num)] && !names_loaded_copy(d, chain, num))
      return refuse(why, "its cross-reference data does not match its objects");
  return true;
}

// The own /Rotate that a reader finds in the rewritten dictionary, or -1.
i32 reads_back(const dict_edit &e) {
  if (!e.b) return -1;
  std::string text;
  e.each_part(
      [&](i32 a, i32 z) {
        if (z > a) text.append(reinterpret_cast<const char *>(e.b) + a, static_cast<size_t>(z - a));
      },
      [&](const char *t, size_t n) { text.append(t, n); });
  const u8 *b = reinterpret_cast<const u8 *>(text.data());
  const i32 len = static_cast<i32>(text.size());
  const i32 open = skip_pdf_ws(b, len, 0);
  if (open + 1 >= len || b[open] != '<' || b[open + 1] != '<') return -1;
  const i32 pos = find_name_top(b, len, open, len, "Rotate");
  if (pos < 0) return -1;
  const rotate_value v = rotate_value_at(b, len, pos);
  return v.present ? normalise_rotation(v.number) : -1;
}

// Whether a rewritten dictionary's bytes hold a "stream" or "obj" keyword's
// bytes: a damaged object (one without its own "endobj", or whose nesting
// runs on) took in the objects after it, and their pieces in the new
// revision could end an earlier stream that had no end, or hide the page.
// A page dictionary has no reason to hold either.
// Whether [from, to) of b holds the bytes of kw outside comments, found
// through its last byte (rare in a dictionary), so that the common case is
// one memchr.
bool holds(const u8 *b, i32 from, i32 to, const char *kw, i32 n) {
  const u8 last = static_cast<u8>(kw[n - 1]);
  for (i32 i = from + n - 1; i < to;) {
    const void *hit = std::memchr(b + i, last, static_cast<size_t>(to - i));
    if (!hit) return false;
    i = static_cast<i32>(static_cast<const u8 *>(hit) - b);
    if (std::memcmp(b + i - (n - 1), kw, static_cast<size_t>(n)) == 0) {
      const i32 c = comment_holding(b, from, i - (n - 1));
      if (c < 0) return true;
      // The rest of the comment's line is the comment's.
      while (i < to && b[i] != '\r' && b[i] != '\n') ++i;
    }
    ++i;
  }
  return false;
}

bool carries_other_objects(const dict_edit &e) {
  if (!e.b) return false;
  bool found = false;
  e.each_part(
      [&](i32 from, i32 to) {
        if (!found && to > from)
          found = holds(e.b, from, to, "stream", kw_len("stream")) ||
                  holds(e.b, from, to, "obj", kw_len("obj"));
      },
      [](const char *, size_t) {});
  return found;
}

// Entries of the previous section's dictionary that a new one does not
// repeat: its chain links, and a stream's own keys.
bool dropped_key(const std::string &name, bool stream_form) {
  if (name == "Prev" || name == "XRefStm" || name == "Size") return true;
  if (!stream_form) return false;
  for (const char *k : {"Type", "W", "Index", "Length", "Filter", "DecodeParms", "F", "FFilter",
                        "FDecodeParms", "DL"})
    if (name == k) return true;
  return false;
}

struct update_parts {
  const std::vector<i32> &target;
  const member_edits &edits;
  const std::vector<i32> &written;
  i32 prev, size_before, dict_open, dict_close;
  bool stream_form;
  i32 base;  // what the file's offsets count from; the new ones count the same
};

// Runs of consecutive numbers: (first, count).
std::vector<std::pair<i32, i32>> runs_of(const std::vector<i32> &nums) {
  std::vector<std::pair<i32, i32>> runs;
  for (const i32 n : nums) {
    if (!runs.empty() && runs.back().first + runs.back().second == n) ++runs.back().second;
    else runs.emplace_back(n, 1);
  }
  return runs;
}

void assemble_update(const doc &d, scan_ctx &lex, const update_parts &u, outbuf &out) {
  out.add_ref(d.data, static_cast<size_t>(d.len), 0);
  if (d.len > 0 && d.data[d.len - 1] != '\n' && d.data[d.len - 1] != '\r') out.add("\n");
  std::vector<i32> offset;
  offset.reserve(u.written.size() + 1);
  size_t next_edit = 0;
  for (const i32 num : u.written) {
    const obj_rec &o = *d.find(num);
    const dict_edit *edit = o.in_objstm() ? &u.edits[next_edit++].second : nullptr;
    offset.push_back(out.offset());
    write_object_header(out, o.num, xref_gen(o.gen));
    write_body(out, d, lex, o, u.target[static_cast<size_t>(num)], edit);
  }
  const i32 max_written = u.written.empty() ? 0 : u.written.back();
  auto copy_entries = [&] {
    for_each_entry(d.data, u.dict_open, u.dict_close, [&](const dict_entry &e) {
      if (!dropped_key(e.name, u.stream_form)) out.add_range(d, e.key, e.to);
    });
  };
  const i32 xref_at = out.offset();
  if (!u.stream_form) {
    const i32 size = std::max(u.size_before, max_written + 1);
    out.add("xref\n");
    size_t k = 0;
    for (const auto &run : runs_of(u.written)) {
      out.addf("%ld %ld\n", static_cast<long>(run.first), static_cast<long>(run.second));
      for (i32 j = 0; j < run.second; ++j, ++k)
        write_table_line(out, static_cast<std::uint32_t>(offset[k] - u.base),
                         static_cast<std::uint32_t>(xref_gen(d.find(u.written[k])->gen)), 'n');
    }
    out.add("trailer\n<<");
    copy_entries();
    out.addf("/Size %ld/Prev %ld>>\nstartxref\n%ld\n%%%%EOF\n", static_cast<long>(size),
             static_cast<long>(u.prev), static_cast<long>(xref_at - u.base));
    return;
  }
  // The stream's own number is the old /Size; its entry comes with the rest.
  const i32 self = std::max(u.size_before, max_written + 1);
  std::vector<i32> nums = u.written;
  nums.push_back(self);
  offset.push_back(xref_at);
  std::string rows;
  rows.reserve(nums.size() * 7);
  for (size_t k = 0; k < nums.size(); ++k) {
    const std::uint32_t off = static_cast<std::uint32_t>(offset[k] - u.base);
    const long gen = k + 1 < nums.size() ? xref_gen(d.find(nums[k])->gen) : 0;
    const char row[7] = {1, static_cast<char>(off >> 24), static_cast<char>(off >> 16),
                         static_cast<char>(off >> 8), static_cast<char>(off),
                         static_cast<char>(gen >> 8), static_cast<char>(gen)};
    rows.append(row, sizeof row);
  }
  out.addf("%ld 0 obj\n<</Type /XRef/Size %ld/W [1 4 2]/Index [", static_cast<long>(self),
           static_cast<long>(self) + 1);
  bool first = true;
  for (const auto &run : runs_of(nums)) {
    out.addf(first ? "%ld %ld" : " %ld %ld", static_cast<long>(run.first),
             static_cast<long>(run.second));
    first = false;
  }
  out.addf("]/Length %ld", static_cast<long>(rows.size()));
  copy_entries();
  out.addf("/Prev %ld>>\nstream\n", static_cast<long>(u.prev));
  out.add(rows.data(), rows.size());
  out.addf("\nendstream\nendobj\nstartxref\n%ld\n%%%%EOF\n", static_cast<long>(xref_at - u.base));
}

}  // namespace

bool update_output::plan(document &loaded, std::vector<i32> target, const char *shown,
                         failure &err, const char *instead) {
  const lt::doc &d = loaded.d;
  loaded_ = &loaded;
  target_ = std::move(target);
  written_.clear();
  xref_chain chain;
  std::string why;
  std::vector<char> turned(target_.size(), 0);
  for (size_t k = 0; k < target_.size(); ++k) turned[k] = target_[k] >= 0;
  if (!read_xref_chain(d, &chain, &why) || !updatable(d, chain, turned, &why)) {
    err.set("cannot append an update to %s: %s (%s)", shown, why.c_str(), instead);
    return false;
  }
  if (!plan_member_edits(loaded, target_, &member_edits_, err)) return false;
  size_t next_edit = 0;
  for (const i32 idx : d.by_num) {
    if (idx < 0) continue;
    const obj_rec &o = d.objs[static_cast<size_t>(idx)];
    const i32 rotation = target_[static_cast<size_t>(o.num)];
    if (rotation < 0) continue;
    written_.push_back(o.num);
    dict_edit edit;
    if (o.in_objstm()) {
      edit = member_edits_[next_edit++].second;
    } else if (o.dict_off >= 0) {
      const i32 end = o.is_stream() ? o.stream_kw_off : o.endobj_off;
      edit = plan_dict_edit(d.data, d.len, o.dict_off, end, loaded.lex.record_close(o, end),
                            loaded.lex.own_rotate(o), rotation);
    }
    // A damaged dictionary (a nested one left open) can put the new entry
    // where readers do not take it for the page's own, or carry pieces of
    // the objects after it into the new revision (carries_other_objects).
    // Either way the update would not turn the page, and it is refused.
    if (reads_back(edit) != rotation || carries_other_objects(edit)) {
      err.set("cannot append an update to %s: the dictionary of obj %ld is damaged, and its new "
              "/Rotate would not be read (%s)",
              shown, static_cast<long>(o.num), instead);
      return false;
    }
  }
  prev_ = chain.newest;
  size_before_ = chain.size;
  dict_open_ = chain.dict_open;
  dict_close_ = chain.dict_close;
  stream_form_ = chain.stream_form;
  base_ = chain.base;
  // Measured by making the pieces once without keeping them: the update is
  // small beside the input, which is one piece.
  if (!measure(
          [&](outbuf &out) {
            assemble_update(d, loaded.lex,
                            {target_, member_edits_, written_, prev_, size_before_, dict_open_,
                             dict_close_, stream_form_, base_},
                            out);
          },
          &size_)) {
    err.set("failed to build output");
    return false;
  }
  return true;
}

bool update_output::emit(piece_sink &sink) const {
  outbuf out(sink);
  assemble_update(loaded_->d, loaded_->lex,
                  {target_, member_edits_, written_, prev_, size_before_, dict_open_, dict_close_,
                   stream_form_, base_},
                  out);
  return !out.failed();
}

bool update_possible(document &loaded, std::string *why) {
  xref_chain chain;
  return read_xref_chain(loaded.d, &chain, why) &&
         updatable(loaded.d, chain, std::vector<char>(static_cast<size_t>(loaded.d.max_num()) + 1, 1), why);
}

std::string update_refusal(document &loaded) {
  std::string why;
  return update_possible(loaded, &why) ? std::string() : why;
}

}  // namespace lt
