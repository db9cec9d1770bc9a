#!/usr/bin/env bash
# Makes the figures of the bundled map, the samples and a few generated data
# files with kavum-render (every format, every layout, the window's sheet, the
# dumps and an atlas run) and compares them byte for byte with a reference;
# PNG files by what they show (size, resolution and decoded pixels, through
# scripts/png-pixels.py), so that a figure written with a palette instead of
# RGB, or compressed otherwise, still counts as the same picture; PDF files
# by what their pages paint and their text (scripts/pdf-paint.py), so that
# a map moved into a form object still counts as the same page.
#   scripts/compare-figures.sh --save REFDIR [BUILD]   make the reference
#   scripts/compare-figures.sh REFDIR [BUILD]          make them again and compare
# BUILD is the build folder (default build). Exit status 1 when a file differs
# or is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
save=0
if [ "${1:-}" = --save ]; then save=1; shift; fi
ref="${1:?usage: compare-figures.sh [--save] REFDIR [BUILD]}"
build="${2:-build}"
render="$build/kavum-render"
[ -x "$render" ] || { echo "compare-figures: build $render first"; exit 2; }
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Fixed paths: the data and settings files live at the same place in every run.
data=/tmp/kavum-compare-data
mkdir -p "$data"
[ -f "$data/r10000.grd" ] || python3 bench/data/make_records.py 10000 "$data/r10000.grd"
[ -f "$data/atlas.grd" ] || python3 bench/atlas/make_atlas_data.py --species 12 --records 300 "$data/atlas.grd" >/dev/null
cp assets/samples/mountains.grd assets/samples/mountains-mesh.grd "$data/"
printf '[DataFile]\r\nGrdFile=%s\r\n' "$data/mountains.grd" >"$data/k.ini"
out="$work/figures"
mkdir -p "$out"
run() {  # NAME ARGS...: one run; its exit status and messages are kept as well
  local name=$1; shift
  set +e
  "$render" --settings "$data/k.ini" "$@" >"$out/$name.stdout" 2>"$out/$name.stderr"
  echo $? >"$out/$name.status"
  set -e
}
map=assets/Kavum_Nippon.mdt
detail=assets/Kavum_Nippon_detail.mdt
for layout in 1 2 3; do
  for fmt in png svg pdf emf; do
    run "mountains-l$layout.$fmt" --map "$map" --layout "$layout" "$out/mountains-l$layout.$fmt"
    run "mesh-l$layout.$fmt" --map "$map" --data "$data/mountains-mesh.grd" --precision 1 --mesh 3 \
      --layout "$layout" "$out/mesh-l$layout.$fmt"
  done
done
for fmt in png svg pdf emf; do
  run "r10000.$fmt" --map "$map" --data "$data/r10000.grd" --precision 1 --mesh 2 --layout 3 "$out/r10000.$fmt"
  run "detail-pref.$fmt" --map "$detail" --prefecture 1 --mesh 1 --layout 3 "$out/detail-pref.$fmt"
done
for p in 12 2 5 10 0; do
  run "precision$p.png" --map "$map" --precision "$p" --layout 3 "$out/precision$p.png"
done
run fit-width.png --map "$map" --fit width --size 1200x700 --layout 3 "$out/fit-width.png"
run fit-height.png --map "$map" --fit height --size 700x900 --layout 1 "$out/fit-height.png"
run size.emf --map "$map" --size 1000x800 --layout 3 "$out/size.emf"
run screen.png --map "$map" --layout 3 --screen "$out/screen.png"
run screen-h.png --map "$map" --layout 1 --screen "$out/screen-h.png"
run dumps.png --map "$map" --data "$data/mountains-mesh.grd" --precision 2 --layout 3 \
  --dump-points "$out/dumps.points.csv" --dump-state "$out/dumps.state.txt" "$out/dumps.png"
run nomap.png --map "$data/no-such-map.mdt" "$out/nomap.png"
run list --data "$data/atlas.grd" --list
run atlas-png --map "$map" --layout 3 --data "$data/atlas.grd" --per-category "$out/atlas-png" --jobs 1
run atlas-svg --map "$map" --layout 3 --data "$data/atlas.grd" --group 3 --format svg \
  --per-category "$out/atlas-svg" --jobs 2
# The temporary folder's name differs from run to run, and the last column
# of an atlas manifest hashes the program file itself (its size and time).
sed -i "s#$work#WORK#g" "$out"/*.stdout "$out"/*.stderr
for tsv in "$out"/atlas-*/atlas.tsv; do
  sed -i 's/\t[^\t]*$//' "$tsv"
done
if [ "$save" = 1 ]; then
  rm -rf "$ref"
  mkdir -p "$(dirname "$ref")"
  cp -r "$out" "$ref"
  echo "compare-figures: $(find "$ref" -type f | wc -l) files saved in $ref"
  exit 0
fi
# Two PDF documents show the same when their pages paint the same shapes,
# colours and text (scripts/pdf-paint.py) and read as the same text.
same_pdf() {
  command -v pdftotext >/dev/null || return 1
  [ "$(python3 scripts/pdf-paint.py "$1" | sed 's/^[^:]*://')" = \
    "$(python3 scripts/pdf-paint.py "$2" | sed 's/^[^:]*://')" ] || return 1
  [ "$(pdftotext "$1" -)" = "$(pdftotext "$2" -)" ]
}
bad=0
while IFS= read -r f; do
  rel=${f#"$ref"/}
  if [ ! -f "$out/$rel" ]; then
    echo "compare-figures: missing $rel"; bad=1
  elif cmp -s "$f" "$out/$rel"; then
    :
  elif [[ "$rel" == *.png ]] &&
       [ "$(python3 scripts/png-pixels.py "$f")" = "$(python3 scripts/png-pixels.py "$out/$rel")" ]; then
    :
  elif [[ "$rel" == *.pdf ]] && same_pdf "$f" "$out/$rel"; then
    echo "compare-figures: $rel shows the same (other bytes)"
  else
    echo "compare-figures: differs $rel"; bad=1
  fi
done < <(find "$ref" -type f | sort)
while IFS= read -r f; do
  rel=${f#"$out"/}
  [ -f "$ref/$rel" ] || { echo "compare-figures: new $rel"; bad=1; }
done < <(find "$out" -type f | sort)
if [ "$bad" = 0 ]; then echo "compare-figures: $(find "$ref" -type f | wc -l) files identical (PNG by their pixels, PDF by what they show)"; fi
exit "$bad"
