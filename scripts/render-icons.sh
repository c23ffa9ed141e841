#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG drawings into
# data/icons/hicolor. The PNGs are committed, so a build needs no renderer;
# run this only after changing a drawing. Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."

command -v rsvg-convert >/dev/null || {
    echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2
    exit 1
}

icons=data/icons
for size in 16 22 24 32 48 64 128 256; do
    # The small sizes have drawings of their own, fitted to whole pixels.
    source=$icons/src/kiv-$size.svg
    [ -f "$source" ] || source=$icons/hicolor/scalable/apps/kiv.svg
    out=$icons/hicolor/${size}x${size}/apps
    mkdir -p "$out"
    rsvg-convert --width "$size" --height "$size" --format png --output "$out/kiv.png" "$source"
    echo "$out/kiv.png from $source"
done
