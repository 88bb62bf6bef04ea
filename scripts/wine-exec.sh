#!/usr/bin/env bash
# CTest's emulator for the Win32 test programs: runs `wine PROGRAM ARGS...`.
#
# scripts/test.sh exports WINEPREFIX and DISPLAY (its private prefix and Xvfb).
# When they are missing (ctest run by hand), this wrapper makes its own: a prefix
# "wineprefix" in the build directory (the current directory under ctest) and an
# Xvfb for this one program.
#
# Every program runs in a fresh Wine session: afterwards the prefix's wineserver
# is ended, so nothing one test leaves running (a scheduler, a service) can leak
# into the next. Output goes through a file: a Windows program's children inherit
# its descriptors and would keep a pipe to ctest open after it has ended.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
. "$here/wine-session.sh"

[ $# -ge 1 ] || vespra_die "usage: wine-exec.sh PROGRAM.exe [ARGS...]"

own_xvfb=0
if [ -z "${DISPLAY:-}" ]; then
    vespra_start_xvfb
    own_xvfb=1
fi
if [ -z "${WINEPREFIX:-}" ]; then
    [ -f CMakeCache.txt ] ||
        vespra_die "wine-exec.sh: set WINEPREFIX, or run it from the build directory (as ctest does)"
    WINEPREFIX="$PWD/wineprefix"
fi
vespra_ensure_prefix "$WINEPREFIX"

out=$(mktemp "${TMPDIR:-/tmp}/vespra-wine-out.XXXXXX")
cleanup() {
    vespra_end_wine "$WINEPREFIX"
    [ "$own_xvfb" = 1 ] && vespra_stop_xvfb
    rm -f "$out"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Below ctest's own 300 s limit, so a hung program still shows its output.
timeout --kill-after=10 "${VESPRA_WINE_TIMEOUT:-270}" wine "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
[ "$rc" = 124 ] && echo "wine-exec.sh: $1 timed out after ${VESPRA_WINE_TIMEOUT:-270} s"
exit "$rc"
