// SPDX-License-Identifier: MIT
// One file through the core: load, choose pages, turn them, write.
#ifndef LEAFTURN_CLI_JOB_H
#define LEAFTURN_CLI_JOB_H

#include <string>
#include <vector>

#include "core.h"

namespace cli {

// One TURN of the command line with the page choice that follows it.
struct turn_step {
  lt::turn turn;          // --by (relative, 90, 180 or 270 clockwise) or --to
  bool has_list = false;  // --pages given
  lt::page_list list;
  lt::page_filter only = lt::page_filter::any;  // --landscape, --portrait
  bool chosen() const { return has_list || only != lt::page_filter::any; }
};

// How the result is written: automatic, --incremental or --full (the
// core decides what each means for a document).
using write_mode = lt::write_mode;

// The turns of one run, applied in order: later ones build on earlier ones.
struct turn_request {
  std::vector<turn_step> steps;
  write_mode mode = write_mode::automatic;
  bool force = false;  // --force: certified documents too, and files whose
                       // permissions forbid turning pages
  bool has_password = false;  // --password or --password-file
  std::string password;
};

// "-" names standard input (as IN) or standard output (as OUT).
inline bool is_stdio(const std::string &path) { return path == "-"; }

struct job_result {
  bool ok = false;
  bool loaded = false;
  int pages = 0;
  int turned = 0;  // pages whose rotation changed
  const char *mode = "unchanged";  // "update", "full" or "unchanged"
  std::string note;  // said on standard error (a signed file gets an update)
  double seconds = 0;
  std::string error;  // the library's message when not ok
};

// Loads a file, or standard input for "-" (messages name it "(standard
// input)"), encrypted ones too, with the password given (null: none).
// False with the message set.
bool load_input(const std::string &in, lt::document &loaded, lt::failure &err,
                const std::string *password);

// The option that gives a password, for messages.
constexpr char k_password_option[] = "--password";

// Turns the chosen pages of `in` and writes `out` (which may be `in`: it is
// then replaced atomically). When no page turns, `out` is not written if it
// is `in`, and gets a byte-for-byte copy otherwise. "-" reads standard
// input or writes standard output (in binary mode).
job_result rotate_file(const std::string &in, const std::string &out, const turn_request &req);

}  // namespace cli

#endif
