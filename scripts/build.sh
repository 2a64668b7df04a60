#!/usr/bin/env bash
# build.sh [--asan|--tsan]: configures and builds into build/ (build-asan/, build-tsan/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build"; sanitize=""
case "${1:-}" in
  --asan) dir="$root/build-asan"; sanitize="address,undefined" ;;
  --tsan) dir="$root/build-tsan"; sanitize="thread" ;;
  "") ;;
  *) echo "usage: $0 [--asan|--tsan]" >&2; exit 2 ;;
esac
build_type=RelWithDebInfo
[ -n "$sanitize" ] && build_type=Debug
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=$build_type -DKALVINOR_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j "$(nproc)"
