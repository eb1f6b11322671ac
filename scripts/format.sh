#!/usr/bin/env bash
# Formats every C++ file of the tree by .clang-format. With --check it changes nothing, prints
# what differs and fails when a file is not formatted (the test command runs it so, in seconds).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=(-i)
if [ "${1:-}" = --check ]; then
  mode=(--dry-run --Werror)
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  list() { git ls-files -z -- '*.cpp' '*.h'; }
else
  list() { find common velmbank velmsetup server tools tests fuzz bench -name '*.cpp' -print0 -o -name '*.h' -print0; }
fi
if ! list | xargs -0 clang-format "${mode[@]}"; then
  echo "format: the files above are not formatted by .clang-format; bash scripts/format.sh formats them" >&2
  exit 1
fi
