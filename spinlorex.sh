#!/usr/bin/env bash
# Builds Spinlorex and starts it.
# The desk's window is not built yet: for now this builds the engine and the command-line
# companion, writes three demo tracks (120, 124 and 128 BPM) into demo/, and analyses them
# through a real deck, printing what the beat analyser measured.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target spinlorex-tool
echo "The desk is not built yet; analysing the demo tracks with spinlorex-tool instead."
build/src/tools/spinlorex-tool demo demo >/dev/null
build/src/tools/spinlorex-tool analyze --db demo demo/*.mp3
