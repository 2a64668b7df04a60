#!/usr/bin/env bash
# screenshots.sh [OUTDIR] [BUILD_DIR]: starts the application's window on a
# private X server with a temporary HOME and saves one PNG per main view
# (home page, project settings for Record and Convert, About, a message box,
# a converted project)
# into OUTDIR (default: screenshots/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/screenshots}" && cd "${1:-$root/screenshots}" && pwd)
build=${2:-$root/build}
[ -x "$build/kalvinor_screenshots" ] || cmake --build "$build" --target kalvinor_screenshots >/dev/null

sandbox=$(mktemp -d /tmp/kalvinor-shots.XXXXXX)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$sandbox"
}
trap cleanup EXIT

export HOME="$sandbox/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$sandbox/runtime"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$HOME/Documents"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS

# -displayfd lets the server pick a free display number.
exec 3>"$sandbox/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -auth /dev/null >"$sandbox/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$sandbox/display" ] && break; sleep 0.05; done
[ -s "$sandbox/display" ] || { cat "$sandbox/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$sandbox/display")" QT_QPA_PLATFORM=xcb

# A spoken file and the synthetic test model for the converted-project view.
espeak-ng -v en-us -g 25 -w "$sandbox/raw.wav" "the quick brown fox jumps over the lazy dog. pack my box with five dozen liquor jugs." \
  && sox -R "$sandbox/raw.wav" -t wavpcm -r 16000 -c 1 -b 16 -e signed-integer "$HOME/Documents/interview.wav" \
  && export KALVINOR_SHOT_SPEECH="$HOME/Documents/interview.wav" KALVINOR_SHOT_MODEL="$root/tests/data/vosk-model-test"

"$build/kalvinor_screenshots" "$out"
