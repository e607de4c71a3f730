// SPDX-License-Identifier: MIT
// Reading the cross-reference chain (xref.h). Anything that does not read
// cleanly is a reason to refuse an update, never something to guess about.
#include "write/xref.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "syntax/dict_walk.h"
#include "decode/filters.h"
#include "inflate_buffer.h"
#include "load/xref_walk.h"

namespace lt {

namespace {

// A cross-reference stream decodes to at most this much.
constexpr size_t k_max_xref_data = size_t(1) << 28;

class chain_reader {
 public:
  chain_reader(const doc &d, xref_chain &out, std::string &why)
      : d_(d), b_(d.data), out_(out), why_(why) {}

  // base: what the chain's offsets count from, or -1 to tell it from where
  // the "startxref" value finds a section (xref_offset_base).
  bool run(i32 base) {
    const i32 kw = last_kw_uncommented(d_.data, d_.len, "startxref");
    if (kw < 0) return fail("it has no \"startxref\"");
    const i32 at = startxref_offset(b_, d_.len, kw);
    if (at < 0 || at >= d_.len) return fail("its \"startxref\" leads outside the file");
    out_.newest = at;
    base_ = out_.base = base >= 0 ? base : xref_offset_base(b_, d_.len, at);
    walk_ = xref_walk(b_, d_.len, base_);
    bool ok = true, newest = true;
    // A loop, or more sections than are read: the rest stays unread.
    const xref_walk::end end = walk_.run(at, [&](xref_section kind, i32 p) -> i32 {
      i32 prev = -1;
      if (kind == xref_section::table) ok = table(p, newest, &prev);
      else if (kind == xref_section::stream) ok = stream(p, newest, &prev);
      else ok = fail("a section of its cross-reference data is neither a table nor a stream");
      newest = false;
      return ok ? prev : -1;
    });
    if (ok && end == xref_walk::end::outside) return fail("a /Prev leads outside the file");
    return ok;
  }

 private:
  // A file offset from one the chain writes (-1 past what 32 bits hold).
  i32 moved(i32 where) const {
    const long long v = static_cast<long long>(where) + base_;
    return v > 0x7FFFFFFF ? -1 : static_cast<i32>(v);
  }

  bool fail(const std::string &why) {
    why_ = why;
    return false;
  }

  void set(i32 num, const xref_entry &e) {
    if (num < 0 || num > k_max_obj_num) return;
    const size_t u = static_cast<size_t>(num);
    if (out_.entries.size() <= u) out_.entries.resize(u + 1);
    if (out_.entries[u].type == xref_entry::none) out_.entries[u] = e;
  }

  bool table(i32 p, bool newest, i32 *prev) {
    const u8 *b = b_;
    const i32 len = d_.len;
    i32 i = p + kw_len("xref");
    for (;;) {
      i = skip_space(b, i, len);
      if (kw_at(b, i, len, "trailer")) break;
      i32 c = i;
      const i32 first = parse_int_at(b, len, &c);
      const i32 count = c > i ? parse_int_at(b, len, &c) : -1;
      if (first < 0 || count < 0 || static_cast<long long>(first) + count > k_max_obj_num + 1LL)
        return fail("a table's subsection cannot be read");
      i = c;
      for (i32 k = 0; k < count; ++k) {
        xref_entry e;
        e.where = parse_int_at(b, len, &i);
        e.gen_or_index = e.where >= 0 ? parse_int_at(b, len, &i) : -1;
        i = skip_pdf_ws(b, len, i);
        if (e.where < 0 || e.gen_or_index < 0 || i >= len || (b[i] != 'n' && b[i] != 'f'))
          return fail("a table's entry cannot be read");
        e.type = b[i] == 'n' ? xref_entry::in_file : xref_entry::free_entry;
        if (e.type == xref_entry::in_file) e.where = moved(e.where);
        ++i;
        set(first + k, e);
      }
    }
    const i32 open = skip_space(b, i + kw_len("trailer"), len);
    const i32 close = open + 1 < len && b[open] == '<' && b[open + 1] == '<'
                          ? find_dict_close(b, open, len)
                          : -1;
    if (close < 0) return fail("a trailer dictionary cannot be read");
    i32 xref_stm = -1, size = -1;
    *prev = -1;
    for_each_entry(b, open, close + 2, [&](const dict_entry &e) {
      if (is_null_value(b, e.from, e.to)) return;
      if (e.name == "Prev") *prev = integer_value(b, e.from, e.to);
      if (e.name == "XRefStm") xref_stm = integer_value(b, e.from, e.to);
      if (e.name == "Size") size = integer_value(b, e.from, e.to);
    });
    if (newest) {
      out_.stream_form = false;
      out_.size = size;
      out_.dict_open = open;
      out_.dict_close = close + 2;
      if (size < 1) return fail("its trailer has no /Size");
    }
    // A hybrid file: the stream's entries stand behind the table's.
    if (xref_stm >= 0) {
      i32 ignored = -1;
      if (xref_stm >= len - base_) return fail("an /XRefStm leads outside the file");
      const i32 q = skip_pdf_ws(b, len, xref_stm + base_);
      if (!walk_.mark(q)) return true;
      if (q >= len || !is_digit(b[q])) return fail("an /XRefStm leads to no stream");
      if (!stream(q, false, &ignored)) return false;
    }
    return true;
  }

