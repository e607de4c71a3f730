// SPDX-License-Identifier: MIT
// Load and query: any bytes give a loaded document or a failure with a
// message, never a crash, a hang or a leak; every page of a loaded document
// has a rotation in 0..359; the document information reads as valid UTF-8
// text. Encrypted documents are read as the front ends read them, once
// without a password and once with "user" (the seeds' user password).
#include <cstdint>
#include <cstdlib>
#include <new>

#include "facts/doc_info.h"
#include "load/loader.h"
#include "core.h"
#include "facts/rotation.h"

namespace {

void load_and_query(const std::uint8_t *data, std::size_t size, const lt::load_options &how) {
  lt::document loaded;
  lt::failure err;
  try {
    if (!lt::doc_load_bytes(data, size, loaded, err, "(memory)", how)) {
      if (err.empty()) std::abort();  // a failure always says why
      return;
    }
    for (const lt::page_ref &p : loaded.d.pages) {
      const lt::i32 r = lt::effective_rotation(loaded.d, loaded.lex, p);
      if (r < 0 || r > 359) std::abort();
    }
    const lt::doc_info info = lt::describe_info(loaded);
    for (const auto &e : info.entries)
      if (lt::text_string_to_utf8("\xEF\xBB\xBF" + e.second) != e.second) std::abort();
    const lt::encryption_facts enc = lt::describe_encryption(loaded);
    if (enc.present != (loaded.d.encrypted == 1) || (!how.encrypted && enc.present)) std::abort();
  } catch (const std::bad_alloc &) {
  }
  lt::doc_free(loaded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0 || size > (64u << 20)) return 0;
  lt::load_options how;
  load_and_query(data, size, how);
  how.encrypted = true;
  load_and_query(data, size, how);
  how.password = "user";
  load_and_query(data, size, how);
  return 0;
}
