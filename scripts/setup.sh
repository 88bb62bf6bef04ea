#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Vespra need.
# Idempotent: when everything is already there it prints nothing and changes nothing.
set -euo pipefail

packages=(
    # cross build of the Windows programs
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # native build and unit tests
    cmake g++ make googletest libgtest-dev
    # running the Windows programs: 64-bit Wine only, a virtual X display, screenshots
    wine wine64 xvfb xauth imagemagick
    # the setup program (makensis)
    nsis
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
installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
for p in "${packages[@]}"; do
    grep -qx "$p ii *" <<<"$installed" || missing+=("$p")
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

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup.sh: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q -o Acquire::Retries=3
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o Acquire::Retries=3 "${missing[@]}"
fi
