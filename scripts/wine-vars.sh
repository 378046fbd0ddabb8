# Sourced: the Wine environment of one build folder. Each build folder has
# its own prefix, state and display, so parallel builds do not collide.
: "${NX_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
# NX_ARCH: what the Windows programs are built for, i686 (the product) or
# x86_64. Where this machine runs no 32-bit programs (scripts/ia32-check.sh)
# the default is x86_64 in its own build folder: the same sources, built for
# and run in a 64-bit Windows, so the Windows tests still run.
if [ -z "${NX_ARCH:-}" ]; then
  NX_ARCH=i686
  "$NX_ROOT/scripts/ia32-check.sh" 2>/dev/null || NX_ARCH=x86_64
fi
if [ "$NX_ARCH" = x86_64 ]; then : "${NX_BUILD:=build-x64}"; else : "${NX_BUILD:=build}"; fi
case "$NX_BUILD" in /*) ;; *) NX_BUILD="$NX_ROOT/$NX_BUILD" ;; esac
if [ "$NX_ARCH" = x86_64 ]; then
  # The 64-bit build runs in a 64-bit Windows, started through the 64-bit
  # loader (Debian's "wine" would start the 32-bit one): scripts/wine64/
  # holds the "wine" that every Wine command of the harness finds first.
  NX_WINEARCH=win64
  case ":$PATH:" in *":$NX_ROOT/scripts/wine64:"*) ;; *) PATH="$NX_ROOT/scripts/wine64:$PATH" ;; esac
  export PATH
else
  # NX_WINEARCH=win64: the build's second prefix, a 64-bit Windows, always in
  # <build>/wine64 (an NX_WINEPREFIX exported for the first prefix, as
  # test.sh does, must not send it there).
  : "${NX_WINEARCH:=win32}"
  if [ "$NX_WINEARCH" = win64 ]; then
    NX_WINEPREFIX="$NX_BUILD/wine64/prefix" NX_STATE="$NX_BUILD/wine64/state"
  fi
fi
: "${NX_WINEPREFIX:=$NX_BUILD/wine/prefix}"
: "${NX_STATE:=$NX_BUILD/wine/state}"
: "${NX_DISPLAY:=:91}"
export NX_ROOT NX_ARCH NX_BUILD NX_WINEARCH NX_WINEPREFIX NX_STATE NX_DISPLAY
export WINEPREFIX="$NX_WINEPREFIX" WINEARCH="$NX_WINEARCH" WINEDEBUG=-all DISPLAY="$NX_DISPLAY"
# ',' only: a ';' would split CMake list values.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# Share folders mapped as drives: Y: network type, X: a local disk.
export NX_SHARE_Y="$NX_STATE/share_y" NX_LOCAL_X="$NX_STATE/local_x"
