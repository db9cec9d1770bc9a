#!/bin/sh
# Times the plain reference and kavum-render on the same data file, RUNS times
# each, one after the other, and prints the least and the middle CPU time
# (user + system, from /usr/bin/time) of each and their ratio.
#   sh bench/plain/compare.sh PLAIN KAVUM_RENDER DATA [RUNS]
# PLAIN is the plain_figure program (build/bench/plain/plain_figure), KAVUM_RENDER
# the kavum-render to time; the bundled map is used.
set -eu
plain=$1
render=$2
data=$3
runs=${4:-7}
dir=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export QT_QPA_PLATFORM=offscreen
cpu() {  # command...: user + system seconds of one run
  /usr/bin/time -f "%U %S" -o "$out/t" "$@" >/dev/null 2>&1
  awk '{printf "%.3f\n", $1 + $2}' "$out/t"
}
i=0
while [ "$i" -lt "$runs" ]; do
  cpu "$plain" "$data" "$out/plain.png" >>"$out/plain"
  cpu "$render" --map "$dir/assets/Kavum_Nippon.mdt" --data "$data" --precision 1 --layout 3 "$out/kavum.png" >>"$out/kavum"
  i=$((i + 1))
done
stats() { sort -n "$1" | awk '{v[NR] = $1} END {printf "%.3f %.3f", v[1], v[int((NR + 1) / 2)]}'; }
set -- $(stats "$out/plain") $(stats "$out/kavum")
printf 'plain   least %s s, middle %s s\n' "$1" "$2"
printf 'kavum   least %s s, middle %s s\n' "$3" "$4"
awk -v p="$1" -v k="$3" -v pm="$2" -v km="$4" 'BEGIN {printf "ratio   %.2f (least), %.2f (middle)\n", k / p, km / pm}'
