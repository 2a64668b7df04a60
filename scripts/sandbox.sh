# Sourced by tests/run_test.sh and scripts/screenshots.sh: a private HOME, XDG
# folders and runtime folder in a temporary sandbox, and optionally a private
# X server. Both are removed when the sourcing script exits.

# sandbox_enter PREFIX: sets $sandbox and points HOME and the XDG folders into it.
sandbox_enter() {
  sandbox=$(mktemp -d "/tmp/$1.XXXXXX")
  xvfb_pid=
  trap sandbox_leave EXIT
  export HOME="$sandbox/home"
  export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
  export XDG_RUNTIME_DIR="$sandbox/runtime"
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  unset DBUS_SESSION_BUS_ADDRESS
}

sandbox_leave() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$sandbox"
}

# sandbox_xvfb: starts Xvfb and exports DISPLAY. -displayfd lets the server
# pick a free display, so parallel runs never race for one.
sandbox_xvfb() {
  exec 3>"$sandbox/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -auth /dev/null >"$sandbox/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$sandbox/display" ] && break; sleep 0.05; done
  [ -s "$sandbox/display" ] || { cat "$sandbox/xvfb.log" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$sandbox/display")" QT_QPA_PLATFORM=xcb
}
