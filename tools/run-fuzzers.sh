#!/bin/sh
# Runs every fuzz target of a fuzz build for a bounded time; fails on the first finding. A
# target's seeds in the repository's corpus/NAME are read besides what earlier runs found, with
# its dictionary corpus/NAME.dict when there is one.
#   run-fuzzers.sh BUILD_DIR SECONDS
set -e
build="$1"
seconds="${2:-60}"
seeds="$(dirname "$0")/../corpus"
targets=$(find "$build" -type f -name '*_fuzz' -perm -u+x | sort)
[ -n "$targets" ] || { echo "no fuzz targets in $build"; exit 1; }
for target in $targets; do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seed=""
  [ -d "$seeds/$name" ] && seed="$seeds/$name"
  dict=""
  [ -f "$seeds/$name.dict" ] && dict="-dict=$seeds/$name.dict"
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 $dict \
    -artifact_prefix="$build/$name-" "$corpus" $seed > "$build/$name.log" 2>&1 || { tail -n 40 "$build/$name.log"; exit 1; }
  tail -n 5 "$build/$name.log"
done
