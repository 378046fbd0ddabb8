#!/usr/bin/env bash
# Builds the release packages of the NXSvc Console into dist/:
#   dist/nxsvc-console-<version>.zip  nxwin.exe, nxsvc.dll, nxwin.chm, ADMIN.txt,
#                                     nxsvc.reg (settings template), the Group
#                                     Policy templates, the sample share
#   dist/nxsvc-console-<version>.msi  installs nxwin.exe, nxsvc.dll and nxwin.chm
#                                     into "Program Files\NXSvc" ("Program Files (x86)\NXSvc" on
#                                     64-bit Windows) with a Start-menu entry
#   dist/nxsvc-console-<version>-x64.zip, -x64.msi
#                                     the same from the 64-bit build, for 64-bit
#                                     Windows: "Program Files\NXSvc", settings in
#                                     the 64-bit registry view
# The version is the product version (common/version.h). Installs missing packages
# first and builds the Release configuration in build/ and build-x64/ (or
# $NX_BUILD and $NX_BUILD_X64).
# Signed when NX_SIGN_CERT and NX_SIGN_KEY are set (README, "Signed release").
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
version=$(sed -n 's/^#define NX_VERSION_TEXT *"\([0-9.]*\)".*/\1/p' common/version.h)
x64_build="${NX_BUILD_X64:-build-x64}"
# The 32-bit product, then the 64-bit one, each in its own build folder.
for arch in i686 x86_64; do
  (
    export NX_ARCH=$arch
    [ $arch = x86_64 ] && export NX_BUILD="$x64_build"
    NX_CONFIG=Release scripts/configure.sh
    . scripts/wine-vars.sh
    cmake --build "$NX_BUILD" -j "${NX_JOBS:-2}" --target nx_release
    # Packaged again here, so that the signing variables of this call apply.
    scripts/release/package.sh "$NX_BUILD/bin" dist >/dev/null
  )
done
if [ -n "${NX_SIGN_CERT:-}" ]; then echo "Signed with $NX_SIGN_CERT"; else echo "Unsigned"; fi
echo
unzip -l "dist/nxsvc-console-$version.zip"
echo
ls -l "dist/nxsvc-console-$version.zip" "dist/nxsvc-console-$version.msi" \
  "dist/nxsvc-console-$version-x64.zip" "dist/nxsvc-console-$version-x64.msi"
