#!/bin/sh
# SPDX-License-Identifier: MIT
# The shared library must export exactly the seven calls.
set -eu
lib="$1"
expected="leafturn_all leafturn_cleanup leafturn_get_rotation leafturn_init leafturn_last_error leafturn_page leafturn_pages"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVviu]$/ {print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "exports: $actual"
