#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a short
# while (FUZZ_SECONDS, default 30) over its committed seeds in fuzz/corpus/.
# New inputs go to a scratch folder, so the committed seeds stay as they are.
# A finding (crash, sanitizer report, leak, timeout) fails the run and leaves
# the input in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz-smoke: clang++ not found; skipped"
  exit 0
fi
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S fuzz -B build-fuzz "${GEN[@]}" "${LAUNCHER[@]}" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build build-fuzz -j "$(nproc)"
mkdir -p build-fuzz/findings
status=0
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  target="build-fuzz/fuzz_${name}"
  [ -x "$target" ] || { echo "fuzz-smoke: no target for $corpus"; status=1; continue; }
  scratch=$(mktemp -d)
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="build-fuzz/findings/${name}-" "$scratch" "$corpus" >"build-fuzz/${name}.log" 2>&1; then
    runs=$(grep -m1 'stat::number_of_executed_units' "build-fuzz/${name}.log" | awk '{print $2}')
    echo "fuzz-smoke: ${name}: ${runs:-?} runs, no finding"
  else
    echo "fuzz-smoke: ${name}: FINDING (see build-fuzz/${name}.log)"
    tail -n 30 "build-fuzz/${name}.log"
    status=1
  fi
  rm -rf "$scratch"
done
exit $status
