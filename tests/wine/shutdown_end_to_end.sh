#!/usr/bin/env bash
# End to end: the real vespra.exe warns and then shuts a Wine session down at the
# time set, from a real start with " /service", and reports it to the Event Log.
#
# Wine's ExitWindowsEx ends every process of its session, so the scheduler runs in
# a prefix of its own with its own wineserver, apart from the test programs'. The
# log and the registry are read after that session has gone.
#
#   shutdown_end_to_end.sh <vespra.exe> <window_driver_tool.exe>
#
# Exit status 0 when every check passed. Bounded: the whole test 380 s, below
# CTest's 420 s; it takes about four minutes.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
. "$here/../../scripts/wine-session.sh"
# shellcheck source=tests/wine/settings_reg.sh
. "$here/settings_reg.sh"

[ $# -eq 2 ] || vespra_die "usage: shutdown_end_to_end.sh <vespra.exe> <window_driver_tool.exe>"
exe=$1
driver=$2

# The checks run in a child shell under `timeout`; this shell made the prefix and
# the display, and ends whatever the child left, however it ended.
[ -n "${VESPRA_E2E_CHILD:-}" ] || vespra_e2e_parent e2e 380 "${BASH_SOURCE[0]}" "$@"

log="$prefix/drive_c/vespra.log"
fail() {
    echo "FAIL: $*"
    [ -f "$log" ] && sed 's/^/  log: /' "$log"
    exit 1
}

# A copy of the test run's prefix is much quicker than a new one; nothing runs in
# it between two test programs.
if [ -n "$template" ] && [ -f "$template/.vespra-ready" ]; then
    cp -a "$template/." "$prefix/" || fail "could not copy the prefix $template"
fi
vespra_ensure_prefix "$prefix"
export WINEPREFIX="$prefix"

# Every day at the shut-down minute, 120 to 179 s from now, with a 1-minute
# warning, a 1-second countdown and the log on. That leaves the scheduler a
# minute or more to start before the warning minute, on any second of the minute
# and a loaded machine; the log shows below that it did.
now=$(date +%s)
shutdown_at=$(((now + 120 + 59) / 60 * 60))
warn_at=$((shutdown_at - 60))
hm=$(date -d "@$shutdown_at" +%-H:%M)
settings_reg "$work/settings.reg" "$hm" 1
cat >>"$work/settings.reg" <<EOF

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vespra]
"EventMessageFile"="C:\\\\vespra.exe"
"TypesSupported"=dword:00000007
EOF
rm -f "$log"
timeout 60 wine regedit /S "$(winepath -w "$work/settings.reg" 2>/dev/null)" </dev/null \
    >"$work/regedit.out" 2>&1 || fail "regedit could not import the settings"
echo "shut-down time $hm (in $((shutdown_at - now)) s)"

# A witness: a program of the user's with a window, in the same session. That it
# ends too shows the session ended, not only the scheduler.
wine notepad </dev/null >/dev/null 2>&1 &
witness_pid=$!
alive() { [ -r "/proc/$1/stat" ] && [ "$(cut -d' ' -f3 "/proc/$1/stat")" != Z ]; }
WINEDEBUG=+eventlog,fixme+advapi timeout --kill-after=5 $((shutdown_at - now + 120)) \
    wine "$exe" /service </dev/null >"$work/vespra.out" 2>&1 &
vespra_pid=$!

# 1. The warning, in control 1001 of the shown dialog, before the shut-down time.
warning="This computer will shut down in 1 minutes, at "
wait_ms=$(((shutdown_at - $(date +%s)) * 1000))
[ "$wait_ms" -gt 0 ] || fail "the shut-down minute came before the scheduler was started"
timeout 250 wine "$driver" wait-text Vespra 1001 "$warning" "$wait_ms" </dev/null \
    >"$work/warning.out" 2>&1 || fail "no warning shown; last output: $(cat "$work/warning.out")"
grep -qF "Please save your work now." "$work/warning.out" || fail "warning text: $(cat "$work/warning.out")"
echo "warning shown at $(date +%T)"
alive "$witness_pid" || fail "the witness program is not running"

