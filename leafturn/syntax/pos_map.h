// SPDX-License-Identifier: MIT
// A small open-addressing map from non-negative offsets to results, for the
// memoised searches.
#ifndef LEAFTURN_POS_MAP_H
#define LEAFTURN_POS_MAP_H

#include <vector>

#include "doc.h"

namespace lt {

class pos_map {
 public:
  bool get(i32 key, i32 *val) const {
    if (keys_.empty()) return false;
    for (size_t h = slot(key);; h = (h + 1) & mask_) {
      if (keys_[h] == key) {
        *val = vals_[h];
        return true;
      }
      if (keys_[h] < 0) return false;
    }
  }
  void put(i32 key, i32 val) {
    if ((used_ + 1) * 2 > keys_.size()) grow();
    for (size_t h = slot(key);; h = (h + 1) & mask_) {
      if (keys_[h] == key || keys_[h] < 0) {
        if (keys_[h] < 0) ++used_;
        keys_[h] = key;
        vals_[h] = val;
        return;
      }
    }
  }

 private:
  size_t slot(i32 key) const {
    return (static_cast<std::uint32_t>(key) * 2654435761u) & mask_;
  }
  void grow() {
    std::vector<i32> ok = std::move(keys_), ov = std::move(vals_);
    const size_t cap = ok.empty() ? 64 : ok.size() * 2;
    keys_.assign(cap, -1);
    vals_.assign(cap, 0);
    mask_ = cap - 1;
    used_ = 0;
    for (size_t i = 0; i < ok.size(); ++i)
      if (ok[i] >= 0) put(ok[i], ov[i]);
  }
  std::vector<i32> keys_, vals_;
  size_t mask_ = 0, used_ = 0;
};


}  // namespace lt

#endif
