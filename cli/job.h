// SPDX-License-Identifier: MIT
// One file through the core: load, choose pages, turn them, write.
#ifndef LEAFTURN_CLI_JOB_H
#define LEAFTURN_CLI_JOB_H

#include <string>

#include "core.h"

namespace cli {

struct turn_request {
  lt::turn turn;          // --by (relative, 90, 180 or 270 clockwise) or --to
  bool has_list = false;  // --pages given
  lt::page_list list;
  lt::page_filter only = lt::page_filter::any;  // --landscape, --portrait
};

struct job_result {
  bool ok = false;
  bool loaded = false;
  int pages = 0;
  int turned = 0;  // pages whose rotation changed
  double seconds = 0;
  std::string error;  // the library's message when not ok
};

// Turns the chosen pages of `in` and writes `out` (which may be `in`: it is
// then replaced atomically). When no page turns, `out` is not written if it
// is `in`, and gets a byte-for-byte copy otherwise.
job_result rotate_file(const std::string &in, const std::string &out, const turn_request &req);

}  // namespace cli

#endif
