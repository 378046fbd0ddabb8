#!/usr/bin/env bash
# package.sh <bin folder> <output folder>
# Writes the release packages of the console from a build's bin folder:
#   nxsvc-console-<version>.zip  nxwin.exe, nxsvc.dll, nxwin.chm, nxsvc.exe,
#                                ADMIN.txt, nxsvc.reg, the Group Policy
#                                templates (PolicyDefinitions) and the
#                                sample share
#   nxsvc-console-<version>.msi  the programs into "Program Files\NXSvc"
#                                ("Program Files (x86)\NXSvc" on 64-bit
#                                Windows) with a Start-menu entry; the
#                                service NXSvc registered and started
# From a 64-bit build (the programs' PE header says which) the names end in
# "-x64" and the msi is a 64-bit package: "Program Files\NXSvc" and the
# settings in the 64-bit registry view.
# The version is the product version (common/version.h).
# Signing (Authenticode, osslsigncode) when NX_SIGN_CERT and NX_SIGN_KEY name
# a certificate and its private key (PEM or DER); NX_SIGN_PASS is the key's
# password, NX_SIGN_TIMESTAMP a timestamp server's URL. Without them the
# packages are unsigned.
# Used by the build (target nx_release) and by ./release.sh.
set -euo pipefail
bin="$1" out="$2"
root="$(cd "$(dirname "$0")/../.." && pwd)"
fail() { echo "package: $*" >&2; exit 1; }
version=$(sed -n 's/^#define NX_VERSION_TEXT *"\([0-9.]*\)".*/\1/p' "$root/common/version.h")
[ -n "$version" ] || fail "no NX_VERSION_TEXT in common/version.h"
for f in nxwin.exe nxsvc.dll nxwin.chm nxsvc.exe; do [ -s "$bin/$f" ] || fail "$bin/$f is missing (build nxwin, nxsvc, nxsvc_exe and nx_help first)"; done
command -v wixl >/dev/null || fail "wixl not found (Debian package wixl; scripts/ensure-deps.sh installs it)"
command -v zip >/dev/null || fail "zip not found"
command -v msibuild >/dev/null || fail "msibuild not found (Debian package msitools)"

sign=()
if [ -n "${NX_SIGN_CERT:-}${NX_SIGN_KEY:-}" ]; then
  [ -f "${NX_SIGN_CERT:-}" ] || fail "NX_SIGN_CERT: no certificate file \"${NX_SIGN_CERT:-}\""
  [ -f "${NX_SIGN_KEY:-}" ] || fail "NX_SIGN_KEY: no key file \"${NX_SIGN_KEY:-}\""
  command -v osslsigncode >/dev/null || fail "osslsigncode not found (scripts/ensure-deps.sh installs it)"
  sign=(-certs "$NX_SIGN_CERT" -key "$NX_SIGN_KEY" -n "NXSvc Console" -h sha256)
  [ -n "${NX_SIGN_PASS:-}" ] && sign+=(-pass "$NX_SIGN_PASS")
  [ -n "${NX_SIGN_TIMESTAMP:-}" ] && sign+=(-ts "$NX_SIGN_TIMESTAMP")
