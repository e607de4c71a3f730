// SPDX-License-Identifier: MIT
// Loading: file intake, then the loader stages in their fixed order on the
// image. A failed load leaves nothing allocated.
#include <vector>

#include "load/loader.h"
#include "decode/security.h"

namespace lt {

namespace {

bool run_stages(document &loaded, const char *path, const load_options &how, failure &err) {
  doc &d = loaded.d;
  scan_ctx &lex = loaded.lex;
  load_trailers(d, lex);
  scan_objects(d, lex);
  find_encryption_of_streams(d, lex);
  if (how.encrypted && d.encrypted == 1) read_security(d, path, how.password);
  const std::vector<i32> containers = expand_object_streams(d, lex);
  select_live(d, containers);
  if (!refuse_unusable(d, path, how.encrypted, err)) return false;
  if (!load_page_tree(d, lex, err)) {
    // Without the key its object streams were not read: that is why.
    if (d.sec.present && !d.sec.key_known && d.sec.object_streams) {
      err.set("%s", needs_password_message(path, how.password_option).c_str());
      err.set_kind(failure_kind::password_needed);
    }
    return false;
  }
  lex.end_of_load();
  return true;
}

template <typename F>
bool load_with(document &loaded, F &&fill, const char *path, const load_options &how,
               failure &err) {
  doc_free(loaded);
  loaded.d.trailer_root = loaded.d.trailer_info = loaded.d.root_num = -1;
  try {
    if (!fill() || !run_stages(loaded, path, how, err)) {
      doc_free(loaded);
      return false;
    }
  } catch (...) {
    doc_free(loaded);
    throw;
  }
  return true;
}

}  // namespace

bool doc_load(const char *path, document &loaded, failure &err, const load_options &how) {
  return load_with(loaded, [&] { return intake_file(path, loaded.d, err); }, path, how, err);
}

bool doc_load_bytes(const u8 *bytes, size_t len, document &loaded, failure &err, const char *name,
                    const load_options &how) {
  return load_with(
      loaded, [&] { return intake_bytes(bytes, len, loaded.d, err, name); }, name, how, err);
}

bool doc_load_owned(std::unique_ptr<u8[]> bytes, size_t len, document &loaded, failure &err,
                    const char *name, const load_options &how) {
  return load_with(
      loaded, [&] { return intake_owned(std::move(bytes), len, loaded.d, err, name); }, name, how,
      err);
}

void doc_free(document &loaded) {
  loaded.lex.reset();
  doc_clear(loaded.d);
}

}  // namespace lt
