// SPDX-License-Identifier: MIT
// What a tool shows of each page and decides by: its rotation and where it
// comes from, its displayed size and orientation.
#ifndef LEAFTURN_PAGE_INFO_H
#define LEAFTURN_PAGE_INFO_H

#include <string>
#include <vector>

#include "facts/text_direction.h"
#include "load/loader.h"

namespace lt {

enum class orientation { unknown, landscape, portrait, square };

// "landscape", "portrait", "square", or null for unknown.
const char *orientation_name(orientation o);

struct page_facts {
  i32 rotation = 0;    // effective, 0..359
  i32 own = -1;        // the page's own /Rotate, reduced; -1 when it has none
  i32 inherited = -1;  // the nearest ancestor's /Rotate; -1 when none has one
  bool box_known = false;
  double width = 0;    // the displayed box in points: /CropBox, else
  double height = 0;   // /MediaBox, turned by the rotation
  lt::orientation orient = orientation::unknown;
  double box_x = 0, box_y = 0;  // the box's lower-left corner, as the file has it
};

struct image_record;

// The facts of every page, in document order. Boxes are inherited through
// the page tree as /Rotate is; values may be indirect or real numbers, and
// corners may come in any order. A box that cannot be read leaves the page
// without size and orientation.
std::vector<page_facts> describe_pages(document &loaded);

// Page `number`'s facts as one JSON object, the one encoding of a page that
// every front end reads (the command line's info --json prints it for each
// page, the bindings parse it): "number", "rotation", "own", "inherited",
// "width", "height", "orientation", then, when `text` is given,
// "text_direction" and "glyphs", and when `images` is given, "images"
// (images_json, page_images.h); null where a value is absent.
std::string page_facts_json(int number, const page_facts &f, const text_facts *text,
                            const std::vector<image_record> *images = nullptr);

}  // namespace lt

#endif
