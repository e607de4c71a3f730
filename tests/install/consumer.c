/* SPDX-License-Identifier: MIT */
/* A program built against the installed package only. */
#include <stdio.h>
#include <string.h>

#include <leafturn.h>

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  if (leafturn_get_rotation(NULL, 1) != -1 || strcmp(leafturn_last_error(), "NULL path argument") != 0)
    return 1;
  printf("leafturn %s: page 1 at %d degrees\n", LEAFTURN_VERSION, leafturn_get_rotation(argv[1], 1));
  return 0;
}
