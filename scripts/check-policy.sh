#!/usr/bin/env bash
# Checks the Group Policy templates: both files are well-formed XML, every string and
# presentation vespra.admx names is defined in en-US/vespra.adml, and every control
# of a presentation refers to an element of the policies. Exit status 0 when they
# are; each fault is printed.
set -u -o pipefail
dir=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../packaging/policy" && pwd)}
admx=$dir/vespra.admx
adml=$dir/en-US/vespra.adml
xmllint --noout "$admx" "$adml" || exit 1
faults=0
missing() {
    echo "check-policy: $*"
    faults=$((faults + 1))
}
for kind in string presentation; do
    for id in $(grep -o "\$($kind\.[A-Za-z0-9_]*)" "$admx" | sed 's/.*\.\(.*\))/\1/' | sort -u); do
        grep -q "<$kind id=\"$id\"" "$adml" || missing "\$($kind.$id) is not defined in $adml"
    done
done
for ref in $(grep -o 'refId="[^"]*"' "$adml" | cut -d'"' -f2 | sort -u); do
    grep -Eq "<(text|decimal|enum|boolean|list) id=\"$ref\"" "$admx" ||
        missing "refId \"$ref\" names no element of $admx"
done
[ "$faults" = 0 ] && echo "check-policy: $admx and $adml agree"
[ "$faults" = 0 ]
