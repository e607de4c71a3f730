// SPDX-License-Identifier: MIT
// Which way a page's text runs, read from its content: the up direction of
// every run of glyphs (the y axis of the text matrix through the current
// transformation and the page's own rotation), to the nearest quarter turn
// as the page is displayed. Only what decides that is read: q/Q, cm, BT,
// Tm, Tf and the text-showing operators, Form XObjects through Do (their
// /Matrix and /Resources; depth bounded, loops stopped); inline images are
// stepped over; marked content, Type 3 glyph procedures and annotation
// appearances are not entered. Invisible text (as OCR layers write it)
// counts like any other.
//
// Rules: a run more than 20 degrees from every axis counts for no quarter;
// a glyph is one byte of a string shown in a simple font, one code of the
// font's CMap in a Type 0 font (two bytes for Identity-H and Identity-V);
// the page's direction is the quarter with at least two thirds of its
// glyphs, when it has at least 30; otherwise it has none. A page whose
// content cannot be read has none, and nothing else changes.
#ifndef LEAFTURN_TEXT_DIRECTION_H
#define LEAFTURN_TEXT_DIRECTION_H

#include <memory>
#include <vector>

#include "facts/content_walk.h"
#include "load/loader.h"

namespace lt {

enum class text_direction : u8 { none, up, right, down, left };

// "up", "right", "down", "left" or "none".
const char *text_direction_name(text_direction d);

constexpr long k_min_direction_glyphs = 30;

struct text_facts {
  text_direction direction = text_direction::none;
  long glyphs = 0;  // glyphs shown on the page (Form XObjects included)
};

// Reads pages' text, one at a time, within one decoding budget.
class text_reader {
 public:
  explicit text_reader(document &loaded);
  ~text_reader();
  text_reader(const text_reader &) = delete;
  text_reader &operator=(const text_reader &) = delete;

  // Page p (1-based) as displayed at `rotation` (its effective rotation).
  text_facts page(int p, i32 rotation);
  // Whether the budget ran out: pages read after that have no direction.
  bool budget_reached() const;

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

// The rotation that shows text of direction `dir`, read at `rotation`,
// upright; `rotation` itself for none.
i32 upright_rotation(text_direction dir, i32 rotation);

// A direction read at rotation `from` as it shows at rotation `to`.
text_direction turned_direction(text_direction dir, i32 from, i32 to);

// Every page's text as the file displays it (its own rotation), read
// within one budget.
struct text_report {
  std::vector<text_facts> pages;
  bool budget_reached = false;
};
text_report describe_text(document &loaded);

}  // namespace lt

#endif
