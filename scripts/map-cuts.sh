#!/usr/bin/env bash
# Cuts the bundled map at every STEP-th byte (default 1000) and draws each
# cut with kavum-render: every cut must either draw the same figure as the
# whole map or be refused (exit status 1) with a message that names the map
# file and the line ("地図ファイル … の N 行目 …").
#   scripts/map-cuts.sh [STEP] [MAP]
set -euo pipefail
cd "$(dirname "$0")/.."
step="${1:-1000}"
map="${2:-assets/Kavum_Nippon.mdt}"
render=build/kavum-render
[ -x "$render" ] || { echo "map-cuts: build $render first"; exit 2; }
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '[DataFile]\r\nGrdFile=%s\r\n[Map]\r\nPrefecture=1\r\n' "$PWD/assets/samples/mountains.grd" >"$work/k.ini"
"$render" --settings "$work/k.ini" --map "$map" --prefecture 1 "$work/whole.png" 2>/dev/null
size=$(stat -c %s "$map")
whole=0 refused=0 wrong=0
for ((at = step; at < size; at += step)); do
  head -c "$at" "$map" >"$work/cut.mdt"
  if "$render" --settings "$work/k.ini" --map "$work/cut.mdt" --prefecture 1 "$work/cut.png" 2>"$work/err"; then
    if cmp -s "$work/whole.png" "$work/cut.png"; then
      whole=$((whole + 1))
    else
      wrong=$((wrong + 1)); echo "map-cuts: cut at $at drew a different map"
    fi
  elif grep -q "地図ファイル $work/cut.mdt の [0-9]* 行目" "$work/err"; then
    refused=$((refused + 1))
  else
    wrong=$((wrong + 1)); echo "map-cuts: cut at $at: $(cat "$work/err")"
  fi
done
echo "map-cuts: $((whole + refused + wrong)) cuts: $whole drew the whole map, $refused refused with file and line, $wrong wrong"
[ "$wrong" -eq 0 ]
