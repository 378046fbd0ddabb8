#!/usr/bin/env bash
# The console on the built-in demo: a package share on the network drive Y:,
# this device's package groups, the service settings and an inventory.
# The installation service NXSvc (nxsvc.exe), registered in the prefix and
# started, rebuilds the device package list, installs it and starts the
# console.
#
# With a DISPLAY the console opens there; after a "Save Package List" the
# service installs the saved list at its next task (every 10 s in the demo)
# and starts the console again. Leaving the console another way ends the
# demo. Without a DISPLAY everything runs under Xvfb: screenshots of the
# package, configuration and inventory views are saved and their paths
# printed, then the console is closed (Exit); the administrator's Devices
# view (nxwin.exe /admin) shows this device's status beside a few generated
# devices and is saved too; then the prefix is stopped.
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
cmake --build "$NX_BUILD" -j "${NX_JOBS:-2}" --target nxwin nxsvc nxsvc_exe nx_help nxdrive nx_keepalive >/dev/null

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

demo_service_start
trap 'demo_service_remove; [ $was_up = 1 ] || scripts/wine-env.sh down' EXIT
echo "Service NXSvc: $(demo_service_state); its log: $NX_DEMO_APP/nxsvc.log"
if [ -n "$user_display" ]; then
  # The service starts the console after its installs; after each save it
  # installs the saved list and starts it again.
  while nxdrive wait 90000 >/dev/null 2>&1; do
    nxdrive gone 86400000 >/dev/null 2>&1
    grep -q "OnSave (" "$NX_DEMO_TEMP/nxwin.log" 2>/dev/null || break
  done
  exit 0
fi

# Headless: the first task installs and starts the console; the
# screenshots; exit.
nxdrive wait 90000 >/dev/null || { echo "run.sh: the service did not start the console" >&2; exit 1; }
shots="$NX_BUILD/demo"
mkdir -p "$shots"
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

# The administrator's fleet view: this device's status, which the task just
# wrote to the share, beside the demo's other devices.
demo_run nxwin.exe /admin >/dev/null 2>&1 &
nxdrive wait 30000 >/dev/null
nxdrive select Devices >/dev/null
nxdrive waitrows 6 30000 >/dev/null || true
echo
echo "Devices (nxwin.exe /admin, tree node \"Devices\"):"
nxdrive table | awk -F'\t' '{ printf "  %-16s %-20s %-3s %-3s %-4s %s\n", $1, $2, $3, $4, $5, $7 }'
demo_shot "$shots/console-devices.png"
nxdrive close 15000 >/dev/null || echo "run.sh: the console did not end on Exit" >&2
echo
echo "Screenshots:"
for f in packages configuration inventory devices; do echo "  $shots/console-$f.png"; done
echo "Console log: $NX_DEMO_TEMP/nxwin.log"
echo "Service log: $NX_DEMO_APP/nxsvc.log; library log: $NX_DEMO_APP/nxdll.log"
