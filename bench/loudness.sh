#!/usr/bin/env bash
# The CPU time of converting a 3-minute song to MP3 (preset 0: 44.1 kHz,
# stereo, 112 kbps) with --replaygain against the same conversion without it
# (target: <= 1.10x), and against the two steps it saves: the ffmpeg tool
# converting, then its R128 filter scanning the output for loudness and true
# peak. One job, one thread; user plus system CPU, best of RUNS runs
# (default 3). The headline is the last line.
#   [RUNS=n] bench/loudness.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
convert="$build/tembrio-convert"
[ -x "$convert" ] || cmake --build "$build" --target tembrio-convert >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Something like a song: pink noise and a tone, swelling and fading every 20 s.
ffmpeg -v error -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:duration=180:amplitude=0.3" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=180" \
  -filter_complex "[0][1]amix=inputs=2,volume='0.6+0.35*sin(2*PI*t/20)':eval=frame" -ac 2 "$work/song.wav"

# cpu COMMAND...: the least user + system CPU seconds of RUNS runs.
cpu() {
  local best=""
  for _ in $(seq "${RUNS:-3}"); do
    /usr/bin/time -f "%U %S" -o "$work/t" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    read -r user system <"$work/t"
    local sec
    sec=$(awk -v u="$user" -v s="$system" 'BEGIN{print u + s}')
    if [ -z "$best" ] || awk "BEGIN{exit !($sec < $best)}"; then best=$sec; fi
  done
  echo "$best"
}

# The converter never writes over a file: each run starts in an empty folder.
plain=$(cpu sh -c 'rm -rf "$1"; exec "$2" -j 1 -f mp3 -o "$1" "$3"' sh "$work/p" "$convert" "$work/song.wav")
tagged=$(cpu sh -c 'rm -rf "$1"; exec "$2" -j 1 -f mp3 --replaygain -o "$1" "$3"' sh "$work/r" "$convert" \
  "$work/song.wav")
twostep=$(cpu sh -c 'ffmpeg -v error -threads 1 -y -i "$1" -c:a libmp3lame -ar 44100 -ac 2 -b:a 112k "$2" &&
  exec ffmpeg -nostats -threads 1 -i "$2" -af ebur128=peak=true -f null - 2>/dev/null' sh "$work/song.wav" \
  "$work/f.mp3")

# What each measured, for the eye: the converter's line and tag, the ffmpeg filter's summary.
"$convert" -j 1 -f mp3 --replaygain -o "$work/shown" "$work/song.wav" | head -1
"$convert" --info "$work/shown/song.mp3" | grep '^ReplayGain'
ffmpeg -nostats -i "$work/song.wav" -af ebur128=peak=true -f null - 2>&1 | grep -E '^ +(I|Peak):' |
  sed 's/^ */ffmpeg ebur128 of the source: /'

awk -v p="$plain" -v r="$tagged" -v t="$twostep" 'BEGIN{
  printf "%-44s %8s\n", "case", "CPU s"
  printf "%-44s %8.2f\n", "tembrio-convert -f mp3", p
  printf "%-44s %8.2f\n", "tembrio-convert -f mp3 --replaygain", r
  printf "%-44s %8.2f\n", "ffmpeg -> mp3, then ffmpeg ebur128=peak=true", t
  printf "--replaygain / plain: %.3fx (target <= 1.10x); --replaygain / two-step ffmpeg: %.3fx\n", r / p, r / t }'
