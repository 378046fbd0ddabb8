#!/usr/bin/env bash
# check_events.sh <bin folder>
# The service's events as Wine shows them: ReportEvent prints its insertion
# strings on the eventlog debug channel (error events on err, warnings on
# warn, the rest on trace). One task (/once) over a list of one package
# whose script fails with 1603: the failed package with its code, and the
# task's summary. (Nothing is installed, so no console is started.)
. "$(dirname "$0")/prelude.sh" "$1"
reg add "$key" /v uncp /t REG_SZ /d '\\demo\packages' /f
reg add "$key" /v ndrv /t REG_SZ /d 'Y:' /f
reg add "$key" /v tmax /t REG_DWORD /d 60 /f
reg delete "$key\\Packages" /f
reg add "$key\\Packages" /v seen /t REG_SZ /d 0 /f
mkdir -p "$NX_SHARE_Y/pkg/T/Ev1603/1.0"
printf '@echo off\r\nexit /b 1603\r\n' >"$NX_SHARE_Y/pkg/T/Ev1603/1.0/Install.cmd"
list="$WINEPREFIX/drive_c/users/Public/nxsvc.ini"
printf '[T Ev1603]\r\ncomp=T\r\nname=Ev1603\r\npath=Y:\\pkg\\T\\Ev1603\\1.0\\Install.cmd\r\nvers=1.0\r\n\r\n' >"$list"
# Into a file: a process the service starts keeps the stream open.
err="$NX_STATE/events.txt"
(cd "$bin" && WINEDEBUG=err+eventlog,warn+eventlog,trace+eventlog timeout 90 wine nxsvc.exe /once /norestart </dev/null >/dev/null 2>"$err")
rc=$?
out="$(cat "$err")"
rm -f "$list"
rm -rf "$NX_SHARE_Y/pkg/T/Ev1603"
reg delete "$key\\Packages" /f
[ "$rc" = 0 ] || fail "nxsvc /once: $rc"
for want in 'err:eventlog:ReportEventW L"Y:\\pkg\\T\\Ev1603\\1.0\\Install.cmd"' \
            'err:eventlog:ReportEventW L"code 1603"' \
            'trace:eventlog:ReportEventW L"0 installed, 1 failed, 0 skipped, 0 waiting, 0 refused"'; do
  grep -qF "$want" <<<"$out" || fail "no event: $want"$'\n'"$out"
done
echo "events: OK"
