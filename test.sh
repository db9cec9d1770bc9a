#!/usr/bin/env bash
# Builds Kavum and runs every test headless. Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
if [ -f build/CMakeCache.txt ] && ! grep -q "CMAKE_GENERATOR:INTERNAL=${GEN[1]:-Unix Makefiles}" build/CMakeCache.txt; then
  rm -rf build
fi
# Test discovery runs the test programs at build time: no display there.
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
(cd build && ctest --output-on-failure -j "$(nproc)")
# The fuzz targets over their committed seeds, a short while each.
bash scripts/fuzz-smoke.sh
