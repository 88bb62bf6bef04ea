#!/usr/bin/env bash
# Saves a PNG of every dialog of the settings user interface and the function test, as Wine shows it on
# a private Xvfb, into <build>/screenshots/ and prints each path.
#
#   bash scripts/screenshots.sh [BUILD_DIR]     (default: build/windows, built first)
#
# The dialogs come from tests/wine/dialog_gallery_tool, which runs the program's own
# dialog classes. Each picture is the screen cropped to the dialog.
set -u -o pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo" || exit 1

build=${1:-build/windows}
if [ "$#" -eq 0 ]; then
    cmake --preset windows >/dev/null || exit 1
fi
cmake --build "$build" -j2 --target dialog_gallery_tool window_driver_tool || exit 1

# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh

gallery="$repo/$build/tests/wine/dialog_gallery_tool.exe"
driver="$repo/$build/tests/wine/window_driver_tool.exe"
out="$repo/$build/screenshots"
prefix="$out/wineprefix"
mkdir -p "$out"

cleanup() {
    vespra_end_wine "$prefix"
    vespra_stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

vespra_start_xvfb
vespra_ensure_prefix "$prefix"

drive() {
    timeout 60 wine "$driver" "$@" </dev/null >"$out/driver.out" 2>&1
}

rc=0
# name, window title
while read -r name title; do
    wine "$gallery" "$name" </dev/null >"$out/gallery.out" 2>&1 &
    pid=$!
    if ! drive wait-window "$title" 30000; then
        echo "screenshots.sh: no window \"$title\" for $name" >&2
        rc=1
    else
        sleep 1 # let it finish painting
        shot="$out/$name.png"
        if import -display "$DISPLAY" -window root "$shot.full.png" 2>/dev/null &&
            convert "$shot.full.png" -trim +repage "$shot"; then
            echo "$shot"
        else
            echo "screenshots.sh: could not take $shot" >&2
            rc=1
        fi
        rm -f "$shot.full.png"
        drive close "$title" || true
    fi
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
done <<'LIST'
settings Vespra Settings
settings-off Vespra Settings
settings-restart Vespra Settings
set-password Set Password
enter-password Enter Password
enter-password-cancel Enter Password
timed-message Vespra
check-times Check Times
advanced Advanced Settings
about About Vespra
function-test Vespra Function Test
LIST
exit "$rc"
