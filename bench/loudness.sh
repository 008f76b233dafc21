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

# Something like a song as it is mastered today (about -14 LUFS, peaks near
# full scale): pink noise and a tone, swelling and fading every 20 s.
ffmpeg -v error -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:duration=180:amplitude=0.5:seed=7" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=180" \
  -filter_complex "[0][1]amix=inputs=2:weights=1 0.3:normalize=0,volume='2.6*(0.7+0.25*sin(2*PI*t/20))':eval=frame" \
  -ac 2 "$work/song.wav"

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

# The gain against the ffmpeg filter's own measure of what the encoder was given
# (the song at 44.1 kHz as float): they should agree within 0.1 dB.
"$convert" -j 1 -f mp3 --replaygain -o "$work/shown" "$work/song.wav" | head -1
gain=$("$convert" --info "$work/shown/song.mp3" | sed -n 's/^ReplayGain.TrackGain: \(.*\) dB$/\1/p')
reference=$(ffmpeg -nostats -i "$work/song.wav" -af ebur128=metadata=1,ametadata=print:key=lavfi.r128.I -f null - 2>&1 |
  sed -n 's/.*lavfi.r128.I=//p' | tail -1)
awk -v g="$gain" -v i="$reference" 'BEGIN{
  printf "track gain %.2f dB; ffmpeg ebur128: %.2f LUFS, a gain of %.2f dB; difference %.2f dB\n", g, i, -18 - i, g - (-18 - i) }'

awk -v p="$plain" -v r="$tagged" -v t="$twostep" 'BEGIN{
  printf "%-44s %8s\n", "case", "CPU s"
  printf "%-44s %8.2f\n", "tembrio-convert -f mp3", p
  printf "%-44s %8.2f\n", "tembrio-convert -f mp3 --replaygain", r
  printf "%-44s %8.2f\n", "ffmpeg -> mp3, then ffmpeg ebur128=peak=true", t
  printf "--replaygain / plain: %.3fx (target <= 1.10x); --replaygain / two-step ffmpeg: %.3fx\n", r / p, r / t }'
