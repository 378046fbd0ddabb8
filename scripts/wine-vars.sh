# Sourced: the Wine environment of one build folder. Each build folder has
# its own prefix, state and display, so parallel builds do not collide.
: "${NX_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${NX_BUILD:=build}"
case "$NX_BUILD" in /*) ;; *) NX_BUILD="$NX_ROOT/$NX_BUILD" ;; esac
# NX_WINEARCH=win64: the build's second prefix, a 64-bit Windows (wine64/).
: "${NX_WINEARCH:=win32}"
nx_wine_dir=wine
[ "$NX_WINEARCH" = win64 ] && nx_wine_dir=wine64
: "${NX_WINEPREFIX:=$NX_BUILD/$nx_wine_dir/prefix}"
: "${NX_STATE:=$NX_BUILD/$nx_wine_dir/state}"
: "${NX_DISPLAY:=:91}"
export NX_ROOT NX_BUILD NX_WINEARCH NX_WINEPREFIX NX_STATE NX_DISPLAY
export WINEPREFIX="$NX_WINEPREFIX" WINEARCH="$NX_WINEARCH" WINEDEBUG=-all DISPLAY="$NX_DISPLAY"
# ',' only: a ';' would split CMake list values.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# Share folders mapped as drives: Y: network type, X: a local disk.
export NX_SHARE_Y="$NX_STATE/share_y" NX_LOCAL_X="$NX_STATE/local_x"
