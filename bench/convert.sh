#!/usr/bin/env bash
# Times one conversion task of the converter against `ffmpeg -threads 1` doing
# the same conversion, on generated inputs, in the same run; prints wall-time
# and peak-memory ratios (target: time <= 1.05x, memory <= 1.0x).
#   [RUNS=n] bench/convert.sh [BUILD_DIR]   (default: build; best of RUNS runs, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench="$build/tembrio-convert-bench"
[ -x "$bench" ] || cmake --build "$build" --target tembrio-convert-bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Inputs: 10 minutes of 44.1 kHz stereo WAV, the same as 48 kHz FLAC, and a
# 60-second video clip with sound.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=600" -ac 2 "$work/long.wav"
ffmpeg -v error -i "$work/long.wav" -ar 48000 -c:a flac "$work/long48.flac"
ffmpeg -v error -f lavfi -i "testsrc=duration=60:size=640x360:rate=25" \
  -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=60" -ac 2 \
  -c:v mpeg4 -c:a aac -b:a 128k "$work/clip.mp4"

# measure NAME -- command...: best wall time of three runs and the peak RSS.
measure() {
  local best="" mem=0
  for _ in $(seq "${RUNS:-3}"); do
    /usr/bin/time -f "%e %M" -o "$work/t" "$@" >/dev/null 2>"$work/err" || { cat "$work/err"; exit 1; }
    read -r sec kb <"$work/t"
    if [ -z "$best" ] || awk "BEGIN{exit !($sec < $best)}"; then best=$sec; fi
    [ "$kb" -gt "$mem" ] && mem=$kb
  done
  echo "$best $mem"
}

printf "%-26s %9s %9s %7s %9s %9s %7s\n" case "tembrio s" "ffmpeg s" ratio "tembrio MB" "ffmpeg MB" ratio
row() {
  local name=$1 input=$2 ext=$3 codec=$4 rate=$5 ch=$6 br=$7 ext_opts=$8; shift 8
  read -r ts tm < <(measure "$bench" "$input" "$work/t.$ext" "$codec" "$rate" "$ch" "$br" "$ext_opts")
  read -r fs fm < <(measure ffmpeg -v error -threads 1 -y -i "$input" -vn "$@" "$work/f.$ext")
  awk -v n="$name" -v ts="$ts" -v fs="$fs" -v tm="$tm" -v fm="$fm" 'BEGIN{
    printf "%-26s %9.2f %9.2f %7.3f %9.1f %9.1f %7.3f\n", n, ts, fs, ts/fs, tm/1024, fm/1024, tm/fm }'
}
for src in long.wav long48.flac clip.mp4; do
  in="$work/$src"
  row "$src -> mp3 112k" "$in" mp3 libmp3lame 44100 2 112000 "" -c:a libmp3lame -ar 44100 -ac 2 -b:a 112k
  row "$src -> ogg q4.97" "$in" ogg libvorbis 44100 -1 -1 "aq=4.97" -c:a libvorbis -ar 44100 -aq 4.97
  row "$src -> flac level 5" "$in" flac flac -1 -1 -1 "compression_level=5" -c:a flac -compression_level 5
  row "$src -> aac 256k" "$in" aac aac 44100 2 256000 "" -c:a aac -ar 44100 -ac 2 -b:a 256k
done
