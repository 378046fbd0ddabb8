#!/usr/bin/env bash
# check_sign.sh <bin folder>
# A signed share under Wine: certificates, manifest and signatures made by
# openssl as an administrator with a Linux share would; one task (/once)
# per row over a saved list of one package, S\Ok. Each row: whether the
# package ran, and the log line that says why.
. "$(dirname "$0")/prelude.sh" "$1"
work="$NX_STATE/sign"; share="$NX_SHARE_Y"; pkg="$share/pkg/S/Ok/1.0"
rm -rf "$work" "$share/pkg/S" && mkdir -p "$work" "$pkg" "$share/cfg" "$share/status"
rm -f "$share"/cfg/*.ini "$share"/status/*.ini
for n in 1 2; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/k$n.pem" -out "$work/c$n.pem" -subj "/CN=nxsign$n" \
    -days 30 -sha256 2>/dev/null || fail "openssl req"
done
# 3: expired in 2021 (openssl ca sets past dates)
(cd "$work" && touch index.txt && echo 01 >serial &&
  printf '[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\ndefault_md=sha256\npolicy=p\n[p]\ncommonName=supplied\n' >ca.cnf &&
  openssl req -new -newkey rsa:2048 -nodes -keyout k3.pem -out r3.csr -subj /CN=nxsign3 &&
  openssl ca -batch -config ca.cnf -selfsign -keyfile k3.pem -in r3.csr -out c3.pem -notext \
    -startdate 20200101000000Z -enddate 20210101000000Z) >/dev/null 2>&1 || fail "openssl ca"
thumb() { openssl x509 -in "$work/c$1.pem" -noout -fingerprint -sha1 | cut -d= -f2 | tr -d :; }
t1="$(thumb 1)" t2="$(thumb 2)" t3="$(thumb 3)"
marker="$WINEPREFIX/drive_c/sign-ran.txt"
list="$WINEPREFIX/drive_c/users/Public/nxsvc.ini"
man="$share/cfg/packages.sha256"
# The package, and an assignment file the manifest covers like any cfg file.
fresh() {
  rm -rf "$pkg"; mkdir -p "$pkg/sub"
  printf '@echo off\r\nif not exist sub\\data.txt exit /b 2\r\necho ran>C:\\sign-ran.txt\r\nexit /b 0\r\n' >"$pkg/Install.cmd"
  printf 'beside\r\n' >"$pkg/beside.txt"; printf 'data\r\n' >"$pkg/sub/data.txt"
  printf 'NOBODY=Nothing\r\n' >"$share/cfg/Assignment.ini"
}
# manifest <sequence>: sha256sum over the sorted file list, as the docs say
manifest() {
  (cd "$share" && { echo "# sequence $1"; find pkg/S cfg -type f -name '*' ! -name 'packages.sha256*' | LC_ALL=C sort |
    xargs -d '\n' sha256sum; }) >"$man"
}
# sign <n> [more openssl arguments]: detached CMS, DER, SHA-256
sign() {
  n="$1"; shift
  openssl cms -sign -binary -md sha256 -outform DER -in "$man" -signer "$work/c$n.pem" -inkey "$work/k$n.pem" \
    -out "$man.p7s" "$@" || fail "openssl cms -sign"
}
# row <what> <sign value> <ran 0/1> <log text> <status text> : runs one task
row() {
  what="$1"; setting="$2"; want_ran="$3"; want_log="$4"; want_status="$5"
  reg add "$key" /v sign /t REG_SZ /d "$setting" /f
  reg delete "$key\\Packages" /f
  reg add "$key\\Packages" /v seen /t REG_SZ /d 0 /f
  printf '[S Ok]\r\ncomp=S\r\nname=Ok\r\npath=Y:\\pkg\\S\\Ok\\1.0\\Install.cmd\r\nvers=1.0\r\n\r\n' >"$list"
  rm -f "$marker" "$share"/status/*.ini
  at=$(stat -c %s "$bin/nxsvc.log" 2>/dev/null || echo 0)
  (cd "$bin" && WINEDEBUG=err+eventlog timeout 120 wine nxsvc.exe /once /norestart </dev/null >/dev/null 2>"$work/events.txt")
  # The console the service starts after an install would outlive the test.
  wine taskkill /f /im nxwin.exe </dev/null >/dev/null 2>&1 || true
  log="$(tail -c +$((at + 1)) "$bin/nxsvc.log")"
  ran=0; [ -f "$marker" ] && ran=1
  [ "$ran" = "$want_ran" ] || fail "$what: ran $ran"$'\n'"$log"
  grep -qF -- "$want_log" <<<"$log" || fail "$what: no log line: $want_log"$'\n'"$log"
  grep -qF -- "$want_status" "$share"/status/*.ini || fail "$what: status lacks $want_status"$'\n'"$(cat "$share"/status/*.ini)"
  if [ "$want_ran" = 0 ] && [ -n "$setting" ]; then
    grep -q 'err:eventlog:ReportEventW' "$work/events.txt" || fail "$what: no error event"
    [ -z "$(ls -A "$bin/pkgcache" 2>/dev/null | grep pkg-)" ] || fail "$what: cache left"
  fi
  echo "$what: OK"
}
reg add "$key" /v uncp /t REG_SZ /d '\\demo\packages' /f
reg add "$key" /v ndrv /t REG_SZ /d 'Y:' /f
reg add "$key" /v tmax /t REG_DWORD /d 60 /f
reg add "$key" /v self /t REG_DWORD /d 1 /f
reg delete "$key" /v sseq /f
M='Sign (\\demo\packages\cfg\packages.sha256)'
fresh; rm -f "$man" "$man.p7s"
# What a run that did not end left in the cache goes at the next start.
mkdir -p "$bin/pkgcache/pkg-99" && echo left >"$bin/pkgcache/pkg-99/Install.cmd"
row "unsigned" "" 1 "$M MSG ... \"sign\" not set: the share is unsigned" "sign=unsigned"
grep -qF "MSG ... left by an earlier run, removed" <<<"$log" || fail "no cache line"$'\n'"$log"
[ ! -e "$bin/pkgcache/pkg-99" ] || fail "the cache of a run that did not end is still there"
fresh; manifest 5; sign 1
row "signed" "$t1" 1 "$M OK ... sequence 5, 4 files, signer ${t1,,}" "sign=signed, sequence 5"
row "two thumbprints (rollover)" "$t2; ${t1,,}" 1 "$M OK ... sequence 5" "sign=signed, sequence 5"
printf 'beside!\r\n' >"$pkg/beside.txt"
row "one changed byte" "$t1" 0 \
  'Install (Y:\pkg\S\Ok\1.0\Install.cmd) pkg\S\Ok\1.0\beside.txt differs from the manifest, not signed, refused: 577' \
  "code=577"
fresh; printf 'x' >"$pkg/sub/added.txt"
row "an added file" "$t1" 0 "pkg\\S\\Ok\\1.0\\sub\\added.txt is not in the manifest, not signed, refused: 577" "stat=refused"
fresh; mv "$pkg/beside.txt" "$pkg/renamed.txt"
row "a renamed file" "$t1" 0 "pkg\\S\\Ok\\1.0\\renamed.txt is not in the manifest, not signed, refused: 577" "stat=refused"
fresh; rm "$pkg/beside.txt"
row "a missing file" "$t1" 0 "1 files of the manifest are not in pkg\\S\\Ok\\1.0, not signed, refused: 577" "stat=refused"
fresh; sign 2
row "another signer" "$t1" 0 "$M the signer's certificate is not one of \"sign\"; nothing runs, failed: 577" \
  "sign=signature refused: the signer's certificate is not one of"
sign 1 -signer "$work/c2.pem" -inkey "$work/k2.pem"
# Wine's decoder refuses a message of two signers outright (87); Windows
# decodes it and the count refuses it ("more than one signer").
row "two signers" "$t1;$t2" 0 "; nothing runs, failed: " "sign=signature refused: "
manifest 4; sign 1
row "a lower sequence" "$t1" 0 "$M sequence 4 is lower than the 5 accepted before; nothing runs, failed: 577" \
  "sign=signature refused: sequence 4"
manifest 6; sign 1; sed -i 's/^# sequence 6$/# sequence 60/' "$man"
row "a changed manifest (signed attributes)" "$t1" 0 \
  "$M the manifest's SHA-256 is not the signed message digest; nothing runs, failed: 577" "sign=signature refused"
manifest 6; sign 1; printf 'not DER' >"$man.p7s"
row "a signature that is not DER" "$t1" 0 "$M the signature is not DER PKCS#7/CMS; nothing runs" "sign=signature refused"
manifest 6; echo 'zz  pkg/S/Ok/1.0/x' >>"$man"; sign 1
row "a malformed line" "$t1" 0 "$M the manifest has a malformed line (line 6); nothing runs, failed: 13" "sign=signature refused"
manifest 7; sign 1; printf 'NOBODY=Else\r\n' >"$share/cfg/Assignment.ini"
row "a changed assignment file" "$t1" 0 \
  'Sign (\\demo\packages\cfg\Assignment.ini) cfg\Assignment.ini differs from the manifest; nothing runs, failed: 577' \
  "sign=signature refused: \\\\demo\\packages\\cfg\\Assignment.ini"
fresh; manifest 8; sign 1
row "signed again after the refusals" "$t1" 1 "$M OK ... sequence 8" "sign=signed, sequence 8"
# The pinned thumbprint is the trust, not the certificate's dates.
fresh; manifest 9; sign 3
row "an expired certificate, pinned" "$t3" 1 "$M OK ... sequence 9, 4 files, signer ${t3,,}" "sign=signed, sequence 9"
reg delete "$key" /v sign /f
reg delete "$key" /v sseq /f
reg delete "$key\\Packages" /f
rm -rf "$share/pkg/S" "$man" "$man.p7s" "$share"/cfg/Assignment.ini "$share"/status/*.ini "$list" "$marker"
echo "sign: OK"
