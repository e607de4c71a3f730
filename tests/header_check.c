/* SPDX-License-Identifier: MIT */
#include "leafturn.h"
int leafturn_header_check_c(void) { return leafturn_init(); }
