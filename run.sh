#!/usr/bin/env bash
# The console on the built-in demo: a package share on the network drive Y:,
# this device's package groups, the service settings and an inventory.
# The stand-in for the installation service (demo/nxsim) rebuilds the device
# package list, installs it and starts the console.
#
# With a DISPLAY the console opens there; after a "Save Package List" the
# stand-in installs the saved list and starts the console again, as the
# service would. Without a DISPLAY everything runs under Xvfb: screenshots
# of the package, configuration and inventory views are saved and their
# paths printed, then the console is closed (Exit) and the prefix stopped.
#
# NX_BUILD picks the build folder (default "build"; each has its own prefix).
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
user_display="${DISPLAY:-}"
if [ -n "$user_display" ]; then
  # The user's display: Wine shows its windows there and no Xvfb is started.
  export NX_DISPLAY="$DISPLAY" NX_NO_XVFB=1
fi
. scripts/wine-vars.sh
. demo/setup.sh

echo "Building in $NX_BUILD ..."
scripts/configure.sh
cmake --build "$NX_BUILD" -j "${NX_JOBS:-2}" --target nxwin nxsvc nx_help nxsim nxdrive nx_keepalive >/dev/null

echo "Starting Wine (prefix $WINEPREFIX, display $NX_DISPLAY) ..."
# A prefix that is up already (tests of this build folder running) is left up.
was_up=0
if [ -z "$user_display" ] && [ -f "$NX_STATE/xvfb.pid" ] && kill -0 "$(cat "$NX_STATE/xvfb.pid")" 2>/dev/null; then
  was_up=1
fi
scripts/wine-env.sh up "$NX_BUILD/bin/nx_keepalive.exe" || { echo "run.sh: Wine did not start" >&2; exit 1; }
[ $was_up = 1 ] || trap 'scripts/wine-env.sh down' EXIT
demo_setup
echo "Demo device $NX_DEMO_DEVICE: groups Base and Office on \\\\demo\\packages (Y:)"

list="$NX_DEMO_PUBLIC/nxsvc.ini"
rm -f "$NX_STATE/demo.stamp"
if [ -n "$user_display" ]; then
  # As the service does: device list from the share, install, console; and
  # again after every save from the console, until it is left another way.
  demo_run nxsim.exe /wait
  while [ -f "$list" ] && [ "$list" -nt "$NX_DEMO_APP/nxdll.log" ] && [ "$list" -nt "$NX_STATE/demo.stamp" ]; do
    touch "$NX_STATE/demo.stamp"
    demo_run nxsim.exe /nofind /wait
  done
  exit 0
fi

# Headless: install, start the console, take the screenshots, exit.
demo_run nxsim.exe /nostart
touch "$NX_STATE/demo.stamp"
shots="$NX_BUILD/demo"
mkdir -p "$shots"
demo_run nxwin.exe >/dev/null 2>&1 &
console=$!
nxdrive wait 30000 >/dev/null || { echo "run.sh: the console did not start" >&2; exit 1; }
nxdrive waitrows 1 10000 >/dev/null || true
echo
echo "Device package list with install results:"
nxdrive table | awk -F'\t' '{ printf "  %-12s %-10s %-7s %s\n", $1, $2, $3, $5 }'
demo_shot "$shots/console-packages.png"
nxdrive select NXSvc >/dev/null
demo_shot "$shots/console-configuration.png"
nxdrive select Software.csv >/dev/null
demo_shot "$shots/console-inventory.png"
nxdrive close 15000 >/dev/null || echo "run.sh: the console did not end on Exit" >&2
code=0
wait "$console" || code=$?
echo
echo "Screenshots:"
for f in packages configuration inventory; do echo "  $shots/console-$f.png"; done
echo "Console log: $NX_DEMO_TEMP/nxwin.log (exit code $code)"
echo "Stand-in log: $NX_DEMO_TEMP/nxsim.log; library log: $NX_DEMO_APP/nxdll.log"
