#!/bin/sh
# The long run: every fuzz target of a fuzz build until it has run RUNS inputs or SECONDS have
# passed, in JOBS processes at the lowest priority, from its seeds and dictionary as
# run-fuzzers.sh takes them. What the run found is merged into corpus/NAME with -merge=1, which
# keeps only inputs that add coverage. Per target it says the inputs run, inputs a second (per
# process), the coverage of corpus/NAME afterwards (libFuzzer's cov: and ft:) and any finding;
# the same as a table goes to BUILD_DIR/fuzz-long.md. Fails when a target found something (its
# artifacts stay in BUILD_DIR/long/NAME/).
#   run-fuzzers-long.sh BUILD_DIR SECONDS RUNS JOBS
set -e
build=$(cd "$1" && pwd)
seconds="${2:-3600}"
runs="${3:-10000000}"
jobs="${4:-2}"
seeds=$(cd "$(dirname "$0")/../corpus" && pwd)
targets=$(find "$build" -type f -name '*_fuzz' -perm -u+x | sort)
[ -n "$targets" ] || { echo "no fuzz targets in $build"; exit 1; }

# Sums (or averages) a statistic of libFuzzer's final report over the jobs' logs.
statistic() {
  sed -n "s/^stat::$2: *//p" "$1"/fuzz-*.log | awk -v mean="$3" '{ s += $1; n++ } END { print (mean && n ? int(s / n) : s + 0) }'
}

table="$build/fuzz-long.md"
printf '| target | inputs a second | inputs run | time | coverage (cov, ft) | corpus files |\n' > "$table"
printf '|---|---|---|---|---|---|\n' >> "$table"
failed=""
for target in $targets; do
  name=$(basename "$target")
  work="$build/long/$name"
  mkdir -p "$work/corpus" "$work/logs" "$seeds/$name"
  rm -f "$work/logs"/fuzz-*.log
  dict=""
  [ -f "$seeds/$name.dict" ] && dict="-dict=$seeds/$name.dict"
  echo "== $name: up to $runs inputs or ${seconds}s, $jobs jobs"
  start=$(date +%s)
  (cd "$work/logs" && nice -n 19 "$target" -jobs="$jobs" -workers="$jobs" -runs=$((runs / jobs)) \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=1 $dict \
    -artifact_prefix="$work/" "$work/corpus" "$seeds/$name" > "$work/logs/driver.log" 2>&1) || true
  elapsed=$(($(date +%s) - start))
  executed=$(statistic "$work/logs" number_of_executed_units 0)
  rate=$(statistic "$work/logs" average_exec_per_sec 1)

  nice -n 19 "$target" -merge=1 -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 "$seeds/$name" "$work/corpus" \
    > "$work/logs/merge.log" 2>&1 || true
  nice -n 19 "$target" -runs=0 -rss_limit_mb=2048 -close_fd_mask=1 "$seeds/$name" > "$work/logs/coverage.log" 2>&1 || true
  coverage=$(sed -n 's/.*INITED cov: \([0-9]*\) ft: \([0-9]*\).*/\1, \2/p' "$work/logs/coverage.log" | tail -n 1)
  files=$(find "$seeds/$name" -type f | wc -l)

  findings=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  echo "   $executed inputs in ${elapsed}s, $rate a second per job; corpus/$name: $files files, cov, ft: $coverage; findings: $findings"
  printf '| %s | %s | %s | %ss | %s | %s |\n' "$name" "$rate" "$executed" "$elapsed" "$coverage" "$files" >> "$table"
  if [ "$findings" -gt 0 ]; then
    failed="$failed $name"
    grep -h -A 12 '^==[0-9]*==ERROR\|deadly signal\|^SUMMARY' "$work/logs"/fuzz-*.log | head -n 40
  fi
done
echo "table: $table"
[ -z "$failed" ] || { echo "findings in:$failed"; exit 1; }
