"""Packs square PNG images into one Windows icon file.

Usage: pack_ico.py OUTPUT.ico IMAGE.png...

Images below 256 px are stored as 32-bit BGRA bitmaps with their AND mask, which every icon reader
understands; the 256 px image is stored as PNG, as icon files usually do to keep them small.
"""
import struct
import sys

from PIL import Image


def bitmap_entry(image):
    width, height = image.size
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for y in reversed(range(height)):
        for x in range(width):
            r, g, b, a = image.getpixel((x, y))
            pixels += bytes((b, g, r, a))
    # The AND mask: one bit per pixel, set where the pixel is fully transparent, rows padded to
    # 32 bits.
    row_bytes = ((width + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(height)):
        row = bytearray(row_bytes)
        for x in range(width):
            if image.getpixel((x, y))[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(pixels) + bytes(mask)


def png_entry(path):
    with open(path, "rb") as source:
        return source.read()


def main(output, paths):
    entries = []
    for path in paths:
        image = Image.open(path).convert("RGBA")
        width, height = image.size
        if width != height:
            sys.exit(f"pack_ico.py: {path} is not square")
        data = png_entry(path) if width >= 256 else bitmap_entry(image)
        entries.append((width, data))

    offset = 6 + 16 * len(entries)
    directory = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    payload = bytearray()
    for size, data in entries:
        side = 0 if size >= 256 else size  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        payload += data
        offset += len(data)
    with open(output, "wb") as target:
        target.write(directory + payload)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
