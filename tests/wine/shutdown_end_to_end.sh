#!/usr/bin/env bash
# End to end: the real vespra.exe warns and then shuts a Wine session down at the
# time set, from a real start with " /service".
#
# Wine's ExitWindowsEx ends every process of its session, so the scheduler runs in
# a prefix of its own with its own wineserver, apart from the test programs'. The
# log and the registry are read after that session has gone.
#
#   shutdown_end_to_end.sh <vespra.exe> <window_driver_tool.exe>
#
# Exit status 0 when every check passed. Bounded: never runs longer than about
# five minutes.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
. "$here/../../scripts/wine-session.sh"

[ $# -eq 2 ] || vespra_die "usage: shutdown_end_to_end.sh <vespra.exe> <window_driver_tool.exe>"
exe=$1
driver=$2

fail() {
    echo "FAIL: $*"
    [ -f "${prefix:-/nonexistent}/drive_c/vespra.log" ] && sed 's/^/  log: /' "$prefix/drive_c/vespra.log"
    exit 1
}

own_xvfb=0
if [ -z "${DISPLAY:-}" ]; then
    vespra_start_xvfb
    own_xvfb=1
fi
template=${WINEPREFIX:-}
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vespra-e2e-prefix.XXXXXX")
work=$(mktemp -d "${TMPDIR:-/tmp}/vespra-e2e-work.XXXXXX")
cleanup() {
    vespra_end_wine "$prefix"
    rm -rf "$prefix" "$work"
    [ "$own_xvfb" = 1 ] && vespra_stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A copy of the test run's prefix is much quicker than a new one; nothing runs in
# it between two test programs.
if [ -n "$template" ] && [ -f "$template/.vespra-ready" ]; then
    cp -a "$template/." "$prefix/" || fail "could not copy the prefix $template"
fi
vespra_ensure_prefix "$prefix"
export WINEPREFIX="$prefix"

# Every day at the shut-down minute S, 75 to 135 s from now, with a 1-minute
# warning, a 1-second countdown and the log on.
now=$(date +%s)
shutdown_at=$(((now + 75 + 59) / 60 * 60))
hm=$(date -d "@$shutdown_at" +%-H:%M)
times="$hm $hm $hm $hm $hm $hm $hm"
cat >"$work/settings.reg" <<EOF
REGEDIT4

[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vespra]

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vespra]
"version"="4.0"
"status"=dword:00000001
"restart"=dword:00000000
"days"="1 1 1 1 1 1 1"
"times"="$times"
"welcome"=dword:00000001
"welcometime"=dword:00000001
"showwarning"=dword:00000001
"warningminutes"=dword:00000001
"limit"=dword:00000000
"logfile"=dword:00000001
EOF
rm -f "$prefix/drive_c/vespra.log"
timeout 60 wine regedit /S "$(winepath -w "$work/settings.reg" 2>/dev/null)" </dev/null \
    >"$work/regedit.out" 2>&1 || fail "regedit could not import the settings"
echo "shut-down time $hm (in $((shutdown_at - now)) s)"

timeout --kill-after=5 $((shutdown_at - now + 120)) wine "$exe" /service </dev/null \
    >"$work/vespra.out" 2>&1 &
vespra_pid=$!

# 1. The warning, in control 1001 of the shown dialog, before the shut-down time.
warning="This computer will shut down in 1 minutes, at "
wait_ms=$(((shutdown_at - $(date +%s)) * 1000))
[ "$wait_ms" -gt 0 ] || fail "the warning minute passed before the scheduler started"
timeout 200 wine "$driver" wait-text Vespra 1001 "$warning" "$wait_ms" </dev/null \
    >"$work/warning.out" 2>&1 || fail "no warning shown; last output: $(cat "$work/warning.out")"
grep -qF "Please save your work now." "$work/warning.out" || fail "warning text: $(cat "$work/warning.out")"
echo "warning shown at $(date +%T)"

# 2. The shut-down: Windows ends the scheduler and the whole session.
wait "$vespra_pid"
rc=$?
[ "$rc" = 124 ] || [ "$rc" = 137 ] && fail "the scheduler was still running 2 minutes after $hm"
ended=$(date +%s)
[ "$ended" -ge "$shutdown_at" ] || fail "the session ended at $(date -d "@$ended" +%T), before $hm"
# Until the server is gone the registry may not be on disk yet.
timeout 60 wineserver -w </dev/null >/dev/null 2>&1

log="$prefix/drive_c/vespra.log"
[ -f "$log" ] || fail "no log file c:\\vespra.log"
warn_line=$(grep -n 'Showing warning' "$log" | head -n 1 | cut -d: -f1)
polite_line=$(grep -n 'Shutting down system (polite)' "$log" | head -n 1 | cut -d: -f1)
[ -n "$warn_line" ] || fail "no \"Showing warning\" in the log"
[ -n "$polite_line" ] || fail "no \"Shutting down system (polite)\" in the log"
[ "$warn_line" -lt "$polite_line" ] || fail "the warning was logged after the shut-down request"
polite_hm=$(sed -n "${polite_line}p" "$log" | cut -d' ' -f2 | cut -c1-5)
[ "$polite_hm" = "$(date -d "@$shutdown_at" +%H:%M)" ] ||
    fail "the polite request was logged at $polite_hm, not in the minute $hm"

# 3. The last shut-down time in the registry: local wall-clock time as a FILETIME.
section=$(sed -n '/^\[Software\\\\Vespra\]/,/^\[/p' "$prefix/system.reg")
lo=$(sed -n 's/^"lastshutdowntime_lo"=dword:\([0-9a-f]*\)$/\1/p' <<<"$section")
hi=$(sed -n 's/^"lastshutdowntime_hi"=dword:\([0-9a-f]*\)$/\1/p' <<<"$section")
[ -n "$lo" ] && [ -n "$hi" ] || fail "no lastshutdowntime values in the registry"
filetime=$(((16#$hi << 32) | 16#$lo))
wall=$((filetime / 10000000 - 11644473600))
recorded=$(date -u -d "@$wall" +%H:%M)
[ "$recorded" = "$(date -d "@$shutdown_at" +%H:%M)" ] ||
    fail "the last shut-down time reads $recorded, not $hm"

echo "PASS: warned, then shut down at $hm; log and registry agree"
