"""Draws the program's icon, a red seven-by-five dot-matrix "8" on a dark
face, as a Windows .ico with 16, 32 and 48 pixel images (32-bit, with the
AND mask). Python standard library only.

usage: make-icon.py OUT.ico"""

import struct
import sys

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


def main():
    if len(sys.argv) != 2:
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
