// SPDX-License-Identifier: MIT
// Load (encrypted files too, as the front ends load them), rotate and
// assemble the output in memory: never a crash, a hang or a leak; a built
// output starts and ends as a PDF file does, and an encrypted document's
// output stays encrypted.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2 || size > (64u << 20)) return 0;
  // The first byte chooses the degrees and the page selection.
  const int degrees = 90 * (1 + data[0] % 3);
  const int mode = (data[0] >> 2) % 3;
  lt::document loaded;
  lt::failure err;
  lt::load_options how;
  how.encrypted = true;
  try {
    if (lt::doc_load_bytes(data + 1, size - 1, loaded, err, "(memory)", how)) {
      const std::vector<int> some = {1, static_cast<int>(loaded.d.pages.size()), 1}, none = {0};
      lt::turn_plan plan(loaded);
      const lt::turn by{false, degrees};
      const int turned = plan.apply(mode == 0 ? nullptr : mode == 1 ? &some : &none, by,
                                    lt::page_filter::any, err);
      lt::rewrite_output out;
      if (turned >= 0 && out.plan(loaded, plan.targets(), err)) {
        const std::string bytes = lt::output_bytes(out);
        if (bytes.size() > out.size() ||
            (bytes.compare(0, 7, "%PDF-1.") != 0 && bytes.compare(0, 9, "%PDF-2.0\n") != 0) ||
            bytes.compare(bytes.size() - 7, 7, "\n%%EOF\n") != 0)
          std::abort();
        if (!loaded.d.sec.present && bytes.compare(0, 9, "%PDF-1.4\n") != 0) std::abort();
        if (loaded.d.sec.present && bytes.find("/Encrypt", bytes.rfind("\ntrailer\n<<")) == std::string::npos)
          std::abort();
      } else if (err.empty()) {
        std::abort();
      }
    }
  } catch (const std::bad_alloc &) {
  }
  lt::doc_free(loaded);
  return 0;
}
