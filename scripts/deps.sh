#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only when some are missing.
# Idempotent and non-interactive; quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev ccache
  clang-format clang-tidy  # the format check of the test command; the tidy preset
  qt6-base-dev libqt6opengl6-dev
  fonts-dejavu-core  # Cyrillic glyphs for the windows (Qt finds no font on a bare system)
  libgtest-dev libgmock-dev
  fis-gtm libshp-dev
  xvfb xauth
  qt6-translations-l10n  # Qt's own texts (context menus, file dialogs) in Russian
  libqt6svg6             # the window icons, drawn from the packaged SVG files
  lintian                # the package test checks the .deb with it
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
