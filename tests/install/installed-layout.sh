#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs
# from an unrelated working folder: tembrio-convert --info on a generated file,
# and (with the desktop program built) tembrio offscreen until it has loaded the
# media libraries from PREFIX/lib/tembrio, having found its splash picture in
# PREFIX/share/tembrio. The manual and the manual pages are installed, and the
# installed desktop data must pass the AppStream check of an installed tree.
#   installed-layout.sh CMAKE BUILD_DIR GUI(ON|OFF)
set -euo pipefail
cmake=$1 build=$2 gui=$3

work=$(realpath "$(mktemp -d)")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "installed-layout: $*" >&2
  exit 1
}

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed: $(cat "$work/install.log")"
"$build/tembrio-fixtures" "$work/media" tone-44k-stereo.wav
mkdir "$work/elsewhere"
cd "$work/elsewhere"

# The converter finds the copies in PREFIX/lib/tembrio, not the system's libraries.
LD_DEBUG=files "$prefix/bin/tembrio-convert" --info "$work/media/tone-44k-stereo.wav" \
  >"$work/info.txt" 2>"$work/info.err" || fail "tembrio-convert --info failed: $(grep -v '^ *[0-9]*:' "$work/info.err")"
grep -q '^Audio.SampleRate: 44100$' "$work/info.txt" || fail "tembrio-convert --info printed: $(cat "$work/info.txt")"
grep -q "file=$prefix/lib/tembrio/libavcodec.so.59 " "$work/info.err" ||
  fail "tembrio-convert did not open $prefix/lib/tembrio/libavcodec.so.59"

# The manual and the manual pages, compressed as man reads them.
pages=(share/man/man1/tembrio-convert.1.gz)
[ "$gui" = ON ] && pages+=(share/man/man1/tembrio.1.gz)
for page in "${pages[@]}"; do
  gzip -t "$prefix/$page" 2>/dev/null || fail "$page is not installed as a compressed manual page"
done
grep -q '<h2 id="the-command-line-converter">' "$prefix/share/doc/tembrio/manual.html" ||
  fail "share/doc/tembrio/manual.html is not the manual"

[ "$gui" = ON ] || exit 0

appstreamcli validate-tree --no-net "$prefix" >"$work/appstream.txt" 2>&1 ||
  fail "appstreamcli validate-tree: $(cat "$work/appstream.txt")"

export QT_QPA_PLATFORM=offscreen HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
"$prefix/bin/tembrio" 2>"$work/gui.err" &
pid=$!
library=$prefix/lib/tembrio/libavcodec.so.59
for _ in $(seq 600); do  # a minute at most
  if grep -qF "$library" "/proc/$pid/maps" 2>/dev/null || ! kill -0 "$pid" 2>/dev/null; then break; fi
  sleep 0.1
done
grep -qF "$library" "/proc/$pid/maps" 2>/dev/null || fail "tembrio did not load $library: $(cat "$work/gui.err")"
if grep -q 'no splash window' "$work/gui.err"; then fail "tembrio: $(cat "$work/gui.err")"; fi

# It ends on SIGTERM as on a window manager's close.
kill -TERM "$pid"
for _ in $(seq 600); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "tembrio did not end on SIGTERM"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "tembrio ended with status $status: $(cat "$work/gui.err")"
echo "installed-layout: the installed programs ran from $work/elsewhere"
