#!/usr/bin/env bash
# Album images: a generated 60-minute FLAC image (44.1 kHz stereo) with a cue
# sheet of 15 four-minute tracks, converted to MP3 (112 kbit/s, the
# converter's MP3 preset 0) by tembrio-convert with one and with two jobs.
# Each track is a task of its own that reads the image only from its own
# start, so two jobs should take about half the time of one (target: -j 2 at
# least 1.8x as fast as -j 1). The whole image converted as one file is shown
# for comparison: the tracks one after another should cost about as much
# processor time (a track that decoded the image from its beginning would
# show here, whatever the load of the machine).
#   [ROUNDS=3] bench/cue.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tracks=15
minutes=4
for tool in "$build/tembrio-convert" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool: build the project first (and install 'time')" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg not found: run scripts/setup" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A tone that changes with time, so that no stretch of the image is like another.
ffmpeg -v error -f lavfi -i "aevalsrc=0.4*sin(2*PI*(220+2*t)*t)|0.4*sin(2*PI*(330+t)*t):s=44100:d=$((tracks * minutes * 60))" \
  -c:a flac "$work/album.flac"
{
  echo 'PERFORMER "Bench Ensemble"'
  echo 'TITLE "Sixty Minutes"'
  echo 'FILE "album.flac" WAVE'
  for ((n = 1; n <= tracks; n++)); do
    printf '  TRACK %02d AUDIO\n    TITLE "Part %d"\n    INDEX 01 %02d:00:00\n' "$n" "$n" $(((n - 1) * minutes))
  done
} >"$work/album.cue"
cat "$work/album.flac" >/dev/null

calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

run() {  # jobs, source: "wall cpu" in seconds
  rm -rf "$work/out"
  local made
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$build/tembrio-convert" -f mp3 -p 0 -j "$1" -o "$work/out" "$2" >/dev/null
  made=$(ls "$work/out" | wc -l)
  case "$2" in
    *.cue) [ "$made" -eq "$tracks" ] || { echo "-j $1: $made of $tracks tracks converted" >&2; exit 1; } ;;
  esac
  awk '{ printf "%.3f %.3f", $1, $2 + $3 }' "$work/time"
}

# Run-to-run spread on a shared machine is large: each figure is the best of
# $rounds runs, the cases taking turns. The processor time tells what the
# work costs whatever else the machine runs: the tracks together should cost
# about what the whole image does.
rounds=${ROUNDS:-3}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
j1= j2= whole= c1= c2= cw=
for ((r = 0; r < rounds; r++)); do
  read -r wall cpu <<<"$(run 1 "$work/album.cue")"; j1=$(best "$j1" "$wall"); c1=$(best "$c1" "$cpu")
  read -r wall cpu <<<"$(run 2 "$work/album.cue")"; j2=$(best "$j2" "$wall"); c2=$(best "$c2" "$cpu")
  read -r wall cpu <<<"$(run 1 "$work/album.flac")"; whole=$(best "$whole" "$wall"); cw=$(best "$cw" "$cpu")
done
echo "image                      : $((tracks * minutes)) min FLAC, $tracks tracks -> MP3 112 kbit/s (best of $rounds)"
echo "load average at the end    : $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "whole image, one file      : ${whole} s wall, ${cw} s processor"
echo "tracks, -j 1               : ${j1} s wall, ${c1} s processor ($(calc "$c1 / $cw")x the whole image's)"
echo "tracks, -j 2               : ${j2} s wall, ${c2} s processor"
echo "speed-up -j 2 over -j 1    : $(calc "$j1 / $j2")x (target >= 1.8x)"
