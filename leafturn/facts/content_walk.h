// SPDX-License-Identifier: MIT
// What the readers of page content share (the text direction, the images
// a page shows): a page's content streams read as one, its resources (its
// own, else the nearest ancestor's), a resource by the name an operator
// gives, the Form XObjects that Do enters (depth bounded, a form inside
// itself stopped), and decoding within one budget per reader: 16 bytes for
// each byte of the input, and 64 MB besides.
#ifndef LEAFTURN_CONTENT_WALK_H
#define LEAFTURN_CONTENT_WALK_H

#include <vector>

#include "load/loader.h"
#include "decode/filters.h"

namespace lt {

// Decoding is bounded per reader: this many bytes for each byte of the
// input, and this many besides.
constexpr size_t k_text_budget_per_input_byte = 16;
constexpr size_t k_text_budget_floor = size_t(64) << 20;
// How deep Form XObjects nest, at most.
constexpr int k_max_form_depth = 12;

// The dictionary a record holds: from its "<<" to its end.
span record_dict(const doc &d, const obj_rec &o);
// Whether a value is the name `name` (direct).
bool value_is_name(const span &v, const char *name);
// The first n numbers of an array value ("[1 0 0 1 0 0]"), direct or
// through a reference.
bool read_numbers(const doc &d, const span &v, double *out, int n);
// A number value, direct or through a reference.
bool read_number(const doc &d, const span &v, double *out);

// The linear part and the offset of a matrix [a b c d e f].
struct matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  // this, then m (row vectors: v * this * m).
  matrix then(const matrix &m) const {
    return {a * m.a + b * m.c,       a * m.b + b * m.d,       c * m.a + d * m.c,
            c * m.b + d * m.d,       e * m.a + f * m.c + m.e, e * m.b + f * m.d + m.f};
  }
};

class content_walk {
 public:
  explicit content_walk(const doc &d);

  // Decodes a stream within the budget: into *out, or (out null) in place,
  // at *data and *size (valid until the next in-place call).
  bool decode(const obj_rec &o, std::vector<u8> *out, const u8 **data = nullptr,
              size_t *size = nullptr);
  // Whether the budget ran out (nothing is decoded after that).
  bool over() const { return over_; }

  // Page p's (1-based) content: its one stream in place, or its array of
  // streams joined in *joined; false when it has none that can be read.
  bool page_content(int p, std::vector<u8> *joined, const u8 **data, size_t *size);
  // The page's resources: its own, else the nearest ancestor's.
  span page_resources(int p);
  // The resource of `kind` (/Font, /XObject, /ColorSpace) named by the name
  // token [from, to) of b (the bytes after its '/').
  span resource(const span &resources, const char *kind, const u8 *b, i32 from, i32 to);

  // The Form XObject `o` (a stream whose dictionary is `dict`) entered at
  // `depth`: false when it is too deep or already open (a form that draws
  // itself); else it is open until leave().
  bool enter(const obj_rec &o, int depth);
  void leave() { open_.pop_back(); }

  const doc &d;

 private:
  size_t budget_;
  bool over_ = false;
  std::vector<i32> open_;       // Form XObjects being read
  stream_decoder decoder_;      // its buffers serve every stream copied out
  stream_decoder page_decoder_; // a page's one content stream, read in place
};

}  // namespace lt

#endif