fi
# Signs files in place; nothing without a certificate.
sign_files() {
  [ ${#sign[@]} -eq 0 ] && return 0
  local f
  for f in "$@"; do
    osslsigncode sign "${sign[@]}" -in "$f" -out "$f.signed" >/dev/null || fail "signing $f failed"
    mv "$f.signed" "$f"
  done
}

# The programs' machine (PE header): 0x8664 x64, else the 32-bit product.
pe=$(od -An -tu4 -j60 -N4 "$bin/nxwin.exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$bin/nxwin.exe" | tr -d ' ')
arch=x86 suffix=""
[ "$machine" = 8664 ] && arch=x64 suffix="-x64"
name="nxsvc-console-$version$suffix"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
work="$out/.work"
rm -rf "$work"
mkdir -p "$work/$name"
trap 'rm -rf "$work"' EXIT

# The zip: one folder named after the release.
dir="$work/$name"
cp "$bin/nxwin.exe" "$bin/nxsvc.dll" "$bin/nxwin.chm" "$bin/nxsvc.exe" "$dir/"
sign_files "$dir"/*.exe "$dir"/*.dll
# Text files with Windows line ends, as administrators open them in Notepad.
sed "s/@VERSION@/$version/g; s/\r\$//; s/\$/\r/" "$root/docs/ADMIN.txt" >"$dir/ADMIN.txt"
sed 's/\r$//; s/$/\r/' "$root/scripts/release/nxsvc.reg" >"$dir/nxsvc.reg"
mkdir -p "$dir/PolicyDefinitions/en-US"
cp "$root/scripts/release/policy/nxsvc.admx" "$dir/PolicyDefinitions/"
cp "$root/scripts/release/policy/en-US/nxsvc.adml" "$dir/PolicyDefinitions/en-US/"
cp -r "$root/demo/share" "$dir/share"
# The demo's note about the line it adds does not apply here.
sed -i '/The demo adds/d' "$dir/share/cfg/Assignment.ini"
rm -f "$out/$name.zip"
(cd "$work" && zip -qrX "$out/$name.zip" "$name")

# The msi: wixl finds the files by their names in its working folder. It
# takes the zip's files as signed: a signature carries its signing time, so
# signing again could give the msi other bytes than the zip.
mkdir -p "$work/msi"
cp "$dir/nxwin.exe" "$dir/nxsvc.dll" "$dir/nxwin.chm" "$dir/nxsvc.exe" "$work/msi/"
cp "$dir/PolicyDefinitions/nxsvc.admx" "$dir/PolicyDefinitions/en-US/nxsvc.adml" "$work/msi/"
cp "$root/scripts/release/nxsvc.wxs" "$work/msi/"
rm -f "$out/$name.msi"
(cd "$work/msi" && wixl -a $arch -D Arch=$arch -D "Version=$version" -o "$out/$name.msi" nxsvc.wxs) || fail "wixl failed"
[ -s "$out/$name.msi" ] || fail "wixl wrote no $name.msi"
# Each settings component "Setting_<PROPERTY>" is installed only when that
# property is given, is never removed (84: registry key path, permanent,
# conditions checked again on repair), so no install, repair, upgrade or
# removal wipes a value the administrator set. wixl can express neither.
msi_sql() { msibuild "$out/$name.msi" -q "$1" || fail "msibuild: $1"; }
secure=$(msiinfo export "$out/$name.msi" Property | sed -n 's/^SecureCustomProperties\t//p' | tr -d '\r')
# The 64-bit package's components keep their 64-bit bit (256).
attributes=84
[ $arch = x64 ] && attributes=$((84 + 256))
for c in $(msiinfo export "$out/$name.msi" Component | cut -f1 | grep '^Setting_'); do
  msi_sql "UPDATE \`Component\` SET \`Condition\`='${c#Setting_}', \`Attributes\`=$attributes WHERE \`Component\`='$c'"
  secure="${secure:+$secure;}${c#Setting_}"
done
msi_sql "UPDATE \`Property\` SET \`Value\`='$secure' WHERE \`Property\`='SecureCustomProperties'"
# Failure actions of the service, as "nxsvc.exe /install" sets them: started
# again after a minute, three times; the count starts over after a day.
# Windows Installer 5 reads them from this table (wixl has no element for it).
msi_sql "CREATE TABLE \`MsiServiceConfigFailureActions\` (\`MsiServiceConfigFailureActions\` CHAR(72) NOT NULL, \`Name\` CHAR(255) NOT NULL LOCALIZABLE, \`Event\` SHORT NOT NULL, \`ResetPeriod\` LONG, \`RebootMessage\` CHAR(255) LOCALIZABLE, \`Command\` CHAR(255) LOCALIZABLE, \`Actions\` CHAR(255), \`DelayActions\` CHAR(255), \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`MsiServiceConfigFailureActions\`)"
msi_sql "INSERT INTO \`MsiServiceConfigFailureActions\` (\`MsiServiceConfigFailureActions\`, \`Name\`, \`Event\`, \`ResetPeriod\`, \`Actions\`, \`DelayActions\`, \`Component_\`) VALUES ('NXSvcRecovery', 'NXSvc', 1, 86400, '1[~]1[~]1', '60000[~]60000[~]60000', 'Service')"
if ! msiinfo export "$out/$name.msi" InstallExecuteSequence | grep -q '^MsiConfigureServices'; then
  msi_sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('MsiConfigureServices', 'VersionMsi >= \"5.00\"', 5850)"
fi
# The service starts delayed at boot: a MsiServiceConfig row (Windows
# Installer 5), carried out by the same action MsiConfigureServices.
msi_sql "CREATE TABLE \`MsiServiceConfig\` (\`MsiServiceConfig\` CHAR(72) NOT NULL, \`Name\` CHAR(255) NOT NULL, \`Event\` SHORT NOT NULL, \`ConfigType\` LONG NOT NULL, \`Argument\` LONGCHAR, \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`MsiServiceConfig\`)"
msi_sql "INSERT INTO \`MsiServiceConfig\` (\`MsiServiceConfig\`, \`Name\`, \`Event\`, \`ConfigType\`, \`Argument\`, \`Component_\`) VALUES ('DelayedStart', 'NXSvc', 1, 3, '1', 'Service')"
sign_files "$out/$name.msi"
echo "$out/$name.zip"
echo "$out/$name.msi"
