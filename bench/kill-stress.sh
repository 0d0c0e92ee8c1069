#!/usr/bin/env bash
# The kill stress test in full: a writer of the track database and a desk recording its
# mix are each killed (SIGKILL) at random moments, by default 200 times each. After every
# kill the database must reopen whole with every record as it was or as it became, and the
# recording must open as a WAV file holding all but at most its last second.
# The suite runs the same tests with a few rounds; this runs them with many.
#   bench/kill-stress.sh [ROUNDS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-200}
build=${2:-build}
export SPINLOREX_KILL_STRESS=$rounds SPINLOREX_AUDIO=null
exec "$build/tests/spinlorex_tests" \
  --gtest_filter='TrackDatabaseTest.AWriterKilledAtAnyMomentLeavesEveryRecordAsItWasOrAsItBecame:MixRecorder.ADeskKilledWhileRecordingLeavesAFileThatPlaysAllButItsLastSecond'
