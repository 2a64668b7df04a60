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
# Read by the sanitizer builds only: any report fails the test. ThreadSanitizer
# sees no plain load or store of the uninstrumented libraries (Qt, FFmpeg,
# libvosk), only the calls they make into its runtime, so it skips the memory
# accesses of those calls; every access our own code makes stays checked.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export TSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/tsan.supp halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 ${TSAN_OPTIONS:-}"

if [ "$mode" = gui ]; then
  sandbox_xvfb
  # Frames are drawn on the GUI thread. Qt Quick Test's waitForRendering
  # counts frames with a signal spy on the window; a render thread would
  # call into that spy while the test, done waiting, destroys it.
  export QSG_RENDER_LOOP=basic
else
  export QT_QPA_PLATFORM=offscreen
fi

"$@"
