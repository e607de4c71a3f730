#!/bin/sh
# SPDX-License-Identifier: MIT
# A shared library must export exactly its calls: the seven, or the list
# given (sorted, space-separated).   check_exports.sh LIB [EXPECTED]
set -eu
lib="$1"
expected="${2:-leafturn_all leafturn_cleanup leafturn_get_rotation leafturn_init leafturn_last_error leafturn_page leafturn_pages}"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVviu]$/ {print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "exports: $actual"
