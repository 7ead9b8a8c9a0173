#!/usr/bin/env bash
# Renders the program's icon into the hicolor sizes under resources/icons/ (needs rsvg-convert, librsvg2-bin). The
# 16-pixel size has a drawing of its own on the 16-pixel grid; the others come from the scalable one.
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
for size in 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" scalable/tallyscope.svg -o "${size}x${size}/tallyscope.png"
done
rsvg-convert -w 16 -h 16 tallyscope-16.svg -o 16x16/tallyscope.png
