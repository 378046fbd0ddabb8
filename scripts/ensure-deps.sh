#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing (Debian).
set -u
need=()
have() { command -v "$1" >/dev/null 2>&1; }
have wine || need+=(wine wine32:i386)
[ -x /usr/lib/wine/wine ] || [ -x /usr/lib/i386-linux-gnu/wine/wine ] || dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686)
have Xvfb || need+=(xvfb xauth)
have cmake || need+=(cmake)
have g++ || need+=(g++)
have pgrep || need+=(procps)
have ninja || need+=(ninja-build)
have python3 || need+=(python3)
[ -f /usr/share/wine/fonts/tahoma.ttf ] || need+=(fonts-wine)
[ -d /usr/src/googletest ] || need+=(googletest)
have import || need+=(imagemagick)
have xdotool || need+=(xdotool)
# The test under another code page makes its locale from glibc's sources.
[ -f /usr/share/i18n/locales/ru_RU ] && have localedef || need+=(locales)
# Native sanitizer build, fuzzing and the static checks.
have clang++ || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
have clang-tidy || need+=(clang-tidy)
have cppcheck || need+=(cppcheck)
# Help file, release packages.
have chmcmd || need+=(fp-utils)
have wixl || need+=(wixl)
have msibuild || need+=(msitools)
have osslsigncode || need+=(osslsigncode)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
have openssl || need+=(openssl)
have zip || need+=(zip)
# Group Policy templates: well-formed (scripts/check-admx.sh).
have xmllint || need+=(libxml2-utils)
have unzip || need+=(unzip)
# The package share on a real SMB server (scripts/smb-env.sh).
[ -x /usr/sbin/smbd ] || have smbd || need+=(samba)
have smbnetfs || need+=(smbnetfs)
for extra in ${NX_EXTRA_PACKAGES:-}; do dpkg -s "$extra" >/dev/null 2>&1 || need+=("$extra"); done
install() {
  [ $# -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: $*"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
install "${need[@]}"
# Where no 32-bit program runs, the build for 64-bit Windows (wine-vars.sh).
# Asked after the first install: the check needs the 32-bit loader there.
if [ "${NX_ARCH:-}" = x86_64 ] || ! NX_ARCH= "$(dirname "$0")/ia32-check.sh" 2>/dev/null; then
  have x86_64-w64-mingw32-g++-posix || install g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
fi
exit 0
