#!/usr/bin/env bash
# Renders the application icon icons/tzrusers.svg to the hicolor PNG sizes the package installs, so
# the build needs no SVG renderer. Run after editing the icon.
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 48 64 128 256; do
    # The SVG is drawn on 64 units; 96 dpi renders it at 64 pixels.
    convert -background none -density $((96 * size / 64)) tzrusers.svg -resize "${size}x${size}" "PNG32:tzrusers-$size.png"
done
