"""Draws the program's icon, a red seven-by-five dot-matrix "8" on a dark
face, as a Windows .ico with 16, 32 and 48 pixel images (32-bit, with the
AND mask), or as one square PNG image of SIZE pixels (8-bit RGBA) for the
Linux desktop. Python standard library only.

usage: make-icon.py OUT.ico
       make-icon.py OUT.png SIZE"""

import struct
import sys
import zlib

# The digit as the display's dot matrix lights it, five columns by seven rows.
DIGIT = ["01110",
         "10001",
         "10001",
         "01110",
         "10001",
         "10001",
         "01110"]
FACE = (0x20, 0x20, 0x20)
LIT = (0xFF, 0x30, 0x20)
DARK = (0x50, 0x18, 0x10)


def draw(size):
    """Rows of (r, g, b, a), top row first."""
    pitch = size // 8
    dot = max(1, pitch - (1 if pitch > 2 else 0))
    left = (size - 5 * pitch) // 2
    top = (size - 7 * pitch) // 2
    corner = max(1, size // 8)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            # A rounded face: the corners stay clear.
            cx = min(x, size - 1 - x)
            cy = min(y, size - 1 - y)
            if cx < corner and cy < corner and (corner - cx) ** 2 + (corner - cy) ** 2 > corner ** 2:
                row.append((0, 0, 0, 0))
                continue
            colour = FACE
            col, rx = divmod(x - left, pitch)
            line, ry = divmod(y - top, pitch)
            if 0 <= col < 5 and 0 <= line < 7 and x >= left and y >= top and rx < dot and ry < dot:
                colour = LIT if DIGIT[line][col] == "1" else DARK
            row.append(colour + (255,))
        rows.append(row)
    return rows


def bmp_image(size):
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_image(size):
    # Each row starts with filter type 0 (none).
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in draw(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def main():
    if len(sys.argv) == 3 and sys.argv[1].endswith(".png") and sys.argv[2].isdigit():
        size = int(sys.argv[2])
        if not 16 <= size <= 1024:
            sys.exit("make-icon.py: SIZE must be 16 to 1024")
        with open(sys.argv[1], "wb") as f:
            f.write(png_image(size))
        return
    if len(sys.argv) != 2 or not sys.argv[1].endswith(".ico"):
        sys.exit(__doc__)
    sizes = (16, 32, 48)
    images = [bmp_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
