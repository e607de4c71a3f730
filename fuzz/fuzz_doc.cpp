// SPDX-License-Identifier: MIT
// The document C API from arbitrary bytes: open, every page's facts, the
// facts as JSON, the page grammar, turns of every kind, a save to bytes and
// the saved bytes opened again, close. Never a crash, a hang or a leak;
// every status is one the header names, every failure says why, and a
// saved document opens again with its page count.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "leafturn_doc.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

bool known(int status) { return status >= LEAFTURN_DOC_OK && status <= LEAFTURN_DOC_CLOSED; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2 || size > (64u << 20)) return 0;
  // The first byte chooses the password, the turns and the save.
  const unsigned op = data[0];
  char message[LEAFTURN_DOC_MESSAGE_SIZE];
  leafturn_doc *doc = nullptr;
  int status = leafturn_doc_open_bytes(data + 1, size - 1, "fuzz.pdf", (op & 1) ? "user" : nullptr, &doc,
                                       message, sizeof message);
  require(known(status));
  if (status != LEAFTURN_DOC_OK) {
    require(doc == nullptr && message[0] != '\0');
    return 0;
  }
  int count = 0;
  require(leafturn_doc_page_count(doc, &count) == LEAFTURN_DOC_OK && count > 0);
  for (int p = 1; p <= count && p <= 64; ++p) {
    leafturn_doc_page page;
    page.size = (op & 2) ? sizeof page : LEAFTURN_DOC_PAGE_MIN_SIZE;
    require(leafturn_doc_page_facts(doc, p, &page) == LEAFTURN_DOC_OK);
    require(page.number == p && page.rotation >= 0 && page.rotation < 360);
    if (op & 2) require(page.text_direction >= 0 && page.text_direction <= 4 && page.glyphs >= 0);
  }
  const char *json = nullptr;
  require(leafturn_doc_facts(doc, &json) == LEAFTURN_DOC_OK && std::strncmp(json, "{\"pages\": ", 10) == 0 &&
          json[std::strlen(json) - 1] == '}');
  int selected[4], n = 0;
  require(leafturn_doc_select(doc, "odd,xz", selected, 4, &n) == LEAFTURN_DOC_OK);
  leafturn_doc_pages odd = {nullptr, 0, "odd", LEAFTURN_DOC_ANY};
  leafturn_doc_pages wide = {nullptr, 0, nullptr, LEAFTURN_DOC_ONLY_LANDSCAPE};
  const int last[1] = {count};
  leafturn_doc_pages listed = {last, 1, nullptr, LEAFTURN_DOC_ANY};
  int changed = -1;
  require(leafturn_doc_turn_by(doc, 90 * (1 + (op >> 2) % 3), &odd, &changed) == LEAFTURN_DOC_OK && changed >= 0);
  require(leafturn_doc_turn_to(doc, 180, &listed, &changed) == LEAFTURN_DOC_OK);
  require(leafturn_doc_turn_by(doc, -90, &wide, &changed) == LEAFTURN_DOC_OK);
  if (op & 16) require(leafturn_doc_upright(doc, nullptr, &changed) == LEAFTURN_DOC_OK);
  unsigned char *bytes = nullptr;
  std::size_t len = 0;
  int wrote = -1;
  status = leafturn_doc_save_bytes(doc, static_cast<int>((op >> 5) % 3), (op & 128) ? LEAFTURN_DOC_FORCE : 0, &bytes,
                                   &len, &wrote);
  require(known(status));
  if (status == LEAFTURN_DOC_OK) {
    require(bytes != nullptr && len > 0 && wrote >= 0 && wrote <= 2);
    leafturn_doc *again = nullptr;
    require(leafturn_doc_open_bytes(bytes, len, "saved.pdf", (op & 1) ? "user" : nullptr, &again, message,
                                    sizeof message) == LEAFTURN_DOC_OK || wrote == LEAFTURN_DOC_WROTE_FULL);
    if (again) {
      int count_again = 0;
      require(leafturn_doc_page_count(again, &count_again) == LEAFTURN_DOC_OK);
      if (wrote != LEAFTURN_DOC_WROTE_FULL) require(count_again == count);
      leafturn_doc_close(again);
    }
    leafturn_doc_free_bytes(bytes);
  } else {
    require(bytes == nullptr && leafturn_doc_error(doc)[0] != '\0');
  }
  leafturn_doc_close(doc);
  return 0;
}
