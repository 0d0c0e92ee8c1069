#!/usr/bin/env bash
# Times spinlorex-tool mix on a playlist of five generated 3-minute tracks (MP3, 192 kb/s,
# 122..130 BPM): the desk's own automatic mixing on virtual time, every transition
# beat-matched, from the first track's start until the last has played out. Prints the
# median wall time, the length of the mix written and how much faster than real time it
# ran (target: 100x).
# Usage: bench/mix-playlist.sh [runs] [wav]   (default 3 runs; "wav" uses WAV tracks)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
format=${2:-mp3}

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPINLOREX_TESTS=OFF >/dev/null
cmake --build build-release --target spinlorex-tool >/dev/null
tool=build-release/src/tools/spinlorex-tool

work=$(mktemp -d /tmp/spinlorex-mix-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
tracks=()
for i in 1 2 3 4 5; do
  tracks+=("$work/track$i.$format")
  "$tool" generate --bpm $((120 + 2 * i)) --seconds 180 --seed "$i" "${tracks[-1]}" >/dev/null
done

times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$tool" mix "${tracks[@]}" "$work/mix.wav" > "$work/mix.log"
  end=$(date +%s%N)
  times+=("$(( end - start ))")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]/1e9}')
# The mix's length from its file size: data bytes (after the 80-byte header) / (44100 * 4).
bytes=$(($(stat -c %s "$work/mix.wav") - 80))
seconds=$(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 176400}')
loads=$(grep -c '^load ' "$work/mix.log")
mixes=$(grep -c 'step 32 ' "$work/mix.log" || true)
echo "spinlorex-tool mix of 5 x 180 s ($format): $loads loads, $mixes transitions, mix of $seconds s written"
awk -v t="$median" -v s="$seconds" 'BEGIN {printf "median %.2f s: %.0fx faster than real time (target 100x)\n", t, s / t}'
