#!/usr/bin/env bash
# Builds Spinlorex and runs every test suite.
#   ./test.sh             installs missing Debian packages, checks the sources' format,
#                         builds into build/, runs ctest
#   ./test.sh --sanitize  the same under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   ./test.sh --tsan      the Qt-free part under ThreadSanitizer (build-tsan/)
set -euo pipefail
cd "$(dirname "$0")"

build=build
options=(-DSPINLOREX_WERROR=ON)
case "${1:-}" in
  --sanitize)
    build=build-asan
    options+=(-DSPINLOREX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    ;;
  --tsan)
    build=build-tsan
    options+=(-DSPINLOREX_TSAN=ON -DSPINLOREX_UI=OFF -DSPINLOREX_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    ;;
esac

scripts/install-deps.sh
scripts/check-format.sh
# The build runs programs too (the artwork generator).
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp second_deadlock_stack=1"
cmake -S . -B "$build" -G Ninja "${options[@]}"
cmake --build "$build"
export SPINLOREX_AUDIO=null QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)"
