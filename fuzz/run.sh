#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in BUILD_DIR and runs each for FUZZ_SECONDS
# seconds on a scratch copy of its seed corpus, so the repository's corpus stays small.
# Inputs that fail are kept in BUILD_DIR/artifacts/<target>/; copy the ones worth keeping
# into fuzz/corpus/<target>/ so the test suite replays them.
# Usage: fuzz/run.sh [BUILD_DIR] (environment: FUZZ_SECONDS, default 60; JOBS)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTEMLOOP_FUZZ=ON -DSTEMLOOP_TESTS=OFF >/dev/null || exit 1
cmake --build "$build" -j "$jobs" --target fuzz_targets || exit 1

status=0
summary=""
for corpus in "$root"/fuzz/corpus/*/; do
  target=$(basename "$corpus")
  program="$build/fuzz/$target"
  [ -x "$program" ] || continue
  scratch=$(mktemp -d)
  artifacts="$build/artifacts/$target"
  mkdir -p "$artifacts"
  cp -r "$corpus". "$scratch"/
  log="$build/$target.log"
  echo "== $target: $seconds s"
  "$program" "$scratch" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  line="$target: ${execs:-?} executions"
  if [ $rc -ne 0 ]; then
    status=1
    line="$line, FAILED (exit $rc), see $log and $artifacts/"
    grep -m 5 -E 'property violated|ERROR: |runtime error' "$log"
  fi
  echo "$line"
  summary="$summary$line"$'\n'
  rm -rf "$scratch"
done
printf '\n%s' "$summary"
exit $status
