#!/usr/bin/env bash
# Renders the SVG sources in icons/ to the PNG files the resource file embeds (the Qt SVG plug-in is
# not a build dependency). Run after editing an icon.
set -euo pipefail
cd "$(dirname "$0")"
for svg in icons/*.svg; do
    name=$(basename "$svg" .svg)
    case "$name" in
        logo) density=192 ;;   # drawn at 64x24, embedded at twice that
        *) density=96 ;;
    esac
    convert -background none -density "$density" "$svg" "PNG32:$name.png"
done
