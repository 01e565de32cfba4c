#!/usr/bin/env bash
# Renders the running window under a virtual X server: tools/screenshot.sh BUILD_DIR OUTPUT.png
# [--trend=LOCALE [--trend-faults | --trend-events]] (the trend window over ten minutes of a known
# history, for the guide; with a step of the wall clock and a 500 Hz reading besides, or with an
# event chosen in the list).
set -euo pipefail
build=${1:-build}
output=${2:-docs/frekuensi.png}
mkdir -p "$(dirname "$output")"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x600x24 -dpi 96" \
  "$build/tools/screenshot/frekuensi-screenshot" ${3:+"$3"} ${4:+"$4"} "$output"
