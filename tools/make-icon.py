#!/usr/bin/python3
"""Builds app/resources/mainframe.ico from app/resources/icon.svg.

The icon holds nine images: 48, 32 and 16 pixels square, each in 24-bit
colour, in 256 colours and in 16 colours, as classic icon bitmaps (a colour
bitmap and a one-bit transparency mask). The result is committed, so the build
does not run this; run it again after changing the picture.
Needs rsvg-convert (librsvg2-bin) and Pillow (python3-pil).

    tools/make-icon.py [SVG] [ICO]
"""
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIZES = (48, 32, 16)
# Within one size the deepest image comes first: viewers that take the first
# image of the size they want get the best one.
DEPTHS = (24, 8, 4)
OPAQUE = 128  # alpha from which a pixel is drawn rather than left transparent


def render(svg, size):
    with tempfile.TemporaryDirectory() as folder:
        png = os.path.join(folder, "icon.png")
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", png, svg],
                       check=True)
        with Image.open(png) as image:
            return image.convert("RGBA")


def row_stride(width, bits):
    return (width * bits + 31) // 32 * 4


def mask_rows(rgba):
    """The AND mask, bottom row first: a set bit lets the background through."""
    width, height = rgba.size
    alpha = rgba.getchannel("A").load()
    rows = []
    for y in reversed(range(height)):
        row = bytearray(row_stride(width, 1))
        for x in range(width):
            if alpha[x, y] < OPAQUE:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    return b"".join(rows)


def opaque_rgb(rgba):
    """The colours, with transparent pixels black as the mask expects."""
    black = Image.new("RGBA", rgba.size, (0, 0, 0, 255))
    mask = rgba.getchannel("A").point(lambda a: 255 if a >= OPAQUE else 0)
    return Image.composite(rgba, black, mask).convert("RGB")


def colour_rows(rgb, bits):
    """The XOR bitmap, bottom row first, and its palette (BGRX) if it has one."""
    width, height = rgb.size
    if bits == 24:
        pixels = rgb.load()
        rows = []
        for y in reversed(range(height)):
            row = bytearray(row_stride(width, 24))
            for x in range(width):
                r, g, b = pixels[x, y]
                row[x * 3:x * 3 + 3] = bytes((b, g, r))
            rows.append(bytes(row))
        return b"".join(rows), b""
    indexed = rgb.quantize(colors=1 << bits, method=Image.Quantize.MEDIANCUT,
                           dither=Image.Dither.NONE)
    entries = indexed.getpalette()[:3 * (1 << bits)]
    entries += [0] * (3 * (1 << bits) - len(entries))
    palette = b"".join(bytes((entries[i + 2], entries[i + 1], entries[i], 0))
                       for i in range(0, len(entries), 3))
    pixels = indexed.load()
    rows = []
    for y in reversed(range(height)):
        row = bytearray(row_stride(width, bits))
        for x in range(width):
            index = pixels[x, y]
            if bits == 8:
                row[x] = index
            else:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        rows.append(bytes(row))
    return b"".join(rows), palette


def icon_bitmap(rgba, bits):
    width, height = rgba.size
    colours, palette = colour_rows(opaque_rgb(rgba), bits)
    mask = mask_rows(rgba)
    # The header's height counts the colour bitmap and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    return header + palette + colours + mask


def write_ico(path, images):
    directory = io.BytesIO()
    directory.write(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colour_count = 16 if bits == 4 else 0
        directory.write(struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1,
                                    bits, len(data), offset))
        offset += len(data)
    with open(path, "wb") as out:
        out.write(directory.getvalue())
        for _, _, data in images:
            out.write(data)


def main():
    svg = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "app/resources/icon.svg")
    ico = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "app/resources/mainframe.ico")
    images = []
    for size in SIZES:
        rgba = render(svg, size)
        for bits in DEPTHS:
            images.append((size, bits, icon_bitmap(rgba, bits)))
    write_ico(ico, images)
    print(f"{ico}: {len(images)} images")


if __name__ == "__main__":
    main()
