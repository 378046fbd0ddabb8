#!/usr/bin/env bash
# Builds the release packages of the NXSvc Console into dist/:
#   dist/nxsvc-console-<version>.zip  nxwin.exe, nxsvc.dll, nxwin.chm, ADMIN.txt,
#                                     nxsvc.reg (settings template), the sample share
#   dist/nxsvc-console-<version>.msi  installs nxwin.exe, nxsvc.dll and nxwin.chm
#                                     into "Program Files\NXSvc" ("Program Files (x86)\NXSvc" on
#                                     64-bit Windows) with a Start-menu entry
# The version is the product version (common/version.h). Installs missing packages
# first and builds the Release configuration in build/ (or $NX_BUILD).
# Signed when NX_SIGN_CERT and NX_SIGN_KEY are set (README, "Signed release").
set -euo pipefail
cd "$(dirname "$0")"
# The product is 32-bit wherever it is built (the 64-bit build only tests).
export NX_ARCH=i686
scripts/ensure-deps.sh
NX_CONFIG=Release scripts/configure.sh
. scripts/wine-vars.sh
cmake --build "$NX_BUILD" -j "${NX_JOBS:-2}" --target nx_release
version=$(sed -n 's/^#define NX_VERSION_TEXT *"\([0-9.]*\)".*/\1/p' common/version.h)
# Packaged again here, so that the signing variables of this call apply.
scripts/release/package.sh "$NX_BUILD/bin" dist >/dev/null
if [ -n "${NX_SIGN_CERT:-}" ]; then echo "Signed with $NX_SIGN_CERT"; else echo "Unsigned"; fi
echo
unzip -l "dist/nxsvc-console-$version.zip"
echo
ls -l "dist/nxsvc-console-$version.zip" "dist/nxsvc-console-$version.msi"
