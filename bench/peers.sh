#!/usr/bin/env bash
# Times Spinlorex beside established tools on the same generated files, in one run, and
# prints each tool's median time, the BPM it reports and the ratios:
#   analyze vs mpg123 decoding alone, vs aubio tempo, vs bpm-tools;
#   render --master-tempo --pitch 4424 vs soundstretch -tempo=+8, in quality standard and
#   high, beside rubberband-cli (R3, the engine High uses; offline, whole file at once);
#   render --key-shift 1 vs rubberband -p 1;
#   the peak memory of analyze;
#   analyze of the same music at 48 kHz against 44.1 kHz (WAV and MP3), of FLAC against
#   flac -d alone; and whether render --from F of an MP3 gives the full render's frames
#   from F on, byte for byte.
# Usage: bench/peers.sh [runs]   (default 5 runs per command; median reported)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

scripts/install-deps.sh mpg123 aubio-tools bpm-tools soundstretch rubberband-cli sox libsox-fmt-mp3 time flac
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPINLOREX_TESTS=OFF >/dev/null
cmake --build build-release --target spinlorex-tool >/dev/null
tool=build-release/src/tools/spinlorex-tool

work=$(mktemp -d /tmp/spinlorex-peers.XXXXXX)
trap 'rm -rf "$work"' EXIT
mp3=$work/track.mp3
wav=$work/track.wav
"$tool" generate --bpm 126 --seconds 300 --seed 5 --kbps 192 "$mp3"
"$tool" generate --bpm 126 --seconds 300 --seed 5 "$wav"
"$tool" generate --bpm 126 --seconds 300 --seed 5 --rate 48000 "$work/track48.wav"
"$tool" generate --bpm 126 --seconds 300 --seed 5 --rate 48000 --kbps 192 "$work/track48.mp3"
flac -s -f "$wav" -o "$work/track.flac"

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

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a/b}'; }

t_analyze=$(median_seconds "$tool" analyze "$mp3")
t_mpg123=$(median_seconds mpg123 -q -w /dev/null "$mp3")
t_aubio=$(median_seconds aubio tempo "$mp3")
t_bpm=$(median_seconds sh -c "sox '$mp3' -t raw -r 44100 -e float -c 1 - 2>/dev/null | bpm")
t_render=$(median_seconds "$tool" render --master-tempo --pitch 4424 "$wav" "$work/render.wav")
t_stretch=$(median_seconds soundstretch "$wav" "$work/stretch.wav" -tempo=+8)
t_high=$(median_seconds "$tool" render --master-tempo --quality high --pitch 4424 "$wav" "$work/high.wav")
t_rubberband=$(median_seconds rubberband -3 -q -T 1.08 "$wav" "$work/rubberband.wav")
t_shift=$(median_seconds "$tool" render --key-shift 1 "$wav" "$work/shift.wav")
t_rbshift=$(median_seconds rubberband -3 -q -p 1 "$wav" "$work/rbshift.wav")

bpm_analyze=$("$tool" analyze "$mp3" | sed -n 's/.*"bpm":\([0-9.]*\).*/\1/p')
bpm_aubio=$(aubio tempo "$mp3" 2>/dev/null | awk '/bpm/ {print $1}' | tail -1)
bpm_bpmtools=$(sox "$mp3" -t raw -r 44100 -e float -c 1 - 2>/dev/null | bpm || echo "?")
peak_kb=$( { /usr/bin/time -f '%M' "$tool" analyze "$mp3" >/dev/null; } 2>&1 | tail -1)
t_wav44=$(median_seconds "$tool" analyze "$wav")
t_wav48=$(median_seconds "$tool" analyze "$work/track48.wav")
t_mp348=$(median_seconds "$tool" analyze "$work/track48.mp3")
t_flac=$(median_seconds "$tool" analyze "$work/track.flac")
t_flacd=$(median_seconds sh -c "flac -d -s -c '$work/track.flac' > /dev/null")

