#!/usr/bin/env bash
# Times the disc scan of spinlorex-tool beside find on the same generated tree of 100,000
# files in 5,000 folders, in one run, and prints the medians and their ratio. Both write
# every track's path and size, one CR LF line each:
#   find DIR -xdev -type f \( -iname '*.mp3' -o -iname '*.wav' \) -printf '%p,%s\r\n' > FILE
#   spinlorex-tool scan --home H --cd Bench DIR     (a fresh search file each run)
# Usage: bench/scan-peers.sh [runs]   (default 7 runs per command, alternating; median reported)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}

scripts/install-deps.sh findutils coreutils
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPINLOREX_TESTS=OFF >/dev/null
cmake --build build-release --target spinlorex-tool >/dev/null
tool=$PWD/build-release/src/tools/spinlorex-tool

work=$(mktemp -d "${SPINLOREX_BENCH_DIR:-/var/tmp}/spinlorex-scan.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree=$work/tree
echo "generating 100,000 files in 5,000 folders under $tree ..."
# 50 artists x 100 albums; each album folder holds 16 MP3, 2 WAV and 2 other files.
for a in $(seq -w 1 50); do
  for b in $(seq -w 1 100); do
    dir="$tree/Artist $a/Album $b"
    mkdir -p "$dir"
    (cd "$dir" && touch "01 Track.mp3" "02 Track.mp3" "03 Track.mp3" "04 Track.MP3" "05 Track.mp3" \
      "06 Track.mp3" "07 Track.mp3" "08 Track.mp3" "09 Track.mp3" "10 Track.mp3" "11 Track.mp3" \
      "12 Track.mp3" "13 Track.mp3" "14 Track.mp3" "15 Track.mp3" "16 Track.mp3" "Intro.wav" \
      "Outro.WAV" "cover.jpg" "notes.txt" && truncate -s 4123456 ./*.mp3 ./*.MP3)
  done
done

home=$work/home
mkdir -p "$home"
find_line() { find "$tree" -xdev -type f \( -iname '*.mp3' -o -iname '*.wav' \) -printf '%p,%s\r\n' > "$work/find.txt"; }
scan_line() { rm -f "$home/mp3DataBase.txt"; "$tool" scan --home "$home" --cd Bench "$tree" >/dev/null; }

# One warm-up of each, then alternating timed runs.
find_line; scan_line
t_find=(); t_scan=()
now() { date +%s%N; }
for _ in $(seq "$runs"); do
  s=$(now); find_line; e=$(now); t_find+=("$(( e - s ))")
  s=$(now); scan_line; e=$(now); t_scan+=("$(( e - s ))")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {printf "%.3f\n", a[int((NR+1)/2)]/1e9}'; }
m_find=$(median "${t_find[@]}")
m_scan=$(median "${t_scan[@]}")

lines_find=$(wc -l < "$work/find.txt")
lines_scan=$(wc -l < "$home/mp3DataBase.txt")
# The same paths and sizes, whatever the order.
same=$(cmp -s <(sort "$work/find.txt") <(sed "s|^Bench=|$tree|" "$home/mp3DataBase.txt" | sort) && echo yes || echo NO)
echo
echo "100,000 files in 5,000 folders (90,000 tracks); median of $runs runs"
printf '%-40s %8s  %s\n' "command" "seconds" "lines"
printf '%-40s %8s  %s\n' "find -xdev -type f -iname ... -printf" "$m_find" "$lines_find"
printf '%-40s %8s  %s\n' "spinlorex-tool scan --cd" "$m_scan" "$lines_scan"
echo "same paths and sizes: $same"
echo
echo "scan / find = $(awk -v a="$m_scan" -v b="$m_find" 'BEGIN {printf "%.2f", a/b}')   (target <= 1.5)"
