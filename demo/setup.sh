# Sourced after scripts/wine-vars.sh, with the prefix up (scripts/wine-env.sh up).
# demo_setup puts the demo into this build folder's prefix:
#   - the package share (demo/share) on Y:, the prefix's network drive, with a
#     line in cfg\Assignment.ini for this device (Wine's computer name);
#   - the service settings (demo/demo.reg), with no install results yet;
#   - the programs (console, library, help, service) in C:\Program Files\NXSvc
#     with the inventory files beside the console;
#   - no device package list or report from an earlier run.
# It sets NX_DEMO_APP (unix folder of the programs), NX_DEMO_DEVICE,
# NX_DEMO_PUBLIC and NX_DEMO_TEMP (unix folders of the data files and logs).

demo_win() { wine cmd /c "$@" </dev/null 2>/dev/null | tr -d '\r'; }

demo_setup() {
  local src="$NX_ROOT/demo" bin="$NX_BUILD/bin"
  NX_DEMO_DEVICE=$(demo_win echo %COMPUTERNAME%)
  [ -n "$NX_DEMO_DEVICE" ] || { echo "demo: Wine reports no computer name" >&2; return 1; }

  mkdir -p "$NX_SHARE_Y"
  find "$NX_SHARE_Y" -mindepth 1 -delete
  cp -r "$src/share/." "$NX_SHARE_Y/"
  printf '%s=Base,Office\r\n' "$NX_DEMO_DEVICE" >>"$NX_SHARE_Y/cfg/Assignment.ini"

  wine regedit /S "$(winepath -w "$src/demo.reg")" </dev/null >/dev/null 2>&1

  NX_DEMO_APP="$WINEPREFIX/drive_c/Program Files/NXSvc"
  mkdir -p "$NX_DEMO_APP"
  cp "$bin/nxwin.exe" "$bin/nxsvc.dll" "$bin/nxwin.chm" "$bin/nxsvc.exe" "$src/Software.csv" "$src/Hardware.csv" "$NX_DEMO_APP/"

  NX_DEMO_PUBLIC=$(readlink -f "$(winepath -u "$(demo_win echo %PUBLIC%)")")
  NX_DEMO_TEMP=$(readlink -f "$(winepath -u "$(demo_win echo %TEMP%)")")
  rm -rf "$NX_DEMO_PUBLIC/nxsvc.ini" "$NX_DEMO_PUBLIC/nxsvc.htm" "$NX_DEMO_PUBLIC/NxDemo"
  export NX_DEMO_APP NX_DEMO_DEVICE NX_DEMO_PUBLIC NX_DEMO_TEMP
}

# Runs a program of the demo folder (service, console) in that folder.
demo_run() { (cd "$NX_DEMO_APP" && wine "$@"); }

# The installation service of the demo folder, registered and started as
# "NXSvc" (started on demand, restarts only logged), and removed again.
demo_service_state() { wine sc query NXSvc </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *[0-9] *//p'; }
demo_service_start() {
  demo_service_remove
  wine sc create NXSvc binPath= "\"$(winepath -w "$NX_DEMO_APP/nxsvc.exe")\" /norestart" start= demand </dev/null >/dev/null 2>&1
  wine sc start NXSvc </dev/null >/dev/null 2>&1
}
demo_service_remove() {
  [ -n "$(demo_service_state)" ] || return 0
  wine sc stop NXSvc </dev/null >/dev/null 2>&1
  for _ in $(seq 1 30); do [ "$(demo_service_state)" = STOPPED ] && break; sleep 0.5; done
  wine sc delete NXSvc </dev/null >/dev/null 2>&1
}

# The console driver; its output without carriage returns.
nxdrive() { wine "$NX_BUILD/bin/nxdrive.exe" "$@" </dev/null | tr -d '\r'; }

# Screenshot of the console window alone (or the whole screen).
demo_shot() {
  local out="$1" geo
  nxdrive park >/dev/null 2>&1 || true
  sleep 0.5
  geo=$(nxdrive geometry 2>/dev/null || true)
  if [ -n "$geo" ]; then
    import -window root -crop "$geo" +repage "$out"
  else
    import -window root "$out"
  fi
}
