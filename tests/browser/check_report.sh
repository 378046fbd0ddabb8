#!/usr/bin/env bash
# Renders an assignment report in headless Chromium and checks the DOM it
# builds: heading, group table, bold group row with "---", package rows.
# usage: check_report.sh report.htm [names]
set -u
report="${1:?usage: check_report.sh report.htm}"
[ -f "$report" ] || "$(dirname "$0")/../../scripts/ia32-check.sh" || exit 77
[ -f "$report" ] || { echo "check_report: no report at $report" >&2; exit 1; }
browser=$(command -v chromium || command -v chromium-browser) || {
  echo "check_report: chromium is not installed (apt-get install --no-install-recommends chromium)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A fresh profile and no background traffic: the page is a local file.
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --user-data-dir="$work/profile" \
  --disable-background-networking --disable-component-update --disable-sync --no-first-run --disable-quic \
  --dump-dom "file://$(cd "$(dirname "$report")" && pwd)/$(basename "$report")" \
  >"$work/dom.html" 2>"$work/chromium.log" </dev/null
rc=$?
if [ $rc -ne 0 ] || [ ! -s "$work/dom.html" ]; then
  echo "check_report: chromium failed ($rc)" >&2; tail -20 "$work/chromium.log" >&2; exit 1
fi
python3 "$(dirname "$0")/check_dom.py" "$work/dom.html" ${2:-}
