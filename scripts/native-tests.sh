#!/usr/bin/env bash
# Builds the Win32-free code with clang (list file, inventory file, row order, search
# rows) with the host compiler under the address and undefined-behaviour
# sanitizers and runs its tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/native}"
"$root/scripts/configure.sh" --native "$out"
ninja -C "$out" -j 2 >/dev/null
cd "$out"
for t in native_*; do [ -x "$t" ] && ./"$t" --gtest_brief=1; done
