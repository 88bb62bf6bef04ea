#!/usr/bin/env bash
# End to end: the MSI package, through Wine's msiexec, installs Vespra silently with
# its service running, an upgrade to a newer version keeps the settings and the
# password, and the removal is refused while Vespra is active and otherwise takes
# the files, the service and the settings.
#
#   msi_end_to_end.sh <vespra-<version>-x64.msi> <setup_probe_tool.exe> <build folder>
#                     <source folder>
#
# The build folder holds the x64 programs the package carries; the newer version is
# made from them with wixl, as the build makes the package. Bounded: 250 s in all,
# below CTest's 300 s.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
. "$here/../../scripts/wine-session.sh"

[ $# -eq 4 ] ||
    vespra_die "usage: msi_end_to_end.sh <vespra.msi> <setup_probe_tool.exe> <build folder> <source folder>"
msi=$1
probe=$2
build=$3
src=$4

[ -n "${VESPRA_E2E_CHILD:-}" ] || vespra_e2e_parent msi 250 "${BASH_SOURCE[0]}" "$@"
# shellcheck source=tests/wine/e2e_checks.sh
. "$here/e2e_checks.sh"

safeboot_key='HKLM\System\CurrentControlSet\Control\SafeBoot\Minimal\Vespra'

# The newer version: the same package source and programs, the last number raised,
# as a minor update (the installed package's ProductCode, "REINSTALL=ALL
# REINSTALLMODE=vomus"). Wine's msiexec can't run the major upgrade that a new
# ProductCode means: its RemoveExistingProducts removes the old package without
# UPGRADINGPRODUCTCODE, so the old package would take it for a removal.
version=$(basename "$msi" -x64.msi)
version=${version#vespra-}
newer="$work/vespra-${version%.*}.$((${version##*.} + 1))-x64.msi"
product=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
[ -n "$product" ] || fail "no ProductCode in $msi"
# wixl finds no file by an absolute path: it runs in / and is given paths from there.
(cd / && wixl -a x64 -D Version="${version%.*}.$((${version##*.} + 1))" -D Arch=x64 \
    -D ProductCode="$product" -D ProgramsDir="${build#/}" -D HelpDir="${src#/}/help" \
    -D PolicyDir="${src#/}/packaging/policy" -D Icon="${src#/}/resources/vespra.ico" \
    -o "$newer" "$src/packaging/vespra.wxs") >/dev/null 2>>"$work/stderr" ||
    fail "wixl could not make $newer"

msiexec() {
    local action=$1 package
    package=$(winepath -w "$2")
    shift 2
    win 150 msiexec "$action" "$package" /qn "$@"
}

check_installed() {
    local what=$1 f
    for f in vespra.exe vesprasv.exe vesprasi.exe; do
        cmp -s "$build/$f" "$instdir/$f" || fail "$what: $instdir_win\\$f is not the built $f"
    done
    for f in "$src"/help/*.html "$src"/help/*.css "$src"/packaging/policy/vespra.admx \
        "$src"/packaging/policy/en-US/vespra.adml; do
        case "$f" in
        */help/*) cmp -s "$f" "$instdir/help/${f##*/}" ;;
        */en-US/*) cmp -s "$f" "$instdir/policy/en-US/${f##*/}" ;;
        *) cmp -s "$f" "$instdir/policy/${f##*/}" ;;
        esac || fail "$what: ${f#"$src"/} is missing or differs"
    done
    probe service >"$work/service" || fail "$what: no service \"Vespra\""
    grep -qxF 'path="c:\program files\vespra\vesprasv.exe"' "$work/service" ||
        fail "$what: service program: $(grep '^path=' "$work/service")"
    grep -qx 'start=2' "$work/service" || fail "$what: the service is not started automatically"
    present key "$safeboot_key" || fail "$what: no Safe Mode entry"
    check_shortcut "$what" "Vespra Settings" "$instdir_win\\vespra.exe" "/settings"
    check_shortcut "$what" "Vespra Function Test" "$instdir_win\\vespra.exe" "/test"
    check_shortcut "$what" "Vespra Help" "$instdir_win\\help\\index.html" ""
    within 30 service_state_is 4 || fail "$what: the service is not running: $(probe service)"
    within 30 scheduler_runs || fail "$what: the service did not start the scheduler"
    for title in VESPRASV.EXE "Vespra service installer"; do
        present window "$title" 1000 && fail "$what: a message \"$title\" is shown"
    done
}

