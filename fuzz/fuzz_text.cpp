// SPDX-License-Identifier: MIT
// The content reader from arbitrary bytes: load (encrypted files too, as
// the front ends load them), read every page's text direction, turn every
// page upright: never a crash, a hang or a leak; directions and glyph
// counts are in range, and a page turned upright then shows its text up.
#include <cstdint>
#include <cstdlib>
#include <new>

#include "core.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0 || size > (64u << 20)) return 0;
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
