#!/usr/bin/env bash
# Adding files without freezing: 1,000 short files (audio and video, half and
# half) dropped as one folder on page 1 of the real main window (offscreen),
# against tembrio-convert --info on the same files. --info probes one file after
# the other and has no -j: it is timed as it is, and split over as many
# processes as the window has worker threads.
#   [ROUNDS=3] [COUNT=1000] bench/gui-add.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${COUNT:-1000}
[ -x "$build/tembrio-convert" ] || { echo "missing $build/tembrio-convert: build the project first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found: run scripts/setup" >&2; exit 1; }
cmake --build "$build" --target tembrio-gui-add-bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src" "$work/in" "$work/home"
# Two-second sources: five audio files and five videos (320 x 240, 25 fps).
tone=(-f lavfi -i "sine=frequency=440:duration=2:sample_rate=44100" -ac 2)
picture=(-f lavfi -i "testsrc2=size=320x240:rate=25:duration=2")
make() { ffmpeg -v error -nostdin -y "$@"; }
make "${tone[@]}" "$work/src/tone.wav"
make "${tone[@]}" -c:a libmp3lame -b:a 128k "$work/src/tone.mp3"
make "${tone[@]}" -c:a libvorbis "$work/src/tone.ogg"
make "${tone[@]}" -c:a flac "$work/src/tone.flac"
make "${tone[@]}" -c:a aac -b:a 128k "$work/src/tone.m4a"
make "${picture[@]}" "${tone[@]}" -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$work/src/clip.mp4"
make "${picture[@]}" "${tone[@]}" -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$work/src/clip.mov"
make "${picture[@]}" "${tone[@]}" -c:v mpeg4 -c:a libmp3lame -shortest "$work/src/clip.mkv"
make "${picture[@]}" "${tone[@]}" -c:v mpeg4 -c:a libmp3lame -shortest "$work/src/clip.avi"
make "${picture[@]}" "${tone[@]}" -c:v libvpx -b:v 500k -c:a libopus -shortest "$work/src/clip.webm"
kinds=(tone.wav clip.mp4 tone.mp3 clip.mov tone.ogg clip.mkv tone.flac clip.avi tone.m4a clip.webm)
for ((i = 0; i < count; i++)); do
  k=${kinds[i % ${#kinds[@]}]}
  cp "$work/src/$k" "$work/in/$(printf '%04d' "$i")-$k"
done
cat "$work"/in/* >/dev/null

threads=$(nproc)
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
worst() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b > a) ? b : a }'; }

run_info() {  # processes
  local t0 t1
  t0=$(now)
  printf '%s\0' "$work"/in/* |
    xargs -0 -P "$1" -n $(((count + $1 - 1) / $1)) "$build/tembrio-convert" --info >/dev/null
  t1=$(now)
  calc "$t1 - $t0"
}

# One add of the whole folder in a fresh window: its total and longest stall.
run_add() {
  rm -rf "$work/home" && mkdir "$work/home"
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=offscreen \
    "$build/tembrio-gui-add-bench" "$work/in" >"$work/add.txt" 2>"$work/add.err" ||
    { cat "$work/add.err" >&2; exit 1; }
  local rows
  rows=$(awk '/^rows:/ { print $2 }' "$work/add.txt")
  [ "$rows" = "$count" ] || { echo "the window listed $rows of $count files" >&2; cat "$work/add.txt" >&2; exit 1; }
  echo "$(awk '/^total:/ { print $2 }' "$work/add.txt") $(awk '/^longest stall:/ { print $3 }' "$work/add.txt")"
}

# Each time is the best of $rounds runs, the cases taking turns; the stall is
# the longest of them all.
rounds=${ROUNDS:-3}
info1= infoN= add= stall=
for ((r = 0; r < rounds; r++)); do
  info1=$(best "$info1" "$(run_info 1)")
  infoN=$(best "$infoN" "$(run_info "$threads")")
  read -r t s <<<"$(run_add)"
  add=$(best "$add" "$t")
  stall=$(worst "$stall" "$s")
done
line() { printf '%-31s: %s\n' "$1" "$2"; }
line "files" "$count (half audio, half video), one folder (best of $rounds)"
line "worker threads" "$threads"
line "tembrio-convert --info" "${info1} s"
line "--info in $threads processes" "${infoN} s"
line "add to page 1 (last row)" "${add} s"
line "longest event-loop stall" "${stall} ms (target <= 100 ms; the longest of $rounds runs)"
line "add / --info in $threads processes" "$(calc "$add / $infoN")x"
line "add / --info" "$(calc "$add / $info1")x (target <= 1.5x)"
echo "add: $(calc "$add / $info1")x of --info, longest stall $(awk -v s="$stall" 'BEGIN { printf "%.0f", s }') ms"
