#!/usr/bin/env bash
# package.sh <bin folder> <output folder>
# Writes the release packages of the console from a build's bin folder:
#   nxsvc-console-<version>.zip  nxwin.exe, nxsvc.dll, nxwin.chm, nxsvc.exe,
#                                ADMIN.txt, nxsvc.reg and the sample share
#   nxsvc-console-<version>.msi  the four program files into
#                                "Program Files\NXSvc" with a Start-menu entry;
#                                the service NXSvc registered and started
# The version is the console's file version (console/res/resource.h).
# Used by the build (target nx_release) and by ./release.sh.
set -euo pipefail
bin="$1" out="$2"
root="$(cd "$(dirname "$0")/../.." && pwd)"
fail() { echo "package: $*" >&2; exit 1; }
version=$(sed -n 's/^#define NX_VERSION_TEXT *"\([0-9.]*\)".*/\1/p' "$root/console/res/resource.h")
[ -n "$version" ] || fail "no NX_VERSION_TEXT in console/res/resource.h"
for f in nxwin.exe nxsvc.dll nxwin.chm nxsvc.exe; do [ -s "$bin/$f" ] || fail "$bin/$f is missing (build nxwin, nxsvc, nxsvc_exe and nx_help first)"; done
command -v wixl >/dev/null || fail "wixl not found (Debian package wixl; scripts/ensure-deps.sh installs it)"
command -v zip >/dev/null || fail "zip not found"

name="nxsvc-console-$version"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
work="$out/.work"
rm -rf "$work"
mkdir -p "$work/$name"
trap 'rm -rf "$work"' EXIT

# The zip: one folder named after the release.
dir="$work/$name"
cp "$bin/nxwin.exe" "$bin/nxsvc.dll" "$bin/nxwin.chm" "$bin/nxsvc.exe" "$dir/"
# Text files with Windows line ends, as administrators open them in Notepad.
sed "s/@VERSION@/$version/g; s/\r\$//; s/\$/\r/" "$root/docs/ADMIN.txt" >"$dir/ADMIN.txt"
sed 's/\r$//; s/$/\r/' "$root/scripts/release/nxsvc.reg" >"$dir/nxsvc.reg"
cp -r "$root/demo/share" "$dir/share"
# The demo's note about the line it adds does not apply here.
sed -i '/The demo adds/d' "$dir/share/cfg/Assignment.ini"
rm -f "$out/$name.zip"
(cd "$work" && zip -qrX "$out/$name.zip" "$name")

# The msi: wixl finds the files by their names in its working folder.
mkdir -p "$work/msi"
cp "$bin/nxwin.exe" "$bin/nxsvc.dll" "$bin/nxwin.chm" "$bin/nxsvc.exe" "$work/msi/"
cp "$root/scripts/release/nxsvc.wxs" "$work/msi/"
rm -f "$out/$name.msi"
(cd "$work/msi" && wixl -a x86 -D "Version=$version" -o "$out/$name.msi" nxsvc.wxs) || fail "wixl failed"
[ -s "$out/$name.msi" ] || fail "wixl wrote no $name.msi"
echo "$out/$name.zip"
echo "$out/$name.msi"
