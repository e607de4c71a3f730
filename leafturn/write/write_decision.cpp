// SPDX-License-Identifier: MIT
// The one write decision (write_decision.h).
#include "write/write_decision.h"

#include "facts/doc_info.h"
#include "facts/rotation.h"
#include "decode/security.h"

namespace lt {

bool turns_nothing(turn_plan &plan) { return plan.pages_turned() == 0; }

bool may_change(document &loaded, const write_request &req, const std::string &shown,
                failure &err) {
  const encryption &sec = loaded.d.sec;
  if (sec.present && !sec.key_known && sec.object_streams) {
    err.set("%s", needs_password_message(shown, req.password_option).c_str());
    err.set_kind(failure_kind::password_needed);
    return false;
  }
  const std::string forced =
      req.force_option ? std::string(" (") + req.force_option + " turns them all the same)" : "";
  if (sec.present && !permits_turning(sec) && !sec.owner && !req.force_permissions) {
    err.set("%s", (shown + " does not permit turning its pages" + forced).c_str());
    return false;
  }
  if (req.force || !describe_signatures(loaded).certified) return true;
  err.set("%s", (shown + " is certified: its certification forbids changing its pages" + forced).c_str());
  return false;
}

bool updates_by_default(document &loaded) { return describe_signatures(loaded).signatures > 0; }

bool write_decision::decide(document &loaded, turn_plan &plan, const write_request &req,
                            const std::string &shown, failure &err) {
  chosen_ = nullptr;
  mode_ = "unchanged";
  note_.clear();
  if (!may_change(loaded, req, shown, err)) return false;
  if (turns_nothing(plan)) {
    copy_.reset(new copy_output(loaded.d));
    chosen_ = copy_.get();
    return true;
  }
  const bool by_default = req.mode == write_mode::automatic && updates_by_default(loaded);
  if (req.mode == write_mode::incremental || by_default) {
    // What the refusal of an update says to do instead.
    std::string instead;
    if (!req.full_option) instead = "write a full copy instead";
    else if (by_default)
      instead = std::string(req.full_option) + " writes a fresh file, which its signatures will not cover";
    else
      instead = std::string("write a full copy instead, with ") + req.full_option;
    if (!update_.plan(loaded, plan.targets(), shown.c_str(), err, instead.c_str())) return false;
    chosen_ = &update_;
    mode_ = "update";
    if (by_default) {
      note_ = shown + " is signed: the turns are appended as an update, which keeps its signatures";
      if (req.full_option) note_ += std::string(" (") + req.full_option + " writes a fresh file)";
    }
    return true;
  }
  if (!rewrite_.plan(loaded, plan.targets(), err)) return false;
  chosen_ = &rewrite_;
  mode_ = "full";
  return true;
}

}  // namespace lt
