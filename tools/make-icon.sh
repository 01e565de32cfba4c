#!/bin/sh
# Renders the program's icon, packaging/frekuensi.svg, into what the programs carry: the Windows
# icon (packaging/icons/frekuensi.ico: 16, 24, 32, 48 and 256 pixels) and the PNGs the window sets
# as its icon on every platform. The results are committed; run this after changing the SVG.
# Needs librsvg2-bin (rsvg-convert) and icoutils (icotool).
set -eu
cd "$(dirname "$0")/.."
out=packaging/icons
mkdir -p "$out"
for size in 16 24 32 48 256; do
  rsvg-convert -w "$size" -h "$size" packaging/frekuensi.svg -o "$out/frekuensi-$size.png"
done
# The 256-pixel image is stored as PNG inside the .ico, as Windows expects for that size.
icotool -c -o "$out/frekuensi.ico" "$out"/frekuensi-16.png "$out"/frekuensi-24.png \
  "$out"/frekuensi-32.png "$out"/frekuensi-48.png -r "$out"/frekuensi-256.png
rm "$out"/frekuensi-24.png
