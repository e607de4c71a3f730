// SPDX-License-Identifier: MIT
// The command line writes JSON with the core's writers (json_text.h).
#ifndef LEAFTURN_CLI_JSON_H
#define LEAFTURN_CLI_JSON_H

#include "facts/json_text.h"

namespace cli {
using lt::json_number;
using lt::json_string;
}  // namespace cli

#endif
