// SPDX-License-Identifier: MIT
// The core's own interface for what is built on it: the command line and
// the language bindings include this header and no other of the library's.
//  - loading a file or bytes: document, doc_load, doc_load_bytes (loader.h);
//  - what tools show: describe_pages (page_info.h), describe_info
//    (doc_info.h);
//  - choosing pages: the page grammar (page_list.h);
//  - which way pages' text runs: describe_text (text_direction.h);
//  - turning them: turn_plan (turn_plan.h);
//  - outputs and where they go: copy_output, write_output, output_bytes
//    (output.h), rewrite_output (full_rewrite.h), update_output
//    (appended_update.h);
//  - which of them to write, or why none: write_decision (write_decision.h);
//  - one document kept open, as the document C API, Python and JavaScript
//    keep it, with the statuses and the exception guard they share: session
//    (session.h).
#ifndef LEAFTURN_CORE_H
#define LEAFTURN_CORE_H

#include "facts/doc_info.h"
#include "load/loader.h"
#include "facts/page_images.h"
#include "facts/page_info.h"
#include "facts/page_list.h"
#include "facts/text_direction.h"
#include "facts/turn_plan.h"
#include "write/write_decision.h"
#include "write/appended_update.h"
#include "write/full_rewrite.h"
#include "write/output.h"
#include "session.h"

#endif
