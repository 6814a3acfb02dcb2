#!/bin/sh
# Runs each fuzz target for the given time, one after the other, starting from the corpus kept
# in the repository, then merges what it found back into that corpus, minimised: kept are the
# fewest inputs that reach every edge reached (hit counts are not kept apart, which keeps the
# corpus small; a run finds them again in seconds).
#   run.sh <build dir> <seconds> <target>...
# A target's log is <build dir>/<target>.log; a failing input lands in <build dir>/artifacts.
set -e
build=$(cd "$1" && pwd)
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
for target in "$@"; do
  kept=$here/corpus/$target
  work=$build/corpus/$target
  merged=$build/merged/$target
  log=$build/$target.log
  mkdir -p "$kept" "$work" "$build/artifacts"
  echo "== $target for $seconds s (log: $log)"
  # The bridge's diagnostics go to standard output; libFuzzer reports on standard error.
  if ! "$build/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$work" "$kept" >/dev/null 2>"$log"; then
    grep -v "^ *#[0-9]* 0x" "$log" | tail -40
    echo "== $target found a failure: see $build/artifacts" >&2
    exit 1
  fi
  grep -E "DONE|^stat::number_of_executed_units|^stat::peak_rss_mb" "$log" | tail -3
  rm -rf "$merged"
  mkdir -p "$merged"
  "$build/$target" -merge=1 -use_counters=0 "$merged" "$kept" "$work" >/dev/null 2>>"$log"
  rm -rf "$kept"
  mv "$merged" "$kept"
  echo "== corpus kept: $(ls "$kept" | wc -l) inputs, $(du -sk "$kept" | cut -f1) KiB"
done
