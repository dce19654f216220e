#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from data/icons/zembrix.svg
# (Debian package librsvg2-bin). The PNGs are kept in the repository, so a
# build never needs this; run it after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/.."
for size in 16 24 32 48 64 128 256 512; do
  rsvg-convert -w "$size" -h "$size" data/icons/zembrix.svg -o "data/icons/png/zembrix-$size.png"
done
