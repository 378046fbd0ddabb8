#!/usr/bin/env bash
# check-admx.sh <source tree>: the Group Policy templates are well-formed
# (xmllint), the ADMX offers every setting of svc_settings
# (common/service_contract.h) but the password by its value name, and every
# text and presentation it names is in the en-US ADML; the settings template
# scripts/release/nxsvc.reg holds every setting, and it, the ADML's number
# boxes and their help, and docs/ADMIN.txt give each number the service's
# default from that table. Exits 1 on a fault.
set -u
root="${1:-$(dirname "$0")/..}"
admx="$root/scripts/release/policy/nxsvc.admx" adml="$root/scripts/release/policy/en-US/nxsvc.adml"
faults=0
fault() { echo "check-admx: $*"; faults=$((faults + 1)); }
xmllint --noout "$admx" "$adml" || fault "not well-formed"
table=$(sed -n '/svc_settings\[SVC_SETTINGS\] *= *{/,/^};/p' "$root/common/service_contract.h")
names=$(grep -o '{"[a-z]*", *SVC_' <<<"$table" | sed 's/{"\([a-z]*\)".*/\1/')
[ -n "$names" ] || fault "no settings found in common/service_contract.h"
for n in $names; do
  # No clear-text secret in policy files (ADMIN.txt, "Group Policy").
  if [ "$n" = pswd ]; then grep -q 'valueName="pswd"' "$admx" && fault "the ADMX offers the password"
  else grep -q "valueName=\"$n\"" "$admx" || fault "the ADMX has no policy for \"$n\" (add it to $admx, its texts to $adml)"; fi
done
for ref in $(grep -o '\$(\(string\|presentation\)\.[A-Za-z0-9_]*)' "$admx" | sort -u); do
  kind=${ref#\$(}; kind=${kind%%.*}; id=${ref#*.}; id=${id%)}
  grep -q "<$kind id=\"$id\">" "$adml" || fault "the ADML has no $kind \"$id\""
done
# The template's numbers are the service's defaults: {"name", SVC_DWORD, min, max, default}.
reg="$root/scripts/release/nxsvc.reg"
for n in $names; do grep -q "^\"$n\"=" "$reg" || fault "nxsvc.reg has no \"$n\""; done
defaults=$(grep -o '{"[a-z]*", *SVC_DWORD[^}]*}' <<<"$table" |
           sed -n 's/{"\([a-z]*\)", *SVC_DWORD, *[0-9]*, *[0-9]*, *\([0-9]*\)}/\1 \2/p')
[ "$(grep -c . <<<"$defaults")" -eq "$(grep -o 'SVC_DWORD' <<<"$table" | wc -l)" ] ||
  fault "a number in common/service_contract.h has no default"
while read -r n v; do
  want=$(printf 'dword:%08x' "$v")
  grep -qi "^\"$n\"=$want" "$reg" || fault "nxsvc.reg: \"$n\" is not $want, the default of common/service_contract.h ($v)"
  # A number box in the policy editor starts at the default, and its help says it.
  if grep -q "<decimalTextBox refId=\"$n\"" "$adml"; then
    grep -q "<decimalTextBox refId=\"$n\" defaultValue=\"$v\"" "$adml" ||
      fault "the ADML's box for \"$n\" does not start at $v, the default of common/service_contract.h"
    sed -n "/<string id=\"${n}_Help\">/,/<\/string>/p" "$adml" | grep -q "absent: $v\b" ||
      fault "the ADML's help for \"$n\" does not say \"absent: $v\""
  fi
  # The administrator's guide lists each property's default where it is a number.
  row=$(grep -m1 "^  $(tr a-z A-Z <<<"$n") " "$root/docs/ADMIN.txt")
  if [[ $row =~ ^\ \ [A-Z]+\ +([0-9]+) ]] && [ "${BASH_REMATCH[1]}" != "$v" ]; then
    fault "docs/ADMIN.txt gives \"$n\" the default ${BASH_REMATCH[1]}, common/service_contract.h $v"
  fi
done <<<"$defaults"
echo "check-admx: $(echo $names | wc -w) settings, $faults faults"
[ $faults -eq 0 ]
