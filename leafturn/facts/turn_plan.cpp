// SPDX-License-Identifier: MIT
// The turn plan (rules in turn_plan.h). A page's rotation is its object's
// planned rotation when it has one, else what the file gives; the file's
// value is read once per object, when first needed, so a plan that turns
// one page of a large document reads one page.
#include "facts/turn_plan.h"

#include <cstdio>

#include <cmath>
#include <memory>
#include <utility>

#include "facts/rotation.h"
#include "facts/text_direction.h"

namespace lt {

namespace {

constexpr i32 k_unread = -2;  // an own rotation not read yet

bool turned_sideways(i32 rotation) { return rotation == 90 || rotation == 270; }

}  // namespace

void set_page_range_error(failure &err, long page, int count) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", page);
  set_page_range_error(err, text, count);
}

void set_page_range_error(failure &err, const char *page, int count) {
  err.set("page %s out of range (document has %d pages)", page, count);
}

bool make_turn(bool absolute, long long degrees, turn *out) {
  const bool ok = absolute ? (degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270)
                           : (degrees != 0 && degrees % 90 == 0 && degrees >= -270 && degrees <= 270);
  if (!ok) return false;
  out->absolute = absolute;
  out->degrees = static_cast<int>((degrees % 360 + 360) % 360);
  return true;
}

const char *turn_values(bool absolute) {
  return absolute ? "0, 90, 180 or 270" : "90, 180, 270, -90, -180 or -270";
}

turn_plan::turn_plan(document &loaded)
    : loaded_(loaded),
      target_(static_cast<size_t>(loaded.d.max_num()) + 1, -1),
      own_(static_cast<size_t>(loaded.d.max_num()) + 1, k_unread) {}

i32 turn_plan::own(i32 num) {
  i32 &v = own_[static_cast<size_t>(num)];
  if (v == k_unread) {
    const obj_rec *rec = loaded_.d.find(num);
    v = rec ? obj_rotate_own(loaded_.d, loaded_.lex, *rec) : -1;
  }
  return v;
}

i32 turn_plan::rotation(int p) {
  const page_ref &ref = loaded_.d.pages[static_cast<size_t>(p - 1)];
  // Page objects are live, so their numbers lie within 1..max_num.
  const i32 planned = target_[static_cast<size_t>(ref.num)];
  if (planned >= 0) return planned;
  const i32 o = own(ref.num);
  return o >= 0 ? o : ref.inherited_rotate;
}

int turn_plan::pages_turned() {
  int n = 0;
  for (size_t p = 1; p < before_.size(); ++p)
    if (before_[p] >= 0 && rotation(static_cast<int>(p)) != before_[p]) ++n;
  return n;
}

page_facts turn_plan::facts(int p) {
  if (facts_.empty()) facts_ = describe_pages(loaded_);
  page_facts f = facts_[static_cast<size_t>(p - 1)];
  const i32 now = rotation(p);
  if (f.box_known && turned_sideways(now) != turned_sideways(f.rotation)) {
    std::swap(f.width, f.height);
    f.orient = f.width > f.height   ? orientation::landscape
               : f.height > f.width ? orientation::portrait
                                    : orientation::square;
  }
  f.rotation = now;
  return f;
}

text_facts turn_plan::text(int p) {
  if (!text_) text_.reset(new text_report(describe_text(loaded_)));
  text_facts f = text_->pages[static_cast<size_t>(p - 1)];
  const page_ref &ref = loaded_.d.pages[static_cast<size_t>(p - 1)];
  const i32 read_at = effective_rotation(loaded_.d, loaded_.lex, ref);
  f.direction = turned_direction(f.direction, read_at, rotation(p));
  return f;
}

std::vector<image_record> turn_plan::images(int p) {
  if (!images_) images_.reset(new image_report(describe_images(loaded_)));
  std::vector<image_record> r = images_->pages[static_cast<size_t>(p - 1)];
  place_images(&r, facts(p));
  return r;
}

bool turn_plan::text_budget_reached() {
  if (!text_) text_.reset(new text_report(describe_text(loaded_)));
  return text_->budget_reached;
}

int turn_plan::apply(const std::vector<int> *pages, const turn &t, page_filter only,
                     failure &err) {
  const int n = page_count();
  if (pages) {
    for (const int p : *pages)
      if (p < 1 || p > n) {
        set_page_range_error(err, p, n);
        return -1;
      }
  }
  const size_t count = pages ? pages->size() : static_cast<size_t>(n);
  // Every target from the rotations before this turn, then all set.
  std::vector<std::pair<i32, i32>> turns;  // (object number, rotation)
  if (pages) listed_.assign(static_cast<size_t>(n) + 1, 0);
  std::unique_ptr<text_reader> text;
  if (t.upright) text.reset(new text_reader(loaded_));
  for (size_t k = 0; k < count; ++k) {
    const int p = pages ? (*pages)[k] : static_cast<int>(k) + 1;
    if (pages) {
      if (listed_[static_cast<size_t>(p)]) continue;
      listed_[static_cast<size_t>(p)] = 1;
    }
    if (only != page_filter::any) {
      const orientation want =
          only == page_filter::landscape ? orientation::landscape : orientation::portrait;
      if (facts(p).orient != want) continue;
    }
    const i32 now = rotation(p);
    const i32 target = t.upright    ? upright_rotation(text->page(p, now).direction, now)
                       : t.absolute ? t.degrees
                                    : (now + t.degrees) % 360;
    if (target == now) continue;
    turns.emplace_back(loaded_.d.pages[static_cast<size_t>(p - 1)].num, target);
    if (before_.empty()) before_.assign(static_cast<size_t>(n) + 1, -1);
    if (before_[static_cast<size_t>(p)] < 0) before_[static_cast<size_t>(p)] = now;
  }
  for (const auto &x : turns) target_[static_cast<size_t>(x.first)] = x.second;
  if (!turns.empty()) changed_ = true;
  return static_cast<int>(turns.size());
}

}  // namespace lt
