#!/usr/bin/env bash
# Times one conversion task of the converter against `ffmpeg -threads 1` doing
# the same conversion, on generated inputs, in the same run; prints wall-time
# and peak-memory ratios (target: time <= 1.05x, memory <= 1.0x).
# The video rows convert the clip to each video container of tembrio-convert
# (preset 0) and give ffmpeg the same encoders and rates, one thread for
# decoding, filtering and encoding alike: the engine's codecs run on one
# thread unless the "threads" option says otherwise.
# The Opus and ALAC rows give ffmpeg the same encoders, rates, channels, bit
# rate and sample format as the converter's default presets of the two.
#   [RUNS=n] [ROWS=regex] bench/convert.sh [BUILD_DIR]
# (default: build; best of RUNS runs, default 3; only the rows whose names
# match ROWS, default all)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench="$build/tembrio-convert-bench"
[ -x "$bench" ] || cmake --build "$build" --target tembrio-convert-bench >/dev/null
convert="$build/tembrio-convert"
[ -x "$convert" ] || cmake --build "$build" --target tembrio-convert >/dev/null
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
    /usr/bin/time -f "%e %M" -o "$work/t" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    read -r sec kb <"$work/t"
    if [ -z "$best" ] || awk "BEGIN{exit !($sec < $best)}"; then best=$sec; fi
    [ "$kb" -gt "$mem" ] && mem=$kb
  done
  echo "$best $mem"
}

# report NAME TEMBRIO_S FFMPEG_S TEMBRIO_KB FFMPEG_KB: one row, its ratios kept for the headline.
report() {
  awk -v n="$1" -v ts="$2" -v fs="$3" -v tm="$4" -v fm="$5" -v kept="$work/ratios" 'BEGIN{
    printf "%-26s %9.2f %9.2f %7.3f %9.1f %9.1f %7.3f\n", n, ts, fs, ts/fs, tm/1024, fm/1024, tm/fm
    print ts/fs, tm/fm >> kept }'
}
printf "%-26s %9s %9s %7s %9s %9s %7s\n" case "tembrio s" "ffmpeg s" ratio "tembrio MB" "ffmpeg MB" ratio
# The converter never writes over a file: each of its runs starts without the
# last one's output. A failed run ends the bench with its reason.
row() {
  local name=$1 input=$2 ext=$3 codec=$4 rate=$5 ch=$6 br=$7 ext_opts=$8; shift 8
  [[ -z "${ROWS:-}" || "$name" =~ $ROWS ]] || return 0
  measure sh -c 'rm -f "$3"; exec "$@"' sh "$bench" "$input" "$work/t.$ext" "$codec" "$rate" "$ch" "$br" \
    "$ext_opts" >"$work/m"
  read -r ts tm <"$work/m"
  measure ffmpeg -v error -threads 1 -y -i "$input" -vn "$@" "$work/f.$ext" >"$work/m"
  read -r fs fm <"$work/m"
  report "$name" "$ts" "$fs" "$tm" "$fm"
}
# vrow NAME FORMAT EXT -- ffmpeg output options: the clip through
# `tembrio-convert -j 1 -f FORMAT` (a fresh output folder each run) against ffmpeg.
vrow() {
  local name=$1 format=$2 ext=$3; shift 3
  [[ -z "${ROWS:-}" || "$name" =~ $ROWS ]] || return 0
  measure sh -c 'rm -rf "$1"; exec "$2" -j 1 -f "$3" -o "$1" "$4"' sh "$work/v" "$convert" "$format" \
    "$work/clip.mp4" >"$work/m"
  read -r ts tm <"$work/m"
  measure ffmpeg -v error -threads 1 -filter_threads 1 -y -i "$work/clip.mp4" -threads 1 "$@" "$work/f.$ext" \
    >"$work/m"
  read -r fs fm <"$work/m"
  report "$name" "$ts" "$fs" "$tm" "$fm"
}
for src in long.wav long48.flac clip.mp4; do
  in="$work/$src"
  row "$src -> mp3 112k" "$in" mp3 libmp3lame 44100 2 112000 "" -c:a libmp3lame -ar 44100 -ac 2 -b:a 112k
  row "$src -> ogg q4.97" "$in" ogg libvorbis 44100 -1 -1 "aq=4.97" -c:a libvorbis -ar 44100 -aq 4.97
  row "$src -> flac level 5" "$in" flac flac -1 -1 -1 "compression_level=5" -c:a flac -compression_level 5
  row "$src -> aac 256k" "$in" aac aac 44100 2 256000 "" -c:a aac -ar 44100 -ac 2 -b:a 256k
done
# Opus at 48 kHz from CD audio (resampled on the way), ALAC in 16 bits as the source has.
row "long.wav -> opus 128k" "$work/long.wav" opus libopus 48000 2 128000 "" \
  -c:a libopus -ar 48000 -ac 2 -b:a 128k
row "long.wav -> alac" "$work/long.wav" m4a alac -1 -1 -1 "sample_fmt=s16" -c:a alac -sample_fmt s16p
# The libraries' H.264 encoder when they have it, as tembrio-convert decides.
h264=mpeg4
if ffmpeg -hide_banner -encoders 2>/dev/null | grep ' libx264 ' >/dev/null; then h264=libx264; fi
vrow "clip.mp4 -> mp4 $h264" mp4 mp4 -c:v "$h264" -b:v 1000k -c:a aac -b:a 128k
vrow "clip.mp4 -> mkv $h264" mkv mkv -c:v "$h264" -b:v 1000k -c:a aac -b:a 128k
vrow "clip.mp4 -> avi mpeg4/mp3" avi avi -c:v mpeg4 -b:v 1000k -c:a libmp3lame -b:a 128k -ac 2
vrow "clip.mp4 -> mpg mpeg2/mp2" mpg mpg -c:v mpeg2video -b:v 2500k -c:a mp2 -b:a 192k -ac 2
awk '$1 > t { t = $1 } $2 > m { m = $2 } END {
  printf "headline: worst time ratio %.3f (target 1.05), worst memory ratio %.3f (target 1.0)\n", t, m }' "$work/ratios"
