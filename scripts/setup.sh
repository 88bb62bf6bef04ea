#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Vespra need.
# Idempotent: when everything is already there it prints nothing and changes nothing.
set -euo pipefail

packages=(
    # cross build of the Windows programs: x64, and x86 with the win32 thread model
    # (no winpthread, nothing Windows XP lacks)
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686
    # native build and unit tests
    cmake g++ make googletest libgtest-dev
    # running the Windows programs: 64-bit Wine (32-bit Wine below, where it can run),
    # a virtual X display, screenshots
    wine wine64 xvfb xauth imagemagick
    # the setup program (makensis)
    nsis
    # the MSI packages (wixl) and their tables (msiinfo); the policy templates' check
    wixl msitools libxml2-utils
    # time zones for the tests
    tzdata
    # fuzzing
    clang libclang-rt-14-dev
    # benchmarks: instruction counts
    valgrind
    # ps and pgrep, for checking what a run left behind
    procps
)

missing=()
installed=$(dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
# A name with an architecture ("wine32:i386") must match it; a plain name any.
is_installed() {
    local line
    while read -r line; do
        case "$line" in "$1 ii"* | "$1:"*" ii"*) return 0 ;; esac
    done <<<"$installed"
    return 1
}
for p in "${packages[@]}"; do
    is_installed "$p" || missing+=("$p")
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "setup.sh: need root (or sudo) to run: $*" >&2
        exit 1
    fi
}

apt() { as_root env DEBIAN_FRONTEND=noninteractive apt-get -q -o Acquire::Retries=3 "$@"; }

# apt-get update, tried a few times: a mirror caught mid-sync fails one index for a
# while. Then the install goes on with the indexes that did come.
update_indexes() {
    for attempt in 1 2 3; do
        apt update && return 0
        echo "setup.sh: apt-get update failed (attempt $attempt of 3)" >&2
        [ "$attempt" = 3 ] || sleep 10
    done
    return 1
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup.sh: installing ${missing[*]}"
    update_indexes || true
    apt install -y "${missing[@]}"
fi

# 32-bit Wine, for the x86 build's tests in a Windows XP prefix. Only where the
# kernel runs 32-bit programs: some virtual machines can't, and there an installed
# wine32 would take over the "wine" command and fail every run, 64-bit ones too.
# The probe is the smallest 32-bit program: exit(0) through int 0x80.
kernel_runs_i386() {
    local probe rc
    probe=$(mktemp)
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
    chmod +x "$probe"
    rc=0
    "$probe" 2>/dev/null || rc=$?
    rm -f "$probe"
    return "$rc"
}

wine32_installed() {
    [ "$(dpkg-query -W -f='${db:Status-Abbrev}' wine32:i386 2>/dev/null)" = "ii " ]
}

# Where the kernel can't, an emulated i386 tree (scripts/i386-tree.sh) runs 32-bit
# Wine instead, when this machine lets us open a user namespace with a binfmt_misc of
# its own. It takes minutes, so `setup.sh --i386-tree` makes it (the test command
# runs that beside the builds); a plain `setup.sh` installs only what it needs.
# shellcheck source=scripts/i386-tree.sh
. "$(dirname "${BASH_SOURCE[0]}")/i386-tree.sh"
i386_tree=0
[ "${1:-}" = "--i386-tree" ] && i386_tree=1

if kernel_runs_i386; then
    if ! wine32_installed; then
        echo "setup.sh: installing wine32:i386"
        dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
        update_indexes || true
        # Without it the x86 build's Wine tests are reported as skipped, not passed.
        apt install -y wine32:i386 ||
            echo "setup.sh: wine32:i386 could not be installed; the x86 Wine tests will be skipped" >&2
    fi
    if [ "$i386_tree" = 1 ]; then
        if wine32_installed; then
            echo "setup.sh: this kernel runs 32-bit programs: no emulated i386 tree needed"
        elif vespra_i386_ready || vespra_i386_can_unshare; then
            # wine32:i386 could not be installed (a mirror caught mid-sync leaves the
            # i386 index behind the amd64 one): the tree, whose apt is its own, instead.
            echo "setup.sh: wine32:i386 is missing: making the emulated i386 tree instead"
            command -v debootstrap >/dev/null || apt install -y --no-install-recommends debootstrap
            vespra_i386_setup ||
                echo "setup.sh: the emulated i386 tree could not be made; the x86 Wine tests will be skipped" >&2
        fi
    fi
else
    if wine32_installed; then
        echo "setup.sh: this kernel can't run 32-bit programs: removing wine32:i386, which would break wine" >&2
        apt remove -y wine32:i386
    fi
    if [ "$i386_tree" = 1 ]; then
        if vespra_i386_ready; then
            vespra_i386_setup
        elif vespra_i386_can_unshare; then
            command -v debootstrap >/dev/null || {
                update_indexes || true
                apt install -y --no-install-recommends debootstrap
            }
            # Not a failure of the set-up: without the tree the x86 Wine tests are skipped.
            vespra_i386_setup ||
                echo "setup.sh: the emulated i386 tree could not be made; the x86 Wine tests will be skipped" >&2
        else
            echo "setup.sh: this kernel can't run 32-bit programs and no user namespace with its own" \
                "binfmt_misc can be opened; the x86 Wine tests will be skipped" >&2
        fi
    elif ! command -v debootstrap >/dev/null && ! vespra_i386_ready && vespra_i386_can_unshare; then
        # Here, so that the tree's own run (beside the builds) needs no apt of its own.
        update_indexes || true
        apt install -y --no-install-recommends debootstrap
    fi
fi
