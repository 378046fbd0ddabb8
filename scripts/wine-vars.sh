# Sourced: the Wine environment of one build folder. Each build folder has
# its own prefix, state and display, so parallel builds do not collide.
: "${NX_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${NX_BUILD:=build}"
case "$NX_BUILD" in /*) ;; *) NX_BUILD="$NX_ROOT/$NX_BUILD" ;; esac
# NX_WINEARCH=win64: the build's second prefix, a 64-bit Windows, always in
# <build>/wine64 (an NX_WINEPREFIX exported for the first prefix, as
# test.sh does, must not send it there).
: "${NX_WINEARCH:=win32}"
if [ "$NX_WINEARCH" = win64 ]; then
  NX_WINEPREFIX="$NX_BUILD/wine64/prefix" NX_STATE="$NX_BUILD/wine64/state"
fi
: "${NX_WINEPREFIX:=$NX_BUILD/wine/prefix}"
: "${NX_STATE:=$NX_BUILD/wine/state}"
: "${NX_DISPLAY:=:91}"
export NX_ROOT NX_BUILD NX_WINEARCH NX_WINEPREFIX NX_STATE NX_DISPLAY
export WINEPREFIX="$NX_WINEPREFIX" WINEARCH="$NX_WINEARCH" WINEDEBUG=-all DISPLAY="$NX_DISPLAY"
# ',' only: a ';' would split CMake list values.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# Share folders mapped as drives: Y: network type, X: a local disk.
export NX_SHARE_Y="$NX_STATE/share_y" NX_LOCAL_X="$NX_STATE/local_x"
