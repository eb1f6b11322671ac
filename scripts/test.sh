#!/usr/bin/env bash
# The project's test command: installs what is missing, checks the format, builds with the ci
# preset and runs every test except the benchmarks (the fuzz targets get a short smoke run).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
# An unformatted file fails at once, before the build.
bash scripts/format.sh --check
preset=${VELM_PRESET:-ci}
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
# Twice as many tests as cores: most of them spend their time waiting on a server or a timer.
ctest --preset "$preset" -j "$(($(nproc) * 2))" "$@"
