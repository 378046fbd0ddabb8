#!/usr/bin/env bash
# Emulator for CTest: runs a Windows executable in the build's own prefix.
for a in "$@"; do
  case "$a" in
    --build=*) export NX_BUILD="${a#--build=}"; shift ;;
    --display=*) export NX_DISPLAY="${a#--display=}"; shift ;;
    *) break ;;
  esac
done
. "$(dirname "$0")/wine-vars.sh"
"$(dirname "$0")/ia32-check.sh" || exit 77
# Without a prefix Wine would silently build one in ~/.wine.
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine-run: no prefix at $WINEPREFIX (run scripts/wine-env.sh up)" >&2; exit 125; }
exec wine "$@"
