#!/usr/bin/env bash
# run_test.sh MODE EXECUTABLE [ARGS...]
# Runs one test with its own HOME, XDG folders and runtime folder, so nothing
# touches the real user's files. MODE gui gives it a private Xvfb display.
set -euo pipefail
mode=$1; shift

source "$(dirname "$0")/../scripts/sandbox.sh"
sandbox_enter kalvinor-test
export TMPDIR="$sandbox/tmp"
mkdir -p "$TMPDIR"
unset PULSE_SERVER
# Tests talk to 127.0.0.1 directly, never through a proxy.
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY
# Only read by ThreadSanitizer builds.
export TSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/tsan.supp ${TSAN_OPTIONS:-}"

if [ "$mode" = gui ]; then
  sandbox_xvfb
else
  export QT_QPA_PLATFORM=offscreen
fi

"$@"
