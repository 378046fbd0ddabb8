#!/usr/bin/env bash
# Builds the Win32-free code with clang (list file, inventory file, row order, search
# rows) with the host compiler under the address and undefined-behaviour
# sanitizers and runs its tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/native}"
CC=clang CXX=clang++ cmake -S "$root/tests/native" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
ninja -C "$out" -j 2 >/dev/null
cd "$out"
for t in native_*; do [ -x "$t" ] && ./"$t" --gtest_brief=1; done
