#!/usr/bin/env bash
# Builds the native sanitizer and fuzz programs and runs every fuzz target
# for longer than the test suite does:
#   ./fuzz.sh [seconds per target, default 300] [target ...]
# Targets: those of tests/fuzz/targets.txt. A finding stops with
# the input saved under build/native/fuzz-work; add it to
# tests/fuzz/regressions/<target>/ once mended, so every run replays it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
seconds="${1:-300}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(sed -n 's/^\([a-z][a-z0-9_]*\) .*/\1/p' tests/fuzz/targets.txt)
build="${NX_BUILD:-build}/native"
scripts/native-tests.sh "$build"
for t in "${targets[@]}"; do scripts/fuzz-run.sh "$build" "$t" "$seconds"; done
