#!/usr/bin/env bash
# Batch speed: 200 five-second WAVs to MP3 (112 kbit/s, 44100 Hz, stereo — the
# converter's MP3 preset 0), by tembrio-convert with one and with two jobs,
# against one ffmpeg process per file, sequential and two at a time.
#   [ROUNDS=3] bench/batch.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=200
for tool in "$build/tembrio-fixtures" "$build/tembrio-convert"; do
  [ -x "$tool" ] || { echo "missing $tool: build the project first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg not found: run scripts/setup" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source bench/lib/tone-copies.bash
tone_copies "$count" 5

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

run_ours() {  # jobs
  rm -rf "$work/out"
  local t0 t1
  t0=$(now)
  "$build/tembrio-convert" -f mp3 -p 0 -j "$1" -o "$work/out" "$work"/in/*.wav >/dev/null
  t1=$(now)
  calc "$t1 - $t0"
}

ffmpeg_one() {
  ffmpeg -v error -nostdin -y -i "$1" -vn -c:a libmp3lame -b:a 112k -ar 44100 -ac 2 "$2/$(basename "${1%.wav}").mp3"
}
export -f ffmpeg_one

run_ffmpeg() {  # parallel processes
  rm -rf "$work/ref" && mkdir "$work/ref"
  local t0 t1
  t0=$(now)
  printf '%s\n' "$work"/in/*.wav | xargs -P "$1" -I{} bash -c 'ffmpeg_one "$1" "$2"' _ {} "$work/ref"
  t1=$(now)
  calc "$t1 - $t0"
}

# Run-to-run spread on a shared machine is large: each figure is the best of
# $rounds runs, the four cases taking turns.
rounds=${ROUNDS:-3}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
j1= j2= f1= f2=
for ((r = 0; r < rounds; r++)); do
  j1=$(best "$j1" "$(run_ours 1)")
  j2=$(best "$j2" "$(run_ours 2)")
  f1=$(best "$f1" "$(run_ffmpeg 1)")
  f2=$(best "$f2" "$(run_ffmpeg 2)")
done
echo "files                      : $count x 5 s WAV -> MP3 112 kbit/s (best of $rounds)"
echo "tembrio-convert -j 1       : ${j1} s"
echo "tembrio-convert -j 2       : ${j2} s"
echo "ffmpeg per file, sequential: ${f1} s"
echo "ffmpeg per file, xargs -P 2: ${f2} s"
echo "-j 1 / sequential ffmpeg   : $(calc "$j1 / $f1")"
echo "-j 2 / xargs -P 2 ffmpeg   : $(calc "$j2 / $f2") (target <= 0.8)"
# The headline comes last.
echo "speed-up -j 2 over -j 1    : $(calc "$j1 / $j2")x (target >= 1.8x)"