# render --from F against the full render: the tool's WAV files have an 80-byte header; frame
# F x length of the full render is the first frame of the partial one (length: 300 s).
"$tool" render "$mp3" "$work/full.wav"
from_result=same
for f in 0.25 0.5 0.618 0.9; do
  "$tool" render --from "$f" --seconds 20 "$mp3" "$work/from.wav"
  start=$(awk -v f="$f" 'BEGIN {printf "%d", f * 300 * 44100 + 0.5}')
  if ! cmp -s -i "$((80 + 4 * start)):80" -n $((20 * 44100 * 4)) "$work/full.wav" "$work/from.wav"; then
    from_result="DIFFERENT at --from $f"
  fi
done

echo
echo "5-minute track, 126 BPM, 192 kbit/s MP3 and 16-bit WAV; median of $runs runs"
printf '%-44s %8s  %s\n' "command" "seconds" "BPM"
printf '%-44s %8s  %s\n' "spinlorex-tool analyze (MP3)" "$t_analyze" "$bpm_analyze"
printf '%-44s %8s  %s\n' "mpg123 -q -w /dev/null (decoding only)" "$t_mpg123" "-"
printf '%-44s %8s  %s\n' "aubio tempo" "$t_aubio" "$bpm_aubio"
printf '%-44s %8s  %s\n' "sox | bpm (bpm-tools)" "$t_bpm" "$bpm_bpmtools"
printf '%-44s %8s\n' "spinlorex-tool render --master-tempo 4424" "$t_render"
printf '%-44s %8s\n' "soundstretch -tempo=+8" "$t_stretch"
printf '%-44s %8s\n' "spinlorex-tool render ... --quality high" "$t_high"
printf '%-44s %8s\n' "rubberband -3 -T 1.08" "$t_rubberband"
printf '%-44s %8s\n' "spinlorex-tool render --key-shift 1" "$t_shift"
printf '%-44s %8s\n' "rubberband -3 -p 1" "$t_rbshift"
echo
echo "analyze / mpg123      = $(ratio "$t_analyze" "$t_mpg123")   (target <= 1.5)"
echo "analyze / aubio       = $(ratio "$t_analyze" "$t_aubio")"
echo "analyze / bpm-tools   = $(ratio "$t_analyze" "$t_bpm")"
echo "render / soundstretch = $(ratio "$t_render" "$t_stretch")   (target <= 0.25)"
echo "render high / soundstretch = $(ratio "$t_high" "$t_stretch"), / rubberband = $(ratio "$t_high" "$t_rubberband")"
echo "render high, x real time = $(awk -v t="$t_high" 'BEGIN {printf "%.1f", 300 / t}')   (target >= 20)"
echo "key shift / rubberband -p 1 = $(ratio "$t_shift" "$t_rbshift")"
echo "analyze peak memory   = $(awk -v k="$peak_kb" 'BEGIN {printf "%.1f MB", k/1024}')   (target < 25 MB)"
echo
printf '%-44s %8s\n' "spinlorex-tool analyze (44.1 kHz WAV)" "$t_wav44"
printf '%-44s %8s\n' "spinlorex-tool analyze (48 kHz WAV)" "$t_wav48"
printf '%-44s %8s\n' "spinlorex-tool analyze (48 kHz MP3)" "$t_mp348"
printf '%-44s %8s\n' "spinlorex-tool analyze (FLAC)" "$t_flac"
printf '%-44s %8s\n' "flac -d -c > /dev/null" "$t_flacd"
echo "analyze 48 kHz / 44.1 kHz, WAV = $(ratio "$t_wav48" "$t_wav44")   (target <= 1.3)"
echo "analyze 48 kHz / 44.1 kHz, MP3 = $(ratio "$t_mp348" "$t_analyze")   (target <= 1.3)"
echo "analyze FLAC / flac -d         = $(ratio "$t_flac" "$t_flacd")   (target <= 1.5)"
echo "render --from F of the MP3 against the full render: $from_result"
