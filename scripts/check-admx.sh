#!/usr/bin/env bash
# check-admx.sh <source tree>: the Group Policy templates of
# scripts/release/policy are well-formed XML (xmllint), the ADMX offers
# every setting of svc_settings (common/service_contract.h) but the
# password, by its registry value name under the Policies key, and every
# text and presentation it names is in the en-US ADML. Exits 1 naming each
# fault.
set -u
root="${1:-$(dirname "$0")/..}"
admx="$root/scripts/release/policy/nxsvc.admx"
adml="$root/scripts/release/policy/en-US/nxsvc.adml"
faults=0
fault() { echo "check-admx: $*"; faults=$((faults + 1)); }
for f in "$admx" "$adml"; do
  xmllint --noout "$f" || fault "$f is not well-formed"
done
# The settings as the code names them.
names=$(sed -n '/svc_settings\[SVC_SETTINGS\] *= *{/,/^};/p' "$root/common/service_contract.h" |
        grep -o '{"[a-z]*", *SVC_' | sed 's/{"\([a-z]*\)".*/\1/')
[ -n "$names" ] || fault "no settings found in common/service_contract.h"
for n in $names; do
  if [ "$n" = pswd ]; then
    # No clear-text secret in policy files (ADMIN.txt, "Group Policy").
    grep -q "valueName=\"pswd\"" "$admx" && fault "the ADMX offers the password (pswd)"
  else
    grep -q "valueName=\"$n\"" "$admx" || fault "the ADMX has no policy for the setting \"$n\" (add it to $admx and its texts to $adml)"
  fi
done
grep -q 'key="Software\\Policies\\Veltrane\\NxSvc"' "$admx" || fault "the ADMX does not write Software\\Policies\\Veltrane\\NxSvc"
grep 'key="' "$admx" | grep -v 'key="Software\\Policies\\Veltrane\\NxSvc"' | grep -q . &&
  fault "a policy writes outside Software\\Policies\\Veltrane\\NxSvc"
for ref in $(grep -o '\$(string\.[A-Za-z0-9_]*)' "$admx" | sort -u); do
  id=${ref#\$(string.}; id=${id%)}
  grep -q "<string id=\"$id\">" "$adml" || fault "the ADML has no string \"$id\""
done
for ref in $(grep -o '\$(presentation\.[A-Za-z0-9_]*)' "$admx" | sort -u); do
  id=${ref#\$(presentation.}; id=${id%)}
  grep -q "<presentation id=\"$id\">" "$adml" || fault "the ADML has no presentation \"$id\""
done
echo "check-admx: $(echo $names | wc -w) settings, $faults faults"
[ $faults -eq 0 ]
