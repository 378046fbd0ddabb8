#!/usr/bin/env bash
# The one configure step of every top-level command.
#   configure.sh [cmake arguments ...]
#       the cross build of $NX_BUILD (scripts/wine-vars.sh) with the MinGW
#       toolchain of $NX_ARCH, configuration $NX_CONFIG (default Release); a build folder
#       keeps the test display it was set up with unless NX_DISPLAY is given
#   configure.sh --native <folder>
#       the native clang build of the Win32-free code (sanitizers, fuzzers)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ "${1:-}" = --native ]; then
  CC=clang CXX=clang++ cmake -S "$root/tests/native" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  exit 0
fi
display=()
[ -n "${NX_DISPLAY:-}" ] && display=(-DNX_DISPLAY="$NX_DISPLAY")
. "$root/scripts/wine-vars.sh"
cmake -S "$root" -B "$NX_BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$NX_ARCH-posix.cmake" \
  -DCMAKE_BUILD_TYPE="${NX_CONFIG:-Release}" "${display[@]}" "$@" >/dev/null
