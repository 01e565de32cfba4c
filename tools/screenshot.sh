#!/usr/bin/env bash
# Renders the running window under a virtual X server: tools/screenshot.sh BUILD_DIR OUTPUT.png
set -euo pipefail
build=${1:-build}
output=${2:-docs/frekuensi.png}
mkdir -p "$(dirname "$output")"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 640x480x24 -dpi 96" \
  "$build/tools/screenshot/frekuensi-screenshot" "$output"
