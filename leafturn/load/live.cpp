// SPDX-License-Identifier: MIT
// Live object selection: one record per object number survives. A direct
// copy beats every copy from an object stream, and among copies of one kind
// the last in index order wins. Object-stream containers never survive.
#include "load/loader.h"

namespace lt {

void select_live(doc &d, const std::vector<i32> &containers) {
  i32 m = 0;
  for (const obj_rec &r : d.objs)
    if (r.num <= k_max_obj_num && r.num > m) m = r.num;
  const size_t slots = static_cast<size_t>(m) + 1;
  std::vector<i32> last_direct(slots, -1), last_objstm(slots, -1);
  // The object streams among the direct records, as their expansion found them.
  std::vector<char> container(d.objs.size(), 0);
  for (const i32 k : containers) container[static_cast<size_t>(k)] = 1;
  for (size_t k = 0; k < d.objs.size(); ++k) {
    const obj_rec &r = d.objs[k];
    if (r.num < 0 || r.num > m) continue;
    if (r.in_objstm()) {
      last_objstm[static_cast<size_t>(r.num)] = static_cast<i32>(k);
    } else if (container[k]) {
      continue;
    } else {
      last_direct[static_cast<size_t>(r.num)] = static_cast<i32>(k);
    }
  }
  auto keep = [&](size_t k) {
    const obj_rec &r = d.objs[k];
    if (r.num < 0 || r.num > k_max_obj_num) return false;
    const size_t n = static_cast<size_t>(r.num);
    const i32 self = static_cast<i32>(k);
    return r.in_objstm() ? (last_direct[n] == -1 && last_objstm[n] == self)
                       : (!container[k] && last_direct[n] == self);
  };
  // Survivors move down in place, in their order (keep reads only what
  // was computed above and records not yet moved over).
  size_t w = 0;
  i32 max_num = 0;
  for (size_t k = 0; k < d.objs.size(); ++k) {
    if (!keep(k)) continue;
    if (d.objs[k].num > max_num) max_num = d.objs[k].num;
    if (w != k) d.objs[w] = d.objs[k];
    ++w;
  }
  d.objs.resize(w);
  // Lookups by number from here on: at most one live record per number.
  d.by_num.assign(static_cast<size_t>(max_num) + 1, -1);
  for (size_t k = 0; k < d.objs.size(); ++k)
    d.by_num[static_cast<size_t>(d.objs[k].num)] = static_cast<i32>(k);
}

}  // namespace lt
