# shellcheck shell=bash
# The checks the set-up end-to-end scripts share. Source it in the child shell, with
# $work (the work folder), $prefix and $probe (setup_probe_tool.exe) set.

# The installed scheduler runs on its defaults: shut down at 23:00 on weekdays, with
# a warning minutes before. A zone of a fixed offset puts the session's clock near
# 11:00 whenever the test runs, far from that.
utc_hour=$(date -u +%-H)
offset=$(((11 - utc_hour + 36) % 24 - 12))
export TZ="VSP$((-offset))"

# A new prefix, not a copy of the test run's: other tests register a service
# "Vespra" and settings there, and these start on a machine that has neither.
vespra_ensure_prefix "$prefix"
export WINEPREFIX="$prefix"

# shellcheck disable=SC2034 # used by the scripts that source this
{
    instdir_win='C:\Program Files\Vespra'
    instdir="$prefix/drive_c/Program Files/Vespra"
    settings_key='HKLM\Software\Vespra'
    run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
}

fail() {
    echo "FAIL: $*"
    [ -s "$work/stderr" ] && tail -n 20 "$work/stderr" | sed 's/^/  stderr: /'
    exit 1
}

# A Windows program, bounded, its output without CRs. The output goes through a
# file: the programs it starts inherit its descriptors and would hold a pipe open.
win() {
    local limit=$1 out rc
    shift
    out=$(mktemp "$work/out.XXXXXX")
    timeout --kill-after=5 "$limit" wine "$@" </dev/null >"$out" 2>>"$work/stderr"
    rc=$?
    tr -d '\r' <"$out"
    rm -f "$out"
    return "$rc"
}
probe() { win 60 "$probe" "$@"; }
# Asks the probe whether something is there: true for "present", false for
# "absent". Any other outcome (the probe failed, timed out or said "error") fails
# the test, so a check that something is gone can't pass because nothing answered.
present() {
    local out rc
    out=$(probe "$@")
    rc=$?
    case "$rc:${out%%$'\n'*}" in
    0:present) return 0 ;;
    1:absent) return 1 ;;
    esac
    fail "no answer from the probe to \"$*\" (exit $rc): $out"
}
# One value of a key as "reg query" shows it: the data after the type.
reg_value() {
    win 30 reg query "$1" /v "$2" | sed -n "s/^ *$2 \{2,\}REG_[A-Z_]* \{2,\}//p"
}
# Polls a command for up to $1 seconds.
within() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.25
    done
}
scheduler_runs() { present running vespra.exe; }
no_scheduler() { ! present running vespra.exe; }
service_state_is() { probe service | grep -qx "state=$1"; }

# A shortcut in the Start-menu folder $menu_win: its target and arguments.
check_shortcut() {
    local what=$1 name=$2 target=$3 arguments=$4 got
    got=$(probe shortcut "$menu_win\\$name.lnk") || fail "$what: no shortcut \"$name\""
    [ "$got" = "target=$target"$'\n'"arguments=$arguments" ] ||
        fail "$what: shortcut \"$name\" is: $got"
}

check_value() {
    local got
    got=$(reg_value "$2" "$3")
    [ "$got" = "$4" ] || fail "$1: $3 under $2 is \"$got\", not \"$4\""
}
