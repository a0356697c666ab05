"""Lays out the @2x twin of a strip of looks.

Usage: stack_bands.py ZOOMED.png OUTPUT.png BAND_HEIGHT

A style sheet cuts a look out of a strip by rows counted in the picture's own pixels, whatever
scale the picture is drawn at, so the same cuts must find each look in the plain strip and in its
@2x twin. The plain strip holds its bands BAND_HEIGHT rows high at twice that height apart, empty
rows between them; ZOOMED.png is that strip rendered at twice the size. The twin keeps every band
at the row where it starts in the plain strip, now twice as high, so the bands touch.
"""
import sys

from PIL import Image


def main():
    zoomed_path, output_path, band = sys.argv[1], sys.argv[2], int(sys.argv[3])
    zoomed = Image.open(zoomed_path).convert("RGBA")
    width, height = zoomed.size
    if (height + 2 * band) % (4 * band) != 0:
        sys.exit(f"stack_bands.py: {zoomed_path} is not a strip of {band} px bands")
    count = (height + 2 * band) // (4 * band)
    twin = Image.new("RGBA", (width, 2 * band * count), (0, 0, 0, 0))
    for i in range(count):
        look = zoomed.crop((0, 4 * band * i, width, 4 * band * i + 2 * band))
        twin.paste(look, (0, 2 * band * i))
    twin.save(output_path, "PNG")


if __name__ == "__main__":
    main()
