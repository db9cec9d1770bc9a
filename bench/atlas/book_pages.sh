#!/bin/bash
# CPU of a PDF book page: (book of N figures - book of 1 figure) / (N - 1),
# whole process, user + system, the least of R runs of each (the machine's
# other work only ever adds to a run).
#   bench/atlas/book_pages.sh [BUILD] [N] [R] [extra kavum-render options...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}; n=${2:-200}; runs=${3:-5}
shift $(( $# < 3 ? $# : 3 ))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_atlas_data.py" --species 1 --records 1000 "$work/one.grd" >/dev/null
python3 "$here/make_atlas_data.py" --species "$n" --records 1000 "$work/many.grd" >/dev/null
least() {
    local best=
    for ((i = 0; i < runs; ++i)); do
        local t
        /usr/bin/time -o "$work/time" -f "%U %S" "$build/kavum-render" --layout 3 --jobs 1 "$@" >/dev/null 2>&1
        t=$(awk '{ printf "%.3f", $1 + $2 }' "$work/time")
        if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    echo "$best"
}
one=$(least --book "$work/one.pdf" --data "$work/one.grd" "$@")
many=$(least --book "$work/many.pdf" --data "$work/many.grd" "$@")
awk -v o="$one" -v m="$many" -v n="$n" -v s="$(stat -c %s "$work/many.pdf")" 'BEGIN {
    printf "1 figure %.2f s, %d figures %.2f s, %.2f ms a page, book %.1f MB\n", o, n, m, (m - o) * 1000 / (n - 1), s / 1e6 }'
