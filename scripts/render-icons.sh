#!/usr/bin/env bash
# Renders the PNG sizes of the program's icon from its SVG (ffmpeg's librsvg decoder). The PNGs
# are committed: the build does not need ffmpeg. Run again after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
svg=scalable/org.vidorel.Vidorel.svg
for s in 16 24 32 48 64 128 256; do
    mkdir -p "${s}x${s}"
    ffmpeg -v error -y -width "$s" -height "$s" -i "$svg" -frames:v 1 -pix_fmt rgba \
        "${s}x${s}/org.vidorel.Vidorel.png"
done
echo "render-icons: $(ls -d */ | wc -l) folders under data/icons"
