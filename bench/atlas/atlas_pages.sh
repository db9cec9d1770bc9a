#!/bin/bash
# CPU of a PDF page of an atlas: (run of N figures - run of 1 figure) / (N - 1),
# whole process, user + system, the least of R runs of each (the machine's
# other work only ever adds to a run). KIND book (the default) makes one PDF
# book; files makes a PDF file a figure (--per-category DIR --format pdf);
# png a PNG file a figure.
#   bench/atlas/atlas_pages.sh [BUILD] [N] [R] [book|files|png] [extra kavum-render options...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}; n=${2:-200}; runs=${3:-5}; kind=${4:-book}
shift $(( $# < 4 ? $# : 4 ))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_atlas_data.py" --species 1 --records 1000 "$work/one.grd" >/dev/null
python3 "$here/make_atlas_data.py" --species "$n" --records 1000 "$work/many.grd" >/dev/null
least() {
    local best=
    for ((i = 0; i < runs; ++i)); do
        rm -rf "$work/one" "$work/many" "$work/one.pdf" "$work/many.pdf"
        local t
        /usr/bin/time -o "$work/time" -f "%U %S" "$build/kavum-render" --layout 3 --jobs 1 "$@" >/dev/null 2>&1
        t=$(awk '{ printf "%.3f", $1 + $2 }' "$work/time")
        if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    echo "$best"
}
out() {
    case $kind in
        files) echo --per-category "$work/$1" --format pdf ;;
        png) echo --per-category "$work/$1" ;;
        *) echo --book "$work/$1.pdf" ;;
    esac
}
one=$(least $(out one) --data "$work/one.grd" "$@")
many=$(least $(out many) --data "$work/many.grd" "$@")
size=$( { du -sb "$work"/many.pdf "$work"/many 2>/dev/null || true; } | awk '{ s += $1 } END { print s }')
awk -v o="$one" -v m="$many" -v n="$n" -v s="$size" -v k="$kind" 'BEGIN {
    printf "%s: 1 figure %.2f s, %d figures %.2f s, %.2f ms a page, %.1f MB\n", k, o, n, m, (m - o) * 1000 / (n - 1), s / 1e6 }'
