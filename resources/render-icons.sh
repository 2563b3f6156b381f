#!/usr/bin/env bash
# Renders the SVG sources to the PNG resources (needs rsvg-convert, Debian librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for f in svg/*.svg; do
  n=$(basename "$f" .svg)
  case $n in
    DEVICE_IMAGE) size="-w 128 -h 128" ;;
    LOGO_IMAGE) size="-w 226 -h 160" ;;
    *) size="-w 96 -h 96" ;;
  esac
  rsvg-convert $size "$f" -o "$n.png"
done
