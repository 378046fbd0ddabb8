#!/usr/bin/env bash
# smb-env.sh up | down | stop | freeze | thaw | stop-when-open <file> | counts | clear
# A real SMB file server for this build folder: a private smbd on
# 127.0.0.1 on the build's own port, serving $NX_SMB_DIR/share as
# \\127.0.0.1\nxshare to the user root, mounted with the FUSE client
# smbnetfs under $NX_SMB_DIR/mnt, and Wine's drive $NX_SMB_DRIVE pointing
# at the mounted share (wine-env.sh makes the drive and wine-test.reg its
# type "network", both before the wineserver starts).
#   up      starts what is not running (idempotent) and waits until the
#           share answers through the mount
#   down    stops smbnetfs and smbd (only the processes started here, by
#           their pids); the drive stays and dangles
#   stop    ends smbd as a crashed or switched-off server would (SIGKILL)
#   freeze  stops smbd with SIGSTOP: a hung server that keeps its sockets
#   thaw    SIGCONT after freeze
#   stop-when-open <file>
#           returns at once; ends smbd (as stop) as soon as it has that file
#           of the share open, or gives up after a minute
#   counts  prints smbd's request counts (smbstatus --profile)
#   clear   empties the share (on the server's side)
# Needs root (FUSE); CI runs as root.
set -u
. "$(dirname "$0")/wine-vars.sh"
. "$(dirname "$0")/smb-vars.sh"
d="$NX_SMB_DIR"
conf="$d/smb.conf"
mnt="$d/mnt"

write_config() {
  mkdir -p "$d"/{private,lock,state,cache,run,ncalrpc,log,share,home/.smb} "$mnt"
  cat >"$conf" <<EOF
[global]
  server role = standalone server
  interfaces = 127.0.0.1
  bind interfaces only = yes
  smb ports = $NX_SMB_PORT
  disable netbios = yes
  private dir = $d/private
  lock directory = $d/lock
  state directory = $d/state
  cache directory = $d/cache
  pid directory = $d/run
  ncalrpc dir = $d/ncalrpc
  passdb backend = tdbsam:$d/private/passdb.tdb
  rpc start on demand helpers = no
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  log file = $d/log/smbd.log
  max log size = 1000
  smbd profiling level = count
  # As current Windows clients expect of a file server: every session
  # signed, no guest or anonymous logon.
  server signing = mandatory
  map to guest = never
  restrict anonymous = 2
  server min protocol = SMB2_10
[$NX_SMB_SHARE]
  path = $d/share
  read only = no
  valid users = $NX_SMB_USER
EOF
  # smbnetfs reads its settings from $HOME/.smb; a short reply time-out and
  # no retries bound every call on a hung server.
  cat >"$d/home/.smb/smbnetfs.conf" <<EOF
smb_query_browsers false
smb_timeout $NX_SMB_TIMEOUT_MS
max_retry_count 0
use_libsecret false
include "smbnetfs.auth"
EOF
  printf 'auth "%s" "%s"\n' "$NX_SMB_USER" "$NX_SMB_PASSWORD" >"$d/home/.smb/smbnetfs.auth"
  chmod 600 "$d/home/.smb/smbnetfs.auth"  # ignored otherwise
  printf '[global]\n' >"$d/home/.smb/smb.conf"
}

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

smbd_up() {
  alive "$d/smbd.pid" && return 0
  printf '%s\n%s\n' "$NX_SMB_PASSWORD" "$NX_SMB_PASSWORD" |
    smbpasswd -c "$conf" -s -a "$NX_SMB_USER" >"$d/log/smbpasswd.log" 2>&1
  # Its own session and process group: stop/freeze reach the connection
  # children as well, and nothing else.
  setsid smbd --foreground --no-process-group --configfile="$conf" </dev/null >"$d/log/smbd.out" 2>&1 &
  echo $! >"$d/smbd.pid"
}

mount_up() {
  alive "$d/smbnetfs.pid" && return 0
  # A mount left by a killed client answers nothing.
  if grep -q " $mnt " /proc/mounts; then umount -l "$mnt" 2>/dev/null; fi
  HOME="$d/home" setsid smbnetfs "$mnt" -f -o "config=$d/home/.smb/smbnetfs.conf" \
    </dev/null >"$d/log/smbnetfs.out" 2>&1 &
  echo $! >"$d/smbnetfs.pid"
}

# Until a file written on the server side is seen through the mount.
wait_share() {
  echo ready >"$d/share/.nxsmb"
  for _ in $(seq 1 100); do
    [ -f "$NX_SMB_MOUNT/.nxsmb" ] && return 0
    sleep 0.1
  done
  echo "smb-env: $NX_SMB_MOUNT does not answer" >&2
  return 1
}

up() {
  write_config
  smbd_up
  mount_up
  [ -d "$WINEPREFIX/dosdevices" ] && ln -sfn "$NX_SMB_MOUNT" "$WINEPREFIX/dosdevices/${NX_SMB_DRIVE,,}"
  wait_share
}

stop_pid() {
  local f="$1" p
  [ -f "$f" ] || return 0
  p=$(cat "$f")
  kill -CONT -- "-$p" 2>/dev/null
  kill "$2" -- "-$p" 2>/dev/null
  for _ in $(seq 1 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
  rm -f "$f"
}

down() {
  stop_pid "$d/smbnetfs.pid" -TERM
  if grep -q " $mnt " /proc/mounts; then umount -l "$mnt" 2>/dev/null; fi
  stop_pid "$d/smbd.pid" -TERM
  return 0
}

stop_when_open() {
  local pg file="$d/share/$1"
  pg=$(cat "$d/smbd.pid") || return 1
  (
    for _ in $(seq 1 6000); do
      for p in $(pgrep -g "$pg"); do
        if ls -l "/proc/$p/fd" 2>/dev/null | grep -qF -- "$file"; then stop_pid "$d/smbd.pid" -KILL; exit 0; fi
      done
      sleep 0.01
    done
  ) </dev/null >/dev/null 2>&1 &
}

signal() { [ -f "$d/smbd.pid" ] && kill "$1" -- "-$(cat "$d/smbd.pid")"; }

case "${1:-}" in
  up) up ;;
  down) down ;;
  stop) stop_pid "$d/smbd.pid" -KILL ;;
  stop-when-open) stop_when_open "${2:?file}" ;;
  freeze) signal -STOP ;;
  thaw) signal -CONT ;;
  clear) find "$d/share" -mindepth 1 -delete ;;
  counts) smbstatus --configfile="$conf" --profile ;;
  *) echo "usage: $0 up | down | stop | freeze | thaw | stop-when-open <file> | counts | clear" >&2; exit 2 ;;
esac