  // What a cross-reference stream's dictionary says.
  struct stream_dict {
    i32 open = -1, close = -1, data = -1;  // "<<", its ">>", the data's start
    bool is_xref = false, flate = false, bad = false;
    i32 size = -1, length = -1, prev = -1;
    predictor_params parms{k_no_predictor, 1, 8, 1};
    std::vector<i32> w, index;
  };

  // The dictionary of the stream object whose header is at p; false when
  // it cannot be read (with the reason).
  bool read_stream_dict(i32 p, stream_dict *sd) {
    const u8 *b = b_;
    const i32 len = d_.len;
    const i32 kw = obj_keyword_pos(b, len, p);
    if (!kw_at(b, kw, len, "obj")) return fail("a cross-reference stream has no object header");
    sd->open = skip_space(b, kw + kw_len("obj"), len);
    sd->close = sd->open + 1 < len && b[sd->open] == '<' && b[sd->open + 1] == '<'
                    ? find_dict_close(b, sd->open, len)
                    : -1;
    const i32 s = stream_kw_after(b, len, sd->close);
    if (sd->close < 0 || s < 0) return fail("a cross-reference stream cannot be read");
    sd->data = stream_data_start(b, len, s);
    auto numbers = [&](const dict_entry &e, std::vector<i32> *v) {
      i32 i = skip_space(b, e.from, e.to);
      if (i >= e.to || b[i] != '[') return false;
      for (++i;;) {
        i = skip_space(b, i, e.to);
        if (i < e.to && b[i] == ']') return true;
        i32 c = i;
        const i32 n = parse_int_at(b, e.to, &c);
        if (c == i || n < 0) return false;
        v->push_back(n);
        i = c;
      }
    };
    for_each_entry(b, sd->open, sd->close + 2, [&](const dict_entry &e) {
      if (is_null_value(b, e.from, e.to)) return;  // null: as if absent
      if (e.name == "Type") sd->is_xref = is_name_value(b, e.from, e.to, "XRef");
      else if (e.name == "Size") sd->size = integer_value(b, e.from, e.to);
      else if (e.name == "Prev") sd->prev = integer_value(b, e.from, e.to);
      else if (e.name == "W") sd->bad |= !numbers(e, &sd->w);
      else if (e.name == "Index") sd->bad |= !numbers(e, &sd->index);
      else if (e.name == "Length") sd->length = length_value(e.from, e.to);
    });
    // One filter at most, Flate; its decode parameters as they are written
    // (a value that is not a number is refused below). Without a filter,
    // no parameters apply.
    std::vector<filter_step> chain;
    if (!read_filter_chain(d_, span{b, sd->open, sd->close + 2}, &chain)) {
      sd->bad = true;
    } else if (!chain.empty()) {
      sd->flate = chain.size() == 1 && chain[0].kind == filter_kind::flate;
      sd->bad |= !sd->flate;
      if (sd->flate) sd->parms = chain[0].parms;
    }
    if (!sd->is_xref) return fail("a section is an object that is not a cross-reference stream");
    if (sd->bad || sd->w.size() != 3 || sd->size < 0 || sd->index.size() % 2 != 0)
      return fail("a cross-reference stream's dictionary cannot be read");
    if (sd->length < 0 || static_cast<long long>(sd->data) + sd->length > len)
      return fail("a cross-reference stream's /Length runs past the file");
    // The data may run straight into "endstream", as the loader reads it.
    if (!endstream_at(b, len, sd->data + sd->length))
      return fail("a cross-reference stream's /Length does not end at \"endstream\"");
    if (sd->index.empty()) sd->index = {0, sd->size};
    return true;
  }

