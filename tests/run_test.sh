#!/usr/bin/env bash
# run_test.sh MODE EXECUTABLE [ARGS...]
# Runs one test with its own HOME, XDG folders and runtime folder, so nothing
# touches the real user's files. MODE gui gives it a private Xvfb display.
set -euo pipefail
mode=$1; shift

sandbox=$(mktemp -d /tmp/kalvinor-test.XXXXXX)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$sandbox"
}
trap cleanup EXIT

export HOME="$sandbox/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$sandbox/runtime" TMPDIR="$sandbox/tmp"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$TMPDIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS PULSE_SERVER
# Harmless in other builds; silences Qt's own uninstrumented synchronisation.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/tsan.supp"

if [ "$mode" = gui ]; then
  # -displayfd lets the server pick a free display, so parallel tests never race.
  exec 3>"$sandbox/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -auth /dev/null >"$sandbox/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$sandbox/display" ] && break; sleep 0.05; done
  [ -s "$sandbox/display" ] || { cat "$sandbox/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$sandbox/display")" QT_QPA_PLATFORM=xcb
else
  export QT_QPA_PLATFORM=offscreen
fi

"$@"
