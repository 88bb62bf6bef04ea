#!/usr/bin/env bash
# End to end: the real service, installed by the real installer, runs the scheduler
# and a user cancels it, sees the warning and gets the polite shut-down request, all
# on the desktop a user sees.
#
#   session_zero_end_to_end.sh session0|interactive|alt-ok <vespra.exe> <vesprasv.exe>
#                              <vesprasi.exe> <agent_probe_tool.exe>
#
# alt-ok: session 0 mode as far as the countdown; then Settings..., the password, and
# OK with Alt held down on the user's keyboard: the scheduler writes the INI file.
# session0: the installer sees a Windows after XP and installs the service as 0x10;
# Wine then runs it on an invisible window station, as session 0 is on Windows 10/11,
# and what the user sees is drawn by the agent the scheduler starts in WinSta0. The
# agent is ended twice and must come back while the schedule holds.
# interactive: the installer sees XP and installs 0x110; the scheduler draws its own
# windows and starts no agent.
#
# The polite request (ExitWindowsEx) ends every program on the user's desktop, so it
# runs in a prefix of its own. Under Wine the forced request does nothing: a program
# of the user's that ends was ended by the polite one. Bounded: 330 s, below CTest's 360 s; it takes about
# four and a half minutes.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
. "$here/../../scripts/wine-session.sh"
# shellcheck source=tests/wine/settings_reg.sh
. "$here/settings_reg.sh"

