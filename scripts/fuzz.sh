#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan, UBSan over the host stand-ins) and
# runs every fuzz target, starting from its seed corpus in tests/fuzz/corpus/<target>/
# (copied, so the run never writes into the tree).
#
#   scripts/fuzz.sh          each target for a short, bounded time (the test command's
#                            step); one line per target, "fuzz <target>: passed" or
#                            "fuzz <target>: failed"
#   scripts/fuzz.sh --long   each target for at least VESPRA_FUZZ_RUNS executions, the
#                            targets side by side; after a crash a target goes on from
#                            its grown corpus until its runs are done (at most 10
#                            crashes). Per target "fuzz <target>: runs=N crashes=M
#                            seconds=S", then the passed/failed line.
#
# Exits non-zero when the build fails or any target finds a crash; crashing inputs
# are kept in <build>/artifacts.
#   VESPRA_FUZZ_SECONDS   time per target in the short mode (default 20)
#   VESPRA_FUZZ_RUNS      executions per target in the long mode (default 1000000)
#   VESPRA_FUZZ_BUILD     build directory (default build/fuzz)
set -u -o pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo" || exit 1
long=0
case "${1:-}" in
--long) long=1 ;;
"") ;;
*)
    echo "usage: $0 [--long]" >&2
    exit 2
    ;;
esac
seconds=${VESPRA_FUZZ_SECONDS:-20}
runs=${VESPRA_FUZZ_RUNS:-1000000}
build=${VESPRA_FUZZ_BUILD:-build/fuzz}
targets=(registry_text_fuzz ini_fuzz)

if ! { cmake --preset fuzz -B "$build" >/dev/null &&
    cmake --build "$build" -j2 --target "${targets[@]}"; }; then
    echo "fuzz build FAILED"
    for t in "${targets[@]}"; do echo "fuzz $t: failed"; done
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vespra-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts="$repo/$build/artifacts"
mkdir -p "$artifacts"

# The executions of one libFuzzer run, from its final statistics (printed on a crash
# too), else from its last status line.
executed() {
    local n
    n=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$1" | grep -Eo '[0-9]+$' | tail -n 1)
    [ -n "$n" ] || n=$(grep -Eo '^#[0-9]+' "$1" | tr -d '#' | tail -n 1)
    echo "${n:-0}"
}

# One target's long run: at least $runs executions, going on after a crash.
long_run() {
    local t=$1 corpus=$2 log=$3
    local done_runs=0 crashes=0 start rc n
    start=$(date +%s)
    while [ "$done_runs" -lt "$runs" ] && [ "$crashes" -lt 10 ]; do
        # Four hours is far above what a million runs take here; it only stops a hang.
        timeout --kill-after=10 14400 "$build/$t" -runs=$((runs - done_runs)) "${common[@]}" \
            -artifact_prefix="$artifacts/$t-" "$corpus" >"$log" 2>&1
        rc=$?
        n=$(executed "$log")
        done_runs=$((done_runs + n))
        if [ "$rc" != 0 ]; then
            crashes=$((crashes + 1))
            tail -n 40 "$log"
            echo "  $t: crash $crashes (exit $rc) after $done_runs runs"
            # A run that dies before executing anything would loop for ever.
            [ "$n" -gt 0 ] || break
        fi
    done
    echo "fuzz $t: runs=$done_runs crashes=$crashes seconds=$(($(date +%s) - start))"
    if [ "$crashes" = 0 ] && [ "$done_runs" -ge "$runs" ]; then
        echo "fuzz $t: passed"
    else
        echo "fuzz $t: failed"
        echo "  (crashing inputs are kept in $artifacts)"
        return 1
    fi
}

common=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
status=0
if [ "$long" = 1 ]; then
    # Side by side, one target per processor; the reports come in target order.
    pids=()
    for t in "${targets[@]}"; do
        mkdir -p "$work/$t"
        cp -r "tests/fuzz/corpus/$t/." "$work/$t/" 2>/dev/null || true
        long_run "$t" "$work/$t" "$work/$t.log" >"$work/$t.report" 2>&1 &
        pids+=($!)
    done
    for i in "${!targets[@]}"; do
        wait "${pids[$i]}" || status=1
        cat "$work/${targets[$i]}.report"
    done
    exit "$status"
fi

for t in "${targets[@]}"; do
    corpus="$work/$t"
    mkdir -p "$corpus"
    cp -r "tests/fuzz/corpus/$t/." "$corpus/" 2>/dev/null || true
    log="$work/$t.log"
    # A wall-clock bound above libFuzzer's own, in case a run hangs outright.
    timeout --kill-after=10 $((seconds + 60)) "$build/$t" -max_total_time="$seconds" \
        "${common[@]}" -artifact_prefix="$artifacts/$t-" "$corpus" >"$log" 2>&1
    rc=$?
    if [ "$rc" = 0 ]; then
        echo "  $t: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1)s"
        echo "fuzz $t: passed"
    else
        tail -n 40 "$log"
        echo "fuzz $t: failed"
        echo "  (exit $rc; crashing inputs are kept in $artifacts)"
        status=1
    fi
done
exit "$status"