  // The stream's rows (count of them, row bytes each), decoded and
  // unpredicted, into *rows. A predictor works on rows of its own width
  // (/Columns, /Colors, /BitsPerComponent), which need not be the entries'
  // (the sum of /W): the entries are read from what it gives.
  bool read_rows(const stream_dict &sd, long long row, long long count, std::vector<u8> *rows) {
    const u8 *raw = b_ + sd.data;
    size_t raw_len = static_cast<size_t>(sd.length);
    std::vector<u8> inflated;
    const bool predicted = sd.parms.predictor != k_no_predictor;
    const bool png = sd.parms.predictor >= k_png_first;
    const long long need = row * count;  // at most k_max_xref_data
    long long prow = row;                // the predictor's row
    if (predicted) {
      const predictor_params &pp = sd.parms;
      if (pp.predictor != k_tiff_predictor && (pp.predictor < k_png_first || pp.predictor > k_png_last))
        return fail("a cross-reference stream uses a predictor that is not read");
      if (pp.colors < 1 || pp.colors > 32 || pp.columns < 1 ||
          (pp.bpc != 1 && pp.bpc != 2 && pp.bpc != 4 && pp.bpc != 8 && pp.bpc != 16))
        return fail("a cross-reference stream's predictor cannot be read");
      prow = (static_cast<long long>(pp.colors) * pp.bpc * pp.columns + 7) / 8;
      if (prow > static_cast<long long>(k_max_xref_data))
        return fail("a cross-reference stream's predictor cannot be read");
    }
    const long long prows = (need + prow - 1) / prow;
    // The bytes that hold the entries: whole predictor rows, and the part
    // of the last one that they reach.
    const long long full = need / prow, part = need % prow;
    const long long stride = prow + (png ? 1 : 0);
    const long long holds = full * stride + (part ? part + (png ? 1 : 0) : 0);
    if (sd.flate) {
      // Room past the rows, so that data longer than they are still
      // decodes (only the rows are read).
      constexpr size_t k_rows_spare = 4096;
      const size_t room = static_cast<size_t>(prows * stride) + k_rows_spare;
      inflate_buffer inflater;
      if (!inflater.decode(raw, raw_len, room, room)) return fail("a cross-reference stream does not decode");
      inflated.assign(inflater.data(), inflater.data() + inflater.size());
      raw = inflated.data();
      raw_len = inflated.size();
    }
    if (!predicted) {
      if (raw_len < static_cast<size_t>(need)) return fail("a cross-reference stream's data is cut short");
      rows->assign(raw, raw + need);
      return true;
    }
    if (raw_len < static_cast<size_t>(holds))
      return fail(png ? "a cross-reference stream's predictor rows are cut short"
                      : "a cross-reference stream's data is cut short");
    // A last row cut after the entries is read as far as it goes: each
    // byte depends only on those before it.
    std::vector<u8> padded;
    if (raw_len < static_cast<size_t>(prows * stride)) {
      if (!sd.flate) padded.assign(raw, raw + raw_len);
      else padded.swap(inflated);
      padded.resize(static_cast<size_t>(prows * stride), 0);
      raw = padded.data();
      raw_len = padded.size();
    }
    const char *bad_rows = nullptr;
    if (!unpredict(raw, raw_len, sd.parms, static_cast<size_t>(prow), static_cast<size_t>(prows), rows,
                   &bad_rows))
      return fail(bad_rows);
    rows->resize(static_cast<size_t>(need));
    return true;
  }

