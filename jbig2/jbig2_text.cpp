// SPDX-License-Identifier: MIT
// Symbol dictionaries and text regions coded with the arithmetic coder:
// the integer decoders (IADH, IADW, IAEX, IADT, IAFS, IADS, IAIT, IARI)
// and the symbol number decoder (IAID), the height classes of new
// symbols, the export runs, and the strips of symbol instances placed by
// their reference corner, transposed or not.
#include <algorithm>
#include <cstring>

#include "jbig2_internal.h"

namespace lt {
namespace jb2 {
namespace {

// One integer decoder's contexts.
struct int_decoder {
  context cx[512];
  int_decoder() { std::memset(cx, 0, sizeof cx); }

  // False for OOB.
  bool decode(mq_decoder &d, std::int64_t *v) {
    unsigned prev = 1;
    auto bit = [&]() {
      const int b = d.decode(cx[prev]);
      prev = prev < 256 ? (prev << 1 | unsigned(b)) : (((prev << 1 | unsigned(b)) & 511) | 256);
      return b;
    };
    const int s = bit();
    int n;
    std::uint32_t offset;
    if (!bit()) {
      n = 2, offset = 0;
    } else if (!bit()) {
      n = 4, offset = 4;
    } else if (!bit()) {
      n = 6, offset = 20;
    } else if (!bit()) {
      n = 8, offset = 84;
    } else if (!bit()) {
      n = 12, offset = 340;
    } else {
      n = 32, offset = 4436;
    }
    std::int64_t value = 0;
    for (int i = 0; i < n; ++i) value = value << 1 | bit();
    value += offset;
    if (s && value == 0) return false;
    *v = s ? -value : value;
    return true;
  }
};

std::uint32_t decode_id(mq_decoder &d, context *cx, int len) {
  std::uint32_t prev = 1;
  for (int i = 0; i < len; ++i) prev = prev << 1 | std::uint32_t(d.decode(cx[prev]));
  return prev - (std::uint32_t(1) << len);
}

// What a symbol costs beyond its pixels (its place in the lists).
constexpr std::uint64_t k_symbol_cost = 64;
// A bound on coordinates, well inside int64 whatever is added to them.
constexpr std::int64_t k_far = std::int64_t(1) << 40;

}  // namespace

const char *decode_dictionary(const dictionary_in &in, symbol_pool &pool, allowance &a,
                              std::vector<std::uint32_t> *exported) {
  exported->clear();
  if (!a.take(std::uint64_t(in.num_new) * k_symbol_cost))
    return "a symbol dictionary is larger than the budget";
  const std::size_t ncx = generic_contexts(in.g.templ);
  if (!a.take(ncx)) return "a symbol dictionary is larger than the budget";
  std::vector<context> gcx(ncx, 0);
  std::vector<std::uint32_t> news;
  mq_decoder d(in.data, in.len);
  int_decoder iadh, iadw, iaex;
  generic_params g = in.g;
  g.tpgdon = false;
  std::int64_t height = 0;
  std::uint32_t decoded = 0;
  std::uint64_t classes = 0;
  const char *why = nullptr;
  while (decoded < in.num_new && !why) {
    if (++classes > std::uint64_t(in.num_new)) {
      why = "a symbol dictionary's height classes hold no symbols";
      break;
    }
    std::int64_t dh;
    if (!iadh.decode(d, &dh)) {
      why = "a symbol dictionary's height class is bad";
      break;
    }
    height += dh;
    if (height < 0 || height > std::int64_t(k_max_side)) {
      why = "a symbol dictionary's height class is bad";
      break;
    }
    std::int64_t width = 0;
    for (;;) {
      std::int64_t dw;
      if (!iadw.decode(d, &dw)) break;  // the end of the height class
      if (decoded >= in.num_new) {
        why = "a symbol dictionary holds more symbols than it says";
        break;
      }
      width += dw;
      if (width < 0 || width > std::int64_t(k_max_side)) {
        why = "a symbol's width is bad";
        break;
      }
      bitmap b;
      if (!b.make(std::uint32_t(width), std::uint32_t(height), a)) {
        why = "a symbol dictionary is larger than the budget";
        break;
      }
      const bool whole = decode_generic(d, gcx.data(), g, b);
      news.push_back(std::uint32_t(pool.symbols.size()));
      pool.symbols.push_back(std::move(b));
      ++decoded;
      if (!whole) {
        why = "a symbol dictionary's data ends before its symbols do";
        break;
      }
    }
  }
  a.give(ncx);
  if (why) return why;
  // The export runs, alternately not exported and exported, over the
  // input symbols then the new ones.
  const std::uint64_t total = std::uint64_t(in.inputs.size()) + in.num_new;
  std::uint64_t at = 0, runs = 0;
  bool flag = false;
  std::vector<std::uint32_t> out;
  while (at < total) {
    std::int64_t run;
    if (d.exhausted()) return "a symbol dictionary's data ends before its symbols do";
    if (!iaex.decode(d, &run) || run < 0 || std::uint64_t(run) > total - at || ++runs > total + 2)
      return "a symbol dictionary's export flags are bad";
    if (flag) {
      if (!a.take(std::uint64_t(run) * sizeof(std::uint32_t)))
        return "a symbol dictionary is larger than the budget";
      for (std::uint64_t i = at; i < at + std::uint64_t(run); ++i)
        out.push_back(i < in.inputs.size() ? in.inputs[std::size_t(i)]
                                           : news[std::size_t(i - in.inputs.size())]);
    }
    at += std::uint64_t(run);
    flag = !flag;
  }
  *exported = std::move(out);
  return nullptr;
}

const char *decode_text(const text_in &in, const symbol_pool &pool, allowance &a, bitmap &bm) {
  const std::size_t nsyms = in.symbols.size();
  int codelen = 0;
  while ((std::uint64_t(1) << codelen) < nsyms) ++codelen;
  if (codelen > 28) return "a text region has too many symbols";
  const std::uint64_t nid = std::uint64_t(1) << codelen;
  if (!a.take(nid)) return "a text region is larger than the budget";
  std::vector<context> idcx(std::size_t(nid), 0);
  mq_decoder d(in.data, in.len);
  int_decoder iadt, iafs, iads, iait, iari;
  const std::int64_t strips = std::int64_t(1) << in.log_strips;
  const int corner = in.ref_corner;  // 0 bottom left, 1 top left, 2 bottom right, 3 top right
  const bool right = corner == 2 || corner == 3, bottom = corner == 0 || corner == 2;
  // Work allowed: instances and the bytes they touch, bounded by the region.
  const std::uint64_t area_bytes = std::uint64_t(bm.stride) * bm.h;
  const std::uint64_t max_instances = (std::uint64_t(1) << 20) + std::uint64_t(bm.w) * bm.h / 64;
  const std::uint64_t max_work = (std::uint64_t(1) << 24) + 16 * area_bytes;
  std::uint64_t work = 0, ninst = 0;
  const char *why = nullptr;

  std::int64_t v;
  if (!iadt.decode(d, &v)) {
    why = "a text region's strip is bad";
  }
  std::int64_t stript = why ? 0 : -v * strips, firsts = 0;
  while (!why && ninst < in.num_instances) {
    if (!iadt.decode(d, &v)) {
      why = "a text region's strip is bad";
      break;
    }
    stript += v * strips;
    if (stript < -k_far || stript > k_far) {
      why = "a text region's strip is bad";
      break;
    }
    bool first = true;
    std::int64_t curs = 0;
    for (;;) {
      if (d.exhausted()) {
        why = "a text region's data ends before its instances do";
        break;
      }
      if (first) {
        if (!iafs.decode(d, &v)) {
          why = "a text region's instance is bad";
          break;
        }
        firsts += v;
        curs = firsts;
        first = false;
      } else {
        if (!iads.decode(d, &v)) break;  // the end of the strip
        curs += v + in.ds_offset;
        if (ninst >= in.num_instances) break;
      }
      if (curs < -k_far || curs > k_far || firsts < -k_far || firsts > k_far) {
        why = "a text region's instance is bad";
        break;
      }
      std::int64_t curt = 0;
      if (strips > 1 && !iait.decode(d, &curt)) {
        why = "a text region's instance is bad";
        break;
      }
      const std::int64_t t = stript + curt;
      const std::uint32_t id = decode_id(d, idcx.data(), codelen);
      if (id >= nsyms) {
        why = "a text region names a symbol it does not have";
        break;
      }
      if (in.refine) {
        std::int64_t ri;
        if (!iari.decode(d, &ri)) {
          why = "a text region's instance is bad";
          break;
        }
        if (ri != 0) {
          why = "refined symbols in text regions are not read";
          break;
        }
      }
      const bitmap &sym = pool.symbols[in.symbols[id]];
      const std::int64_t wi = sym.w, hi = sym.h;
      if (!in.transposed && right) curs += wi - 1;
      if (in.transposed && bottom) curs += hi - 1;
      const std::int64_t s = curs;
      std::int64_t x, y;
      if (!in.transposed) {
        x = right ? s - wi + 1 : s;
        y = bottom ? t - hi + 1 : t;
      } else {
        x = right ? t - wi + 1 : t;
        y = bottom ? s - hi + 1 : s;
      }
      work += 1;
      if (x < std::int64_t(bm.w) && y < std::int64_t(bm.h) && x + wi > 0 && y + hi > 0)
        work += (std::uint64_t(std::min<std::int64_t>(wi, bm.w)) / 8 + 2) *
                std::uint64_t(std::min<std::int64_t>(hi, bm.h));
      if (work > max_work || ninst >= max_instances) {
        why = "a text region draws more than its size allows";
        break;
      }
      combine(bm, sym, x, y, in.combop);
      if (!in.transposed && !right) curs += wi - 1;
      if (in.transposed && !bottom) curs += hi - 1;
      ++ninst;
    }
  }
  a.give(nid);
  return why;
}

}  // namespace jb2
}  // namespace lt
