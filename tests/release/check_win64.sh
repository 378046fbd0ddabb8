#!/usr/bin/env bash
# check_win64.sh <package.msi> <bin folder>
# An administrator's road on 64-bit Windows (the build's win64 prefix), with
# the 64-bit tools: they start through the wine64 loader, because Debian's
# "wine" is the 32-bit loader even here and its reg, regedit and msiexec are
# the 32-bit ones (with them this check would pass where it must fail).
#   1. msiexec /i with the ten settings as properties: the programs land in
#      "Program Files (x86)\NXSvc", the values in the programs' registry view
#      (WOW6432Node to 64-bit tools, none in the 64-bit view), set_ncfg reads
#      them, the Start-menu entry starts the console, whose configuration
#      view shows them and whose package list shows an install result that a
#      32-bit service wrote.
#   2. Repair without properties keeps the values; uninstall removes files
#      and entry and keeps the settings.
#   3. No settings key: the service library and the console log why.
#   4. The template imported as the docs say is what set_ncfg reads.
#   5. Bad properties, one table.
#   6. The installed service's registration (Workstation dependency, delayed
#      start in the msi), and a script the service runs, given by the
#      share's UNC path: it runs in its own folder as a 64-bit program.
set -u
msi="$1" bin="$2"
. "$(dirname "$0")/../../scripts/wine-vars.sh"
"$NX_ROOT/scripts/ia32-check.sh" || exit 77
fail() { echo "FAIL: $*" >&2; exit 1; }
W64=/usr/lib/wine/wine64
[ -x "$W64" ] || fail "no 64-bit loader $W64 (package wine64)"
[ "$NX_WINEARCH" = win64 ] && [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || fail "no 64-bit prefix at $WINEPREFIX"
[ -s "$msi" ] || fail "no package $msi (target nx_release)"

# 64-bit tools, as the administrator's prompt starts them.
reg64() { "$W64" reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }
msiexec64() { "$W64" msiexec "$@" </dev/null >/dev/null 2>&1; }
# 32-bit programs: ours, and the service writing its results.
win32() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
nxdrive() { win32 "$bin/nxdrive.exe" "$@"; }
[ "$("$W64" cmd /c echo %PROCESSOR_ARCHITECTURE% </dev/null 2>/dev/null | tr -d '\r')" = AMD64 ] ||
  fail "$W64 does not start 64-bit programs"

key='HKLM\Software\Veltrane\NxSvc'
key_wow='HKLM\Software\WOW6432Node\Veltrane\NxSvc'
app="$WINEPREFIX/drive_c/Program Files (x86)/NXSvc"
app64="$WINEPREFIX/drive_c/Program Files/NXSvc"
msi_w=$(winepath -w "$msi")
work="$NX_STATE/win64-check"
public=$(readlink -f "$(winepath -u "$(win32 cmd /c echo %PUBLIC%)")")
temp=$(readlink -f "$(winepath -u "$(win32 cmd /c echo %TEMP%)")")
console=""
# The logs the installation service and its library write beside them stay
# after a removal, for the administrator; the checks below look past them.
drop_logs() { rm -f "$app/nxsvc.log" "$app/nxsvc.old" "$app/nxdll.log"; rmdir "$app" 2>/dev/null; }

cleanup() {
  nxdrive gone 1 >/dev/null 2>&1 || nxdrive close 15000 >/dev/null 2>&1
  [ -n "$console" ] && kill "$console" 2>/dev/null
  msiexec64 /x "$msi_w" /qn
  reg64 delete "$key" /reg:32 /f >/dev/null
  reg64 delete "$key" /reg:64 /f >/dev/null
  rm -f "$public/nxsvc.ini"
}
trap cleanup EXIT
cleanup
rm -rf "$work"
mkdir -p "$work"

# The library's view of the settings: uncp|user|pswd|ndrv as set_ncfg fills them.
ncfg() {
  local out="$work/ncfg.txt"
  rm -f "$out"
  win32 "$bin/nxcfghost.exe" "$(winepath -w "$out")" >/dev/null
  [ -f "$out" ] || fail "nxcfghost wrote nothing"
  tr -d '\r' <"$out" | cut -d'|' -f2-5
}
# One value as the 64-bit reg.exe shows it in the programs' view: "TYPE DATA".
value() { reg64 query "$key" /v "$1" /reg:32 | awk -v n="$1" '$1 == n { $1 = ""; sub(/^ +/, ""); print; exit }'; }

echo "== 1. install with the settings as properties"
msiexec64 /i "$msi_w" /qn 'UNCP=\\server\packages' NDRV=Y: USER=nxinstall 'PSWD=#se;cret' STOP=0 TMAX=600 \
  TMSG=10 TSVC=60 TWRB=120 SELF=0 /l*v "$(winepath -w "$work/install.log")"
rc=$?
[ $rc -eq 0 ] || fail "msiexec /i ended with $rc (log: $work/install.log)"
for f in nxwin.exe nxsvc.dll nxwin.chm; do
  cmp -s "$app/$f" "$bin/$f" || fail "$f is not the build's in Program Files (x86)\\NXSvc"
done
[ -e "$app64" ] && fail "a 32-bit package must not install into Program Files\\NXSvc"
while read -r name want; do
  got=$(value "$name")
  [ "$got" = "$want" ] || fail "$key $name (/reg:32) is \"$got\", expected \"$want\""
done <<'EOF'
uncp REG_SZ \\server\packages
ndrv REG_SZ Y:
user REG_SZ nxinstall
pswd REG_SZ #se;cret
stop REG_DWORD 0x0
tmax REG_DWORD 0x258
tmsg REG_DWORD 0xa
tsvc REG_DWORD 0x3c
twrb REG_DWORD 0x78
self REG_DWORD 0x0
EOF
reg64 query "$key_wow" | grep -q 'uncp *REG_SZ *\\\\server\\packages' || fail "64-bit reg query $key_wow does not show uncp"
reg64 query "$key" /reg:64 | grep -q uncp && fail "the settings were written into the 64-bit view"
[ "$(ncfg)" = '\\server\packages|nxinstall|#se;cret|Y:' ] || fail "set_ncfg gives \"$(ncfg)\""
msiinfo export "$msi" Property | grep -q '^MsiHiddenProperties.PSWD' || fail "PSWD is not a hidden property"

echo "== an install result written by a 32-bit service"
printf '[Veltrane NxAgent]\r\ncomp=Veltrane\r\nname=NxAgent\r\npath=Y:\\pkg\\Veltrane\\NxAgent\\1.2.0\\Install.cmd\r\nvers=1.2.0\r\n' \
  >"$public/nxsvc.ini"
res="$key\\Packages\\Veltrane\\NxAgent"
win32 reg add "$res" /v vers /d 1.2.0 /f >/dev/null
win32 reg add "$res" /v code /t REG_DWORD /d 0 /f >/dev/null
win32 reg add "$res" /v time /d "2026-12-07 10:00:00" /f >/dev/null
reg64 query "$key_wow\\Packages\\Veltrane\\NxAgent" | grep -q 'time *REG_SZ *2026-12-07 10:00:00' ||
  fail "64-bit reg query $key_wow\\Packages does not show the result"

echo "== the Start-menu entry starts the console"
menus=("$(winepath -u "$(win32 cmd /c echo %ProgramData%)\\Microsoft\\Windows\\Start Menu\\Programs")"
       "$(winepath -u "$(win32 cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs")")
find_entry() {
  for m in "${menus[@]}"; do [ -f "$m/NXSvc Console.lnk" ] && { echo "$m/NXSvc Console.lnk"; return 0; }; done
  return 1
}
entry=$(find_entry) || fail "no Start-menu entry \"NXSvc Console\""
grep -aq 'C:\\Program Files (x86)\\NXSvc\\nxwin.exe' "$entry" || fail "the Start-menu entry does not point at the installed console"
setsid wine start "$(winepath -w "$entry")" </dev/null >/dev/null 2>&1 &
console=$!
nxdrive wait 30000 >/dev/null || fail "the console's window did not appear"
nxdrive waitcell 4 "2026-12-07 10:00:00" 10000 >/dev/null || fail "the console does not show the install result: $(nxdrive table)"
nxdrive select NXSvc >/dev/null || fail "no tree node NXSvc"
nxdrive waitrows 9 10000 >/dev/null || fail "the configuration view did not appear"
table=$(nxdrive table)
want=$(printf '%s\n' 'UNC Path	\\server\packages' 'Drive	Y:' 'User	nxinstall' 'Password	********' \
  'Stop service after first task	0' 'Time max. package installation [s]	600' 'Time to display a message [s]	10' \
  'Time to wait for next task [s]	60' 'Time to wait for System Reboot [s]	120')
[ "$table" = "$want" ] || fail "the configuration view shows:
$table"
nxdrive close 15000 >/dev/null || fail "the console did not end on Exit"
console=""

echo "== 2. repair keeps the settings, uninstall keeps them and removes the rest"
before=$(reg64 query "$key" /reg:32)
msiexec64 /i "$msi_w" REINSTALL=ALL REINSTALLMODE=vomus /qn || fail "repair failed"
[ "$(reg64 query "$key" /reg:32)" = "$before" ] || fail "repair changed the settings: $(reg64 query "$key" /reg:32)"
msiexec64 /x "$msi_w" /qn || fail "msiexec /x failed"
drop_logs
[ -e "$app" ] && fail "Program Files (x86)\\NXSvc is still there: $(ls "$app")"
find_entry >/dev/null && fail "the Start-menu entry is still there after the removal"
[ "$(reg64 query "$key" /reg:32)" = "$before" ] || fail "uninstall changed the settings"

echo "== 3. no settings key: the service library and the console say so"
reg64 delete "$key" /reg:32 /f >/dev/null
line='RegOpenKeyEx (HKLM\Software\Veltrane\NxSvc, 32-bit view) failed: 2'
# The service's stand-in under a nine-character name, so that nxdll.log lands beside it.
mkdir -p "$work/svc"
cp "$bin/nxhost.exe" "$work/svc/nxsvc.exe"
cp "$bin/nxsvc.dll" "$work/svc/"
win32 "$work/svc/nxsvc.exe" >/dev/null
grep -qF "$line" "$work/svc/nxdll.log" || fail "nxdll.log does not name the missing key: $(cat "$work/svc/nxdll.log")"
setsid wine "$bin/nxwin.exe" </dev/null >/dev/null 2>&1 &
console=$!
nxdrive wait 30000 >/dev/null || fail "the console's window did not appear"
nxdrive close 15000 >/dev/null || fail "the console did not end on Exit"
console=""
grep -qF "$line" "$temp/nxwin.log" || fail "nxwin.log does not name the missing key: $(cat "$temp/nxwin.log")"

echo "== 4. the template, imported as documented"
unzip -p "${msi%.msi}.zip" "$(basename "${msi%.msi}")/nxsvc.reg" >"$work/nxsvc.reg" || fail "no nxsvc.reg in the zip"
"$W64" reg import "$(winepath -w "$work/nxsvc.reg")" /reg:32 </dev/null >/dev/null 2>&1 || fail "reg import /reg:32 failed"
[ "$(ncfg)" = '\\server\packages|||Y:' ] || fail "after the template set_ncfg gives \"$(ncfg)\""
[ "$(value tmax)" = "REG_DWORD 0x258" ] || fail "template tmax is \"$(value tmax)\""

echo "== 5. bad properties"
long='\\server\'$(printf 'p%.0s' $(seq 1 291))
[ ${#long} -eq 300 ] || fail "test data: ${#long} characters"
# Backslashes in ${x/@LONG@/...} replacements stay as they are.
shopt -u patsub_replacement 2>/dev/null
# property | msiexec result (exit codes end in their low byte) | value name | value afterwards ("TYPE DATA") | set_ncfg afterwards
while IFS='|' read -r prop want_rc name want ncfg_want; do
  msiexec64 /i "$msi_w" /qn "${prop/@LONG@/$long}"
  rc=$?
  [ $rc -eq $((want_rc % 256)) ] || fail "$prop: msiexec ended with $rc, expected $want_rc"
  got=$(value "$name")
  [ "$got" = "${want/@LONG@/$long}" ] || fail "$prop: $name is \"$got\""
  [ "$(ncfg)" = "${ncfg_want/@CUT@/${long:0:259}}" ] || fail "$prop: set_ncfg gives \"$(ncfg)\""
  msiexec64 /x "$msi_w" /qn
  echo "ok: ${prop:0:20} -> $rc"
done <<'EOF'
UNCP=|0|uncp|REG_SZ \\server\packages|\\server\packages|||Y:
TMAX=abc|1603|tmax|REG_DWORD 0x258|\\server\packages|||Y:
TMAX=12abc|1603|tmax|REG_DWORD 0x258|\\server\packages|||Y:
UNCP=@LONG@|0|uncp|REG_SZ @LONG@|@CUT@|||Y:
EOF
drop_logs
[ -e "$app" ] && fail "a refused install left files"

echo "== 6. the service on 64-bit Windows"
msiinfo export "$msi" MsiServiceConfig | grep -q "^DelayedStart	NXSvc	1	3	1	Service" ||
  fail "the msi does not start the service delayed"
msiinfo export "$msi" InstallExecuteSequence | grep -q "^MsiConfigureServices	" || fail "no MsiConfigureServices action"
msiinfo export "$msi" ServiceInstall | grep -q "	LanmanWorkstation\[~\]\[~\]	" || fail "no Workstation dependency in the msi"
# The share is wine-env.sh's folder, by its UNC path \\demo\packages.
pk="$NX_SHARE_Y/pkg/T/Arch/1.0"
mkdir -p "$pk"
printf '@echo off\r\necho %%PROCESSOR_ARCHITECTURE%%^|%%ProgramFiles%%>arch.txt\r\nexit /b 1\r\n' >"$pk/Install.cmd"
printf '[T Arch]\r\ncomp=T\r\nname=Arch\r\npath=\\\\demo\\packages\\pkg\\T\\Arch\\1.0\\Install.cmd\r\nvers=1.0\r\n' >"$public/nxsvc.ini"
win32 reg add "$key" /v uncp /d '\\demo\packages' /f >/dev/null
win32 reg add "$key" /v ndrv /d Y: /f >/dev/null
win32 reg add "$key\\Packages" /v seen /d 0 /f >/dev/null
# The script fails on purpose: no console starts afterwards.
win32 "$bin/nxsvc.exe" /once /norestart >/dev/null
got=$(tr -d '\r' <"$pk/arch.txt" 2>/dev/null)
rm -rf "$NX_SHARE_Y/pkg"
[ "$got" = 'AMD64|C:\Program Files' ] || fail "the script ran as \"$got\", not as a 64-bit program in its own folder"
echo "PASS"
