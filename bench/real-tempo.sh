#!/usr/bin/env bash
# Tempo on real recorded drums: renders Hydrogen's demo songs (real drum-kit samples, the
# song's own swing and humanised timing) to WAV with h2cli, reads each song's tempo from its
# <bpm>, runs `spinlorex-tool analyze` on the renders and prints, per song, the known tempo,
# the analyser's bpm, the grid's gridBpm and the shownBpm the desk shows, with whether bpm
# and shownBpm are right (within 1 % of the tempo, of half or of double it). Then the counts:
# right by the analyser, right as shown, and shown wrong where the analyser was right.
# Target: shown right on at least three more songs than the analyser, and wrong on none that
# the analyser gets right.
# Hydrogen humanises timing and velocity at random, so each render differs a little; TAKES
# renders every song that many times (a row per take).
# Usage: bench/real-tempo.sh [TOOL] [TAKES]   (default build/src/tools/spinlorex-tool, 1 take)
set -uo pipefail
tool=${1:-}
[ -n "$tool" ] && [ -e "$tool" ] && tool=$(realpath "$tool")
cd "$(dirname "$0")/.."
tool=${tool:-build/src/tools/spinlorex-tool}
takes=${2:-1}

scripts/install-deps.sh hydrogen || exit 0
if [ ! -x "$tool" ]; then
  cmake -S . -B build -G Ninja >/dev/null &&
    cmake --build build -j1 --target spinlorex-tool >/dev/null
fi
if [ ! -x "$tool" ]; then
  echo "no spinlorex-tool at $tool" >&2
  exit 0
fi

songs=$(dpkg -L hydrogen-data hydrogen 2>/dev/null | grep '\.h2song$' | sort -u)
if [ -z "$songs" ]; then
  echo "no Hydrogen demo songs found" >&2
  exit 0
fi

work=$(mktemp -d /tmp/spinlorex-real-tempo.XXXXXX)
trap 'rm -rf "$work"' EXIT

# tag VALUE FILE: the text of the first <VALUE> element in FILE.
tag() { grep -o -m1 "<$1>[^<]*" "$2" | head -1 | sed "s/<$1>//"; }

names=() known=() notes=() wavs=()
for song in $songs; do
  base=$(basename "$song" .h2song)
  bpm=$(tag bpm "$song")
  swing=$(tag swing_factor "$song")
  note="swing ${swing:-0}"
  markers=$(grep -c '<newBPM>' "$song")
  [ "$markers" -gt 0 ] && note="$note, $markers tempo changes"
  for take in $(seq "$takes"); do
    name=$base
    [ "$takes" -gt 1 ] && name="$base#$take"
    wav="$work/$base-$take.wav"
    # An audio driver named on the command line keeps h2cli from waiting on a JACK server;
    # the export itself is written by Hydrogen's disk writer whatever the driver.
    timeout 300 h2cli -d alsa -s "$song" -o "$wav" >"$work/h2cli.log" 2>&1 ||
      timeout 300 h2cli -s "$song" -o "$wav" >"$work/h2cli.log" 2>&1
    if [ ! -s "$wav" ]; then
      echo "h2cli did not render $song" >&2
      continue
    fi
    names+=("$name") known+=("$bpm") notes+=("$note") wavs+=("$wav")
  done
done
if [ ${#wavs[@]} -eq 0 ]; then
  echo "nothing rendered" >&2
  exit 0
fi

"$tool" analyze "${wavs[@]}" >"$work/analyze.txt" 2>"$work/analyze.err"

# field NAME LINE: a number from one line of analyze's JSON (empty when absent).
field() { grep -o "\"$1\":[-0-9.e+]*" <<<"$2" | head -1 | cut -d: -f2; }
# right TEMPO KNOWN: "yes" where TEMPO is within 1 % of KNOWN, of half or of double it.
right() {
  awk -v t="$1" -v k="$2" 'BEGIN {
    ok = 0
    if (t > 0 && k > 0)
      for (m = 0.5; m <= 2; m *= 2) if (t >= k * m * 0.99 && t <= k * m * 1.01) ok = 1
    print ok ? "yes" : "no" }'
}

printf '%-26s %6s %8s %8s %8s %6s %6s  %s\n' song known bpm gridBpm shownBpm bpm? shown? notes
rightBpm=0 rightShown=0 lost=0 secs=0
for i in "${!wavs[@]}"; do
  line=$(grep -F "\"path\":\"${wavs[$i]}\"" "$work/analyze.txt" | head -1)
  bpm=$(field bpm "$line") grid=$(field gridBpm "$line") shown=$(field shownBpm "$line")
  dur=$(field duration "$line")
  a=$(right "${bpm:-0}" "${known[$i]}") s=$(right "${shown:-0}" "${known[$i]}")
  [ "$a" = yes ] && rightBpm=$((rightBpm + 1))
  [ "$s" = yes ] && rightShown=$((rightShown + 1))
  [ "$a" = yes ] && [ "$s" = no ] && lost=$((lost + 1))
  secs=$((secs + ${dur:-0}))
  printf '%-26s %6s %8.2f %8.2f %8.2f %6s %6s  %s, %ss\n' "${names[$i]}" "${known[$i]}" \
    "${bpm:-0}" "${grid:-0}" "${shown:-0}" "$a" "$s" "${notes[$i]}" "${dur:-?}"
done
echo
echo "${#wavs[@]} renders of Hydrogen's demo songs, ${secs} s in all"
echo "right by the analyser (bpm):        $rightBpm"
echo "right as shown (shownBpm):          $rightShown   (target: at least $((rightBpm + 3)))"
echo "shown wrong where bpm was right:    $lost   (target: 0)"
exit 0
