#!/bin/sh
# Whole-process time of kavum-render for the three-view figure of the bundled
# map with 100,000 records, as a user runs it: the figures for print at 85
# and 175 mm, the 600-dpi PNG, and the figure at scale 1 in each format for
# comparison. Run from the source tree
# after building:  sh bench/export/whole_process.sh [build-dir] [runs]
set -e
build=${1:-build}
runs=${2:-5}
records=/tmp/kavum-bench-r100000.grd
[ -f "$records" ] || python3 bench/data/make_records.py 100000 "$records"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {
    label=$1
    shift
    i=0
    while [ "$i" -lt "$runs" ]; do
        /usr/bin/time -f "$label %e s elapsed, %U s user, %S s system, %M KB" \
            "$build/kavum-render" --map assets/Kavum_Nippon.mdt --data "$records" --precision 1 --layout 3 "$@" \
            2>&1 >/dev/null | grep elapsed
        i=$((i + 1))
    done
}
run "png 85 mm 1200 dpi:" --width 85mm --dpi 1200 "$out/p85.png"
run "png 175 mm 1200 dpi:" --width 175mm --dpi 1200 "$out/p175.png"
run "svg 85 mm:" --width 85mm "$out/p85.svg"
run "pdf 85 mm:" --width 85mm "$out/p85.pdf"
run "png 600 dpi:" --dpi 600 "$out/f.png"
run "png scale 1:" "$out/f1.png"
run "svg 300 dpi:" --dpi 300 "$out/f.svg"
run "pdf 300 dpi:" --dpi 300 "$out/f.pdf"
ls -l "$out"
