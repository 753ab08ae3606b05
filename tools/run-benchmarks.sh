#!/bin/sh
# Runs every benchmark program of a benchmark build, one after the other.
#   run-benchmarks.sh BUILD_DIR
set -e
build="$1"
for bench in $(find "$build" -type f -name '*_bench' -perm -u+x | sort); do
  echo "== $(basename "$bench")"
  "$bench"
done
