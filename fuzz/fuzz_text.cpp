// SPDX-License-Identifier: MIT
// The content reader from arbitrary bytes: the bytes lexed as a content
// stream (every token inside them, each after the one before, the end
// reached; strings read without building them as string_bytes builds
// them); then load (encrypted files too, as the front ends load them),
// read every page's text direction and images, turn every page upright: never a
// crash, a hang or a leak; directions and glyph counts are in range, and a
// page turned upright then shows its text up.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "core.h"
#include "syntax/content_lexer.h"

namespace {

void lex_as_content(const std::uint8_t *data, lt::i32 n) {
  lt::content_lexer lx(data, n);
  lt::i32 last = 0;
  for (;;) {
    const lt::content_token t = lx.next();
    if (t.from < last || t.to < t.from || t.to > n || lx.pos() > n) std::abort();
    if (t.kind == lt::content_kind::end) {
      if (t.from != n || lx.pos() != n) std::abort();
      break;
    }
    if (lx.pos() <= t.from && t.kind != lt::content_kind::name) std::abort();
    if (t.kind == lt::content_kind::inline_image &&
        (t.dict_from < t.from || t.dict_to < t.dict_from || t.data_from > t.data_to || t.data_to > t.to))
      std::abort();
    if (t.kind == lt::content_kind::string) {
      std::string built;
      std::size_t counted = 0;
      const lt::i32 e1 = lt::string_bytes(data, t.from, t.to, &built);
      const lt::i32 e2 = lt::string_scan(
          data, t.from, t.to, [&](lt::i32 a, lt::i32 z) { counted += static_cast<std::size_t>(z - a); },
          [&](lt::u8) { ++counted; });
      if (e1 != t.to || e2 != t.to || counted != built.size()) std::abort();
    }
    last = lx.pos();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0 || size > (64u << 20)) return 0;
  lex_as_content(data, static_cast<lt::i32>(size));
  lt::document loaded;
  lt::failure err;
  lt::load_options how;
  how.encrypted = true;
  try {
    if (!lt::doc_load_bytes(data, size, loaded, err, "(memory)", how)) return 0;
    const lt::text_report report = lt::describe_text(loaded);
    if (report.pages.size() != loaded.d.pages.size()) std::abort();
    for (const lt::text_facts &f : report.pages) {
      if (f.glyphs < 0 || static_cast<int>(f.direction) > 4) std::abort();
      if (f.direction != lt::text_direction::none && f.glyphs < lt::k_min_direction_glyphs) std::abort();
    }
    lt::image_report images = lt::describe_images(loaded);
    if (images.pages.size() != loaded.d.pages.size()) std::abort();
    const std::vector<lt::page_facts> facts = lt::describe_pages(loaded);
    for (size_t k = 0; k < facts.size(); ++k) {
      lt::place_images(&images.pages[k], facts[k]);
      if (images.pages[k].size() > lt::k_max_page_images) std::abort();
      for (const lt::image_record &r : images.pages[k])
        if (!(r.coverage >= 0 && r.coverage <= 1) || r.width < 0 || r.height < 0) std::abort();
      (void)lt::images_json(images.pages[k]);
    }
    lt::turn_plan plan(loaded);
    if (plan.apply(nullptr, lt::upright_turn(), lt::page_filter::any, err) < 0) std::abort();
    if (!plan.text_budget_reached()) {
      for (int p = 1; p <= plan.page_count(); ++p) {
        const lt::i32 r = plan.rotation(p);
        if (r < 0 || r > 359) std::abort();
        const lt::text_facts now = plan.text(p);
        if (r % 90 == 0 && report.pages[static_cast<size_t>(p - 1)].direction != lt::text_direction::none &&
            now.direction != lt::text_direction::up)
          std::abort();
      }
    }
  } catch (const std::bad_alloc &) {
  }
  lt::doc_free(loaded);
  return 0;
}
