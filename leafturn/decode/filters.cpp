// SPDX-License-Identifier: MIT
// Stream filters (filters.h).
#include "decode/filters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "syntax/dict_walk.h"
#include "inflate.h"
#include "decode/security.h"

namespace lt {

const char *unpredict(const u8 *raw, size_t raw_len, const predictor_params &p, size_t row,
                      size_t count, std::vector<u8> *rows) {
  if (p.predictor == k_no_predictor) {
    if (raw_len < row * count) return "a cross-reference stream's data is cut short";
    rows->assign(raw, raw + row * count);
    return nullptr;
  }
  const bool png = p.predictor >= k_png_first && p.predictor <= k_png_last;
  if (!png && p.predictor != k_tiff_predictor)
    return "a cross-reference stream uses a predictor that is not read";
  const int bpc = p.bpc;
  if (p.colors < 1 || p.colors > 32 || p.columns < 1 ||
      (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16))
    return "a cross-reference stream's predictor does not fit its /W";
  const long long bits = static_cast<long long>(p.colors) * bpc;
  if ((bits * p.columns + 7) / 8 != static_cast<long long>(row))
    return "a cross-reference stream's predictor does not fit its /W";
  rows->resize(row * count);
  if (!png) {  // TIFF: each component adds the one a pixel to its left
    if (raw_len < row * count) return "a cross-reference stream's data is cut short";
    std::memcpy(rows->data(), raw, row * count);
    const unsigned mask = (1u << bpc) - 1;
    const size_t per_row = static_cast<size_t>(p.colors) * static_cast<size_t>(p.columns);
    for (size_t r = 0; r < count; ++r) {
      u8 *cur = rows->data() + r * row;
      if (bpc == 8) {
        for (size_t k = static_cast<size_t>(p.colors); k < row; ++k)
          cur[k] = static_cast<u8>(cur[k] + cur[k - static_cast<size_t>(p.colors)]);
      } else if (bpc == 16) {
        for (size_t k = 2 * static_cast<size_t>(p.colors); k + 1 < row; k += 2) {
          const size_t l = k - 2 * static_cast<size_t>(p.colors);
          const unsigned v = ((cur[k] << 8 | cur[k + 1]) + (cur[l] << 8 | cur[l + 1])) & 0xFFFFu;
          cur[k] = static_cast<u8>(v >> 8);
          cur[k + 1] = static_cast<u8>(v);
        }
      } else {  // components packed several to a byte, first bits first
        auto get = [&](size_t i) {
          const size_t bit = i * static_cast<size_t>(bpc);
          return (cur[bit / 8] >> (8 - bpc - bit % 8)) & mask;
        };
        for (size_t i = static_cast<size_t>(p.colors); i < per_row; ++i) {
          const unsigned v = (get(i) + get(i - static_cast<size_t>(p.colors))) & mask;
          const size_t bit = i * static_cast<size_t>(bpc);
          const int shift = 8 - bpc - static_cast<int>(bit % 8);
          u8 &byte = cur[bit / 8];
          byte = static_cast<u8>((byte & ~(mask << shift)) | (v << shift));
        }
      }
    }
    return nullptr;
  }
  // PNG: a filter byte before each row; "left" is one whole pixel back.
  const size_t bpp = static_cast<size_t>(bits >= 8 ? bits / 8 : 1);
  const size_t stride = row + 1;
  if (raw_len / stride < count) return "a cross-reference stream's predictor rows are cut short";
  std::vector<u8> up(row, 0);
  for (size_t r = 0; r < count; ++r) {
    const u8 *in = raw + r * stride;
    u8 *cur = rows->data() + r * row;
    for (size_t k = 0; k < row; ++k) {
      const int left = k >= bpp ? cur[k - bpp] : 0, above = up[k];
      const int corner = k >= bpp ? up[k - bpp] : 0;
      int v = in[1 + k];
      switch (in[0]) {
        case 0: break;
        case 1: v += left; break;
        case 2: v += above; break;
        case 3: v += (left + above) / 2; break;
        case 4: {
          const int pa = std::abs(above - corner), pb = std::abs(left - corner),
                    pc = std::abs(left + above - 2 * corner);
          v += (pa <= pb && pa <= pc) ? left : pb <= pc ? above : corner;
          break;
        }
        default: return "a cross-reference stream's predictor rows cannot be read";
      }
      cur[k] = static_cast<u8>(v);
    }
    std::memcpy(up.data(), cur, row);
  }
  return nullptr;
}



namespace {

// One filter of a chain, with its parameters.
struct filter_step {
  std::string name;
  predictor_params parms;
  int early_change = 1;  // LZW
};

// A dictionary that the value [from, to) of b holds or names.
span dict_at(const doc &d, const u8 *b, i32 from, i32 to) {
  const i32 c = skip_space(b, from, to);
  if (c + 1 < to && b[c] == '<' && b[c + 1] == '<') return span{b, c, to};
  const i32 num = reference_value(b, from, to);
  const obj_rec *o = num > 0 ? d.find(num) : nullptr;
  if (!o) return span();
  const span v = o->is_stream() ? stream_dict(d, *o) : object_content(d, *o);
  if (!v) return span();
  return span{v.b, skip_space(v.b, v.start, v.limit), v.limit};
}

// The value [from, to) as an array's span (direct or through a reference):
// just inside its brackets; empty when it is not an array.
span array_at(const doc &d, const u8 *b, i32 from, i32 to) {
  i32 c = skip_space(b, from, to);
  if (c < to && b[c] == '[') {
    const i32 end = value_end(b, c, to);
    return end < 0 ? span() : span{b, c + 1, end - 1};
  }
  const i32 num = reference_value(b, from, to);
  const span v = num > 0 ? referenced_content(d, num) : span();
  if (!v) return span();
  c = skip_space(v.b, v.start, v.limit);
  if (c >= v.limit || v.b[c] != '[') return span();
  const i32 end = value_end(v.b, c, v.limit);
  return end < 0 ? span() : span{v.b, c + 1, end - 1};
}

void read_parms(const doc &d, span dict, filter_step *f) {
  if (!dict) return;
  for_each_entry(dict.b, dict.start, dict.limit, [&](const dict_entry &e) {
    const i32 v = integer_value(dict.b, e.from, e.to);
    if (v < 0) return;  // null or damaged: the default stands
    if (e.name == "Predictor") f->parms.predictor = v;
    else if (e.name == "Colors") f->parms.colors = v;
    else if (e.name == "BitsPerComponent") f->parms.bpc = v;
    else if (e.name == "Columns") f->parms.columns = v;
    else if (e.name == "EarlyChange") f->early_change = v;
  });
  (void)d;
}

// The filter chain of a stream dictionary; false when it cannot be read.
bool read_chain(const doc &d, span dict, std::vector<filter_step> *chain) {
  span filters, parms;
  bool bad = false;
  const i32 end = for_each_entry(dict.b, dict.start, dict.limit, [&](const dict_entry &e) {
    if (is_null_value(dict.b, e.from, e.to)) return;  // as if absent
    if (e.name == "Filter") filters = span{dict.b, e.from, e.to};
    else if (e.name == "DecodeParms") parms = span{dict.b, e.from, e.to};
  });
  if (end < 0) bad = true;
  if (!filters) return !bad;
  std::string name;
  const i32 c = skip_space(filters.b, filters.start, filters.limit);
  if (c < filters.limit && filters.b[c] == '/') {
    name_text(filters.b, c, filters.limit, &name);
    chain->push_back({name, {}, 1});
    if (parms) read_parms(d, dict_at(d, parms.b, parms.start, parms.limit), &chain->back());
    return !bad;
  }
  const span list = array_at(d, filters.b, filters.start, filters.limit);
  if (!list) return false;
  for (i32 i = skip_space(list.b, list.start, list.limit); i < list.limit;
       i = skip_space(list.b, i, list.limit)) {
    if (list.b[i] != '/') return false;
    i = name_text(list.b, i, list.limit, &name);
    chain->push_back({name, {}, 1});
  }
  if (!parms) return !bad;
  const span plist = array_at(d, parms.b, parms.start, parms.limit);
  if (!plist) {  // one dictionary for a chain of one
    if (chain->size() == 1) read_parms(d, dict_at(d, parms.b, parms.start, parms.limit), &chain->back());
    return !bad;
  }
  size_t k = 0;
  for (i32 i = skip_space(plist.b, plist.start, plist.limit); i < plist.limit && k < chain->size();
       i = skip_space(plist.b, i, plist.limit), ++k) {
    const i32 e = value_end(plist.b, i, plist.limit);
    if (e < 0) return false;
    if (!is_null_value(plist.b, i, e))
      read_parms(d, dict_at(d, plist.b, i, e), &(*chain)[k]);
    i = e;
  }
  return !bad;
}

bool is_white(u8 c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

decoded ascii_hex(const std::vector<u8> &in, size_t budget, std::vector<u8> *out) {
  out->clear();
  int hi = -1;
  for (const u8 c : in) {
    if (c == '>') break;
    if (is_white(c)) continue;
    const int v = hex_digit(c);
    if (v < 0) return decoded::unreadable;
    if (hi < 0) {
      hi = v;
      continue;
    }
    if (out->size() >= budget) return decoded::over_budget;
    out->push_back(static_cast<u8>(hi * 16 + v));
    hi = -1;
  }
  if (hi >= 0) out->push_back(static_cast<u8>(hi * 16));
  return decoded::ok;
}

decoded ascii85(const std::vector<u8> &in, size_t budget, std::vector<u8> *out) {
  out->clear();
  std::uint32_t group = 0;
  int n = 0;
  size_t i = 0;
  if (in.size() >= 2 && in[0] == '<' && in[1] == '~') i = 2;
  for (; i < in.size(); ++i) {
    const u8 c = in[i];
    if (is_white(c)) continue;
    if (c == '~') break;
    if (out->size() + 4 > budget) return decoded::over_budget;
    if (c == 'z' && n == 0) {
      out->insert(out->end(), 4, 0);
      continue;
    }
    if (c < '!' || c > 'u') return decoded::unreadable;
    const std::uint64_t next = std::uint64_t(group) * 85 + (c - '!');
    if (next > 0xFFFFFFFFu) return decoded::unreadable;
    group = static_cast<std::uint32_t>(next);
    if (++n == 5) {
      for (int k = 3; k >= 0; --k) out->push_back(static_cast<u8>(group >> (8 * k)));
      group = 0;
      n = 0;
    }
  }
  if (n == 1) return decoded::unreadable;
  if (n > 1) {
    for (int k = n; k < 5; ++k) group = group * 85 + 84;
    for (int k = 0; k < n - 1; ++k) out->push_back(static_cast<u8>(group >> (24 - 8 * k)));
  }
  return decoded::ok;
}

decoded run_length(const std::vector<u8> &in, size_t budget, std::vector<u8> *out) {
  out->clear();
  for (size_t i = 0; i < in.size();) {
    const u8 len = in[i++];
    if (len == 128) break;
    if (len < 128) {
      const size_t n = static_cast<size_t>(len) + 1;
      if (i + n > in.size()) return decoded::unreadable;
      if (out->size() + n > budget) return decoded::over_budget;
      out->insert(out->end(), in.begin() + static_cast<long>(i), in.begin() + static_cast<long>(i + n));
      i += n;
    } else {
      if (i >= in.size()) return decoded::unreadable;
      const size_t n = 257 - static_cast<size_t>(len);
      if (out->size() + n > budget) return decoded::over_budget;
      out->insert(out->end(), n, in[i++]);
    }
  }
  return decoded::ok;
}

decoded lzw(const std::vector<u8> &in, int early, size_t budget, std::vector<u8> *out) {
  out->clear();
  // The table as (prefix code, last byte, length); codes 0..255 are bytes.
  std::vector<std::uint32_t> prefix(4096);
  std::vector<u8> last(4096), first(4096);
  std::vector<std::uint32_t> length(4096);
  for (int k = 0; k < 256; ++k) {
    last[k] = first[k] = static_cast<u8>(k);
    length[k] = 1;
  }
  int next = 258, width = 9, prev = -1;
  std::uint32_t acc = 0;
  int bits = 0;
  size_t i = 0;
  auto emit = [&](int code) -> bool {
    const size_t n = length[static_cast<size_t>(code)];
    if (out->size() + n > budget) return false;
    const size_t at = out->size();
    out->resize(at + n);
    for (size_t k = n; k > 0; --k) {
      (*out)[at + k - 1] = last[static_cast<size_t>(code)];
      code = static_cast<int>(prefix[static_cast<size_t>(code)]);
    }
    return true;
  };
  for (;;) {
    while (bits < width && i < in.size()) {
      acc = (acc << 8) | in[i++];
      bits += 8;
    }
    if (bits < width) break;
    const int code = static_cast<int>((acc >> (bits - width)) & ((1u << width) - 1));
    bits -= width;
    if (code == 256) {
      next = 258;
      width = 9;
      prev = -1;
      continue;
    }
    if (code == 257) break;
    if (prev < 0) {
      if (code > 255) return decoded::unreadable;
      if (!emit(code)) return decoded::over_budget;
      prev = code;
      continue;
    }
    if (code > next || (code == next && next >= 4096)) return decoded::unreadable;
    if (next < 4096) {
      // The new entry: prev's string and the first byte of code's (prev's
      // own when code is the entry being made).
      prefix[static_cast<size_t>(next)] = static_cast<std::uint32_t>(prev);
      first[static_cast<size_t>(next)] = first[static_cast<size_t>(prev)];
      last[static_cast<size_t>(next)] =
          code == next ? first[static_cast<size_t>(prev)] : first[static_cast<size_t>(code)];
      length[static_cast<size_t>(next)] = length[static_cast<size_t>(prev)] + 1;
      ++next;
    }
    if (!emit(code)) return decoded::over_budget;
    prev = code;
    if (next + early >= (1 << width) && width < 12) ++width;
  }
  return decoded::ok;
}

// DEFLATE never expands past this ratio: what a failed decode cost is at
// most this many times its input.
constexpr size_t k_max_inflate_ratio = 1032;

decoded inflated(const std::vector<u8> &in, size_t budget, std::vector<u8> *out, size_t *spent) {
  // Decoded into a buffer of a first guess; a stream that does not fit is
  // measured by that decode, and decoded again at its size.
  const size_t cap = std::min<size_t>(budget, size_t(1) << 30);
  const size_t guess = std::min<size_t>(cap, in.size() * 4 + 4096);
  out->resize(guess);
  size_t total = 0;
  bool complete = false;
  if (inflate_decompress_some(in.data(), in.size(), out->data(), guess, cap, &total, &complete) != 0) {
    // Not Flate data, cut short, or more than the budget: the work done
    // is at most what the input could have given.
    *spent += std::min(cap, in.size() * k_max_inflate_ratio + 4096);
    return decoded::unreadable;
  }
  if (!complete) {
    out->resize(total);
    size_t got = 0;
    if (inflate_decompress(in.data(), in.size(), out->data(), total, &got) != 0 || got != total)
      return decoded::unreadable;
  }
  out->resize(total);
  *spent += total;
  return decoded::ok;
}

// Predicted rows of decoded data, back to the data.
bool unpredicted(const filter_step &f, std::vector<u8> *data) {
  if (f.parms.predictor == k_no_predictor) return true;
  const long long row = (static_cast<long long>(f.parms.colors) * f.parms.bpc * f.parms.columns + 7) / 8;
  if (row <= 0 || row > (1 << 24)) return false;
  const bool png = f.parms.predictor >= k_png_first;
  const size_t stride = static_cast<size_t>(row) + (png ? 1 : 0);
  const size_t count = data->size() / stride;
  std::vector<u8> rows;
  if (unpredict(data->data(), data->size(), f.parms, static_cast<size_t>(row), count, &rows)) return false;
  data->swap(rows);
  return true;
}

}  // namespace

decoded decode_stream_data(const doc &d, const obj_rec &o, size_t budget, std::vector<u8> *out,
                           size_t *spent) {
  out->clear();
  *spent = 0;
  if (!o.is_stream() || o.data_off < 0 || o.data_end < o.data_off) return decoded::unreadable;
  const span dict = stream_dict(d, o);
  std::vector<filter_step> chain;
  if (!dict || !read_chain(d, span{dict.b, skip_space(dict.b, dict.start, dict.limit), dict.limit}, &chain))
    return decoded::unreadable;
  const u8 *data = d.data + o.data_off;
  const size_t n = static_cast<size_t>(o.data_end - o.data_off);
  std::vector<u8> cur;
  if (d.sec.present && d.sec.streams != crypt_method::identity) {
    if (!decrypt_bytes(d.sec, d.sec.streams, o.num, o.gen, data, n, &cur)) return decoded::unreadable;
  } else {
    cur.assign(data, data + n);
  }
  if (cur.size() > budget && chain.empty()) return decoded::over_budget;
  std::vector<u8> next;
  for (const filter_step &f : chain) {
    decoded r = decoded::unreadable;
    const std::string &name = f.name;
    if (name == "FlateDecode" || name == "Fl") {
      r = inflated(cur, budget - std::min(budget, *spent), &next, spent);
      if (r == decoded::ok && !unpredicted(f, &next)) r = decoded::unreadable;
    } else if (name == "LZWDecode" || name == "LZW") {
      r = lzw(cur, f.early_change ? 1 : 0, budget, &next);
      if (r == decoded::ok && !unpredicted(f, &next)) r = decoded::unreadable;
    } else if (name == "ASCIIHexDecode" || name == "AHx") {
      r = ascii_hex(cur, budget, &next);
    } else if (name == "ASCII85Decode" || name == "A85") {
      r = ascii85(cur, budget, &next);
    } else if (name == "RunLengthDecode" || name == "RL") {
      r = run_length(cur, budget, &next);
    } else if (name == "Crypt") {
      continue;  // the identity crypt filter; the file's method was applied
    }
    if (r == decoded::over_budget) *spent = budget;
    if (r != decoded::ok) return r;
    if (name != "FlateDecode" && name != "Fl") *spent += next.size();
    if (*spent >= budget) return decoded::over_budget;
    cur.swap(next);
  }
  if (cur.size() > budget) return decoded::over_budget;
  out->swap(cur);
  return decoded::ok;
}

}  // namespace lt
