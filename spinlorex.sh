#!/usr/bin/env bash
# Builds Spinlorex and starts the desk.
#   ./spinlorex.sh          installs missing Debian packages, builds, writes three demo tracks
#                           (120, 124 and 128 BPM) into demo/ if they are not there, starts
#                           the desk with the first two on the decks and the third in the
#                           playlist
#   ./spinlorex.sh FILE...  the same, with these files instead of the demo tracks
# Press play on deck 1 and then "Mix Now !" (or the mix button with the playlist panel shown).
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
if [ $# -eq 0 ]; then
  # Slowest first, as a set would go.
  set -- demo/*"(120 BPM).mp3" demo/*"(124 BPM).mp3" demo/*"(128 BPM).mp3"
  echo "Demo tracks (in $(pwd)/demo): the first two on the decks, the third in the playlist."
fi
exec build/src/app/spinlorex "$@"
