# Sourced after scripts/wine-vars.sh, with the prefix up (scripts/wine-env.sh up).
# demo_setup puts the demo into this build folder's prefix:
#   - the package share (demo/share) on Y:, the prefix's network drive, with a
#     line in cfg\Assignment.ini for this device (Wine's computer name);
#   - the service settings (demo/demo.reg), with no install results yet;
#   - the programs (console, library, help, service) in C:\Program Files\NXSvc
#     with the inventory files beside the console;
#   - no device package list or report from an earlier run;
#   - a few other devices' status files in the share's "status" folder (one
#     failed, one silent for 9 days, one waiting for its restart, one
#     unreadable), beside which the service writes this device's own.
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
  demo_fleet "$NX_SHARE_Y/status"

  wine regedit /S "$(winepath -w "$src/demo.reg")" </dev/null >/dev/null 2>&1

  NX_DEMO_APP="$WINEPREFIX/drive_c/Program Files/NXSvc"
  mkdir -p "$NX_DEMO_APP"
  cp "$bin/nxwin.exe" "$bin/nxsvc.dll" "$bin/nxwin.chm" "$bin/nxsvc.exe" "$src/Software.csv" "$src/Hardware.csv" "$NX_DEMO_APP/"

  NX_DEMO_PUBLIC=$(readlink -f "$(winepath -u "$(demo_win echo %PUBLIC%)")")
  NX_DEMO_TEMP=$(readlink -f "$(winepath -u "$(demo_win echo %TEMP%)")")
  rm -rf "$NX_DEMO_PUBLIC/nxsvc.ini" "$NX_DEMO_PUBLIC/nxsvc.htm" "$NX_DEMO_PUBLIC/NxDemo"
  export NX_DEMO_APP NX_DEMO_DEVICE NX_DEMO_PUBLIC NX_DEMO_TEMP
}

# Status files of other devices, dated an hour before now (never in the
# future) and days back: what the Devices view
# and the fleet report show beside this device's own.
demo_status_pkg() {  # comp name vers state code days
  printf '[%s %s]\r\ncomp=%s\r\nname=%s\r\nvers=%s\r\npath=Y:\\pkg\\%s\\%s\\%s\\Install.cmd\r\nstat=%s\r\ncode=%s\r\ntime=%s\r\nruns=1\r\n\r\n' \
    "$1" "$2" "$1" "$2" "$3" "$1" "$2" "$3" "$4" "$5" "$(date -d "-$6 days -1 hour" '+%Y-%m-%d %H:%M:00')"
}
demo_status() {  # folder device days restart office-state office-code
  local f="$1/$2.ini" t
  t=$(date -d "-$3 days -1 hour" '+%Y-%m-%d %H:%M:00')
  printf '[device]\r\nname=%s\r\ntime=%s\r\nvers=1.0.0.6\r\ninst=0\r\nfail=0\r\nskip=3\r\nwait=0\r\nboot=%s\r\n\r\n' "$2" "$t" "$4" >"$f"
  demo_status_pkg Veltrane NxAgent 1.2.0 installed 0 "$3" >>"$f"
  demo_status_pkg Fabrikam Runtime 2.0 installed 3010 "$3" >>"$f"
  demo_status_pkg Contoso OfficeSuite 16.0 "$5" "$6" "$3" >>"$f"
}
demo_fleet() {
  mkdir -p "$1"
  demo_status "$1" DEMO-PC01 0 0 installed 0
  demo_status "$1" DEMO-PC02 0 0 failed 1603
  demo_status "$1" DEMO-PC03 9 0 installed 0
  demo_status "$1" DEMO-PC04 1 1 installed 3010
  printf 'name=DEMO-PC05\r\nthis is not a status file\r\n' >"$1/DEMO-PC05.ini"
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
