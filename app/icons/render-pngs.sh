#!/bin/sh
# Regenerate the tool-bar and application PNGs from the SVG sources.
set -eu
cd "$(dirname "$0")"
for svg in open save export render options help exit; do
    for v in "" -disabled; do
        rsvg-convert -w 20 -h 20 -o "$svg$v.png" "$svg$v.svg"
        rsvg-convert -w 40 -h 40 -o "$svg$v@2x.png" "$svg$v.svg"
    done
done
rsvg-convert -w 256 -h 256 -o quarvel.png quarvel.svg
rsvg-convert -w 64 -h 64 -o quarvel-64.png quarvel.svg
# The installed application icon, in the sizes of the desktop's icon theme.
for n in 16 24 32 48 64 128 256; do
    mkdir -p "hicolor/${n}x$n/apps"
    rsvg-convert -w $n -h $n -o "hicolor/${n}x$n/apps/quarvel.png" quarvel.svg
done
