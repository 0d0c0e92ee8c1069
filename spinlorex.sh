#!/usr/bin/env bash
# Builds Spinlorex and starts the desk.
#   ./spinlorex.sh          installs missing Debian packages, builds, writes three demo tracks
#                           (120, 124 and 128 BPM) into demo/ if they are not there, starts
#                           the desk
# Drag the demo tracks from your file manager onto the two discs, press play on deck 1 and
# then "Mix Now !" (or the mix button with the playlist panel shown).
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target spinlorex spinlorex-tool
build/src/tools/spinlorex-tool demo demo >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the desk needs a graphical session (or run it under Xvfb)." >&2
  exit 1
fi
echo "Demo tracks are in $(pwd)/demo; drag them onto the discs."
exec build/src/app/spinlorex
