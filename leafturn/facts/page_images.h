// SPDX-License-Identifier: MIT
// Which images a page shows, read from its content: image XObjects drawn
// with Do (through Form XObjects, their /Matrix and /Resources, as
// content_walk enters them), inline images (BI .. ID .. EI, abbreviations
// included) and image masks, each with the transformation in force (q/Q,
// cm). For each: its size in pixels, bits, colours and colour space, its
// /Decode and filters, and where the unit square it is drawn in shows on
// the displayed page (its four corners, the page's rotation applied), the
// resolution it shows at and the share of the page it covers. Image data
// is never decoded; content streams are, within content_walk's budget.
// At most k_max_page_images images a page are listed.
#ifndef LEAFTURN_PAGE_IMAGES_H
#define LEAFTURN_PAGE_IMAGES_H

#include <memory>
#include <string>
#include <vector>

#include "facts/content_walk.h"
#include "facts/page_info.h"

namespace lt {

constexpr size_t k_max_page_images = 10000;

struct image_record {
  std::string name;        // the XObject's resource name, or "inline"
  i32 object = -1;         // its object number; -1 for inline images
  long width = 0, height = 0;  // pixels
  int bits = 0;            // bits per component (1 for a mask), 0 unknown
  int colors = 0;          // components of a pixel, 0 unknown
  std::string colorspace;  // "DeviceGray", "DeviceRGB", "DeviceCMYK", "ICCBased",
                           // "Indexed", "Lab", "Separation", "DeviceN"; "" none
  bool mask = false;       // /ImageMask true: a stencil
  std::vector<double> decode;        // /Decode, empty when absent
  std::vector<std::string> filters;  // in decoding order, full names
  // The unit square's corners (0,0), (1,0), (1,1), (0,1) in default user
  // space (the transformation in force applied), as read.
  double user[4][2] = {};
  // As displayed (place_images): the corners in points from the displayed
  // page's lower-left corner, pixels per inch along the image's width and
  // height, and the share of the page it covers (0..1).
  double corners[4][2] = {};
  double dpi_x = 0, dpi_y = 0;
  double coverage = 0;
};

// Reads pages' images, one at a time, within one decoding budget.
class image_reader {
 public:
  explicit image_reader(document &loaded);
  ~image_reader();
  image_reader(const image_reader &) = delete;
  image_reader &operator=(const image_reader &) = delete;

  // Page p's (1-based) images in the order drawn, in user space.
  std::vector<image_record> page(int p);
  bool budget_reached() const;

 private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

// Every page's images (user space), within one budget.
struct image_report {
  std::vector<std::vector<image_record>> pages;
  bool budget_reached = false;
};
image_report describe_images(document &loaded);

// Fills corners, dpi and coverage for a page of facts f (its box and its
// rotation as it stands).
void place_images(std::vector<image_record> *images, const page_facts &f);

// The lower of an image's two resolutions, to a tenth.
double image_dpi(const image_record &r);

// The images as a JSON array.
std::string images_json(const std::vector<image_record> &images);

}  // namespace lt

#endif
