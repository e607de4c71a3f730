// SPDX-License-Identifier: MIT
// Load, turn, append an update, load the result again: never a crash, a
// hang or a leak; an update never changes a byte of the input, and the
// reloaded pages carry the rotations asked for.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "core.h"
#include "facts/rotation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2 || size > (64u << 20)) return 0;
  // The first byte chooses the turn and the pages.
  const int degrees = 90 * (1 + data[0] % 3);
  const bool all = (data[0] >> 2) & 1;
  const lt::u8 *bytes = data + 1;
  const lt::i32 len = static_cast<lt::i32>(size - 1);
  lt::document loaded;
  lt::failure err;
  try {
    lt::load_options how;  // encrypted files too, as the front ends load them
    how.encrypted = true;
    if (!lt::doc_load_bytes(bytes, static_cast<size_t>(len), loaded, err, "(memory)", how)) return 0;
    lt::turn_plan plan(loaded);
    const std::vector<int> last = {static_cast<int>(loaded.d.pages.size())};
    if (plan.apply(all ? nullptr : &last, lt::turn{false, degrees}, lt::page_filter::any, err) < 0)
      std::abort();  // every page listed is in the document
    std::vector<lt::i32> want(loaded.d.pages.size());
    for (size_t k = 0; k < want.size(); ++k) want[k] = plan.rotation(static_cast<int>(k) + 1);
    lt::update_output update;
    if (!update.plan(loaded, plan.targets(), "(memory)", err)) {
      if (err.empty()) std::abort();  // a refusal says why
      return 0;
    }
    const std::string out = lt::output_bytes(update);
    if (out.size() != update.size() || out.compare(0, size - 1, reinterpret_cast<const char *>(bytes), size - 1) != 0)
      std::abort();
    lt::document again;
    if (!lt::doc_load_bytes(reinterpret_cast<const lt::u8 *>(out.data()), out.size(), again, err,
                            "(memory)", how))
      std::abort();
    if (again.d.pages.size() != want.size()) std::abort();
    for (size_t k = 0; k < want.size(); ++k)
      if (lt::effective_rotation(again.d, again.lex, again.d.pages[k]) != want[k]) std::abort();
  } catch (const std::bad_alloc &) {
  }
  return 0;
}
