#!/usr/bin/env bash
# make-help.sh <docs folder> <work folder> <output .chm> <version>
# Compiles the console's help file from docs/help (topics, project, contents,
# index, pictures) and the screenshots in docs/ with chmcmd.
# chmcmd ends with 0 after some failures (a missing project, say) and does
# not check links, so this script also checks that every file the project
# lists and every page or picture a topic, the contents or the index names
# is there, reads chmcmd's output for warnings, and checks the result.
set -euo pipefail
docs="$1" work="$2" out="$3" version="$4"
help="$docs/help"
project=nxwin.hhp
fail() { echo "make-help: $*" >&2; exit 1; }
command -v chmcmd >/dev/null || fail "chmcmd not found (Debian package fp-utils; scripts/ensure-deps.sh installs it)"

rm -rf "$work"
mkdir -p "$work/images"
cp "$help"/*.htm "$help"/*.css "$help/$project" "$help"/*.hhc "$help"/*.hhk "$work/"
# The topics name the product version as @VERSION@ (common/version.h).
[ -n "$version" ] || fail "no version given"
sed -i "s/@VERSION@/$version/g" "$work"/*.htm
cp "$help"/images/*.png "$work/images/"
# The screenshots of the README serve the help too.
cp "$docs"/console-*.png "$docs/report.png" "$work/images/"

cd "$work"
# Files of the project's [FILES] section.
listed=$(sed -n '/^\[FILES\]/,/^\[/p' "$project" | grep -v '^\[' | tr -d '\r' | sed '/^$/d')
for f in $listed; do [ -f "$f" ] || fail "$project lists $f, which does not exist"; done
# Every local link and picture of the topics, the contents and the index
# must be in the project, or the help shows an empty page.
for src in *.htm *.hhc *.hhk; do
  for ref in $(grep -oiE '(href|src|name="Local" value)="[^"]*"' "$src" | sed -E 's/^.*="//; s/"$//; s/#.*//' |
               grep -iE '\.(htm|html|css|png|gif|jpg|bmp)$' | sort -u); do
    case "$ref" in http:* | https:* | mailto:*) continue ;; esac
    grep -qxF "$ref" <<<"$listed" || fail "$src refers to $ref, which the project does not list"
  done
done

rm -f nxwin.chm
set +e
chmcmd "$project" >chmcmd.log 2>&1
rc=$?
set -e
if [ $rc -ne 0 ] || grep -qiE 'warning|error|exception|can.t|unable' chmcmd.log; then
  cat chmcmd.log >&2
  fail "chmcmd failed (exit code $rc)"
fi
[ -s nxwin.chm ] || fail "chmcmd wrote no nxwin.chm"
[ "$(head -c 4 nxwin.chm)" = ITSF ] || fail "nxwin.chm is not a compiled help file"
mkdir -p "$(dirname "$out")"
cp nxwin.chm "$out.tmp"
mv -f "$out.tmp" "$out"
