#!/usr/bin/env bash
# The test command: installs what is missing, builds both presets, runs the native
# GoogleTest suite, then the Win32 tests under Wine (a private fresh prefix, an
# Xvfb display, one test at a time), then the fuzz step if there is one.
# The last line printed is the summary "N passed, N failed"; the exit status is
# non-zero when anything failed, a build included.
#
# --x86-all runs every Wine test of the x86 build under 32-bit Wine, not only the
# chosen set below (under emulation each program start costs seconds).
set -u -o pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo" || exit 1

x86_all=0
for arg in "$@"; do
    case "$arg" in
    --x86-all) x86_all=1 ;;
    *)
        echo "usage: scripts/test.sh [--x86-all]" >&2
        exit 2
        ;;
    esac
done

bash scripts/setup.sh || {
    echo "setup.sh failed"
    echo "0 passed, 1 failed"
    exit 1
}

# The emulated i386 tree for 32-bit Wine (where the kernel can't run 32-bit programs)
# takes minutes, mostly download and unpacking: it is made beside the builds.
mkdir -p build
i386_log="$repo/build/i386-setup.log"
i386_start=$(date +%s)
# A session of its own, so that a stop ends it with everything it started.
setsid bash scripts/setup.sh --i386-tree >"$i386_log" 2>&1 </dev/null &
i386_pid=$!

# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh
# CTest runs the Win32 tests through this wrapper directly (cmake/mingw-w64-x86_64.cmake).
[ -x scripts/wine-exec.sh ] || chmod +x scripts/wine-exec.sh

jobs=2
results="$repo/build/test-results"
rm -rf "$results"
mkdir -p "$results"

passed=0
failed=0
skipped=0

step() { printf '\n=== %s\n' "$*"; }

# Adds the counts of one ctest run from its output "NN% tests passed, F tests
# failed out of T". A run that found no tests or died before its summary counts as
# one failure: it must never look like a clean pass.
count_ctest() {
    local log=$1 rc=$2 what=$3 line total fails
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        echo "$what: ctest ran no test (exit $rc)"
        failed=$((failed + 1))
        return
    fi
    fails=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - fails))
    failed=$((failed + fails))
    # "Not Run" and timed-out tests are in the failed count already; a skipped test
    # (GTEST_SKIP with SKIP_RETURN_CODE) counts neither way.
    local skips
    skips=$(grep -cF '***Skipped' "$log" || true)
    if [ "$skips" -gt 0 ]; then
        passed=$((passed - skips))
        skipped=$((skipped + skips))
    fi
    if [ "$rc" != 0 ] && [ "$fails" = 0 ]; then
        echo "$what: ctest exited $rc"
        failed=$((failed + 1))
    fi
}

