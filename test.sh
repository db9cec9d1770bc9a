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
# With KAVUM_SANITIZE=1 (as CI sets it) every test runs once more on a
# build with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan,
# the window tests included (offscreen, as above). Any report fails the run.
# Leaks are not checked: the toolkit keeps caches for the life of the
# process.
if [ "${KAVUM_SANITIZE:-0}" = 1 ]; then
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  if [ -f build-asan/CMakeCache.txt ] && ! grep -q "CMAKE_GENERATOR:INTERNAL=${GEN[1]:-Unix Makefiles}" build-asan/CMakeCache.txt; then
    rm -rf build-asan
  fi
  cmake -S . -B build-asan "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVUM_SANITIZE=ON
  cmake --build build-asan -j "$(nproc)"
  (cd build-asan && ctest --output-on-failure -j "$(nproc)")
fi
# The fuzz targets over their committed seeds, a short while each.
bash scripts/fuzz-smoke.sh
