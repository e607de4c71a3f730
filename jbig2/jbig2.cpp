// SPDX-License-Identifier: MIT
// The JBIG2 decoder's segments and page: segment headers of the embedded
// organisation (the globals' segments, then the page's), the page
// information and its stripes, the regions combined on the page, and the
// page turned into grey at the reduced size.
#include "jbig2.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>

#include "jbig2_internal.h"

namespace lt {
namespace jb2 {
namespace {

constexpr std::uint64_t k_default_budget = std::uint64_t(256) << 20;
constexpr std::uint32_t k_unknown = 0xFFFFFFFFu;

std::uint32_t be32(const std::uint8_t *p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint16_t be16(const std::uint8_t *p) { return std::uint16_t(p[0] << 8 | p[1]); }

// Segment types.
enum {
  seg_symbols = 0,
  seg_text_intermediate = 4,
  seg_text = 6,
  seg_text_lossless = 7,
  seg_patterns = 16,
  seg_halftone_intermediate = 20,
  seg_halftone = 22,
  seg_halftone_lossless = 23,
  seg_generic_intermediate = 36,
  seg_generic = 38,
  seg_generic_lossless = 39,
  seg_refinement_intermediate = 40,
  seg_refinement = 42,
  seg_refinement_lossless = 43,
  seg_page_info = 48,
  seg_end_of_page = 49,
  seg_end_of_stripe = 50,
  seg_end_of_file = 51,
  seg_profiles = 52,
  seg_tables = 53,
  seg_extension = 62,
};

struct segment {
  std::uint32_t number = 0;
  int type = 0;
  std::uint32_t page = 0;
  std::vector<std::uint32_t> refs;
  const std::uint8_t *data = nullptr;
  std::size_t len = 0;
  bool cut = false;  // the data runs past the end of the input
};

// The region segment information field.
struct region_info {
  std::uint32_t w = 0, h = 0, x = 0, y = 0;
  int op = 0;
};
constexpr std::size_t k_region_info = 17;

region_info read_region_info(const std::uint8_t *p) {
  region_info r;
  r.w = be32(p);
  r.h = be32(p + 4);
  r.x = be32(p + 8);
  r.y = be32(p + 12);
  r.op = p[16] & 7;
  return r;
}

// What a segment left for later ones.
struct kept {
  int type = 0;
  std::vector<std::uint32_t> symbols;  // a dictionary's exported symbols
  bitmap region;                        // an intermediate region
  region_info info;
};

// Where the data of an immediate generic region of unknown length ends:
// after the end marker (0xFFAC for arithmetic coding, 0x0000 for MMR) and
// the row count that follows it. 0 when there is none.
std::size_t unknown_length(const std::uint8_t *p, std::size_t n) {
  const std::size_t head = k_region_info + 1;
  if (n < head) return 0;
  const bool mmr = p[k_region_info] & 1;
  const int templ = (p[k_region_info] >> 1) & 3;
  std::size_t i = head + (mmr ? 0 : templ == 0 ? 8 : 2);
  for (; i + 6 <= n; ++i) {
    if (mmr ? (p[i] == 0 && p[i + 1] == 0) : (p[i] == 0xFF && p[i + 1] == 0xAC)) return i + 6;
  }
  return 0;
}

class decoder {
 public:
  decoder(std::uint64_t budget, int reduce) : reduce_(std::uint64_t(reduce)) { a_.left = budget; }

  // Reads the segments of in[0, len). False when reading must stop (the
  // end of the page or of the file, or a fatal fault).
  bool run(const std::uint8_t *in, std::size_t len) {
    std::size_t pos = 0;
    while (pos < len) {
      segment s;
      if (!read_header(in, len, &pos, &s)) return !fatal_;
      if (s.cut) problem("the data ends inside a segment");
      const bool go_on = apply(s);
      if (!go_on || s.cut) return false;
    }
    return true;
  }

  bool fatal() const { return fatal_ != nullptr; }
  const char *fatal_why() const { return fatal_; }
  bool have_page() const { return have_page_; }
  bool complete() const { return first_problem_ == nullptr; }
  const char *first_problem() const { return first_problem_; }
  bitmap &page() { return page_; }
  allowance &budget() { return a_; }

 private:
  void problem(const char *why) {
    if (!first_problem_) first_problem_ = why;
  }

  // Reads the segment header at in[*pos, len) and finds its data.
  bool read_header(const std::uint8_t *in, std::size_t len, std::size_t *pos, segment *s) {
    std::size_t p = *pos;
    const std::size_t left = len - p;
    if (left < 6) {
      problem("the data ends inside a segment header");
      return false;
    }
    s->number = be32(in + p);
    const std::uint8_t flags = in[p + 4];
    s->type = flags & 0x3F;
    const bool long_page = flags & 0x40;
    std::uint64_t count = in[p + 5] >> 5;
    p += 5;
    if (count == 7) {
      if (len - p < 4) {
        problem("the data ends inside a segment header");
        return false;
      }
      count = be32(in + p) & 0x1FFFFFFF;
      p += 4 + std::size_t((count + 8) / 8);
    } else if (count > 4) {
      problem("a segment header is bad");
      return false;
    } else {
      p += 1;
    }
    const std::size_t ref_size = s->number <= 256 ? 1 : s->number <= 65536 ? 2 : 4;
    // The rest of the header: the numbers referred to, the page, the length.
    const std::uint64_t rest = count * ref_size + (long_page ? 4 : 1) + 4;
    if (p > len || rest > len - p) {
      problem("the data ends inside a segment header");
      return false;
    }
    if (!a_.take(count * sizeof(std::uint32_t))) {
      fatal_ = "the segments are larger than the budget";
      return false;
    }
    refs_taken_ += count * sizeof(std::uint32_t);
    s->refs.resize(std::size_t(count));
    for (std::size_t i = 0; i < count; ++i, p += ref_size)
      s->refs[i] = ref_size == 1 ? in[p] : ref_size == 2 ? be16(in + p) : be32(in + p);
    s->page = long_page ? be32(in + p) : in[p];
    p += long_page ? 4 : 1;
    const std::uint32_t dlen = be32(in + p);
    p += 4;
    s->data = in + p;
    if (dlen == k_unknown) {
      if (s->type != seg_generic && s->type != seg_generic_lossless) {
        problem("a segment of unknown length that is not a generic region");
        return false;
      }
      const std::size_t n = unknown_length(in + p, len - p);
      s->len = n ? n : len - p;
      s->cut = n == 0;
    } else if (dlen > len - p) {
      s->len = len - p;
      s->cut = true;
    } else {
      s->len = dlen;
    }
    *pos = p + s->len;
    return true;
  }

  // Acts on one segment. False when reading must stop.
  bool apply(const segment &s) {
    if (have_page_ && s.page != 0 && s.page != page_number_) return true;  // another page's
    switch (s.type) {
      case seg_page_info:
        if (have_page_) return false;  // the next page
        return page_info(s);
      case seg_end_of_page:
        return !have_page_;
      case seg_end_of_file:
        return false;
      case seg_end_of_stripe:
        end_of_stripe(s);
        return true;
      case seg_symbols:
        symbols(s);
        return !fatal_;
      case seg_generic:
      case seg_generic_lossless:
      case seg_generic_intermediate:
        generic(s);
        return !fatal_;
      case seg_text:
      case seg_text_lossless:
      case seg_text_intermediate:
        text(s);
        return !fatal_;
      case seg_refinement:
      case seg_refinement_lossless:
      case seg_refinement_intermediate:
        refinement(s);
        return true;
      case seg_patterns:
        problem("pattern dictionaries are not read");
        return true;
      case seg_halftone:
      case seg_halftone_lossless:
      case seg_halftone_intermediate:
        problem("halftone regions are not read");
        return true;
      case seg_profiles:
      case seg_tables:  // only Huffman coding uses them
      case seg_extension:
        return true;
      default:
        problem("a segment of an unknown type");
        return true;
    }
  }

  bool page_info(const segment &s) {
    if (s.len < 19) {
      problem("the page information is bad");
      return true;
    }
    const std::uint32_t w = be32(s.data), h = be32(s.data + 4);
    const std::uint8_t flags = s.data[16];
    default_pixel_ = (flags >> 2) & 1;
    unknown_height_ = h == k_unknown;
    const std::uint32_t start_h = unknown_height_ ? 0 : h;
    // The page's bits and, later, its grey at the reduced size.
    const std::uint64_t out = (w + reduce_ - 1) / reduce_ * ((start_h + reduce_ - 1) / reduce_);
    if (w > k_max_side || start_h > k_max_side || bitmap::bytes_for(w, start_h) + out > a_.left) {
      fatal_ = "the image is larger than the budget";
      return false;
    }
    if (!page_.make(w, start_h, a_, default_pixel_)) {
      fatal_ = "the image is larger than the budget";
      return false;
    }
    have_page_ = true;
    page_number_ = s.page;
    return true;
  }

  void end_of_stripe(const segment &s) {
    if (!have_page_ || s.len < 4) {
      problem("an end of stripe is bad");
      return;
    }
    const std::uint32_t row = be32(s.data);
    if (unknown_height_ && row != k_unknown) grow_page(std::uint64_t(row) + 1);
  }

  // Lets a page of unknown height hold `rows` rows.
  bool grow_page(std::uint64_t rows) {
    if (rows <= page_.h) return true;
    if (rows > k_max_side || !page_.grow(std::uint32_t(rows), a_, default_pixel_)) {
      problem("the image is larger than the budget");
      return false;
    }
    return true;
  }

  // Puts a region's bitmap on the page.
  void place(const bitmap &r, const region_info &info) {
    if (!have_page_) {
      problem("a region comes before the page information");
      return;
    }
    if (info.op > op_replace) {
      problem("a region's combination operator is bad");
      return;
    }
    if (unknown_height_) grow_page(std::min<std::uint64_t>(std::uint64_t(info.y) + r.h, k_max_side));
    combine(page_, r, info.x, info.y, info.op);
  }

  // Keeps an intermediate region for a refinement, or puts an immediate
  // one on the page.
  void finish_region(const segment &s, bitmap &r, const region_info &info) {
    if (s.type == seg_generic_intermediate || s.type == seg_text_intermediate) {
      kept &k = keep(s);
      k.type = s.type;
      k.region = std::move(r);
      k.info = info;
      return;
    }
    place(r, info);
    r.drop(a_);
  }

  kept &keep(const segment &s) {
    kept &k = kept_[s.number];
    k = kept();
    return k;
  }

  void generic(const segment &s) {
    const std::size_t head = k_region_info + 1;
    if (s.len < head) {
      problem("a generic region is bad");
      return;
    }
    region_info info = read_region_info(s.data);
    const std::uint8_t flags = s.data[k_region_info];
    const bool mmr = flags & 1;
    generic_params g;
    g.templ = (flags >> 1) & 3;
    g.tpgdon = (flags >> 3) & 1;
    if (flags & 0x10) {
      problem("generic regions with the extended template are not read");
      return;
    }
    std::size_t at = head;
    if (!mmr) {
      const std::size_t n = g.templ == 0 ? 8 : 2;
      if (s.len < head + n) {
        problem("a generic region is bad");
        return;
      }
      default_at(g.templ, g.at);
      for (std::size_t i = 0; i < n; ++i) g.at[i] = std::int8_t(s.data[head + i]);
      at += n;
      if (!at_valid(g)) {
        problem("a generic region's adaptive pixels are bad");
        return;
      }
    }
    const std::uint8_t *data = s.data + at;
    std::size_t len = s.len - at;
    if (info.h == k_unknown) {
      // The row count follows the coded data.
      if (len < 4) {
        problem("a generic region is bad");
        return;
      }
      info.h = be32(data + len - 4);
    }
    bitmap r;
    if (!r.make(info.w, info.h, a_)) {
      problem("a region is larger than the budget");
      return;
    }
    if (mmr) {
      std::size_t used = 0;
      if (const char *why = decode_mmr(data, len, r, a_, &used)) problem(why);
    } else {
      const std::size_t ncx = generic_contexts(g.templ);
      if (!a_.take(ncx)) {
        problem("a region is larger than the budget");
        r.drop(a_);
        return;
      }
      std::vector<context> cx(ncx, 0);
      mq_decoder d(data, len);
      if (!decode_generic(d, cx.data(), g, r)) problem("a generic region's data ends before the region does");
      a_.give(ncx);
    }
    finish_region(s, r, info);
  }

  // The exported symbols of the dictionaries s refers to, in order.
  bool referred_symbols(const segment &s, std::vector<std::uint32_t> *out) {
    for (std::uint32_t n : s.refs) {
      auto it = kept_.find(n);
      if (it == kept_.end() || it->second.type != seg_symbols) continue;
      const auto &syms = it->second.symbols;
      if (!a_.take(std::uint64_t(syms.size()) * sizeof(std::uint32_t))) return false;
      refs_taken_ += syms.size() * sizeof(std::uint32_t);
      out->insert(out->end(), syms.begin(), syms.end());
    }
    return true;
  }

  void symbols(const segment &s) {
    kept &k = keep(s);
    k.type = seg_symbols;
    if (s.len < 2) {
      problem("a symbol dictionary is bad");
      return;
    }
    const std::uint16_t flags = be16(s.data);
    if (flags & 1) {
      problem("Huffman-coded symbol dictionaries are not read");
      return;
    }
    if (flags & 2) {
      problem("refined or aggregated symbols are not read");
      return;
    }
    if (flags & 0x100) {
      problem("symbol dictionaries that reuse coding contexts are not read");
      return;
    }
    dictionary_in in;
    in.g.templ = (flags >> 10) & 3;
    const std::size_t n = in.g.templ == 0 ? 8 : 2;
    if (s.len < 2 + n + 8) {
      problem("a symbol dictionary is bad");
      return;
    }
    default_at(in.g.templ, in.g.at);
    for (std::size_t i = 0; i < n; ++i) in.g.at[i] = std::int8_t(s.data[2 + i]);
    if (!at_valid(in.g)) {
      problem("a symbol dictionary's adaptive pixels are bad");
      return;
    }
    in.num_exported = be32(s.data + 2 + n);
    in.num_new = be32(s.data + 6 + n);
    in.data = s.data + 10 + n;
    in.len = s.len - 10 - n;
    if (!referred_symbols(s, &in.inputs)) {
      problem("a symbol dictionary is larger than the budget");
      return;
    }
    std::vector<std::uint32_t> exported;
    if (const char *why = decode_dictionary(in, pool_, a_, &exported)) {
      problem(why);
      return;
    }
    kept_[s.number].symbols = std::move(exported);
  }

  void text(const segment &s) {
    if (s.len < k_region_info + 2) {
      problem("a text region is bad");
      return;
    }
    const region_info info = read_region_info(s.data);
    const std::uint16_t flags = be16(s.data + k_region_info);
    if (flags & 1) {
      problem("Huffman-coded text regions are not read");
      return;
    }
    text_in in;
    in.refine = (flags >> 1) & 1;
    in.log_strips = (flags >> 2) & 3;
    in.ref_corner = (flags >> 4) & 3;
    in.transposed = (flags >> 6) & 1;
    in.combop = (flags >> 7) & 3;
    in.default_pixel = (flags >> 9) & 1;
    in.ds_offset = (flags >> 10) & 0x1F;
    if (in.ds_offset >= 16) in.ds_offset -= 32;
    std::size_t p = k_region_info + 2;
    if (in.refine && !(flags & 0x8000)) p += 4;  // the refinement's adaptive pixels
    if (s.len < p + 4) {
      problem("a text region is bad");
      return;
    }
    in.num_instances = be32(s.data + p);
    in.data = s.data + p + 4;
    in.len = s.len - p - 4;
    if (!referred_symbols(s, &in.symbols)) {
      problem("a text region is larger than the budget");
      return;
    }
    bitmap r;
    if (!r.make(info.w, info.h, a_, in.default_pixel)) {
      problem("a region is larger than the budget");
      return;
    }
    if (const char *why = decode_text(in, pool_, a_, r)) problem(why);
    finish_region(s, r, info);
  }

  // Refinement is not read; a refinement of an intermediate region puts
  // that region on the page as it stands, the nearest there is.
  void refinement(const segment &s) {
    problem("refinement regions are not read");
    if (s.type == seg_refinement_intermediate || s.len < k_region_info) return;
    const region_info info = read_region_info(s.data);
    for (std::uint32_t n : s.refs) {
      auto it = kept_.find(n);
      if (it == kept_.end() || it->second.region.w == 0) continue;
      place(it->second.region, info);
      return;
    }
  }

  std::uint64_t reduce_;
  allowance a_;
  symbol_pool pool_;
  std::map<std::uint32_t, kept> kept_;
  bitmap page_;
  bool have_page_ = false, unknown_height_ = false, default_pixel_ = false;
  std::uint32_t page_number_ = 0;
  std::uint64_t refs_taken_ = 0;
  const char *fatal_ = nullptr;
  const char *first_problem_ = nullptr;
};

// The page as grey, each output pixel the mean of an r x r block: a byte
// of the page at a time (its eight samples, or the black pixels of the
// bit groups it holds), so that the cost is that of the bytes.
void to_grey(const bitmap &page, int r, std::vector<std::uint8_t> *px, int *ow, int *oh) {
  const std::uint32_t w = page.w, h = page.h;
  const std::size_t out_w = (w + unsigned(r) - 1) / unsigned(r);
  const std::size_t out_h = (h + unsigned(r) - 1) / unsigned(r);
  px->assign(out_w * out_h, 255);
  *ow = int(out_w);
  *oh = int(out_h);
  const std::size_t full = w / 8;  // bytes whose eight pixels are all on the page
  if (r == 1) {
    std::uint8_t samples[256][8];
    for (unsigned b = 0; b < 256; ++b)
      for (unsigned k = 0; k < 8; ++k) samples[b][k] = (b & (0x80u >> k)) ? 0 : 255;
    for (std::uint32_t y = 0; y < h; ++y) {
      const std::uint8_t *s = page.row(y);
      std::uint8_t *d = px->data() + std::size_t(y) * out_w;
      for (std::size_t i = 0; i < full; ++i)
        if (s[i]) std::memcpy(d + 8 * i, samples[s[i]], 8);
      for (std::uint32_t x = std::uint32_t(full * 8); x < w; ++x)
        if (s[x >> 3] & (0x80u >> (x & 7))) d[x] = 0;
    }
    return;
  }
  // r is 2 or 4: a byte holds 8 / r groups of r pixels, each in one block
  // (the bits past the width are 0 and count nothing).
  const unsigned groups = 8 / unsigned(r), mask = (1u << r) - 1;
  std::uint8_t count[256][4];
  for (unsigned b = 0; b < 256; ++b)
    for (unsigned j = 0; j < groups; ++j) {
      unsigned v = (b >> (8 - unsigned(r) * (j + 1))) & mask, n = 0;
      for (; v; v &= v - 1) ++n;
      count[b][j] = std::uint8_t(n);
    }
  std::uint8_t grey_full[17];
  const unsigned nfull = unsigned(r * r);
  for (unsigned k = 0; k <= nfull; ++k) grey_full[k] = std::uint8_t(((nfull - k) * 255u + nfull / 2) / nfull);
  std::vector<std::uint16_t> black(page.stride * groups, 0);
  for (std::size_t oy = 0; oy < out_h; ++oy) {
    const std::uint32_t y0 = std::uint32_t(oy) * unsigned(r);
    const std::uint32_t y1 = std::min<std::uint32_t>(h, y0 + unsigned(r));
    bool any = false;
    for (std::uint32_t y = y0; y < y1; ++y) {
      const std::uint8_t *s = page.row(y);
      for (std::size_t i = 0; i < page.stride; ++i) {
        const unsigned b = s[i];
        if (!b) continue;
        any = true;
        std::uint16_t *c = black.data() + i * groups;
        for (unsigned j = 0; j < groups; ++j) c[j] = std::uint16_t(c[j] + count[b][j]);
      }
    }
    if (!any) continue;  // a white row of blocks
    std::uint8_t *d = px->data() + oy * out_w;
    const unsigned bh = y1 - y0;
    for (std::size_t ox = 0; ox < out_w; ++ox) {
      const unsigned k = black[ox];
      if (k == 0) continue;
      black[ox] = 0;
      const unsigned bw = std::min<unsigned>(unsigned(r), unsigned(w - ox * unsigned(r)));
      if (bw == unsigned(r) && bh == unsigned(r)) {
        d[ox] = grey_full[k];
      } else {
        const unsigned n = bw * bh;
        d[ox] = std::uint8_t(((n - k) * 255u + n / 2) / n);
      }
    }
  }
}

}  // namespace
}  // namespace jb2

bool jbig2_decode_grey(const std::uint8_t *in, std::size_t len, const jbig2_params &p,
                       std::vector<std::uint8_t> *pixels, int *width, int *height,
                       bool *complete, const char **why) {
  pixels->clear();
  *width = *height = 0;
  *complete = false;
  *why = nullptr;
  auto fail = [&](const char *text) {
    pixels->clear();
    *width = *height = 0;
    *why = text;
    return false;
  };
  if (p.reduce != 1 && p.reduce != 2 && p.reduce != 4) return fail("the reduction is not 1, 2 or 4");
  if (!in && len) return fail("no data");
  try {
    jb2::decoder d(p.budget ? std::uint64_t(p.budget) : jb2::k_default_budget, p.reduce);
    bool go_on = true;
    if (p.globals && p.globals_len) {
      go_on = d.run(p.globals, p.globals_len);
      // The globals end where they end; only a fault stops the page.
      go_on = !d.fatal();
    }
    if (go_on && in) d.run(in, len);
    if (d.fatal()) return fail(d.fatal_why());
    if (!d.have_page()) return fail("no page information segment");
    jb2::bitmap &page = d.page();
    if (page.w == 0 || page.h == 0) return fail("the page has no pixels");
    const std::uint64_t r = std::uint64_t(p.reduce);
    const std::uint64_t out = ((page.w + r - 1) / r) * ((page.h + r - 1) / r);
    if (!d.budget().take(out)) return fail("the image is larger than the budget");
    jb2::to_grey(page, p.reduce, pixels, width, height);
    *complete = d.complete();
    *why = d.first_problem();
    return true;
  } catch (const std::bad_alloc &) {
    return fail("out of memory");
  }
}

}  // namespace lt
