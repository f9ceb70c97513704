#!/usr/bin/env bash
# Renders the PNG sizes of the icon for the hicolor theme from its SVG (package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" src/app/resources/icon.svg -o "packaging/linux/icons/$size.png"
done