# 0. A folder under one that everyone may change (Wine keeps a folder's DACL as its
#    Unix mode): the package fails before it installs the service.
mkdir -p "$prefix/drive_c/Open" && chmod 777 "$prefix/drive_c/Open"
msiexec /i "$msi" 'INSTALLDIR=C:\Open\Vespra\' >/dev/null && fail "open folder: msiexec /i succeeded"
present service && fail "open folder: a service was installed"
echo "open folder: refused, no service"

# 1. A silent installation. Windows puts the shortcuts of a per-machine package into
#    the common Start menu; Wine's msiexec into the installing user's.
msiexec /i "$msi" >/dev/null || fail "install: msiexec /i /qn ended with $?"
menu_win="$(win 30 cmd /c echo %APPDATA%)\Microsoft\Windows\Start Menu\Programs\Vespra"
[ -d "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vespra" ] &&
    menu_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Vespra'
menu=$(winepath -u "$menu_win")
check_installed "install"
echo "install: programs, help, policy templates, shortcuts; the service runs the scheduler"

# 2. The update stops and removes the service, replaces the programs, installs and
#    starts the service again and keeps the settings; the password stored in the
#    scrambled form is stored as its hash by then, as the setup's update does.
probe password Secret7 || fail "could not set the password"
win 30 reg add "$settings_key" /v times /d "21:05 21:05 21:05 21:05 21:05 21:05 21:05" /f >/dev/null ||
    fail "could not set the times"
msiexec /i "$newer" REINSTALL=ALL REINSTALLMODE=vomus >/dev/null ||
    fail "upgrade: msiexec /i /qn ended with $?"
check_installed "upgrade"
[ "$(reg_value "$settings_key" times)" = "21:05 21:05 21:05 21:05 21:05 21:05 21:05" ] ||
    fail "upgrade: the times changed: $(reg_value "$settings_key" times)"
present value "$settings_key" lock_hash || fail "upgrade: the password went"
[ -z "$(reg_value "$settings_key" lock)" ] || fail "upgrade: \"lock\" still holds the old form"
[ "$(probe running vespra.exe | grep -cx vespra.exe)" = 1 ] || fail "upgrade: not exactly one scheduler"
echo "upgrade: settings and password kept, the new service runs"

# 3. Refused while the scheduler runs, and with it stopped while the password is set:
#    msiexec fails (1603) and nothing is removed.
for what in "active" "password protected"; do
    msiexec /x "$newer" >/dev/null && fail "uninstall while $what: msiexec /x succeeded"
    [ -f "$instdir/vespra.exe" ] || fail "uninstall while $what: the programs went"
    present value "$settings_key" lock_hash || fail "uninstall while $what: the password went"
    present service || fail "uninstall while $what: the service went"
    echo "uninstall while $what: refused, all still there"
    win 60 "$instdir_win\\vesprasi.exe" /stop >/dev/null
    within 30 service_state_is 1 || fail "vesprasi /stop: the service did not stop"
    within 30 no_scheduler || fail "vesprasi /stop: the scheduler still runs"
done

# 4. Without a password and with the scheduler stopped, everything goes.
probe password "" || fail "could not clear the password"
msiexec /x "$newer" >/dev/null || fail "uninstall: msiexec /x /qn ended with $?"
[ -e "$instdir" ] && fail "uninstall: left $(find "$instdir" | tr '\n' ' ')"
[ -e "$menu" ] && fail "uninstall: the Start-menu folder is still there"
present service && fail "uninstall: the service is still there"
present key "$settings_key" && fail "uninstall: the settings key is still there"
present key "$safeboot_key" && fail "uninstall: the Safe Mode entry is still there"
present value "$run_key" Vespra && fail "uninstall: the Run entry is still there"
echo "PASS: installed, upgraded with the settings kept, refused twice, removed"