wine_prefix=""
cleanup() {
    if [ -n "$wine_prefix" ]; then
        vespra_end_wine "$wine_prefix"
        rm -rf "$wine_prefix"
    fi
    vespra_stop_xvfb
    if [ -n "$i386_pid" ]; then
        kill -- "-$i386_pid" 2>/dev/null
        wait "$i386_pid" 2>/dev/null
        i386_pid=""
        # The tree's namespace holder, which a cut-short set-up may have left.
        (. scripts/i386-tree.sh && vespra_i386_stop)
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- builds ---------------------------------------------------------------------
host_ok=1
step "build: host (native, sanitizers)"
if ! { cmake --preset host && cmake --build --preset host -j"$jobs"; }; then
    echo "host build FAILED"
    failed=$((failed + 1))
    host_ok=0
fi

# First: the setup made in build/windows carries these programs too.
x86_ok=1
step "build: windows-x86 (MinGW-w64 i686, win32 threads: XP SP3 and 32-bit Windows)"
if ! { cmake --preset windows-x86 && cmake --build --preset windows-x86 -j"$jobs"; }; then
    echo "windows-x86 build FAILED"
    failed=$((failed + 1))
    x86_ok=0
fi

windows_ok=1
step "build: windows (MinGW-w64 x86-64, and the setup with both builds)"
if ! { cmake --preset windows && cmake --build --preset windows -j"$jobs"; }; then
    echo "windows build FAILED"
    failed=$((failed + 1))
    windows_ok=0
fi

# --- native tests ---------------------------------------------------------------
if [ "$host_ok" = 1 ]; then
    step "native tests (build/host)"
    ctest --test-dir build/host -j"$jobs" --output-on-failure --no-tests=error \
        --output-junit "$results/host.xml" 2>&1 | tee "$results/host.log"
    count_ctest "$results/host.log" "${PIPESTATUS[0]}" "native tests"
fi

step "Group Policy templates (packaging/policy)"
if bash scripts/check-policy.sh; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
fi

# --- Win32 tests under Wine -----------------------------------------------------
if [ "$windows_ok" = 1 ]; then
    step "Win32 tests under Wine (build/windows)"
    vespra_start_xvfb
    wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/vespra-test-prefix.XXXXXX")
    echo "Wine prefix $wine_prefix, display $DISPLAY"
    vespra_ensure_prefix "$wine_prefix"
    export WINEPREFIX="$wine_prefix" DISPLAY
    ctest --test-dir build/windows -L wine -j1 --output-on-failure --no-tests=error \
        --output-junit "$results/wine.xml" 2>&1 | tee "$results/wine.log"
    count_ctest "$results/wine.log" "${PIPESTATUS[0]}" "Wine tests"
fi

# --- the x86 build: its imports, and its Wine tests as Windows XP ----------------
if [ "$x86_ok" = 1 ]; then
    step "imports of the x86 build (packaging/xp-sp3-exports.txt)"
    if bash scripts/check-imports.sh build/windows-x86; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    # Windows 98 SE: reported, never failed (95/98/Me keep their native tests).
    bash scripts/check-imports.sh --advisory --list packaging/win98se-exports.txt build/windows-x86

    # Under 32-bit Wine as Windows XP: the dialogs, the start-up modes and the function
    # test, the service, the shut-down and (below) the setup. The rest of the x86 build's
    # Wine tests check the same portable code as the x64 ones: --x86-all runs them too.
    x86_tests='^wine\.(test_settings_dialogs|test_startup_modes|test_handlers|test_service_end_to_end|shutdown_end_to_end)$'
    [ "$x86_all" = 1 ] && x86_tests='^wine\.'
    # The chosen tests and the setup's run.
    x86_count=$(($(ctest --test-dir build/windows-x86 -N -L wine -R "$x86_tests" |
        sed -nE 's/^Total Tests: ([0-9]+)$/\1/p') + 1))
    step "Win32 tests of the x86 build under 32-bit Wine as Windows XP (build/windows-x86)"
    wait "$i386_pid"
    i386_pid=""
    cat "$i386_log"
    echo "(32-bit Wine ready $(($(date +%s) - i386_start)) s after the test command began)"
    if vespra_wine32_runs; then
        [ "$VESPRA_WINE32_EMULATED" = 1 ] && echo "32-bit Wine: the emulated i386 tree (qemu-i386)"
        x86_began=$(date +%s)
        [ -n "${DISPLAY:-}" ] || vespra_start_xvfb
        [ -z "$wine_prefix" ] || { vespra_end_wine "$wine_prefix"; rm -rf "$wine_prefix"; }
        wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/vespra-test-prefix-x86.XXXXXX")
        saved_path=$PATH
        vespra_use_wine32
        export WINEARCH=win32 VESPRA_WINE_VERSION=winxp
        vespra_ensure_prefix "$wine_prefix"
        export WINEPREFIX="$wine_prefix" DISPLAY
        if [ "$VESPRA_WINE32_EMULATED" = 1 ]; then
            # qemu-user has no ptrace: Wine's server can't read another process's memory,
            # so the PSAPI walk (NT's) can't name other processes. This one test kills by
            # name through it; the x64 run covers it.
            export GTEST_FILTER=-Handlers.UninstallWithAPasswordKillsTheUninstallerBeforeRefusing
            echo "SKIP: x86 Handlers.UninstallWithAPasswordKillsTheUninstallerBeforeRefusing:" \
                "under qemu-user Wine can't read another process's memory (no ptrace)"
            skipped=$((skipped + 1))
            if [ "$x86_all" = 1 ]; then
                GTEST_FILTER+=:ProcessWalk.PsapiWalkKillsTheWholeNameInAnyCaseAndSparesTheRest
                echo "SKIP: x86 ProcessWalk.PsapiWalkKillsTheWholeNameInAnyCaseAndSparesTheRest: the same"
                skipped=$((skipped + 1))
            fi
        fi
        ctest --test-dir build/windows-x86 -L wine -R "$x86_tests" -j1 --output-on-failure \
            --no-tests=error --output-junit "$results/wine-x86.xml" 2>&1 | tee "$results/wine-x86.log"
        count_ctest "$results/wine-x86.log" "${PIPESTATUS[0]}" "x86 Wine tests"
        unset GTEST_FILTER
        # The shipped setup (a 32-bit program) in a 32-bit prefix: it must choose the x86 build.
        if [ "$windows_ok" = 1 ] && timeout 600 bash tests/wine/setup_end_to_end.sh \
            "$(ls build/windows/vespra-setup-*.exe | head -n 1)" \
            build/windows-x86/tests/wine/setup_probe_tool.exe \
            build/windows-x86/tests/wine/window_driver_tool.exe build/windows-x86; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
        fi
        unset WINEARCH VESPRA_WINE_VERSION
        vespra_end_wine "$wine_prefix"
        rm -rf "$wine_prefix"
        wine_prefix=""
        PATH=$saved_path
        # The emulated tree's namespace holder, if it was used: nothing stays running.
        (. scripts/i386-tree.sh && vespra_i386_stop)
        echo "(x86 Wine tests: $(($(date +%s) - x86_began)) s)"
    else
        # Not a pass: counted as skipped, and the summary says so.
        echo "SKIP: x86 Wine tests: 32-bit Wine cannot run here (the kernel cannot start" \
            "32-bit programs and no emulated i386 tree could be made, or wine32 is missing);" \
            "$x86_count tests not run"
        skipped=$((skipped + x86_count))
    fi
fi

# --- fuzz step (hook) -----------------------------------------------------------
# scripts/fuzz.sh, when present and executable, runs the fuzz targets (each for a
# short, bounded time) and prints one line per target:
#     fuzz <target>: passed        or        fuzz <target>: failed
# Each such line counts as one test. If it prints none, its exit status counts as
# one test; a non-zero exit with no failed target line counts as one failure.
if [ -x scripts/fuzz.sh ]; then
    step "fuzz (scripts/fuzz.sh)"
    scripts/fuzz.sh 2>&1 | tee "$results/fuzz.log"
    fuzz_rc=${PIPESTATUS[0]}
    fuzz_pass=$(grep -cE '^fuzz [^ ]+: passed$' "$results/fuzz.log" || true)
    fuzz_fail=$(grep -cE '^fuzz [^ ]+: failed$' "$results/fuzz.log" || true)
    if [ $((fuzz_pass + fuzz_fail)) -eq 0 ]; then
        if [ "$fuzz_rc" = 0 ]; then fuzz_pass=1; else fuzz_fail=1; fi
    elif [ "$fuzz_rc" != 0 ] && [ "$fuzz_fail" = 0 ]; then
        fuzz_fail=1
    fi
    passed=$((passed + fuzz_pass))
    failed=$((failed + fuzz_fail))
fi

# Ends our Wine session and Xvfb before the summary, so it stays the last line.
cleanup
wine_prefix=""
trap - EXIT

echo
if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
else
    echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