  bool stream(i32 p, bool newest, i32 *prev) {
    stream_dict sd;
    *prev = -1;
    if (!read_stream_dict(p, &sd)) return false;
    *prev = sd.prev;
    long long row = 0;
    for (i32 x : sd.w) {
      if (x > 4 && x != 8) return fail("a cross-reference stream's /W cannot be read");
      row += x;
    }
    long long count = 0;
    for (size_t k = 0; k < sd.index.size(); k += 2) {
      if (static_cast<long long>(sd.index[k]) + sd.index[k + 1] > k_max_obj_num + 1LL)
        return fail("a cross-reference stream's /Index cannot be read");
      count += sd.index[k + 1];
    }
    if (row == 0 || row * count > static_cast<long long>(k_max_xref_data))
      return fail("a cross-reference stream's /W cannot be read");
    std::vector<u8> rows;
    if (!read_rows(sd, row, count, &rows)) return false;

    const u8 *r = rows.data();
    auto field = [&](int width, long long dflt) {
      if (width == 0) return dflt;
      unsigned long long v = 0;
      for (int k = 0; k < width; ++k) v = (v << 8) | *r++;
      return v > 0x7FFFFFFFull ? -1LL : static_cast<long long>(v);
    };
    for (size_t k = 0; k < sd.index.size(); k += 2) {
      for (i32 j = 0; j < sd.index[k + 1]; ++j) {
        const long long t = field(sd.w[0], 1), f2 = field(sd.w[1], 0), f3 = field(sd.w[2], 0);
        // A free entry's fields are not used (a generation of 0xFFFFFFFF
        // is common there), nor those of a type no reader knows.
        if (t < 0 || ((t == 1 || t == 2) && (f2 < 0 || f3 < 0)))
          return fail("a cross-reference stream's entry cannot be read");
        xref_entry e;
        e.type = t == 0   ? xref_entry::free_entry
                 : t == 1 ? xref_entry::in_file
                 : t == 2 ? xref_entry::in_stream
                          : xref_entry::none;
        e.where = e.type == xref_entry::in_file ? moved(static_cast<i32>(f2)) : static_cast<i32>(f2);
        e.gen_or_index = static_cast<i32>(f3);
        if (e.type != xref_entry::none) set(sd.index[k] + j, e);
      }
    }
    if (newest) {
      out_.stream_form = true;
      out_.size = sd.size;
      out_.dict_open = sd.open;
      out_.dict_close = sd.close + 2;
    }
    return true;
  }

  // /Length: a number, or a reference to an object that holds one.
  i32 length_value(i32 from, i32 to) const {
    const i32 v = integer_value(b_, from, to);
    if (v >= 0) return v;
    const span c = referenced_content(d_, reference_value(b_, from, to));
    return c ? integer_value(c.b, c.start, c.limit) : -1;
  }

  const doc &d_;
  const u8 *b_;
  xref_chain &out_;
  std::string &why_;
  i32 base_ = 0;
  xref_walk walk_{nullptr, 0};
};

}  // namespace

const xref_entry &xref_chain::entry(i32 num) const {
  static const xref_entry none{};
  return (num >= 0 && static_cast<size_t>(num) < entries.size()) ? entries[static_cast<size_t>(num)]
                                                                   : none;
}

namespace {

// How many of the chain's entries in the file name an object header of
// their own number there, and how many do not.
void count_landings(const doc &d, const xref_chain &chain, size_t *land, size_t *miss) {
  *land = *miss = 0;
  for (size_t num = 1; num < chain.entries.size(); ++num) {
    const xref_entry &e = chain.entries[num];
    if (e.type != xref_entry::in_file) continue;
    i32 c = e.where >= 0 && e.where < d.len ? skip_pdf_ws(d.data, d.len, e.where) : -1;
    const i32 at = c;
    const bool ok = c >= 0 && parse_int_at(d.data, d.len, &c) == static_cast<i32>(num) && c > at &&
                    kw_at(d.data, obj_keyword_pos(d.data, d.len, at), d.len, "obj");
    ++(ok ? *land : *miss);
  }
}

}  // namespace

bool read_xref_chain(const doc &d, xref_chain *out, std::string *why) {
  *out = xref_chain();
  chain_reader r(d, *out, *why);
  const bool ok = r.run(-1);
  // Offsets counted from a header that bytes stand before: where those
  // bytes are white space, the "startxref" value finds the section either
  // way, and only the entries tell which way the file counts.
  const i32 header = header_offset(d.data, d.len);
  if (header <= 0 || out->base == header) return ok;
  size_t land = 0, miss = 0;
  if (ok) count_landings(d, *out, &land, &miss);
  if (ok && miss == 0) return ok;
  xref_chain other;
  std::string other_why;
  chain_reader again(d, other, other_why);
  if (!again.run(header)) return ok;
  size_t land2 = 0, miss2 = 0;
  count_landings(d, other, &land2, &miss2);
  if (miss2 != 0 || land2 == 0) return ok;
  *out = std::move(other);
  why->clear();
  return true;
}

}  // namespace lt
