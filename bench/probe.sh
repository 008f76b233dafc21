#!/usr/bin/env bash
# Probing speed: the program's probe (all files in one process) against one
# ffprobe process per file, on the same 200 small files.
#   bench/probe.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=200
for tool in "$build/tembrio-fixtures" "$build/tembrio-probe-bench"; do
  [ -x "$tool" ] || { echo "missing $tool: build the project first" >&2; exit 1; }
done
command -v ffprobe >/dev/null || { echo "ffprobe not found: run scripts/setup" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
kinds=(tone-44k-stereo.wav tagged-48k.flac tone.mp3 tone.ogg tone.aac video-audio.mp4 two-audio.mkv)
"$build/tembrio-fixtures" "$work/src" "${kinds[@]}"
mkdir "$work/files"
for ((i = 0; i < count; i++)); do
  k=${kinds[i % ${#kinds[@]}]}
  cp "$work/src/$k" "$work/files/$(printf '%03d' "$i")-$k"
done

now() { date +%s.%N; }

# Warm the page cache for both sides.
cat "$work"/files/* >/dev/null

t0=$(now)
"$build/tembrio-probe-bench" "$work/files" >"$work/ours.txt"
t1=$(now)
for f in "$work"/files/*; do
  ffprobe -v error -show_format -show_streams "$f" >/dev/null
done
t2=$(now)

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
ours=$(calc "($t1 - $t0) * 1000 / $count")
theirs=$(calc "($t2 - $t1) * 1000 / $count")
ratio=$(calc "$theirs / $ours")
echo "in-process probe: $(cat "$work/ours.txt")"
printf 'tembrio probe : %8.3f ms per file (whole process, %d files)\n' "$ours" "$count"
printf 'ffprobe       : %8.3f ms per file (one process per file)\n' "$theirs"
printf 'ratio         : %8.1fx faster per file (target >= 10x)\n' "$ratio"
