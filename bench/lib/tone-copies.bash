# Sourced by the benches that convert many copies of one tone (batch.sh,
# gui-batch.sh, gui-vs-cli.sh); they set `build` and `work` first.

# tone_copies COUNT SECONDS: $work/in holds COUNT copies of a SECONDS-long
# 44.1 kHz stereo WAV made from the two-second fixture, read once so that the
# first run does not pay for the disk.
tone_copies() {
  local count=$1 seconds=$2 i
  "$build/tembrio-fixtures" "$work/src" tone-44k-stereo.wav
  mkdir "$work/in"
  ffmpeg -v error -stream_loop -1 -i "$work/src/tone-44k-stereo.wav" -t "$seconds" -c copy "$work/tone.wav"
  for ((i = 0; i < count; i++)); do cp "$work/tone.wav" "$work/in/$(printf '%03d' "$i").wav"; done
  cat "$work"/in/* >/dev/null
}

# desktop_user: the desktop program runs offscreen as a fresh user, its
# settings in the work folder, and no sound or shut-down follows.
desktop_user() {
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=offscreen
  mkdir -p "$XDG_CONFIG_HOME"
}

# run_wizard JOBS: the wizard converts $work/in to MP3 (preset 0), JOBS files
# at once, and prints its time from "Convert" to the summary. Qt's notices are
# shown only when the run fails.
run_wizard() {
  rm -rf "$work/out"
  "$build/tembrio-gui-batch-bench" "$1" "$work/out" "$work"/in/*.wav 2>"$work/stderr" ||
    { cat "$work/stderr" >&2; return 1; }
}
