// SPDX-License-Identifier: MIT
// The full rewrite, one of the three outputs (output.h).
#ifndef LEAFTURN_FULL_REWRITE_H
#define LEAFTURN_FULL_REWRITE_H

#include <utility>
#include <vector>

#include "write/output.h"
#include "write/page_dict.h"

namespace lt {

// The full rewrite: "%PDF-1.4", every live object in ascending number (none
// in object streams), one classic cross-reference table and the trailer;
// page objects with a planned rotation carry it as their own /Rotate.
class rewrite_output final : public output {
 public:
  // Plans the rewrite of doc with the rotation per object number (-1:
  // unchanged; turn_plan::targets). False with the message set when it
  // cannot be made.
  bool plan(document &loaded, std::vector<i32> target, failure &err);
  size_t size() const override { return size_; }
  bool emit(piece_sink &sink) const override;
  const doc *source() const override { return doc_ ? &doc_->d : nullptr; }

 private:
  document *doc_ = nullptr;
  std::vector<i32> target_;
  // The rewritten bodies of object stream members, by object number in
  // ascending order: planned first, since only they can be refused.
  std::vector<std::pair<i32, dict_edit>> member_edits_;
  size_t size_ = 0;
};

}  // namespace lt

#endif
