#!/usr/bin/env bash
# wine-env.sh up [keepalive.exe] | down
# Idempotent: starts Xvfb, creates the build's Wine prefix on first use,
# maps the test drives and starts a persistent wineserver. Background
# processes get /dev/null for their streams so ctest never waits on them.
set -u
. "$(dirname "$0")/wine-vars.sh"
mkdir -p "$NX_STATE"
dispnum="${NX_DISPLAY#:}"

xvfb_up() {
  # NX_NO_XVFB=1: Wine uses a display that is already there (the user's).
  [ "${NX_NO_XVFB:-0}" = 1 ] && return 0
  if [ -f "$NX_STATE/xvfb.pid" ] && kill -0 "$(cat "$NX_STATE/xvfb.pid")" 2>/dev/null; then return 0; fi
  if [ -e "/tmp/.X$dispnum-lock" ]; then
    # A display kept by a live server is reused; a stale lock from a killed one is cleared.
    lp=$(tr -dc 0-9 <"/tmp/.X$dispnum-lock")
    if [ -n "$lp" ] && kill -0 "$lp" 2>/dev/null; then return 0; fi
    rm -f "/tmp/.X11-unix/X$dispnum" "/tmp/.X$dispnum-lock"
  fi
  setsid Xvfb "$NX_DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$NX_STATE/xvfb.log" 2>&1 &
  echo $! >"$NX_STATE/xvfb.pid"
  for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$dispnum" ] && return 0; sleep 0.1; done
  echo "wine-env: Xvfb did not start on $NX_DISPLAY" >&2; return 1
}

prefix_up() {
  # A prefix whose first boot failed (no system folder) is made again.
  if [ -f "$WINEPREFIX/system.reg" ] && [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i </dev/null >"$NX_STATE/wineboot.log" 2>&1
    wineserver -w
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
      [ -f "/usr/share/wine/fonts/$f" ] && cp "/usr/share/wine/fonts/$f" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
    wine regedit /S "$(winepath -w "$NX_ROOT/scripts/wine-test.reg")" </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # A prefix made before the SMB drive S: (scripts/smb-env.sh) existed gets
  # its drive type now, before the wineserver starts and reads it.
  if ! grep -q '"s:"="network"' "$WINEPREFIX/system.reg"; then
    wine regedit /S "$(winepath -w "$NX_ROOT/scripts/wine-test.reg")" </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # A Cyrillic and a Japanese locale of this build's own (LOCPATH), for the
  # tests that run under other code pages (1251, 932): Wine takes the code
  # page from the locale, and needs the locale to exist to name files in UTF-8.
  for loc in ru_RU ja_JP; do
    if [ ! -d "$NX_STATE/locale/$loc.UTF-8" ] && command -v localedef >/dev/null; then
      mkdir -p "$NX_STATE/locale"
      localedef -i $loc -f UTF-8 "$NX_STATE/locale/$loc.UTF-8" >/dev/null 2>&1 || rm -rf "$NX_STATE/locale/$loc.UTF-8"
    fi
  done
  mkdir -p "$NX_SHARE_Y" "$NX_LOCAL_X"
  ln -sfn "$NX_SHARE_Y" "$WINEPREFIX/dosdevices/y:"
  ln -sfn "$NX_LOCAL_X" "$WINEPREFIX/dosdevices/x:"
  # The SMB share's drive (scripts/smb-env.sh) must exist before the
  # wineserver starts to be a network drive; it dangles while no server runs.
  . "$(dirname "$0")/smb-vars.sh"
  ln -sfn "$NX_SMB_MOUNT" "$WINEPREFIX/dosdevices/${NX_SMB_DRIVE,,}"
  # Wine reaches \\server\share through dosdevices/unc/server/share: the
  # shares the tests configure as "uncp" are the folders behind Y: and S:,
  # so the service can tell that a drive holds its share.
  mkdir -p "$WINEPREFIX/dosdevices/unc/demo" "$WINEPREFIX/dosdevices/unc/127.0.0.1"
  ln -sfn "$NX_SHARE_Y" "$WINEPREFIX/dosdevices/unc/demo/packages"
  ln -sfn "$NX_SMB_MOUNT" "$WINEPREFIX/dosdevices/unc/127.0.0.1/$NX_SMB_SHARE"
}

up() {
  "$(dirname "$0")/ia32-check.sh" || exit 77
  # Nothing started here may hold the caller's pipes (ctest waits for them).
  exec </dev/null >>"$NX_STATE/wine-env.log" 2>&1
  xvfb_up || { echo "wine-env: no display" >/dev/tty 2>/dev/null; return 1; }
  prefix_up
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1
  if [ -n "${1:-}" ] && [ -f "$1" ]; then
    # One keepalive per prefix; wait until its desktop exists, or the first
    # test would start an explorer that keeps ctest's pipes open.
    if ! pgrep -f -- "$1" >/dev/null 2>&1 || [ ! -f "$NX_STATE/keepalive.ready" ]; then
      rm -f "$NX_STATE/keepalive.ready"
      setsid wine "$1" "$(winepath -w "$NX_STATE/keepalive.ready")" </dev/null >/dev/null 2>&1 &
      for _ in $(seq 1 300); do [ -f "$NX_STATE/keepalive.ready" ] && break; sleep 0.1; done
    fi
  fi
  return 0
}

down() {
  rm -f "$NX_STATE/keepalive.ready"
  if [ -f "$WINEPREFIX/system.reg" ]; then wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; fi
  if [ -f "$NX_STATE/xvfb.pid" ]; then
    xp=$(cat "$NX_STATE/xvfb.pid")
    kill "$xp" 2>/dev/null
    # Wait until it is gone: an "up" right after would reuse a dying server.
    for _ in $(seq 1 50); do kill -0 "$xp" 2>/dev/null || break; sleep 0.1; done
    rm -f "$NX_STATE/xvfb.pid"
  fi
  return 0
}

case "${1:-}" in
  up) shift; up "$@" ;;
  down) down ;;
  *) echo "usage: $0 up [keepalive.exe] | down" >&2; exit 2 ;;
esac
