#!/usr/bin/env bash
# Memory over a long queue: 10,000 queued short files (hard links to one
# generated 0.05-second WAV) converted to WAV by tembrio-convert with one and
# with two jobs, under /usr/bin/time -v. The headline is the peak resident
# size of each run (target: at most 100 MB, whatever the length of the queue).
#   [COUNT=10000] bench/queue.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${COUNT:-10000}
for tool in "$build/tembrio-fixtures" "$build/tembrio-convert" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool: build the project first (and install 'time')" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg not found: run scripts/setup" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tembrio-fixtures" "$work/src" tone-44k-stereo.wav >/dev/null
mkdir "$work/in"
# A short source: the work per file is small, so what each queued file
# costs the program shows.
ffmpeg -v error -i "$work/src/tone-44k-stereo.wav" -t 0.05 -c copy "$work/short.wav"
for ((i = 0; i < count; i++)); do ln "$work/short.wav" "$work/in/$(printf '%05d' "$i").wav"; done

run() {  # jobs
  rm -rf "$work/out"
  local status=0
  # The names are read from a list: 10,000 of them exceed a command line.
  (cd "$work/in" && printf '%s\n' *.wav) | sed "s|^|$work/in/|" >"$work/list"
  /usr/bin/time -v -o "$work/time" "$build/tembrio-convert" -f wav -j "$1" -o "$work/out" \
    --files-from "$work/list" >"$work/stdout" 2>"$work/stderr" || status=$?
  local converted seconds peak
  converted=$(ls "$work/out" | wc -l)
  peak=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time")
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$work/time")
  [ "$status" -eq 0 ] && [ "$converted" -eq "$count" ] ||
    { echo "-j $1: exit $status, $converted of $count converted" >&2; tail -5 "$work/stderr" >&2; }
  echo "-j $1: peak resident ${peak} MB, ${seconds} wall, ${converted} files"
}

r1=$(run 1)
r2=$(run 2)
echo "$r1"
echo "$r2"
echo "peak resident, $count queued files: ${r1%%,*} | ${r2%%,*} (target <= 100 MB)"
