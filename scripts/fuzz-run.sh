#!/usr/bin/env bash
# Runs one libFuzzer target of a native build for a bounded time:
#   fuzz-run.sh <native build folder> <target> <seconds>
# Starts from the seeds and the saved crash inputs in tests/fuzz (every one
# of those must pass first) and grows a working corpus in the build folder,
# so the repository's seeds stay as they are. A finding fails the run and
# leaves the input beside the working corpus.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)" target="$2" seconds="$3"
work="$build/fuzz-work/$target"
mkdir -p "$work"
dirs=("$work" "$root/tests/fuzz/corpus/$target")
[ -d "$root/tests/fuzz/regressions/$target" ] && dirs+=("$root/tests/fuzz/regressions/$target")
cd "$build"
set +e
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "./fuzz_$target" -max_total_time="$seconds" -max_len=20000 -timeout=10 -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$build/fuzz-work/$target-" "${dirs[@]}" >"$work.out" 2>&1
rc=$?
set -e
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.out" | tail -1)
if [ $rc -ne 0 ]; then
  tail -60 "$work.out"
  echo "fuzz_$target: FINDING after ${execs:-?} executions (input saved as $build/fuzz-work/$target-*)"
  exit 1
fi
echo "fuzz_$target: ${execs:-?} executions in ${seconds} s, no finding"
