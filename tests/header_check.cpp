// SPDX-License-Identifier: MIT
#include "leafturn.h"
int leafturn_header_check_cxx() { return leafturn_init(); }
