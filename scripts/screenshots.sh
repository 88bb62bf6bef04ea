#!/usr/bin/env bash
# Saves a PNG of every dialog of the program, as Wine shows it on a private Xvfb,
# at 96 DPI into docs/<name>.png and at 144 DPI into docs/dpi144/<name>.png, and
# prints each path.
#
#   bash scripts/screenshots.sh [BUILD_DIR]     (default: build/windows, built first)
#
# The dialogs come from tests/wine/dialog_gallery_tool, which runs the program's own
# dialog classes. Each picture is the screen cropped to the dialog. Each DPI has a
# Wine prefix of its own under <build>/screenshots/, with LogPixels set in it.
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
work="$repo/$build/screenshots"
mkdir -p "$work"

prefix=""
cleanup() {
    [ -n "$prefix" ] && vespra_end_wine "$prefix"
    vespra_stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

vespra_start_xvfb

drive() {
    timeout 60 wine "$driver" "$@" </dev/null >"$work/driver.out" 2>&1
}

# The screen's DPI as Wine takes it: the user's desktop value, and the display's
# (the current hardware profile's fonts key), both read when a program starts.
set_dpi() {
    local dpi=$1
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        </dev/null >/dev/null 2>&1 &&
        wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
            /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1 &&
        timeout 60 wineserver -w </dev/null >/dev/null 2>&1
}

# name | window title | control and text it shows once it is ready (optional)
dialogs=$(
    cat <<'LIST'
startup|Vespra|1001|This computer is scheduled
warning|Vespra|1001|This computer will shut down
settings|Vespra Settings||
settings-zone|Vespra Settings|1059|Times are in
settings-managed|Vespra Settings|1090|Some settings are managed
set-password|Set Password||
enter-password|Enter Password||
advanced|Advanced Settings||
check-times|Check Times||
about|About Vespra||
timed-message|Vespra|1044|Wrong password
function-test|Vespra Function Test||
LIST
)

# shot DIR NAME TITLE [CONTROL TEXT]: runs the gallery for NAME and saves DIR/NAME.png.
shot() {
    local dir=$1 name=$2 title=$3 control=${4:-} text=${5:-} pid ok=0
    wine "$gallery" "$name" </dev/null >"$work/gallery.out" 2>&1 &
    pid=$!
    if ! drive wait-window "$title" 30000 ||
        { [ -n "$control" ] && ! drive wait-text "$title" "$control" "$text" 30000; }; then
        echo "screenshots.sh: no window \"$title\" for $name" >&2
        ok=1
    else
        sleep 2 # let it finish painting
        local picture="$dir/$name.png"
        if import -display "$DISPLAY" -window root "$work/full.png" 2>/dev/null &&
            convert "$work/full.png" -trim +repage -strip "$picture"; then
            echo "$picture"
        else
            echo "screenshots.sh: could not take $picture" >&2
            ok=1
        fi
        rm -f "$work/full.png"
        drive close "$title" || true
    fi
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return "$ok"
}

rc=0
for dpi in 96 144; do
    if [ "$dpi" = 96 ]; then out="$repo/docs"; else out="$repo/docs/dpi$dpi"; fi
    mkdir -p "$out"
    prefix="$work/wineprefix-$dpi"
    vespra_ensure_prefix "$prefix"
    set_dpi "$dpi" || {
        echo "screenshots.sh: could not set $dpi DPI in $prefix" >&2
        rc=1
        continue
    }
    while IFS='|' read -r name title control text; do
        shot "$out" "$name" "$title" "$control" "$text" || rc=1
    done <<<"$dialogs"
    vespra_end_wine "$prefix"
    prefix=""
done

# The 144-DPI pictures must really be larger: about half as large again.
if [ -f docs/settings.png ] && [ -f docs/dpi144/settings.png ]; then
    small=$(identify -format '%w' docs/settings.png)
    large=$(identify -format '%w' docs/dpi144/settings.png)
    if [ $((large * 100 / small)) -lt 130 ]; then
        echo "screenshots.sh: 144 DPI did not take (settings is $small and $large pixels wide)" >&2
        rc=1
    fi
fi
exit "$rc"
