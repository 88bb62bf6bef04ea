# shellcheck shell=bash
# Shared pieces of run.sh, test.sh and wine-exec.sh: a private X display, a
# project-owned Wine prefix, and ending exactly what we started. Source it; it
# defines functions and exports the Wine settings, nothing more.

# No Mono or Gecko install prompt, no debug chatter, and no menu entries or file
# associations written into the user's home (winemenubuilder).
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

VESPRA_XVFB_PID=""

vespra_die() {
    echo "$*" >&2
    exit 1
}

# Starts Xvfb on a display number the server picks itself (-displayfd), so two
# runs never race for the same number, and exports DISPLAY.
vespra_start_xvfb() {
    command -v Xvfb >/dev/null || vespra_die "Xvfb is missing: run scripts/setup.sh"
    local fdfile num
    fdfile=$(mktemp "${TMPDIR:-/tmp}/vespra-xvfb.XXXXXX")
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$fdfile" </dev/null >/dev/null 2>&1 &
    VESPRA_XVFB_PID=$!
    for _ in $(seq 200); do
        [ -s "$fdfile" ] && break
        kill -0 "$VESPRA_XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    num=$(tr -dc '0-9' <"$fdfile")
    rm -f "$fdfile"
    if [ -z "$num" ]; then
        vespra_stop_xvfb
        vespra_die "Xvfb did not start"
    fi
    export DISPLAY=":$num"
}

vespra_stop_xvfb() {
    [ -n "$VESPRA_XVFB_PID" ] || return 0
    kill "$VESPRA_XVFB_PID" 2>/dev/null
    for _ in $(seq 100); do
        kill -0 "$VESPRA_XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    kill -9 "$VESPRA_XVFB_PID" 2>/dev/null
    wait "$VESPRA_XVFB_PID" 2>/dev/null
    VESPRA_XVFB_PID=""
    return 0
}

# Pids of the Wine processes (server and Windows programs) of the prefix $1: their
# executable lives in Wine's library directory, or is qemu-i386 for those of the
# emulated i386 tree, and WINEPREFIX names the prefix.
vespra_prefix_pids() {
    local want="WINEPREFIX=$1" dir exe
    for dir in /proc/[0-9]*; do
        exe=$(readlink "$dir/exe" 2>/dev/null) || continue
        case "$exe" in
        */lib/wine/* | */qemu-i386) ;;
        *) continue ;;
        esac
        if tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "$want"; then
            echo "${dir#/proc/}"
        fi
    done
}

# Creates the prefix $1 on first use (marker file: a half-made prefix is made again).
vespra_ensure_prefix() {
    local prefix=$1
    export WINEPREFIX="$prefix"
    [ -f "$prefix/.vespra-ready" ] && return 0
    command -v wine >/dev/null || vespra_die "wine is missing: run scripts/setup.sh"
    mkdir -p "$prefix"
    local log
    log=$(mktemp "${TMPDIR:-/tmp}/vespra-wineboot.XXXXXX")
    if ! timeout 300 wineboot --init </dev/null >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        vespra_die "could not create the Wine prefix $prefix"
    fi
    # The installer and the service host see Windows XP, so the service tests get the
    # interactive service and the message boxes of the first world; the tests of
    # today's Windows take these values away.
    local program
    for program in vesprasi.exe vesprasv.exe; do
        timeout 120 wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version \
            /d winxp /f </dev/null >>"$log" 2>&1
    done
    # A prefix made with VESPRA_WINE_VERSION (winxp for the x86 build's runs) shows
    # that Windows to every program.
    if [ -n "${VESPRA_WINE_VERSION:-}" ]; then
        timeout 120 wine reg add "HKCU\\Software\\Wine" /v Version \
            /d "$VESPRA_WINE_VERSION" /f </dev/null >>"$log" 2>&1
    fi
    # wineboot returns before the prefix's registry is written out.
    timeout 120 wineserver -w </dev/null >/dev/null 2>&1
    rm -f "$log"
    [ -f "$prefix/system.reg" ] || vespra_die "the Wine prefix $prefix is incomplete"
    touch "$prefix/.vespra-ready"
}

# True when this machine can run 32-bit Wine: wine32 installed and the kernel able
# to start 32-bit programs (some virtual machines cannot), or else the emulated i386
# tree of scripts/i386-tree.sh made and running. Tried, not assumed.
vespra_wine32_runs() {
    VESPRA_WINE32_EMULATED=0
    if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1; then
        return 0
    fi
    local tree
    tree=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/i386-tree.sh
    # shellcheck source=scripts/i386-tree.sh
    (. "$tree" && vespra_i386_ready) || return 1
    timeout 120 bash "$(dirname "$tree")/wine-i386.sh" --version </dev/null >/dev/null 2>&1 || return 1
    VESPRA_WINE32_EMULATED=1
}

# Makes `wine`, `wineserver` and `wineboot` the 32-bit ones of the emulated tree, when
# vespra_wine32_runs found that tree to be the way; the x86 tests run unchanged.
vespra_use_wine32() {
    [ "${VESPRA_WINE32_EMULATED:-0}" = 1 ] || return 0
    local dir
    dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && . ./i386-tree.sh && echo "$VESPRA_I386_DIR/bin")
    export PATH="$dir:$PATH"
}

# Ends every Wine process of the prefix $1 and nothing else.
vespra_end_wine() {
    local prefix=$1 pids
    [ -d "$prefix" ] || return 0
    WINEPREFIX="$prefix" timeout 20 wineserver -k </dev/null >/dev/null 2>&1
    for _ in $(seq 100); do
        pids=$(vespra_prefix_pids "$prefix")
        [ -z "$pids" ] && return 0
        sleep 0.1
    done
    # A client that lost its server normally dies with it; make sure.
    # shellcheck disable=SC2086
    kill -9 $pids 2>/dev/null
    return 0
}

# The parent half of an end-to-end script: makes a display (when there is none), a
# prefix and a work folder, runs the script again as the child under `timeout`
# with prefix, work and template (the caller's WINEPREFIX, to copy) in its
# environment, ends whatever the child left however it ended, and exits with the
# child's status. $1 names the folders, $2 is the bound in seconds, $3 the script;
# the rest are the script's arguments. Called only where VESPRA_E2E_CHILD is unset.
vespra_e2e_parent() {
    local name=$1 seconds=$2 script=$3 rc
    shift 3
    own_xvfb=0
    if [ -z "${DISPLAY:-}" ]; then
        vespra_start_xvfb
        own_xvfb=1
    fi
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/vespra-$name-prefix.XXXXXX")
    work=$(mktemp -d "${TMPDIR:-/tmp}/vespra-$name-work.XXXXXX")
    vespra_e2e_cleanup() {
        vespra_end_wine "$prefix"
        rm -rf "$prefix" "$work"
        [ "$own_xvfb" = 1 ] && vespra_stop_xvfb
    }
    trap vespra_e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    VESPRA_E2E_CHILD=1 prefix=$prefix work=$work template=${WINEPREFIX:-} \
        timeout --kill-after=5 "$seconds" bash "$script" "$@"
    rc=$?
    [ "$rc" = 124 ] || [ "$rc" = 137 ] && echo "FAIL: the test ran out of its $seconds s"
    exit "$rc"
}
