#!/usr/bin/env bash
# End to end: the setup program installs Vespra silently, an update over the running
# installation keeps the settings, and the silent uninstaller refuses while the
# scheduler runs or a password is set and removes everything once it may.
#
# The service and the scheduler it starts run in a prefix and a Wine session of
# their own, apart from the test programs'.
#
#   setup_end_to_end.sh <vespra-setup.exe> <setup_probe_tool.exe> <window_driver_tool.exe>
#                       <programs folder>
#
# The programs folder holds the build the setup must choose for this prefix: the x64
# programs in a 64-bit prefix, the x86 ones in a 32-bit prefix.
# Exit status 0 when every check passed. Bounded: every step has a time-out, and
# the whole test 250 s, below CTest's 300 s; it takes a minute or two, half of it
# making the prefix.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
. "$here/../../scripts/wine-session.sh"

[ $# -eq 4 ] ||
    vespra_die "usage: setup_end_to_end.sh <vespra-setup.exe> <setup_probe_tool.exe> <window_driver_tool.exe> <programs folder>"
setup=$1
probe=$2
driver=$3
build=$4
help_src="$here/../../help"
version=$(basename "$setup" .exe)
version=${version#vespra-setup-}

# The checks run in a child shell under `timeout`; this shell made the prefix and
# the display, and ends whatever the child left, however it ended.
[ -n "${VESPRA_E2E_CHILD:-}" ] || vespra_e2e_parent setup 250 "${BASH_SOURCE[0]}" "$@"
# shellcheck source=tests/wine/e2e_checks.sh
. "$here/e2e_checks.sh"

menu_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Vespra'
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vespra"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vespra'
runservices_key='HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices'

ours=(vespra.exe vesprasv.exe vesprasi.exe uninstall.exe un.exe)
nothing_of_ours_runs() { ! present running "${ours[@]}"; }

# The installation as the setup leaves it, whatever the scheduler does.
check_installed() {
    local what=$1 f name
    for f in vespra.exe vesprasv.exe vesprasi.exe; do
        cmp -s "$build/$f" "$instdir/$f" || fail "$what: $instdir_win\\$f is not the built $f"
    done
    [ -f "$instdir/uninstall.exe" ] || fail "$what: no uninstall.exe"
    for f in "$help_src"/*.html "$help_src"/*.css; do
        name=$(basename "$f")
        cmp -s "$f" "$instdir/help/$name" || fail "$what: help\\$name is missing or differs"
    done
    for f in vespra.admx en-US/vespra.adml; do
        cmp -s "$here/../../packaging/policy/$f" "$instdir/policy/$f" || fail "$what: policy/$f is missing or differs"
    done

    probe service >"$work/service" || fail "$what: no service \"Vespra\""
    grep -qxF 'path="c:\program files\vespra\vesprasv.exe"' "$work/service" ||
        fail "$what: service program: $(grep '^path=' "$work/service")"
    grep -qx 'start=2' "$work/service" || fail "$what: the service is not started automatically"
    grep -qx 'type=272' "$work/service" || fail "$what: service type: $(grep '^type=' "$work/service")"

    check_shortcut "$what" "Vespra Settings" "$instdir_win\\vespra.exe" "/settings"
    check_shortcut "$what" "Vespra Function Test" "$instdir_win\\vespra.exe" "/test"
    check_shortcut "$what" "Vespra Help" "$instdir_win\\help\\index.html" ""
    check_shortcut "$what" "Uninstall Vespra" "$instdir_win\\uninstall.exe" ""

    check_value "$what" "$uninstall_key" DisplayName "Vespra"
    check_value "$what" "$uninstall_key" DisplayVersion "$version"
    check_value "$what" "$uninstall_key" Publisher "The Vespra Project"
    check_value "$what" "$uninstall_key" DisplayIcon "$instdir_win\\vespra.exe,0"
    check_value "$what" "$uninstall_key" InstallLocation "$instdir_win"
    check_value "$what" "$uninstall_key" UninstallString "\"$instdir_win\\uninstall.exe\""
    check_value "$what" "$uninstall_key" QuietUninstallString "\"$instdir_win\\uninstall.exe\" /S"
    check_value "$what" "$uninstall_key" NoModify 0x1
    check_value "$what" "$uninstall_key" NoRepair 0x1
    local size
    size=$(reg_value "$uninstall_key" EstimatedSize)
    [ -n "$size" ] && [ $((size)) -ge 100 ] || fail "$what: EstimatedSize \"$size\""
}

# The uninstaller's copy of itself waits for vespra.exe, which shows its refusal.
# The silent uninstaller asks vespra.exe " /uninstall /quiet": no window, and it ends
# by itself within 30 s with a non-zero code.
refused_uninstall() {
    local what=$1 text=$2 rc
    probe run-uninstaller "$instdir_win\\uninstall.exe" 30000 >"$work/uninstall.out" ||
        fail "$what: the uninstaller's run failed (probe exit $?): $(cat "$work/uninstall.out")"
    grep -qx 'exit=0' "$work/uninstall.out" && fail "$what: the uninstaller ended with 0"
    grep -q '^exit=' "$work/uninstall.out" || fail "$what: $(cat "$work/uninstall.out")"
    probe dismiss-box Vespra "$text" 2000 >"$work/box"
    rc=$?
    [ "$rc" = 0 ] && fail "$what: a message \"$text\" was shown"
    [ "$rc" = 1 ] || fail "$what: no answer from the probe (exit $rc): $(cat "$work/box")"
    [ "$(reg_value "$settings_key" lock)" = "$lock" ] || fail "$what: the password went"
    check_installed "$what"
    echo "$what: refused without a window, $(cat "$work/uninstall.out"); all still there"
}

# 0. A folder that holds other files is never made the service's: refused, untouched.
mkdir -p "$prefix/drive_c/Occupied"
echo notes >"$prefix/drive_c/Occupied/notes.txt"
win 120 "$setup" /S '/D=C:\Occupied' >/dev/null
rc=$?
[ "$rc" = 2 ] || fail "occupied folder: setup /S ended with $rc"
[ "$(ls "$prefix/drive_c/Occupied")" = notes.txt ] || fail "occupied folder: files were copied"
present service && fail "occupied folder: a service was installed"
echo "occupied folder: refused, nothing copied"

# 0b. A folder under one that everyone may change (Wine keeps a folder's DACL as its
#     Unix mode): refused before anything is copied, with the same exit code.
mkdir -p "$prefix/drive_c/Open" && chmod 777 "$prefix/drive_c/Open"
win 120 "$setup" /S '/D=C:\Open\Vespra' >/dev/null
rc=$?
[ "$rc" = 2 ] || fail "folder under a world-writable one: setup /S ended with $rc"
[ -z "$(ls -A "$prefix/drive_c/Open")" ] || fail "folder under a world-writable one: files were copied"
present service && fail "folder under a world-writable one: a service was installed"
echo "folder under a world-writable one: refused, nothing copied"

# 1. A silent installation on a machine without Vespra.
win 120 "$setup" /S >/dev/null
rc=$?
[ "$rc" = 0 ] || fail "setup /S ended with $rc"
check_installed "install"
within 30 service_state_is 4 || fail "install: the service is not running: $(probe service)"
within 30 scheduler_runs || fail "install: the service did not start the scheduler"
# The scheduler, on its defaults, starts itself at every log-on.
within 30 present value "$run_key" Vespra || fail "install: no Run entry"
for title in VESPRASV.EXE "Vespra service installer"; do
    present window "$title" 1000 && fail "install: a message \"$title\" is shown"
done
echo "install: files, service (running the scheduler), shortcuts and Add/Remove entry in place"

# 2. An update over the running installation keeps its settings and its password,
#    which an older version stored scrambled: the update leaves only its hash.
probe password Secret7 || fail "could not set the password"
lock=$(reg_value "$settings_key" lock)
[ -n "$lock" ] && [ "$lock" != Secret7 ] || fail "the password is not stored scrambled: \"$lock\""
times=$(reg_value "$settings_key" times)
win 120 "$setup" /S >/dev/null
rc=$?
[ "$rc" = 0 ] || fail "update: setup /S ended with $rc"
check_installed "update"
[ -z "$(reg_value "$settings_key" lock)" ] || fail "update: \"lock\" still holds the old form"
present value "$settings_key" lock_hash || fail "update: no \"lock_hash\""
lock=""
[ "$(reg_value "$settings_key" times)" = "$times" ] || fail "update: the times changed"
within 30 service_state_is 4 || fail "update: the service is not running: $(probe service)"
within 30 scheduler_runs || fail "update: the scheduler was not started again"
[ "$(probe running vespra.exe | grep -cx vespra.exe)" = 1 ] || fail "update: not exactly one scheduler"
present window "Vespra service installer" 1000 &&
    fail "update: the service installer shows a message"
echo "update: settings kept, the password only as its hash, one service, the scheduler runs again"

# 3. The uninstaller refuses while the scheduler runs, then, with it stopped, while
#    the password is set.
refused_uninstall "uninstall while active" "Can't uninstall while Vespra is active."
win 60 "$instdir_win\\vesprasi.exe" /stop >/dev/null
within 30 service_state_is 1 || fail "vesprasi /stop: the service did not stop"
within 30 no_scheduler || fail "vesprasi /stop: the scheduler still runs"
refused_uninstall "uninstall with a password" \
    "Can't uninstall while Vespra is password protected."

# 4. Without a password and with the scheduler stopped, everything goes.
probe password "" || fail "could not clear the password"
probe run-uninstaller "$instdir_win\\uninstall.exe" 45000 >"$work/uninstall.out" ||
    fail "uninstall: $(cat "$work/uninstall.out")"
grep -qx 'exit=0' "$work/uninstall.out" || fail "uninstall: $(cat "$work/uninstall.out")"
[ -e "$instdir" ] && fail "uninstall: left $(find "$instdir" | tr '\n' ' ')"
present service && fail "uninstall: the service is still there"
[ -e "$menu" ] && fail "uninstall: the Start-menu folder is still there"
present key "$uninstall_key" && fail "uninstall: the Add/Remove Programs entry is still there"
present key "$settings_key" && fail "uninstall: the settings key is still there"
present value "$run_key" Vespra && fail "uninstall: the Run entry is still there"
present value "$runservices_key" Vespra && fail "uninstall: the RunServices entry is still there"
within 10 nothing_of_ours_runs ||
    fail "uninstall: still running: $(probe running "${ours[@]}" | tail -n +2 | tr '\n' ' ')"
echo "uninstall: files, service, shortcuts, entries and settings gone; nothing of ours runs"

echo "PASS: installed, updated, refused twice, uninstalled"
