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

namespace {

// unpredict's reading, with the reason as its result (null when it reads).
const char *unpredicted_rows(const u8 *raw, size_t raw_len, const predictor_params &p, size_t row,
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

}  // namespace

bool unpredict(const u8 *raw, size_t raw_len, const predictor_params &p, size_t row, size_t count,
               std::vector<u8> *rows, const char **why) {
  *why = unpredicted_rows(raw, raw_len, p, row, count, rows);
  return *why == nullptr;
}



namespace {

bool is_white(u8 c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

decoded ascii_hex(const u8 *in, size_t n, size_t budget, std::vector<u8> *out) {
  out->clear();
  int hi = -1;
  for (size_t i = 0; i < n; ++i) {
    const u8 c = in[i];
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

decoded ascii85(const u8 *in, size_t len, size_t budget, std::vector<u8> *out) {
  out->clear();
  std::uint32_t group = 0;
  int n = 0;
  size_t i = 0;
  if (len >= 2 && in[0] == '<' && in[1] == '~') i = 2;
  for (; i < len; ++i) {
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

decoded run_length(const u8 *in, size_t size, size_t budget, std::vector<u8> *out) {
  out->clear();
  for (size_t i = 0; i < size;) {
    const u8 len = in[i++];
    if (len == 128) break;
    if (len < 128) {
      const size_t n = static_cast<size_t>(len) + 1;
      if (i + n > size) return decoded::unreadable;
      if (out->size() + n > budget) return decoded::over_budget;
      out->insert(out->end(), in + i, in + i + n);
      i += n;
    } else {
      if (i >= size) return decoded::unreadable;
      const size_t n = 257 - static_cast<size_t>(len);
      if (out->size() + n > budget) return decoded::over_budget;
      out->insert(out->end(), n, in[i++]);
    }
  }
  return decoded::ok;
}

decoded lzw(const u8 *in, size_t len, int early, size_t budget, std::vector<u8> *out) {
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
    while (bits < width && i < len) {
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

// Predicted rows of decoded data, back to the data.
bool unpredicted(const predictor_params &parms, std::vector<u8> *data) {
  const predictor_params p = parms.lenient();
  if (p.predictor == k_no_predictor) return true;
  const long long row = (static_cast<long long>(p.colors) * p.bpc * p.columns + 7) / 8;
  if (row <= 0 || row > (1 << 24)) return false;
  const bool png = p.predictor >= k_png_first;
  const size_t stride = static_cast<size_t>(row) + (png ? 1 : 0);
  const size_t count = data->size() / stride;
  std::vector<u8> rows;
  const char *why = nullptr;
  if (!unpredict(data->data(), data->size(), p, static_cast<size_t>(row), count, &rows, &why)) return false;
  data->swap(rows);
  return true;
}

}  // namespace

decoded stream_decoder::run(const doc &d, const obj_rec &o, size_t budget, const u8 **data,
                            size_t *size, size_t *spent) {
  *spent = 0;
  if (!o.is_stream() || o.data_off < 0 || o.data_end < o.data_off) return decoded::unreadable;
  const span dict = stream_dict(d, o);
  if (!dict || !read_filter_chain(d, dict, &chain_)) return decoded::unreadable;
  const u8 *in = d.data + o.data_off;
  size_t n = static_cast<size_t>(o.data_end - o.data_off);
  if (d.sec.present && d.sec.streams != crypt_method::identity) {
    if (!decrypt_bytes(d.sec, d.sec.streams, o.num, o.gen, in, n, &plain_)) return decoded::unreadable;
    in = plain_.data();
    n = plain_.size();
  }
  if (n > budget && chain_.empty()) return decoded::over_budget;
  // Each filter reads [in, in + n), the bytes the one before it left (in
  // the file, plain_, or the inflater's block), and leaves its own.
  for (const filter_step &f : chain_) {
    decoded r = decoded::ok;
    const decode_parms parms = f.parms.lenient();
    switch (f.kind) {
      case filter_kind::flate: {
        if (in == inflater_.data()) {  // the inflater reads another block than its own
          plain_.assign(in, in + n);
          in = plain_.data();
        }
        // A first guess of four times the data; a stream that does not fit
        // is measured by that decode, and decoded again at its size.
        const size_t cap = std::min<size_t>(budget - std::min(budget, *spent), size_t(1) << 30);
        if (!inflater_.decode(in, n, n * 4 + 4096, cap)) {
          // Not Flate data, cut short, or more than the budget: the work
          // done is at most what the input could have given.
          *spent += std::min(cap, n * k_max_inflate_ratio + 4096);
          return decoded::unreadable;
        }
        *spent += inflater_.size();
        if (parms.predictor == k_no_predictor) {
          in = inflater_.data();
          n = inflater_.size();
          break;
        }
        next_.assign(inflater_.data(), inflater_.data() + inflater_.size());
        if (!unpredicted(parms, &next_)) r = decoded::unreadable;
        break;
      }
      case filter_kind::lzw:
        r = lzw(in, n, parms.early_change ? 1 : 0, budget, &next_);
        if (r == decoded::ok && !unpredicted(parms, &next_)) r = decoded::unreadable;
        break;
      case filter_kind::ascii_hex: r = ascii_hex(in, n, budget, &next_); break;
      case filter_kind::ascii85: r = ascii85(in, n, budget, &next_); break;
      case filter_kind::run_length: r = run_length(in, n, budget, &next_); break;
      case filter_kind::crypt:
        continue;  // the identity crypt filter; the file's method was applied
      default:
        r = decoded::unreadable;  // a filter not read
        break;
    }
    if (r == decoded::over_budget) *spent = budget;
    if (r != decoded::ok) return r;
    if (f.kind != filter_kind::flate) *spent += next_.size();
    if (*spent >= budget) return decoded::over_budget;
    if (f.kind != filter_kind::flate || parms.predictor != k_no_predictor) {
      // The next filter reads what this one wrote (plain_ takes it over).
      plain_.swap(next_);
      in = plain_.data();
      n = plain_.size();
    }
  }
  if (n > budget) return decoded::over_budget;
  *data = in;
  *size = n;
  return decoded::ok;
}

decoded stream_decoder::decode(const doc &d, const obj_rec &o, size_t budget, std::vector<u8> *out,
                               size_t *spent) {
  out->clear();
  const u8 *data = nullptr;
  size_t n = 0;
  const decoded r = run(d, o, budget, &data, &n, spent);
  if (r != decoded::ok) return r;
  if (n && data == plain_.data()) out->swap(plain_);
  else out->assign(data, data + n);
  return r;
}

decoded stream_decoder::decode_in_place(const doc &d, const obj_rec &o, size_t budget,
                                        const u8 **data, size_t *size, size_t *spent) {
  *data = nullptr;
  *size = 0;
  return run(d, o, budget, data, size, spent);
}

}  // namespace lt
