#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan, UBSan over the host stand-ins) and
# runs every fuzz target for a short, bounded time, starting from its seed corpus in
# tests/fuzz/corpus/<target>/ (copied, so the run never writes into the tree).
# Prints one line per target, "fuzz <target>: passed" or "fuzz <target>: failed";
# exits non-zero when the build fails or any target finds a crash.
#   VESPRA_FUZZ_SECONDS   time per target (default 20)
set -u -o pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo" || exit 1
seconds=${VESPRA_FUZZ_SECONDS:-20}
targets=(registry_text_fuzz ini_fuzz)

if ! { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j2; }; then
    echo "fuzz build FAILED"
    for t in "${targets[@]}"; do echo "fuzz $t: failed"; done
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vespra-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts="$repo/build/fuzz/artifacts"
mkdir -p "$artifacts"

status=0
for t in "${targets[@]}"; do
    corpus="$work/$t"
    mkdir -p "$corpus"
    cp -r "tests/fuzz/corpus/$t/." "$corpus/" 2>/dev/null || true
    log="$work/$t.log"
    # A wall-clock bound above libFuzzer's own, in case a run hangs outright.
    timeout --kill-after=10 $((seconds + 60)) "build/fuzz/$t" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$t-" "$corpus" >"$log" 2>&1
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
