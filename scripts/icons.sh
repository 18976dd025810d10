#!/usr/bin/env bash
# Renders the program's icon from its SVG into the PNG sizes the window and the menu use. The PNGs
# are kept in the tree, so a build needs no SVG renderer; run this after changing the SVG.
# Usage: scripts/icons.sh   (needs rsvg-convert from librsvg2-bin)
set -euo pipefail
cd "$(dirname "$0")/../app/icons"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "rtcpipclient-$size.png" rtcpipclient.svg
done
