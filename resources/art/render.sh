#!/bin/sh
# Renders every picture of resources/images/ and the desktop icons from the SVG sources beside this
# script. Only needed after changing the artwork: the rendered pictures are committed, so building
# and testing never run this.
#
# Tools (Debian 12): librsvg2-bin (rsvg-convert), python3-pil (Pillow, for main.ico) and
# fonts-noto-cjk (the Chinese text of main_stack_teach.svg).
#   apt-get install librsvg2-bin python3-pil fonts-noto-cjk
set -eu
cd "$(dirname "$0")"
IMAGES=../images
ICONS=../icons/hicolor

PYTHON=""
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import PIL' 2>/dev/null; then
        PYTHON=$candidate
        break
    fi
done
[ -n "$PYTHON" ] || { echo "render.sh: no python3 with Pillow (apt-get install python3-pil)" >&2; exit 1; }
command -v rsvg-convert >/dev/null || { echo "render.sh: rsvg-convert missing (apt-get install librsvg2-bin)" >&2; exit 1; }

# Each picture's SVG is drawn at the picture's own size, so it renders one to one.
for svg in *.svg; do
    case "$svg" in
    main.svg | main_small.svg) continue ;;
    esac
    rsvg-convert --format=png -o "$IMAGES/${svg%.svg}.png" "$svg"
done

# Application icon: the ring of main.svg blurs below 48 px, where main_small.svg takes over.
sizes="16 24 32 48 64 72 96 128 256"
for n in $sizes; do
    source=main.svg
    [ "$n" -le 32 ] && source=main_small.svg
    mkdir -p "$ICONS/${n}x${n}/apps"
    rsvg-convert --format=png -w "$n" -h "$n" -o "$ICONS/${n}x${n}/apps/quellix.png" "$source"
done
mkdir -p "$ICONS/scalable/apps"
cp main.svg "$ICONS/scalable/apps/quellix.svg"

set --
for n in $sizes; do
    set -- "$@" "$ICONS/${n}x${n}/apps/quellix.png"
done
"$PYTHON" pack_ico.py "$IMAGES/main.ico" "$@"
