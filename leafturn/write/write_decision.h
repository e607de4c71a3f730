// SPDX-License-Identifier: MIT
// What to write for a loaded document with its turns, decided once for
// every front end (the command line, the bindings, the page): the file
// unchanged, an appended update or a full rewrite, with the note to show,
// or the refusal and its message. The rules:
//  - a certified document (its certification forbids page changes) is
//    refused unless the request forces it;
//  - an encrypted document whose object streams could not be read (no
//    password gave the key) is refused: its objects cannot be written;
//  - an encrypted document whose permissions do not allow assembling it
//    (turning pages) is refused, unless the request forces it or the owner
//    password opened it;
//  - when no page ends at another rotation than it had, the file is copied
//    unchanged;
//  - an incremental request gets an update (or its refusal), a full one a
//    fresh file;
//  - an automatic request gets a fresh file, except for a signed document,
//    which gets an update (a fresh file would break its signatures), with a
//    note saying so, and is refused when no update can be appended.
#ifndef LEAFTURN_WRITE_DECISION_H
#define LEAFTURN_WRITE_DECISION_H

#include <memory>
#include <string>

#include "write/appended_update.h"
#include "write/full_rewrite.h"
#include "write/output.h"
#include "facts/turn_plan.h"

namespace lt {

enum class write_mode {
  automatic,    // a fresh file, but an update for a signed document
  incremental,  // an appended update
  full,         // a fresh file
};

struct write_request {
  write_mode mode = write_mode::automatic;
  bool force = false;  // certified documents too
  // Encrypted documents whose permissions forbid turning pages too (the
  // command line's --force sets both).
  bool force_permissions = false;
  // How the front end names its ways to ask for a full rewrite and to
  // force one ("--full", "--force"), for messages that point to them; null
  // where it has none.
  const char *full_option = nullptr;
  const char *force_option = nullptr;
  // How it takes a password ("--password").
  const char *password_option = nullptr;
};

// The turns make no difference: every page a turn changed ends at the
// rotation it had before (turn_plan::pages_turned).
bool turns_nothing(turn_plan &plan);

// Whether the request may change this document's pages at all (the check
// that comes before any turn); false with the refusal's message. `shown`
// names the document in messages.
bool may_change(document &loaded, const write_request &req, const std::string &shown,
                failure &err);

// Whether an automatic request appends an update to this document.
bool updates_by_default(document &loaded);

class write_decision {
 public:
  // Decides what to write and plans it; false with the refusal's message.
  // The document and the plan must outlive the decision unchanged.
  bool decide(document &loaded, turn_plan &plan, const write_request &req,
              const std::string &shown, failure &err);
  // What to write (after decide succeeded).
  const output &result() const { return *chosen_; }
  // "unchanged", "update" or "full".
  const char *mode() const { return mode_; }
  // What to tell the user beside the result ("" for nothing).
  const std::string &note() const { return note_; }

 private:
  std::unique_ptr<copy_output> copy_;
  update_output update_;
  rewrite_output rewrite_;
  const output *chosen_ = nullptr;
  const char *mode_ = "unchanged";
  std::string note_;
};

}  // namespace lt

#endif
