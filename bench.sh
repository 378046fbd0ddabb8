#!/usr/bin/env bash
# Builds and runs every benchmark under Wine; each prints its figures as
# ratios measured within one run.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
NX_CONFIG=Release scripts/configure.sh
. scripts/wine-vars.sh
cmake --build "$NX_BUILD" -j "${NX_JOBS:-2}"
scripts/wine-env.sh up "$NX_BUILD/bin/nx_keepalive.exe"
# The package share on a real SMB server, for bench_smb.
trap 'scripts/smb-env.sh down; scripts/wine-env.sh down' EXIT
scripts/smb-env.sh up
status=0
for b in "$NX_BUILD"/bin/bench_*.exe; do
  [ -e "$b" ] || continue
  echo "== $(basename "$b" .exe)"
  (cd "$NX_BUILD/bin" && wine "$b") || status=1
done
exit $status
