# Sourced by the service checks: <bin folder> as $bin, the build's Wine
# environment, fail(), the settings key and a quiet reg().
set -u
bin="$1"
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-vars.sh"
"$NX_ROOT/scripts/ia32-check.sh" || exit 77
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$WINEPREFIX/system.reg" ] || fail "no prefix at $WINEPREFIX"
key='HKLM\Software\Veltrane\NxSvc'
reg() { wine reg "$@" </dev/null >/dev/null 2>&1; }
