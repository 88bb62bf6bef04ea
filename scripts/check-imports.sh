#!/usr/bin/env bash
# Lists what each program of a Windows build imports (its import table) and checks
# every one against a list of what an old Windows exports (packaging/*-exports.txt):
#
#   scripts/check-imports.sh [--list FILE] [--advisory] [BUILD_DIR]
#
# BUILD_DIR defaults to build/windows-x86, FILE to packaging/xp-sp3-exports.txt.
# A DLL the list does not name (wtsapi32, userenv, bcrypt ...) must not be imported
# at all: those are looked up at run time. Prints each import missing from the
# list and exits 1 when there is one; --advisory reports the same and exits 0.
set -u -o pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

list="$repo/packaging/xp-sp3-exports.txt"
advisory=0
build="$repo/build/windows-x86"
while [ $# -gt 0 ]; do
    case "$1" in
    --list) list=$2; shift 2 ;;
    --advisory) advisory=1; shift ;;
    -*) echo "usage: $0 [--list FILE] [--advisory] [BUILD_DIR]" >&2; exit 2 ;;
    *) build=$1; shift ;;
    esac
done
[ -f "$list" ] || { echo "check-imports: no list $list" >&2; exit 2; }

# "dll function" pairs, the DLL in lower case: the loader does not care for case.
allowed=$(grep -vE '^\s*(#|$)' "$list" | awk '{print tolower($1) " " $2}' | sort -u)

imports_of() {
    local exe=$1 objdump dump
    for objdump in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump; do
        dump=$("$objdump" -p "$exe" 2>/dev/null) && break
    done
    [ -n "$dump" ] || { echo "check-imports: objdump cannot read $exe" >&2; return 1; }
    awk '/^\tDLL Name: /{ dll = tolower($3); next }
         /^$/ { next }
         dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll " " $3 }
         /^The Export Tables|^PE File Base Relocations/ { dll = "" }' <<<"$dump"
}

status=0
for program in vespra vesprasv vesprasi; do
    exe="$build/$program.exe"
    if [ ! -f "$exe" ]; then
        echo "check-imports: $exe is missing"
        status=1
        continue
    fi
    imports=$(imports_of "$exe" | sort -u) || { status=1; continue; }
    if [ -z "$imports" ]; then
        echo "check-imports: $program.exe: no imports read"
        status=1
        continue
    fi
    missing=$(comm -23 <(echo "$imports") <(echo "$allowed"))
    total=$(wc -l <<<"$imports")
    if [ -n "$missing" ]; then
        echo "check-imports: $program.exe: $(wc -l <<<"$missing") of $total imports not in $(basename "$list"):"
        sed 's/^\([^ ]*\) /    \1!/' <<<"$missing"
        status=1
    else
        echo "check-imports: $program.exe: all $total imports in $(basename "$list")"
    fi
done
[ "$advisory" = 1 ] && exit 0
exit "$status"
