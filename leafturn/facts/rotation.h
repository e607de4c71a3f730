// SPDX-License-Identifier: MIT
// Page rotation values (rotation.cpp): an object's own /Rotate and a page's
// effective rotation. The page-tree stage, the page facts, the turn plan and
// the writer read them.
#ifndef LEAFTURN_ROTATION_H
#define LEAFTURN_ROTATION_H

#include "load/loader.h"

namespace lt {

// An object's own /Rotate at its dictionary's own level, reduced into
// 0..359; -1 when it has none that counts.
i32 obj_rotate_own(const doc &d, scan_ctx &lex, const obj_rec &o);
// The page's own rotation, else the one it inherits.
i32 effective_rotation(const doc &d, scan_ctx &lex, const page_ref &p);
inline i32 normalise_rotation(long long v) {
  long long r = v % 360;
  return static_cast<i32>(r < 0 ? r + 360 : r);
}

}  // namespace lt

#endif
