// SPDX-License-Identifier: MIT
// Many files in one run: the inputs found from files and folders, where
// each output goes, worker threads, and the reports.
#ifndef LEAFTURN_CLI_BATCH_H
#define LEAFTURN_CLI_BATCH_H

#include <string>
#include <vector>

#include "job.h"

namespace cli {

struct batch_options {
  bool in_place = false;
  std::string out_dir;     // when not in place
  int jobs = 1;
  bool json = false;
  int progress = -1;       // -1: when stderr is a terminal and there are several files
};

// Runs the batch over PATHs (files, and folders walked for *.pdf in any
// case); returns the exit status: 0 when every file succeeded, else 1.
int run_batch(const std::vector<std::string> &paths, const turn_request &req,
              const batch_options &opt);

// One JSON report line (without the line end).
std::string json_report(const std::string &file, const job_result &r);

}  // namespace cli

#endif
