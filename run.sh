#!/usr/bin/env bash
# Builds Kavum (installing what is missing) and starts it on the bundled map.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
cmake -S . -B build "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec ./build/kavum "$@"
