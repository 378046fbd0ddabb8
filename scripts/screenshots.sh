#!/usr/bin/env bash
# Remakes the screenshots in docs/ from the demo (see run.sh), under Xvfb:
#   console-progress.png       the service installing, its progress text in the list
#   console-packages.png       the device package list with install results
#   console-find.png           after F5: available packages, two of them checked
#   console-configuration.png  the service settings
#   console-inventory.png      the inventory file Software.csv
#   report.png                 the assignment report nxsvc.htm in headless Chromium
#   console-devices.png        nxwin /admin, "Devices": the fleet's status files
#   console-device.png         one failed device opened from there (read only)
#   fleet.png                  the fleet report nxfleet.htm in headless Chromium
# usage: scripts/screenshots.sh [output folder, default docs]
# NX_BUILD / NX_DISPLAY pick the build folder and display as for test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(mkdir -p "${1:-docs}" && cd "${1:-docs}" && pwd)"
NX_EXTRA_PACKAGES="${NX_EXTRA_PACKAGES:-chromium}" scripts/ensure-deps.sh
unset NX_NO_XVFB
. scripts/wine-vars.sh
. demo/setup.sh

scripts/configure.sh
cmake --build "$NX_BUILD" -j "${NX_JOBS:-2}" --target nxwin nxsvc nxsvc_exe nx_help nxdrive nx_keepalive >/dev/null

was_up=0
if [ -f "$NX_STATE/xvfb.pid" ] && kill -0 "$(cat "$NX_STATE/xvfb.pid")" 2>/dev/null; then was_up=1; fi
scripts/wine-env.sh up "$NX_BUILD/bin/nx_keepalive.exe" || { echo "screenshots: Wine did not start" >&2; exit 1; }
[ $was_up = 1 ] || trap 'scripts/wine-env.sh down' EXIT
demo_setup

start_console() {
  demo_run nxwin.exe >/dev/null 2>&1 &
  nxdrive wait 30000 >/dev/null
  nxdrive waitrows 1 10000 >/dev/null || true
}

# One task of the service installs the device list from the share; with
# the slow package's result removed, the next task installs it again while
# the console watches and shows the service's progress text.
demo_run nxsvc.exe /once /norestart >/dev/null
nxdrive wait 30000 >/dev/null
nxdrive close 15000
wine reg delete 'HKLM\Software\Veltrane\NxSvc\Packages\Contoso\OfficeSuite' /f >/dev/null 2>&1
start_console
demo_run nxsvc.exe /once /norestart >/dev/null &
task=$!
nxdrive waitcell 4 "installing ... 2" 60000 >/dev/null
demo_shot "$out/console-progress.png"
wait $task
# The console the task starts at its end finds this one running and ends;
# give it that time, so that Exit reaches the right one.
sleep 2
nxdrive close 15000

# Next start: install times, and the failed package.
start_console
demo_shot "$out/console-packages.png"

# F5: the share's other packages as available; check two of them (the newer
# PdfViewer crosses out the installed one).
nxdrive key F5
nxdrive waitrows 9 30000 >/dev/null
sleep 1
nxdrive click "$(nxdrive waitcell 0 Zipper)"
nxdrive click "$(nxdrive waitcell 2 4.2)"
nxdrive waitcell 4 "ready to install" >/dev/null
demo_shot "$out/console-find.png"

nxdrive select NXSvc
demo_shot "$out/console-configuration.png"
nxdrive select Software.csv
demo_shot "$out/console-inventory.png"
nxdrive close 15000

# The administrator's fleet: this device's status (written by the tasks
# above) beside the demo's other devices; one failed device opened; the
# fleet report, which the console writes beside nxsvc.htm.
demo_run nxwin.exe /admin >/dev/null 2>&1 &
nxdrive wait 30000 >/dev/null
nxdrive select Devices
nxdrive waitrows 6 30000 >/dev/null
sleep 1
demo_shot "$out/console-devices.png"
nxdrive dblclick "$(nxdrive waitcell 0 DEMO-PC02)" 230
nxdrive waitcell 4 "failed: 1603" 15000 >/dev/null
nxdrive park
demo_shot "$out/console-device.png"
nxdrive cmd 209
for _ in $(seq 1 60); do [ -s "$NX_DEMO_PUBLIC/nxfleet.htm" ] && break; sleep 0.5; done
sleep 1
nxdrive close 15000

# The report as a browser shows it.
browser=$(command -v chromium || command -v chromium-browser)
profile=$(mktemp -d)
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --user-data-dir="$profile" \
  --disable-background-networking --disable-component-update --disable-sync --no-first-run --disable-quic \
  --hide-scrollbars --window-size=780,280 --screenshot="$out/report.png" \
  "file://$NX_DEMO_PUBLIC/nxsvc.htm" </dev/null >/dev/null 2>&1
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --user-data-dir="$profile" \
  --disable-background-networking --disable-component-update --disable-sync --no-first-run --disable-quic \
  --hide-scrollbars --window-size=780,520 --screenshot="$out/fleet.png" \
  "file://$NX_DEMO_PUBLIC/nxfleet.htm" </dev/null >/dev/null 2>&1
rm -rf "$profile"

for f in console-progress console-packages console-find console-configuration console-inventory report \
  console-devices console-device fleet; do
  echo "$out/$f.png"
done
