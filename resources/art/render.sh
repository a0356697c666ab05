#!/bin/sh
# Renders every picture of resources/images/, also at twice its size, and the desktop icons from the
# SVG sources beside this script. Only needed after changing the artwork: the rendered pictures are
# committed, so building and testing never run this.
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

# Strips of looks and the height of their bands: see stack_bands.py for how their @2x twins are
# laid out.
STRIPS="main_applyall:14 main_top_min_:17 main_top_close_:18 main_video_add:32 main_video_clear:32
main_bottom_settng:22 main_bottom_dir:22 main_bottom_dir2:22 main_bottom_muteaudio:25 record_end:25
record_pause:25 record_start:25 main_convert_start:59 main_convert_stop:59"

band_height() {
    for strip in $STRIPS; do
        if [ "${strip%:*}" = "$1" ]; then
            echo "${strip#*:}"
        fi
    done
}

zoomed=$(mktemp --suffix=.png)
trap 'rm -f "$zoomed"' EXIT

# Each picture's SVG is drawn at the picture's own size, so it renders one to one; its @2x twin,
# drawn at twice the size, is what Qt takes on a screen scaled by two.
for svg in *.svg; do
    case "$svg" in
    main.svg | main_small.svg) continue ;;
    esac
    name=${svg%.svg}
    rsvg-convert --format=png -o "$IMAGES/$name.png" "$svg"
    band=$(band_height "$name")
    if [ -n "$band" ]; then
        rsvg-convert --format=png --zoom=2 -o "$zoomed" "$svg"
        "$PYTHON" stack_bands.py "$zoomed" "$IMAGES/$name@2x.png" "$band"
    else
        rsvg-convert --format=png --zoom=2 -o "$IMAGES/$name@2x.png" "$svg"
    fi
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
