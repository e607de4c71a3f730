// SPDX-License-Identifier: MIT
// The turn plan: what every caller of the core (the exports, the command
// line, the bindings) decides pages by. It knows each page's rotation now
// and the rotation each page object is to carry, and applies turns, one
// after another, to chosen pages.
//
// Rules that hold for every caller:
//  - a turn's targets come from the rotations before that turn: a page
//    listed twice in one turn counts once, and turns build on each other;
//  - a page already at its target does not count and is not written;
//  - a page object that stands for several pages carries one rotation, the
//    last one given to any of its pages; all of them show it.
#ifndef LEAFTURN_TURN_PLAN_H
#define LEAFTURN_TURN_PLAN_H

#include <memory>
#include <vector>

#include "facts/page_images.h"
#include "facts/page_info.h"
#include "facts/text_direction.h"

namespace lt {

// The one message for a page number outside the document; the second form
// takes the number as a caller's text, for numbers wider than 32 bits.
void set_page_range_error(failure &err, long page, int count);
void set_page_range_error(failure &err, const char *page, int count);

struct turn {
  bool absolute = false;  // every chosen page ends at `degrees`
  int degrees = 0;        // relative: 0..359 clockwise; absolute: 0, 90, 180, 270
  // Each chosen page ends at the rotation that shows its text upright
  // (text_direction.h); a page whose text has no direction keeps its own.
  bool upright = false;
};

// The turn that shows every chosen page's text upright.
inline turn upright_turn() {
  turn t;
  t.upright = true;
  return t;
}

// A turn as callers ask for one: by (relative) 90, 180, 270, -90, -180 or
// -270 degrees clockwise, or to (absolute) 0, 90, 180 or 270. False for any
// other value.
bool make_turn(bool absolute, long long degrees, turn *out);
// The values make_turn takes, as messages list them.
const char *turn_values(bool absolute);

enum class page_filter { any, landscape, portrait };

class turn_plan {
 public:
  // The document must outlive the plan and stay loaded.
  explicit turn_plan(document &loaded);

  int page_count() const { return static_cast<int>(loaded_.d.pages.size()); }
  // The rotation page p (1-based, valid) has now, turns included.
  i32 rotation(int p);
  // Page p's facts as it stands now: rotation, displayed size and
  // orientation with the turns included; own and inherited as the file has
  // them.
  page_facts facts(int p);

  // Turns the listed pages (every page when `pages` is null), those the
  // filter keeps. Returns how many pages change; -1 with the range message
  // when a listed page is outside the document (nothing is turned then).
  // An upright turn reads the pages' text within one decoding budget.
  int apply(const std::vector<int> *pages, const turn &t, page_filter only, failure &err);

  // Page p's text as it shows now, turns included (read once for every
  // page, within one budget, when first asked for).
  text_facts text(int p);
  // Whether reading the text ran out of its budget.
  bool text_budget_reached();

  // The images page p shows, placed on the page as it shows now, turns
  // included (read once for every page, within one budget, when first
  // asked for).
  std::vector<image_record> images(int p);

  // Whether any turn changed a page (a page turned and turned back counts).
  bool changes_anything() const { return changed_; }
  // How many of the pages that turns chose end at another rotation than
  // they had before the first turn that changed them.
  int pages_turned();
  // The rotation each object number is to carry, -1 for none.
  const std::vector<i32> &targets() const { return target_; }

 private:
  i32 own(i32 num);

  document &loaded_;
  std::vector<i32> target_;   // per object number: the planned rotation, -1 none
  std::vector<i32> own_;      // per object number: its own /Rotate, k_unread when not read yet
  std::vector<page_facts> facts_;  // as loaded, made when first asked for
  std::unique_ptr<text_report> text_;  // as loaded, made when first asked for
  std::unique_ptr<image_report> images_;  // as loaded, made when first asked for
  std::vector<char> listed_;  // scratch of apply: pages met in this turn
  std::vector<i32> before_;   // per page: its rotation before the first turn that changed it, or -1
  bool changed_ = false;
};

}  // namespace lt

#endif
