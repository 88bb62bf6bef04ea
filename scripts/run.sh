#!/usr/bin/env bash
# The run command: builds vespra.exe and starts it as the service host does
# ("/service"), in the project's own Wine prefix <repo>/.wine (made on first use).
#
# With DISPLAY set, the scheduler shows there and this waits until it ends.
# Without one, it runs on a private Xvfb: waits for the startup dialog "Vespra",
# saves a PNG screenshot, prints its path, then ends the scheduler the way the
# service host does (WM_STOP_SCHEDULER to its primary thread).
# Either way no Wine or Xvfb process of this run is left behind.
set -u -o pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo" || exit 1

bash scripts/setup.sh || exit 1

cmake --preset windows >/dev/null || exit 1
cmake --build --preset windows -j2 --target vespra window_driver_tool || exit 1

# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh

exe="$repo/build/windows/vespra.exe"
driver="$repo/build/windows/tests/wine/window_driver_tool.exe"
prefix="$repo/.wine"

cleanup() {
    vespra_end_wine "$prefix"
    vespra_stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "${DISPLAY:-}" ]; then
    vespra_ensure_prefix "$prefix"
    wine "$exe" /service </dev/null
    exit $?
fi

vespra_start_xvfb
vespra_ensure_prefix "$prefix"

work="$repo/build/run"
mkdir -p "$work"
# Runs the window driver. Its output comes back through a file: a pipe would stay
# open while any program it started under Wine still holds the descriptor.
drive() {
    timeout 90 wine "$driver" "$@" </dev/null >"$work/driver.out" 2>&1
    local rc=$?
    cat "$work/driver.out"
    return $rc
}

wine "$exe" /service </dev/null >"$work/vespra.out" 2>&1 &
vespra_pid=$!

if ! drive wait-window Vespra 60000 >/dev/null; then
    cat "$work/vespra.out" >&2
    vespra_die "vespra.exe showed no window \"Vespra\" within 60 s"
fi
# Let the dialog finish painting before the picture is taken.
sleep 1
shot="$work/vespra-$(date +%Y%m%d-%H%M%S).png"
if ! import -display "$DISPLAY" -window root "$shot" 2>"$work/import.err"; then
    cat "$work/import.err" >&2
    vespra_die "could not take the screenshot"
fi

drive stop Vespra >/dev/null || echo "run.sh: could not post the stop message" >&2
for _ in $(seq 150); do
    kill -0 "$vespra_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$vespra_pid" 2>/dev/null; then
    echo "run.sh: vespra.exe did not end within 15 s of the stop message" >&2
    rc=1
else
    wait "$vespra_pid"
    rc=$?
fi
echo "$shot"
exit "$rc"