[ $# -eq 5 ] && { [ "$1" = session0 ] || [ "$1" = interactive ] || [ "$1" = alt-ok ]; } ||
    vespra_die "usage: session_zero_end_to_end.sh session0|interactive|alt-ok <vespra.exe> <vesprasv.exe> <vesprasi.exe> <agent_probe_tool.exe>"
mode=$1
world=$1
[ "$mode" = alt-ok ] && world=session0
probe=$5

[ -n "${VESPRA_E2E_CHILD:-}" ] || vespra_e2e_parent s0 400 "${BASH_SOURCE[0]}" "$@"

log="$prefix/drive_c/vespra.log"
fail() {
    echo "FAIL ($world): $*"
    [ -f "$log" ] && sed 's/^/  log: /' "$log"
    exit 1
}
say() { echo "$(date +%T) $*"; }

if [ -n "$template" ] && [ -f "$template/.vespra-ready" ]; then
    cp -a "$template/." "$prefix/" || fail "could not copy the prefix $template"
fi
vespra_ensure_prefix "$prefix"
export WINEPREFIX="$prefix"
w() { timeout 200 wine "$@" </dev/null 2>>"$work/wine.err"; }
# A program of the user's, the witness, holds the Wine session from here to the
# shut-down: a new session would start the auto-start service by itself.
wine notepad </dev/null >/dev/null 2>&1 &
witness_pid=$!
alive() { [ -r "/proc/$1/stat" ] && [ "$(cut -d' ' -f3 "/proc/$1/stat")" != Z ]; }

# The Windows version the installer sees decides the service type.
if [ "$world" = session0 ]; then
    w reg delete 'HKCU\Software\Wine\AppDefaults\vesprasi.exe' /v Version /f >/dev/null ||
        fail "could not take the installer's Windows version away"
    want_type=0x10
else
    w reg add 'HKCU\Software\Wine\AppDefaults\vesprasi.exe' /v Version /d winxp /f >/dev/null ||
        fail "could not give the installer Windows XP"
    want_type=0x110
fi
dir="$prefix/drive_c/Program Files/Vespra"
mkdir -p "$dir" && cp "$2" "$3" "$4" "$dir/" || fail "could not copy the programs"
installer='C:\Program Files\Vespra\vesprasi.exe'

# Settings: every day at `hm`, a 1-minute warning, the log on, the countdown `wt` s;
# the password "s3cret" unless $3 is "nopass".
settings() {
    local hm=$1 wt=$2
    settings_reg "$work/settings.reg" "$hm" "$wt"
    # Tried three times: while the session's first programs start, Wine now and then
    # fails a regedit (or the winepath before it) that succeeds a moment later.
    local try reg
    for try in 1 2 3; do
        reg=$(winepath -w "$work/settings.reg" 2>/dev/null) && [ -n "$reg" ] &&
            w regedit /S "$reg" && break
        [ "$try" = 3 ] &&
            fail "regedit could not import the settings: $(tail -n 3 "$work/wine.err" | tr '\n' ' ')"
        sleep 1
    done
    [ "${3:-}" = nopass ] || w "$probe" set-password "s3cret" || fail "could not store the password"
}
# Waits (at most $2 s) for a log line with this text.
wait_log() {
    local end=$(($(date +%s) + $2))
    until grep -qF ": $1" "$log" 2>/dev/null; do
        [ "$(date +%s)" -lt "$end" ] || fail "no \"$1\" in the log after $2 s"
        sleep 0.5
    done
}
service_state() { w "$probe" service | tr -d '\r'; }
wait_service() {
    local end=$(($(date +%s) + 30))
    until [ "$(service_state)" = "$want_type $1" ]; do
        [ "$(date +%s)" -lt "$end" ] || fail "the service is \"$(service_state)\", not \"$want_type $1\""
        sleep 0.5
    done
}
# The process ids of our running scheduler ("/service") and agent ("/agent"), and
# the number of windows the scheduler has on this desktop.
procs() { w "$probe" procs | tr -d '\r' >"$work/procs"; }
# The agent's line ends with the scheduler's pipe: a name of the run's own.
pid_of() {
    if [ "$1" = /agent ]; then
        grep -E ' /agent \\\\\.\\pipe\\Vespra-[0-9a-f]{32}$' "$work/procs" | awk '{ print $1 }'
    else
        awk -v m=" $1" 'index($0, m) == length($0) - length(m) + 1 { print $1 }' "$work/procs"
    fi
}
# Waits (at most $4 ms) for a shown window titled $1 whose control $2 begins with
# $3, and checks who draws it: in session0 an agent, child of the scheduler, which
# has no window here; otherwise the scheduler itself with no agent. Sets `owner`
# and `shown` (the control's text); $5 names what is waited for.
seen() {
    local what=$5
    w "$probe" owner "$1" "$2" "$3" "$4" >"$work/owner" || fail "no $what shown on the desktop"
    owner=$(sed -n 1p "$work/owner" | tr -d '\r')
    shown=$(sed -n '2,$p' "$work/owner" | tr -d '\r')
    procs
    scheduler=$(pid_of /service)
    agent=$(pid_of /agent)
    [ -n "$scheduler" ] || fail "no scheduler running: $(cat "$work/procs")"
    if [ "$world" = session0 ]; then
        [ -n "$agent" ] && [ "$owner" = "$agent" ] ||
            fail "the $what belongs to process $owner, not to an agent: $(cat "$work/procs")"
        grep -qx "$agent $scheduler [0-9]* .*" "$work/procs" ||
            fail "the agent is not the scheduler's child: $(cat "$work/procs")"
        grep -qx "$scheduler [0-9]* 0 .*" "$work/procs" ||
            fail "the scheduler has windows on the user's desktop: $(cat "$work/procs")"
    else
        [ -z "$agent" ] || fail "an agent runs in the first world: $(cat "$work/procs")"
        [ "$owner" = "$scheduler" ] ||
            fail "the $what belongs to process $owner, not to the scheduler $scheduler"
    fi
}
countdown="This computer is scheduled to shut down "
# Cancel in the countdown, the password typed into the prompt, OK.
cancel_with() {
    w "$probe" press Vespra 2 5000 || fail "no Cancel in the countdown"
    seen "Enter Password" 1030 "Enter password to cancel Vespra." 10000 "password prompt"
    w "$probe" type "Enter Password" 1024 "$1" 5000 || fail "could not type into the prompt"
    w "$probe" press "Enter Password" 1 5000 || fail "no OK in the password prompt"
}

# 1. Installed as the world wants, started; the countdown on the user's desktop. In
#    session 0 mode first without a password (Settings... below), then with one.
hm_first=$(date -d "+12 hours" +%-H:00)
settings "$hm_first" 60 "$([ "$mode" = session0 ] && echo nopass)"
rm -f "$log"
w "$installer" /install || fail "the installer could not install"
[ "$(service_state)" = "$want_type 1" ] ||
    fail "installed as \"$(service_state)\", not \"$want_type 1\"; $(w reg query 'HKCU\Software\Wine\AppDefaults\vesprasi.exe' 2>&1)"
w "$installer" /start || fail "the installer could not start the service"
begin=$(date +%s)
seen Vespra 1001 "$countdown" 60000 "startup countdown"
grep -qF "seconds left to cancel." <<<"$shown" || fail "countdown text: $shown"
say "countdown shown by process $owner after $(($(date +%s) - begin)) s: $(tr '\n' ' ' <<<"$shown")"

if [ "$mode" = alt-ok ]; then
    # Alt + OK of the settings, pressed in the agent's copy: the Alt key is the user's,
    # in the agent's session, and travels with the click.
    ini="$dir/vespra.ini"
    [ ! -e "$ini" ] || fail "an INI file before the settings were saved"
    w "$probe" press Vespra 1005 5000 || fail "no Settings... in the countdown"
    seen "Enter Password" 1043 "Enter password to access Vespra settings." 10000 "settings prompt"
    w "$probe" type "Enter Password" 1024 s3cret 5000 || fail "could not type into the prompt"
    w "$probe" press "Enter Password" 1 5000 || fail "no OK in the settings prompt"
    seen "Vespra Settings" 1014 "&Shut down" 10000 "settings dialog"
    w "$probe" altpress "Vespra Settings" 1 5000 || fail "no OK in the settings dialog"
    wait_log "Settings written to INI file" 15
    grep -qF "time=$hm_first,$hm_first" "$ini" || fail "the INI file lacks the times: $(cat "$ini")"
    echo "PASS (alt-ok): Alt + OK in the agent's settings wrote $(wc -l <"$ini") lines to the INI file"
    exit 0
fi
if [ "$mode" = session0 ]; then
    # Settings... without a password: the scheduler, which runs as the system, opens
    # none; the agent starts " /settings" as the user, and that start shows them.
    w "$probe" press Vespra 1005 5000 || fail "no Settings... in the countdown"
    w "$probe" owner "Vespra Settings" 1018 "Shut down this computer on" 30000 >"$work/owner" ||
        fail "no settings shown after Settings... without a password"
    procs
    settings_pid=$(pid_of /settings)
    [ -n "$settings_pid" ] && [ "$(sed -n 1p "$work/owner" | tr -d '\r')" = "$settings_pid" ] ||
        fail "the settings are not shown by a \" /settings\" start: $(cat "$work/procs")"
    grep -qx "$settings_pid $(pid_of /agent) [0-9]* .*" "$work/procs" ||
        fail "the settings start is not the agent's child: $(cat "$work/procs")"
    wait_log "Settings started in the user's session" 5
    w "$probe" press "Vespra Settings" 2 5000 || fail "no Cancel in the settings"
    gone=$(($(date +%s) + 10))
    until procs && [ -z "$(pid_of /settings)" ]; do
        [ "$(date +%s)" -lt "$gone" ] || fail "the settings start did not end: $(cat "$work/procs")"
        sleep 0.5
    done
    seen Vespra 1001 "$countdown" 10000 "countdown after Settings..."
    say "Settings... without a password: shown by \" /settings\" start $settings_pid, the agent's child"
    # With a password from here on: the service starts the scheduler again to read it.
    w "$probe" set-password "s3cret" || fail "could not store the password"
    before=$scheduler
    old_agent=$agent
    w "$installer" /restart || fail "the installer could not restart the service"
    gone=$(($(date +%s) + 30))
    # The old agent ends when its scheduler's pipe goes; then only the new one is left
    # (the old one alone, before the new one starts, is not that).
    until procs && [ -n "$(pid_of /service)" ] && [ "$(pid_of /service)" != "$before" ] &&
        ! pid_of /agent | grep -qx "$old_agent" && [ "$(pid_of /agent | wc -l)" = 1 ]; do
        [ "$(date +%s)" -lt "$gone" ] || fail "no new scheduler after the restart: $(cat "$work/procs")"
        sleep 0.5
    done
    seen Vespra 1001 "$countdown" 60000 "startup countdown with a password"
fi

# 2. Cancel with a wrong password changes nothing; with the right one it ends the
#    scheduler and the service.
cancel_with wrong
seen Vespra 1044 "Wrong password; can't cancel." 10000 "wrong-password notice"
w "$probe" press Vespra 1 5000 || fail "no OK in the wrong-password notice"
wait_log "Can't cancel main app - password is wrong" 10
seen Vespra 1001 "$countdown" 10000 "countdown after the wrong password"
[ "$(service_state)" = "$want_type 4" ] || fail "after a wrong password the service is \"$(service_state)\""
cancel_with s3cret
wait_log "Main app canceled by user" 10
wait_service 1
grep -qF ": <<<<<< Exiting main app" "$log" || fail "the scheduler did not end"
# The agent ends when the scheduler's end of the pipe goes.
gone=$(($(date +%s) + 10))
until procs && [ -z "$(pid_of /service)$(pid_of /agent)" ]; do
    [ "$(date +%s)" -lt "$gone" ] || fail "left running after the cancel: $(cat "$work/procs")"
    sleep 0.5
done
say "canceled with the password; the service stopped"

# 3. Started again with the shut-down minute 165 to 224 s ahead: the countdown (the
#    agent ended during it, and again while a password prompt nobody answers waits),
#    the waiting state (the agent ended again), the warning and the polite request.
now=$(date +%s)
shutdown_at=$(((now + 165 + 59) / 60 * 60))
warn_at=$((shutdown_at - 60))
hm=$(date -d "@$shutdown_at" +%-H:%M)
settings "$hm" 30
w "$installer" /start || fail "the installer could not start the service again"
say "started again; shut-down at $hm (in $((shutdown_at - now)) s)"
seen Vespra 1001 "$countdown" 60000 "second startup countdown"
if [ "$world" = session0 ]; then
    # Ending the agent costs the user the view until it is back, nothing else: the
    # countdown shows again, from the same scheduler, in a new agent.
    first=$agent
    before=$scheduler
    w "$probe" kill "$first" || fail "could not end the agent $first"
    killed=$(date +%s)
    until w "$probe" owner Vespra 1001 "$countdown" 1000 >"$work/owner" &&
        [ "$(sed -n 1p "$work/owner" | tr -d '\r')" != "$first" ]; do
        [ $(($(date +%s) - killed)) -le 20 ] || fail "no countdown 20 s after the agent was ended"
    done
    seen Vespra 1001 "$countdown" 1000 "countdown after the agent was ended"
    [ "$scheduler" = "$before" ] || fail "the scheduler changed from $before to $scheduler"
    say "agent $first ended; the countdown is back in agent $agent after $(($(date +%s) - killed)) s"
    # Settings... and a prompt nobody answers, its agent ended: the agent comes back
    # while the prompt waits, and the prompt closes itself.
    w "$probe" press Vespra 1005 5000 || fail "no Settings... in the countdown"
    seen "Enter Password" 1043 "Enter password to access Vespra settings." 10000 "settings prompt"
    first=$agent
    w "$probe" kill "$first" || fail "could not end the agent $first"
    killed=$(date +%s)
    until w "$probe" owner "Enter Password" 1043 "Enter password" 1000 >"$work/owner" &&
        [ "$(sed -n 1p "$work/owner" | tr -d '\r')" != "$first" ]; do
        [ $(($(date +%s) - killed)) -le 15 ] || fail "no agent shows the prompt 15 s after the agent was ended"
    done
    say "agent $first ended at the prompt; the prompt is back after $(($(date +%s) - killed)) s"
    seen Vespra 1001 "$countdown" 40000 "countdown after the prompt closed itself"
    say "the prompt closed itself after $(($(date +%s) - killed)) s; the countdown goes on"
fi
# OK in the countdown: the scheduler waits for its time.
w "$probe" press Vespra 1002 5000 || fail "no OK in the countdown"
if [ "$world" = session0 ]; then
    sleep 1
    first=$agent
    w "$probe" kill "$first" || fail "could not end the agent $first"
    killed=$(date +%s)
    until procs && [ -n "$(pid_of /agent)" ] && [ "$(pid_of /agent)" != "$first" ]; do
        # Found at the next waiting tick, 20 s apart.
        [ $(($(date +%s) - killed)) -le 25 ] || fail "no agent 25 s after the agent was ended"
        sleep 0.5
    done
    say "agent $first ended while waiting; agent $(pid_of /agent) back after $(($(date +%s) - killed)) s"
fi
[ "$(date +%s)" -lt "$warn_at" ] || fail "the warning minute began before the test was ready for it"
wait_ms=$(((shutdown_at - $(date +%s)) * 1000))
seen Vespra 1001 "This computer will shut down in 1 minutes, at " "$wait_ms" "warning"
grep -qF "Please save your work now." <<<"$shown" || fail "warning text: $shown"
say "warning shown by process $owner: $(tr '\n' ' ' <<<"$shown")"
alive "$witness_pid" || fail "the witness program is not running"

# The polite request: Windows ends the programs on the user's desktop, the witness
# with them. Wine's ends only those (the service and a session-0 scheduler live on)
# and its forced request does nothing, so the witness ends by the polite request
# alone: the agent's in session 0 mode, the scheduler's own in the first world.
until ! alive "$witness_pid"; do
    [ "$(date +%s)" -lt $((shutdown_at + 50)) ] || fail "the user's programs outlived the minute $hm"
    sleep 0.2
done
ended=$(date +%s)
[ "$ended" -ge "$shutdown_at" ] || fail "the user's programs ended at $(date -d "@$ended" +%T), before $hm"
say "the user's programs ended"
if [ "$world" = session0 ]; then
    # The agent went with them; the scheduler, which outlives it, starts another at
    # its next tick, and that shows the shut-down going on.
    last=$scheduler
    seen Vespra 1001 "Shutting down..." 30000 "shut-down status after the polite request"
    [ "$scheduler" = "$last" ] || fail "the scheduler changed from $last to $scheduler"
    say "the scheduler goes on; agent $agent shows \"$shown\""
fi

# 4. The log of the second start: the warning in the minute before, then the polite
#    request in the shut-down minute.
# The line number and time ("N YYYY-MM-DD HH:MM:SS") of the last line with this text.
logged() {
    grep -n -F ": $1" "$log" | tail -n1 | tr -d '\r' |
        sed -E 's|^([0-9]+):(..)/(..)/(..) (..:..:..): .*|\1 20\4-\2-\3 \5|'
}
seconds_of() { date -d "${1#* }" +%s; }
warn=$(logged 'Showing warning')
polite=$(logged 'Shutting down system (polite)')
[ -n "$warn" ] || fail "no \"Showing warning\" in the log"
[ -n "$polite" ] || fail "no \"Shutting down system (polite)\" in the log"
warned_at=$(seconds_of "$warn")
polite_at=$(seconds_of "$polite")
[ "$warned_at" -ge "$warn_at" ] && [ "$warned_at" -lt "$shutdown_at" ] ||
    fail "the warning was logged at $(date -d "@$warned_at" +%T), not in the minute before $hm"
[ "${warn%% *}" -lt "${polite%% *}" ] || fail "the warning was logged after the shut-down request"
[ "$polite_at" -ge "$shutdown_at" ] && [ "$polite_at" -lt $((shutdown_at + 60)) ] ||
    fail "the polite request was logged at $(date -d "@$polite_at" +%T), not in the minute $hm"
[ "$polite_at" -le "$ended" ] || fail "the user's programs ended before the polite request"
# The user was there all along: no forced request yet.
! grep -qF "system (forced)" "$log" || fail "a forced request was made"
! grep -qF "No agent for the polite request" "$log" || fail "the polite request found no agent"
! grep -qF "Can't show settings" "$log" || fail "an unanswered prompt counted as a wrong password"
if [ "$world" = session0 ]; then
    grep -qF ": Session 0 mode: showing in the user's session" "$log" || fail "no session 0 mode"
else
    ! grep -qF "Session 0 mode" "$log" || fail "session 0 mode in the first world"
fi
echo "PASS ($world): countdown, cancel with the password, warning and polite request at $hm, on the user's desktop"
