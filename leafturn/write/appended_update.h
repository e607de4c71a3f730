// SPDX-License-Identifier: MIT
// The appended update, one of the three outputs (output.h).
#ifndef LEAFTURN_APPENDED_UPDATE_H
#define LEAFTURN_APPENDED_UPDATE_H

#include <string>
#include <utility>
#include <vector>

#include "write/output.h"
#include "write/page_dict.h"

namespace lt {

// An appended update: the input's bytes unchanged, then one new revision
// holding each page object with a planned rotation (same number and
// generation, a plain object even when the old copy sat in an object
// stream) and one cross-reference section in the form of the newest one (a
// table after a table or a hybrid file's table, an uncompressed stream after
// a stream) whose trailer repeats the previous one's entries, with /Size
// raised and /Prev naming the previous section. Signatures, earlier
// revisions and compression stay as they were.
class update_output final : public output {
 public:
  // Plans the update; false with the message set when the cross-reference
  // data cannot be read, or does not name the copies the loader uses of the
  // catalog, the /Pages nodes above a turned page and the turned pages.
  // `shown` names the input in messages.
  // `instead` ends the message: what to do instead.
  bool plan(document &loaded, std::vector<i32> target, const char *shown, failure &err,
            const char *instead = "write a full copy instead");
  size_t size() const override { return size_; }
  bool emit(piece_sink &sink) const override;
  const doc *source() const override { return loaded_ ? &loaded_->d : nullptr; }
  // The object numbers the update writes, ascending.
  const std::vector<i32> &written() const { return written_; }

 private:
  document *loaded_ = nullptr;
  std::vector<i32> target_;
  std::vector<std::pair<i32, dict_edit>> member_edits_;
  std::vector<i32> written_;
  i32 prev_ = -1, size_before_ = 0, dict_open_ = -1, dict_close_ = -1;
  bool stream_form_ = false;
  i32 base_ = 0;  // what the input's offsets count from
  size_t size_ = 0;
};

// Whether an update can be appended to the loaded document (whatever pages
// turn); false with why not.
bool update_possible(document &loaded, std::string *why);
// The same for the front ends, which show it: empty, or why not.
std::string update_refusal(document &loaded);

}  // namespace lt

#endif
