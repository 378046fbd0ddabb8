#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine + Xvfb.
# Installs missing packages first. NX_BUILD / NX_DISPLAY pick another
# build folder and display (so two builds can run side by side).
set -euo pipefail
cd "$(dirname "$0")"
NX_EXTRA_PACKAGES="${NX_EXTRA_PACKAGES:-chromium}" scripts/ensure-deps.sh
scripts/configure.sh
. scripts/wine-vars.sh
cmake --build "$NX_BUILD" -j "${NX_JOBS:-2}"
cd "$NX_BUILD"
ctest --output-on-failure "$@"
