#!/usr/bin/env bash
# screenshots.sh [OUTDIR] [BUILD_DIR]: starts the application's window on a
# private X server with a temporary HOME and saves one PNG per main view
# (home page, project settings for Record and Convert, About, the language
# models with one installed and one downloading, a message box)
# into OUTDIR (default: screenshots/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/screenshots}" && cd "${1:-$root/screenshots}" && pwd)
build=${2:-$root/build}
[ -x "$build/kalvinor_screenshots" ] || cmake --build "$build" --target kalvinor_screenshots >/dev/null

source "$root/scripts/sandbox.sh"
sandbox_enter kalvinor-shots
mkdir -p "$HOME/Documents"
sandbox_xvfb

"$build/kalvinor_screenshots" "$out"
