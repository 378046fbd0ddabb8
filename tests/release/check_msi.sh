#!/usr/bin/env bash
# check_msi.sh <package.msi> <nxdrive.exe>
# The installation package under Wine, in the build's prefix, signed: the
# packages are made again with a throwaway self-signed certificate, every
# program and the msi verify against it, and the signed msi is the one
# installed. A silent install puts nxwin.exe, nxsvc.dll, nxwin.chm and
# nxsvc.exe into "C:\Program Files\NXSvc" (byte for byte the signed files),
# the Start-menu entry "NXSvc Console" and the service NXSvc, running; that
# entry starts the installed console, whose main window appears and ends on
# Exit; a silent removal stops and removes the service and takes files,
# folder (but for the logs the service wrote) and entry away again.
# Settings given as properties reach the programs' view and the running
# service; a repair puts files back. The x64 package (64-bit build) goes to
# "C:\Program Files\NXSvc", the 64-bit view, and refuses the 32-bit one.
# The demo (run.sh) keeps its programs in the same folder: a folder found
# there is set aside for the test and put back afterwards.
set -u
msi="$1" drive="$2"
. "$(dirname "$0")/../../scripts/wine-vars.sh"
"$NX_ROOT/scripts/ia32-check.sh" || exit 77
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$WINEPREFIX/system.reg" ] || fail "no prefix at $WINEPREFIX"
[ -s "$msi" ] || fail "no package $msi (target nx_release)"
win() { wine cmd /c "$@" </dev/null 2>/dev/null | tr -d '\r'; }
nxdrive() { wine "$drive" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
service_state() { wine sc query NXSvc </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *[0-9] *//p'; }

build_bin="$(dirname "$msi")/../bin"
# The 32-bit package, in the 64-bit build's prefix (a 64-bit Windows,
# scripts/wine-vars.sh), installs where 32-bit programs go.
x64=0
case "$msi" in *-x64.msi) x64=1 ;; esac
pf="Program Files" view=""
[ "$NX_WINEARCH" = win64 ] && { view=/reg:32; [ $x64 = 1 ] && view=/reg:64 || pf="Program Files (x86)"; }
key='HKLM\Software\Veltrane\NxSvc'
reg_value() { wine reg query "$key" /v "$1" $view </dev/null 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { print $NF }'; }
app="$WINEPREFIX/drive_c/$pf/NXSvc"
saved="$NX_STATE/msi-test-saved-app"
msi_w=$(winepath -w "$msi")
log_w=$(winepath -w "$NX_STATE/msi-install.log")
console=""

cleanup() {
  # Nothing started here outlives the test, and the demo gets its folder back.
  nxdrive gone 1 >/dev/null 2>&1 || nxdrive close 15000 >/dev/null 2>&1
  [ -n "$console" ] && kill "$console" 2>/dev/null
  wine msiexec /x "$msi_w" /qn </dev/null >/dev/null 2>&1
  [ -f "${signed:-/nonexistent}/other/other.msi" ] && wine msiexec /x "$(winepath -w "$signed/other/other.msi")" /qn </dev/null >/dev/null 2>&1
  # The settings outlive a removal on purpose; the test's own go.
  for v in uncp ndrv tmax; do wine reg delete "$key" /v $v /f $view </dev/null >/dev/null 2>&1; done
  if [ -d "$saved" ]; then
    rm -rf "$app"
    mv "$saved" "$app"
  fi
}
trap cleanup EXIT

# The release signed as ./release.sh signs it (README, "Signed release").
signed="$NX_STATE/signed"
rm -rf "$signed"
mkdir -p "$signed"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=NXSvc Test Publisher" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$signed/key.pem" -out "$signed/cert.pem" >/dev/null 2>&1 \
  || fail "openssl could not make a test certificate"
NX_SIGN_CERT="$signed/cert.pem" NX_SIGN_KEY="$signed/key.pem" \
  "$(dirname "$0")/../../scripts/release/package.sh" "$build_bin" "$signed" >/dev/null || fail "signed packaging failed"
unsigned=("$build_bin/nxwin.exe" "$build_bin/nxsvc.dll" "$build_bin/nxsvc.exe" "$msi")
msi="$signed/$(basename "$msi")"
bin="$signed/bin"
(cd "$signed" && unzip -q "$(basename "$msi" .msi).zip" && mv "$(basename "$msi" .msi)" bin) || fail "no signed zip"
for f in "$bin"/*.exe "$bin"/*.dll "$msi"; do
  osslsigncode verify -CAfile "$signed/cert.pem" -in "$f" >"$signed/verify.log" 2>&1 \
    || fail "$(basename "$f") does not verify against the test certificate: $(tail -3 "$signed/verify.log")"
done
for f in "${unsigned[@]}"; do
  osslsigncode verify -in "$f" >/dev/null 2>&1 && fail "the build's $(basename "$f") is signed: unsigned is the default"
done
echo "signed and verified: $(cd "$bin" && ls *.exe *.dll | tr '\n' ' ')$(basename "$msi")"
msi_w=$(winepath -w "$msi")

rm -rf "$saved"
if [ -d "$app" ]; then mv "$app" "$saved" || fail "could not set $app aside"; fi
nxdrive gone 1 >/dev/null 2>&1 || fail "a console is running in this prefix"

# Start-menu folders: the common one, or the user's where Wine puts it.
menus=("$(winepath -u "$(win echo %ProgramData%)\\Microsoft\\Windows\\Start Menu\\Programs")"
       "$(winepath -u "$(win echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs")")
find_entry() {
  for m in "${menus[@]}"; do [ -f "$m/NXSvc Console.lnk" ] && { echo "$m/NXSvc Console.lnk"; return 0; }; done
  return 1
}
find_entry >/dev/null && fail "a Start-menu entry exists before the install"
[ -z "$(service_state)" ] || fail "a service NXSvc exists before the install"

# Failure actions: Wine accepts and stores none, so the package's table and
# its action are what can be seen here.
msiinfo export "$msi" MsiServiceConfigFailureActions | tr -d '\r' |
  grep -qx $'NXSvcRecovery\tNXSvc\t1\t86400\t\t\t1\\[~\\]1\\[~\\]1\t60000\\[~\\]60000\\[~\\]60000\tService' ||
  fail "no failure actions for NXSvc in the msi"
msiinfo export "$msi" InstallExecuteSequence | grep -q '^MsiConfigureServices' || fail "MsiConfigureServices not sequenced"
echo "install: msiexec /i $msi_w /qn UNCP=\\demo\msi NDRV=Y: TMAX=900"
wine msiexec /i "$msi_w" /qn /l*v "$log_w" UNCP='\\demo\msi' NDRV=Y: TMAX=900 </dev/null >/dev/null 2>&1
rc=$?
[ $rc -eq 0 ] || fail "msiexec /i ended with $rc (log: $NX_STATE/msi-install.log)"
for f in nxwin.exe nxsvc.dll nxwin.chm nxsvc.exe; do
  [ -f "$app/$f" ] || fail "$f is not in C:\\$pf\\NXSvc"
  cmp -s "$app/$f" "$bin/$f" || fail "the installed $f differs from the signed package's"
done
echo "installed: $(cd "$app" && ls | tr '\n' ' ')"
state=""
for _ in $(seq 1 20); do state=$(service_state); [ "$state" = RUNNING ] && break; sleep 0.5; done
[ "$state" = RUNNING ] || fail "the service NXSvc is \"$state\" after the install, not RUNNING"
echo "service NXSvc: $state"
[ "$(reg_value tmax)" = 0x384 ] && [ "$(reg_value uncp)" = '\\demo\msi' ] || fail "the properties are not in $key ${view:-}"
[ $x64 = 0 ] || [ -z "$(view=/reg:32 reg_value tmax)" ] || fail "the 64-bit package wrote into the 32-bit view"
# The running service reads them there.
settings='Settings (uncp \\demo\msi, ndrv Y:, '
used() { grep -aF "$settings" "$app/nxsvc.log" 2>/dev/null | grep -F 'tmax 900,' | head -1 | tr -d '\r'; }
for _ in $(seq 1 60); do [ -n "$(used)" ] && break; sleep 0.5; done
[ -n "$(used)" ] || fail "the service's log has no \"$settings... tmax 900\": $(tail -5 "$app/nxsvc.log" 2>/dev/null)"
echo "service log: $(used)"

if [ $x64 = 1 ]; then
  # The 32-bit package of the same release refuses to go beside this one.
  other="$signed/other"
  mkdir -p "$other" && cp "$bin"/*.* "$bin"/PolicyDefinitions/nxsvc.admx "$bin"/PolicyDefinitions/en-US/nxsvc.adml \
    "$NX_ROOT/scripts/release/nxsvc.wxs" "$other/"
  (cd "$other" && wixl -a x86 -D Arch=x86 -D Version=1.0.0 -o other.msi nxsvc.wxs) || fail "no 32-bit package to try"
  wine msiexec /i "$(winepath -w "$other/other.msi")" /qn /l*v "$(winepath -w "$NX_STATE/msi-other.log")" </dev/null >/dev/null 2>&1
  # Wine's log has no message text (Windows: "The 64-bit NXSvc Console
  # (x64) is installed: ...", 1603); the product found and the failed
  # launch conditions are there.
  rc=$? && [ $rc -ne 0 ] && grep -aq '^Property(S): OTHERNXSVC = {' "$NX_STATE/msi-other.log" &&
    grep -aq 'LaunchConditions. Return value 0' "$NX_STATE/msi-other.log" ||
    fail "the 32-bit package beside the 64-bit one was not refused (log: $NX_STATE/msi-other.log)"
  echo "the 32-bit package beside it: refused by its launch condition ($rc)"
fi

# A repair puts the files back; the service runs on. "msiexec /f" sets
# REINSTALL and REINSTALLMODE (learn.microsoft.com, "REINSTALLMODE
# property"); Wine 8's /f ends with 69 (package) or 1 (product code)
# without doing anything, so the properties are given directly.
rm -f "$app/nxwin.chm"
echo "repair: msiexec /i $msi_w REINSTALL=ALL REINSTALLMODE=amus /qn"
wine msiexec /i "$msi_w" REINSTALL=ALL REINSTALLMODE=amus /qn </dev/null >/dev/null 2>&1
[ $? -eq 0 ] && cmp -s "$app/nxwin.chm" "$bin/nxwin.chm" || fail "the repair did not put nxwin.chm back"
for _ in $(seq 1 20); do state=$(service_state); [ "$state" = RUNNING ] && break; sleep 0.5; done
[ "$state" = RUNNING ] && [ "$(reg_value tmax)" = 0x384 ] || fail "after the repair: service \"$state\", tmax $(reg_value tmax)"
echo "repaired: nxwin.chm back, service $state, settings kept"
entry=$(find_entry) || fail "no Start-menu entry \"NXSvc Console\""
grep -aqF "C:\\$pf\\NXSvc\\nxwin.exe" "$entry" || fail "the Start-menu entry does not point at the installed console"
echo "Start-menu entry: $entry"

# The entry starts the installed console.
entry_w=$(winepath -w "$entry")
setsid wine start "$entry_w" </dev/null >/dev/null 2>&1 &
console=$!
nxdrive wait 30000 >/dev/null || fail "the console's window did not appear"
title=$(nxdrive title)
case "$title" in "NXSvc Console"*) ;; *) fail "main window titled \"$title\"" ;; esac
echo "console window: $title"
nxdrive close 15000 >/dev/null || fail "the console did not end on Exit"

echo "remove: msiexec /x $msi_w /qn"
wine msiexec /x "$msi_w" /qn </dev/null >/dev/null 2>&1
rc=$?
[ $rc -eq 0 ] || fail "msiexec /x ended with $rc"
[ -z "$(service_state)" ] || fail "the service NXSvc is still registered after the removal"
# The logs the service and its library wrote stay for the administrator.
for f in nxsvc.log nxsvc.old nxdll.log nxdll.old; do rm -f "$app/$f"; done
rmdir "$app" 2>/dev/null
[ -e "$app" ] && fail "C:\\$pf\\NXSvc is still there after the removal: $(ls "$app")"
find_entry >/dev/null && fail "the Start-menu entry is still there after the removal"
echo "PASS"
