#!/usr/bin/env bash
# The desktop program against the command-line converter on the same long
# files: 42 sixty-second WAVs to MP3 (112 kbit/s, 44100 Hz, stereo — preset 0),
# two files at once in both, through the wizard offscreen (from "Convert" to the
# summary, as bench/gui-batch.sh drives it) and through `tembrio-convert -j 2`
# (the whole command). Prints both wall times and their ratio; the last line is
# the headline: the window's time over the converter's, target <= 1.10.
#   [ROUNDS=2] bench/gui-vs-cli.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=42
seconds=60
for tool in "$build/tembrio-fixtures" "$build/tembrio-convert"; do
  [ -x "$tool" ] || { echo "missing $tool: build the project first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg not found: run scripts/setup" >&2; exit 1; }
# Not part of the normal build: made here, once.
cmake --build "$build" --target tembrio-gui-batch-bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source bench/lib/tone-copies.bash
tone_copies "$count" "$seconds"
desktop_user

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

run_cli() {
  rm -rf "$work/out"
  local t0 t1
  t0=$(now)
  "$build/tembrio-convert" -f mp3 -p 0 -j 2 -o "$work/out" "$work"/in/*.wav >/dev/null
  t1=$(now)
  calc "$t1 - $t0"
}

# Run-to-run spread on a shared machine is large: each figure is the best of
# $rounds runs, the two programs taking turns.
rounds=${ROUNDS:-2}
gui= cli=
for ((r = 0; r < rounds; r++)); do
  t=$(run_wizard 2) || exit 1
  gui=$(best "$gui" "$t")
  t=$(run_cli) || exit 1
  cli=$(best "$cli" "$t")
done
echo "files           : $count x $seconds s WAV -> MP3 112 kbit/s, 2 at once (best of $rounds)"
echo "wizard offscreen: $(calc "$gui") s"
echo "tembrio-convert : ${cli} s"
echo "window / converter: $(calc "$gui / $cli") (target <= 1.10)"
