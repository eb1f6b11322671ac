#!/bin/sh
# velmd as installed: the program lies in /usr/lib/velmbank and runs on the GT.M that is
# installed now. GT.M keeps libgtmshr.so in a folder named after its version, so that folder is
# found at every start instead of being fixed in the program, and a GT.M update needs no
# rebuild. gtm_dist set by the caller chooses another GT.M.
set -e
prefix=$(dirname "$(dirname "$(readlink -f "$0")")")
if [ -z "${gtm_dist:-}" ]; then
  # The newest, as velmd itself chooses when it runs GT.M's programs.
  for dir in /usr/lib/x86_64-linux-gnu/fis-gtm/V*; do
    if [ -f "$dir/libgtmshr.so" ] && [ -x "$dir/mumps" ]; then
      gtm_dist=$dir
    fi
  done
fi
if [ -z "${gtm_dist:-}" ] || [ ! -f "$gtm_dist/libgtmshr.so" ]; then
  echo "velmd: GT.M is not installed (no libgtmshr.so under /usr/lib/x86_64-linux-gnu/fis-gtm/V*;" \
       "the package fis-gtm brings it)" >&2
  exit 1
fi
export gtm_dist
export LD_LIBRARY_PATH="$gtm_dist${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
# The routines installed with this velmd, unless the caller names others.
export VELMD_M_DIR="${VELMD_M_DIR:-$prefix/share/velmbank/m}"
exec "$prefix/lib/velmbank/velmd" "$@"