# 2. The shut-down: Windows ends the scheduler and the whole session, the witness
#    and the server with it.
wait "$vespra_pid"
rc=$?
[ "$rc" = 124 ] || [ "$rc" = 137 ] && fail "the scheduler was still running 2 minutes after $hm"
ended=$(date +%s)
[ "$ended" -ge "$shutdown_at" ] || fail "the scheduler ended at $(date -d "@$ended" +%T), before $hm"
for _ in $(seq 50); do alive "$witness_pid" && sleep 0.1; done
alive "$witness_pid" && fail "the witness program outlived the session"
timeout 60 wineserver -w </dev/null >/dev/null 2>&1 ||
    fail "the Wine session outlived the scheduler by a minute: $(for p in $(vespra_prefix_pids "$prefix"); do tr '\0' ' ' </proc/$p/cmdline; echo; done)"
echo "the session ended at $(date -d "@$ended" +%T)"

# 3. The log: started before the warning minute, warned in it, then asked politely
#    in the shut-down minute.
[ -f "$log" ] || fail "no log file c:\\vespra.log"
# The first line with this text: its number and when it was written, as
# "N YYYY-MM-DD HH:MM:SS" (the log writes "MM/DD/YY HH:MM:SS: text").
logged() {
    grep -n -m1 -F ": $1" "$log" | tr -d '\r' |
        sed -E 's|^([0-9]+):(..)/(..)/(..) (..:..:..): .*|\1 20\4-\2-\3 \5|'
}
# The time of such a line in seconds since the epoch.
seconds_of() { date -d "${1#* }" +%s; }
start=$(logged '>>>>>> Starting main app')
warn=$(logged 'Showing warning')
polite=$(logged 'Shutting down system (polite)')
[ -n "$start" ] || fail "no \"Starting main app\" in the log"
[ -n "$warn" ] || fail "no \"Showing warning\" in the log"
[ -n "$polite" ] || fail "no \"Shutting down system (polite)\" in the log"
# The real counter runs with the clock: no tick took the minutes for a change or a sleep.
[ -z "$(logged 'Time/date change detected')$(logged 'Resumed after')" ] ||
    fail "a tick took the running clock for a clock change or a sleep"
started_at=$(seconds_of "$start")
warned_at=$(seconds_of "$warn")
polite_at=$(seconds_of "$polite")
[ "$started_at" -lt "$warn_at" ] ||
    fail "the scheduler started at $(date -d "@$started_at" +%T), after the warning minute began"
[ "$warned_at" -ge "$warn_at" ] && [ "$warned_at" -lt "$shutdown_at" ] ||
    fail "the warning was logged at $(date -d "@$warned_at" +%T), not in the minute before $hm"
[ "${warn%% *}" -lt "${polite%% *}" ] || fail "the warning was logged after the shut-down request"
[ "$polite_at" -ge "$shutdown_at" ] && [ "$polite_at" -lt $((shutdown_at + 60)) ] ||
    fail "the polite request was logged at $(date -d "@$polite_at" +%T), not in the minute $hm"

# 4. The last shut-down time in the registry: the request's local wall-clock time
#    as a FILETIME.
section=$(sed -n '/^\[Software\\\\Vespra\]/,/^\[/p' "$prefix/system.reg")
lo=$(sed -n 's/^"lastshutdowntime_lo"=dword:\([0-9a-f]*\)$/\1/p' <<<"$section")
hi=$(sed -n 's/^"lastshutdowntime_hi"=dword:\([0-9a-f]*\)$/\1/p' <<<"$section")
[ -n "$lo" ] && [ -n "$hi" ] || fail "no lastshutdowntime values in the registry"
filetime=$(((16#$hi << 32) | 16#$lo))
recorded=$((filetime / 10000000 - 11644473600))
requested=$(TZ=UTC0 seconds_of "$polite")
[ $((recorded - requested)) -ge -1 ] && [ $((recorded - requested)) -le 1 ] ||
    fail "the last shut-down time reads $(date -u -d "@$recorded" '+%F %T'), not the request's"

# 5. The Event Log: the polite request through ReportEventA, as Wine's channels show
#    it: the call with its id on "advapi", each string after it on "eventlog".
requested=$(grep -a -A2 -i "ReportEventW.*,0x400003ed," "$work/vespra.out" | tr -d '\r' |
    sed -n 's/.*eventlog:ReportEventW L"\(.*\)"$/\1/p' | paste -sd'|')
[ "$requested" = "shut down|polite" ] ||
    fail "Event Log entry 1005: \"$requested\"; Wine: $(grep -ai reportevent "$work/vespra.out" | head)"
echo "Event Log entry 1005: $requested"

echo "PASS: started, warned, then shut down the session at $hm; log, registry and Event Log agree"
