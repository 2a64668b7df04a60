#!/usr/bin/env bash
# test.sh [--plain|--asan|--tsan]: installs what is missing, builds and runs
# the tests. Without a switch it runs what CI runs, one suite after another:
# the plain build, every test under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), and the tests without a GUI under
# ThreadSanitizer (build-tsan/; Qt Quick's render thread and the GUI plugins'
# threads are not instrumented). A failed test or a sanitizer report fails the
# run; the last line counts the tests of all suites.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-}" in
  "") suites=(plain asan tsan) ;;
  --plain|--asan|--tsan) suites=("${1#--}") ;;
  *) echo "usage: $0 [--plain|--asan|--tsan]" >&2; exit 2 ;;
esac
bash "$root/scripts/setup.sh"

passed=0 failed=0 status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# suite NAME: builds its tree and runs its tests; false when a test failed.
suite() {
  local dir="$root/build" switch=() filter=()
  case "$1" in
    asan) dir="$root/build-asan"; switch=(--asan) ;;
    tsan) dir="$root/build-tsan"; switch=(--tsan); filter=(-LE gui) ;;
  esac
  bash "$root/scripts/build.sh" "${switch[@]}" || return 1
  (cd "$dir" && ctest --output-on-failure -j "$(nproc)" "${filter[@]}") 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]} bad total
  read -r bad total < <(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/\1 \2/p' "$log") || true
  failed=$((failed + ${bad:-0})) passed=$((passed + ${total:-0} - ${bad:-0}))
  return "$rc"
}

for s in "${suites[@]}"; do
  echo "=== $s suite"
  TIMEFORMAT="=== $s suite: %0R s wall time, %0U s user + %0S s system CPU time"
  time suite "$s" || status=1
done
echo "tests: $passed passed, $failed failed"
exit "$status"
