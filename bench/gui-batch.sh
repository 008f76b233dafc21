#!/usr/bin/env bash
# The desktop program with several files at once: its wizard, offscreen,
# converts 100 five-second WAVs to MP3 (112 kbit/s, 44100 Hz, stereo — preset
# 0) with one and with two files at once, from "Convert" to the summary.
#   [ROUNDS=3] bench/gui-batch.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=100
[ -x "$build/tembrio-fixtures" ] || { echo "missing $build/tembrio-fixtures: build the project first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found: run scripts/setup" >&2; exit 1; }
# Not part of the normal build: made here, once.
cmake --build "$build" --target tembrio-gui-batch-bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source bench/lib/tone-copies.bash
tone_copies "$count" 5
desktop_user

calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

# Run-to-run spread on a shared machine is large: each figure is the best of
# $rounds runs, the two cases taking turns.
rounds=${ROUNDS:-3}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
one= two=
for ((r = 0; r < rounds; r++)); do
  t=$(run_wizard 1) || exit 1
  one=$(best "$one" "$t")
  t=$(run_wizard 2) || exit 1
  two=$(best "$two" "$t")
done
echo "files          : $count x 5 s WAV -> MP3 112 kbit/s, wizard offscreen (best of $rounds)"
echo "1 file at once : ${one} s"
echo "2 files at once: ${two} s"
echo "speed-up: $(calc "$one / $two")x (target >= 1.8x)"
