#!/usr/bin/env bash
# screenshots.sh [OUTDIR] [BUILD_DIR]: starts the application's window on a
# private X server with a temporary HOME and saves one PNG per main view
# (home page, project settings for Record and Convert, About, the language
# models with one installed and one downloading, a message box, a converted
# project, one of its messages playing, a live transcription, a batch
# conversion while it runs and once it has ended, the projects list, the
# message after deleting a project that held files of the user's, the export
# page and the finished export, the exported HTML page as Chromium draws it,
# the first page of the Word export as LibreOffice lays it out, the first
# page of a PDF export and a print preview)
# into OUTDIR (default: screenshots/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/screenshots}" && cd "${1:-$root/screenshots}" && pwd)
build=${2:-$root/build}
[ -x "$build/kalvinor_screenshots" ] || cmake --build "$build" --target kalvinor_screenshots >/dev/null
[ -x "$build/kalvinor_export_screenshots" ] || cmake --build "$build" --target kalvinor_export_screenshots >/dev/null

source "$root/scripts/sandbox.sh"
sandbox_enter kalvinor-shots
mkdir -p "$HOME/Documents"
sandbox_xvfb

# A spoken file and the synthetic test model for the converted-project view.
espeak-ng -v en-us -g 25 -w "$sandbox/raw.wav" "the quick brown fox jumps over the lazy dog. pack my box with five dozen liquor jugs." \
  && sox -R "$sandbox/raw.wav" -t wavpcm -r 16000 -c 1 -b 16 -e signed-integer "$HOME/Documents/interview.wav" \
  && sox "$HOME/Documents/interview.wav" "$HOME/Documents/lecture.wav" repeat 59 \
  && export KALVINOR_SHOT_SPEECH="$HOME/Documents/interview.wav" KALVINOR_SHOT_MODEL="$root/tests/data/vosk-model-test"

# The transcription captures the sound output of a private sound server;
# playback goes nowhere.
export SDL_AUDIODRIVER=dummy
pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --log-target=file:"$XDG_RUNTIME_DIR/pulse.log" \
  --load="module-native-protocol-unix" --load="module-null-sink sink_name=speaker norewinds=1" \
  && pactl set-default-sink speaker || echo "no sound server: the transcription view fails" >&2

export KALVINOR_SHOT_EXPORT="$sandbox/export"
mkdir -p "$KALVINOR_SHOT_EXPORT"
status=0
"$build/kalvinor_screenshots" "$out" || status=$?
pulseaudio -k 2>/dev/null || true
[ "$status" = 0 ] || exit "$status"

# The first page of a project exported to PDF, and the print preview.
exported=$("$build/kalvinor_export_screenshots" "$out" "$sandbox/exports")
pdftoppm -r 72 -f 1 -l 1 -singlefile -png "$exported/Quarterly meeting/Quarterly meeting.pdf" "$out/export_pdf_page"
echo "$out/export_pdf_page.png"
# The exported conversation, drawn by a real browser.
page=$(find "$HOME/Documents" -path '*/Export-*/*.html' ! -name 'Highlights_and_Comments.html' | head -n1)
[ -n "$page" ] || { echo "no exported page" >&2; exit 1; }
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1024,768 \
  --screenshot="$out/export_html.png" "file://$page" >/dev/null 2>&1
[ -s "$out/export_html.png" ] && echo "$out/export_html.png"

# The meeting's Word export as LibreOffice lays out its first page.
docx=$(find "$KALVINOR_SHOT_EXPORT" -name 'Weekly meeting.docx' | head -n1)
[ -n "$docx" ] || { echo "no exported Word document" >&2; exit 1; }
HOME="$sandbox/office" soffice --headless --norestore --convert-to pdf --outdir "$sandbox/office" "$docx" >/dev/null 2>&1
pdftoppm -png -r 150 -f 1 -l 1 -singlefile "$sandbox/office/Weekly meeting.pdf" "$out/docx_page1"
echo "$out/docx_page1.png"
