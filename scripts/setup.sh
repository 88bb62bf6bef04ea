#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Vespra need, and
# generates the German locale that the 24-hour-clock tests use. Idempotent: when
# everything is already there it prints nothing and changes nothing.
set -euo pipefail

packages=(
    # cross build of the Windows programs
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # native build and unit tests
    cmake g++ make googletest libgtest-dev
    # running the Windows programs: 64-bit Wine only, a virtual X display, screenshots
    wine wine64 xvfb xauth imagemagick
    # time zones and locales for the tests
    tzdata locales
    # fuzzing
    clang libclang-rt-14-dev
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

# A 24-hour locale for Wine (LC_ALL=de_DE.UTF-8). Registered in locale.gen as well,
# so a later locale-gen keeps it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    echo "setup.sh: generating the de_DE.UTF-8 locale"
    if grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        as_root sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    elif ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    fi
    as_root locale-gen
fi
