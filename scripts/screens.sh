#!/usr/bin/env bash
# Makes the screenshots of docs/screens from the real windows: the window tests save what the
# operator sees at the moments they check (offscreen, no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${VELM_PRESET:-ci}
[ -f "build/$preset/build.ninja" ] || cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
out=$PWD/docs/screens
mkdir -p "$out"
VELM_SCREENS_DIR=$out QT_QPA_PLATFORM=offscreen ctest --test-dir "build/$preset" -L 'gui|e2e' "$@"
ls "$out"
