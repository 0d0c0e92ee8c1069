#!/usr/bin/env bash
# Times spinlorex-tool analyze on a crate of twenty generated 3-minute MP3s (192 kbit/s,
# 118..137 BPM) with --jobs 1 and --jobs 2, checks that both print the same lines, and
# prints the median wall times, their ratio (target: --jobs 2 at most 0.6 of --jobs 1) and
# the peak memory of --jobs 2.
# Usage: bench/analyze-jobs.sh [runs]   (default 3 runs per command; median reported)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}

scripts/install-deps.sh time
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPINLOREX_TESTS=OFF >/dev/null
cmake --build build-release --target spinlorex-tool >/dev/null
tool=build-release/src/tools/spinlorex-tool

work=$(mktemp -d /tmp/spinlorex-jobs-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
tracks=()
for i in $(seq 1 20); do
  tracks+=("$work/track$i.mp3")
  "$tool" generate --bpm $((117 + i)) --seconds 180 --seed "$i" --kbps 192 "${tracks[-1]}" >/dev/null
done

# median_seconds CMD...: runs CMD $runs times (output discarded) and prints the median.
median_seconds() {
  local times=() start end
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=("$(( end - start ))")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.3f\n", a[int((NR+1)/2)]/1e9}'
}

t1=$(median_seconds "$tool" analyze --jobs 1 "${tracks[@]}")
t2=$(median_seconds "$tool" analyze --jobs 2 "${tracks[@]}")
"$tool" analyze --jobs 1 "${tracks[@]}" > "$work/one.txt" || true
"$tool" analyze --jobs 2 "${tracks[@]}" > "$work/two.txt" || true
same=$(cmp -s "$work/one.txt" "$work/two.txt" && echo same || echo DIFFERENT)
peak_kb=$( { /usr/bin/time -f '%M' "$tool" analyze --jobs 2 "${tracks[@]}" >/dev/null; } 2>&1 | tail -1)

echo
echo "twenty 3-minute MP3s (192 kbit/s) on $(nproc) cores; median of $runs runs"
printf '%-36s %8s\n' "spinlorex-tool analyze --jobs 1" "$t1"
printf '%-36s %8s\n' "spinlorex-tool analyze --jobs 2" "$t2"
echo "--jobs 2 / --jobs 1 = $(awk -v a="$t2" -v b="$t1" 'BEGIN {printf "%.2f", a/b}')   (target <= 0.6)"
echo "lines of --jobs 1 and --jobs 2: $same"
echo "peak memory of --jobs 2 = $(awk -v k="$peak_kb" 'BEGIN {printf "%.1f MB", k/1024}')"
