#!/usr/bin/env bash
# Runs a 32-bit Windows program with the 32-bit Wine of the emulated i386 tree
# (scripts/i386-tree.sh), for machines whose kernel can't start 32-bit programs:
#
#   WINEPREFIX=PREFIX wine-i386.sh PROGRAM.exe [ARGS...]     same as `wine PROGRAM ARGS`
#   wine-i386.sh --tool wineserver|wineboot|winepath [ARGS...]   Wine's own tools
#
# The program runs through a private namespace in which i386 programs go to
# qemu-i386. Bound into the tree at their own paths: /tmp (the X display's socket,
# Wine's server sockets, our prefixes), TMPDIR, the repository (the builds), the
# current folder, the prefix, and the folders in VESPRA_I386_BIND (colon-separated).
# DISPLAY, WINEPREFIX and the other Wine settings pass through unchanged. Exits with
# the program's exit status. bin/ of the tree holds wine, wineserver, wineboot and
# winepath that call this, so the x86 tests run their scripts unchanged with bin/
# on PATH.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/i386-tree.sh
. "$here/i386-tree.sh"

tool=wine
if [ "${1:-}" = "--tool" ]; then
    tool=${2:-}
    shift 2
fi
vespra_i386_ready || {
    echo "wine-i386.sh: the i386 tree is not ready ($VESPRA_I386_DIR): run scripts/setup.sh" >&2
    exit 127
}

# The tree's own binaries, not its /usr/bin scripts: each script is one more
# emulated process start.
case "$tool" in
wine) command=(/usr/lib/wine/wine) ;;
wineserver) command=(/usr/lib/wine/wineserver32) ;;
wineboot) command=(/usr/lib/wine/wine wineboot.exe) ;;
winepath) command=(/usr/lib/wine/wine winepath.exe) ;;
*)
    echo "wine-i386.sh: unknown tool '$tool'" >&2
    exit 2
    ;;
esac

binds=()
add_bind() {
    local dir=$1 b
    [ -n "$dir" ] && [ -d "$dir" ] || return 0
    dir=$(cd "$dir" && pwd -P) || return 0
    case "$dir" in / | /proc* | /dev* | /sys* | /tmp) return 0 ;; esac
    # Inside a folder bound already: nothing to add.
    for b in "${binds[@]}"; do
        case "$dir/" in "$b/"*) return 0 ;; esac
    done
    binds+=("$dir")
}
add_bind "$vespra_i386_repo"
add_bind "${TMPDIR:-}"
add_bind "$PWD"
add_bind "${WINEPREFIX:-}"
IFS=: read -r -a extra <<<"${VESPRA_I386_BIND:-}"
for dir in "${extra[@]}"; do add_bind "$dir"; done

args=()
for dir in "${binds[@]}"; do args+=(--bind "$dir"); done
vespra_i386_run "${args[@]}" -- "${command[@]}" "$@"
