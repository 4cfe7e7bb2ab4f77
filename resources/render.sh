#!/bin/sh
# Regenerates every picture of the program from its SVG source. The build does not run this;
# the rendered files are kept in the repository beside their sources.
# Needs rsvg-convert (librsvg2-bin), ImageMagick's convert, and the fonts the logo names
# (fonts-liberation, fonts-arphic-uming).
set -eu
cd "$(dirname "$0")"

# Button faces and windows are light grey; GIF keeps only on/off transparency, so the soft
# edges are blended onto that grey before the alpha is cut low so that thin strokes survive.
MATTE='#efefef'

# to_gif SVG WIDTH HEIGHT GIF
to_gif() {
    tmp=$(mktemp --suffix=.png)
    rsvg-convert -w "$2" -h "$3" "$1" -o "$tmp"
    convert \( "$tmp" -background "$MATTE" -flatten \) \
        \( "$tmp" -alpha extract -threshold 10% \) \
        -alpha off -compose CopyOpacity -composite \
        -dither None -colors 255 "GIF:$4"
    rm -f "$tmp"
    size=$(identify -format '%wx%h' "$4")
    [ "$size" = "$2x$3" ] || { echo "$4 came out $size, wanted $2x$3" >&2; exit 1; }
}

# to_png SVG SIZE PNG: 32-bit RGBA
to_png() {
    tmp=$(mktemp --suffix=.png)
    rsvg-convert -w "$2" -h "$2" "$1" -o "$tmp"
    convert "$tmp" -strip "PNG32:$3"
    rm -f "$tmp"
}

to_gif pictures/logo.svg 147 69 pictures/logo.gif
to_gif pictures/command2.svg 40 48 pictures/command2.gif
to_gif pictures/command1.svg 32 48 pictures/command1.gif
to_gif pictures/command3.svg 32 48 pictures/command3.gif
to_gif pictures/command4.svg 40 52 pictures/command4.gif
to_gif pictures/about.svg 86 90 pictures/about.gif

# 16 pixels has its own drawing; the larger sizes scale the main one.
to_png icons/stepwick-16.svg 16 icons/stepwick-16.png
for size in 32 48 64; do
    to_png icons/stepwick.svg "$size" "icons/stepwick-$size.png"
done
# The Windows programs' icon: the four sizes in one file, 32 bits each.
convert icons/stepwick-16.png icons/stepwick-32.png icons/stepwick-48.png icons/stepwick-64.png icons/stepwick.ico
