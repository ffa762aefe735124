#!/usr/bin/python3
"""Draws Velkoria's icon, a white "V" on a blue rounded square, at each size
Windows asks for (16 to 256 pixels: 100 % to 250 % scaling, the taskbar, the
Start menu, Explorer's large icons), and writes one PNG per size and the
multi-size velkoria.ico made of them.

Each size is drawn at that size (the strokes fall on whole pixels), not scaled
from another, so the icon stays sharp at every scale. Only Python's standard
library is used. Run it again after changing the drawing:

    /usr/bin/python3 tools/icon/make-icon.py app/icons
"""

import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
BLUE = (0x1E, 0x5A, 0xA8)
WHITE = (0xFF, 0xFF, 0xFF)
SUB = 16  # subsamples per pixel, each way


def spans_rounded_square(size, y):
    """The x range of the rounded square on the row at height y (pixels)."""
    inset = 0.0 if size < 24 else size / 32
    radius = size * 6 / 32
    top, bottom = inset, size - inset
    left, right = inset, size - inset
    if y < top or y >= bottom:
        return []
    dy = 0.0
    if y < top + radius:
        dy = top + radius - y
    elif y > bottom - radius:
        dy = y - (bottom - radius)
    dx = radius - (max(radius * radius - dy * dy, 0.0)) ** 0.5 if dy else 0.0
    return [(left + dx, right - dx)]


def v_polygon(size):
    """The "V": two strokes meeting in a flat foot, on whole pixels."""
    stroke = max(2, round(size / 8))
    top = round(size * 0.22)
    bottom = round(size * 0.78)
    left = round(size * 0.2)
    right = size - left
    foot = stroke / 2
    middle = size / 2
    # Where the inner edges meet: the strokes keep their width down to the foot.
    inner_bottom = bottom - stroke * 1.6
    return [(left, top), (left + stroke, top), (middle, inner_bottom), (right - stroke, top), (right, top),
            (middle + foot, bottom), (middle - foot, bottom)]


def spans_polygon(points, y):
    crossings = []
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        if (y0 <= y < y1) or (y1 <= y < y0):
            crossings.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
    crossings.sort()
    return list(zip(crossings[0::2], crossings[1::2]))


def cover(size, spans_of):
    """Coverage (0 to 1) of each pixel by the shape whose row spans spans_of gives."""
    coverage = [[0.0] * size for _ in range(size)]
    for sub in range(size * SUB):
        y = (sub + 0.5) / SUB
        row = coverage[int(y)]
        for x0, x1 in spans_of(y):
            x0, x1 = max(x0, 0.0), min(x1, float(size))
            if x1 <= x0:
                continue
            first, last = int(x0), min(int(x1), size - 1)
            for x in range(first, last + 1):
                row[x] += (min(x1, x + 1) - max(x0, x)) / SUB
    return coverage


def draw(size):
    """The icon as rows of (r, g, b, a)."""
    square = cover(size, lambda y: spans_rounded_square(size, y))
    points = v_polygon(size)
    letter = cover(size, lambda y: spans_polygon(points, y))
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            a = min(square[y][x], 1.0)
            v = min(letter[y][x], 1.0)
            colour = tuple(round(b + (w - b) * v) for b, w in zip(BLUE, WHITE))
            row.append(colour + (round(a * 255),))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(rows):
    """An icon image as Windows' classic bitmap: 32-bit BGRA bottom-up, then
    the AND mask (set where the icon is transparent)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico(images):
    """images: (size, data); the 256-pixel image as PNG, the others as bitmaps."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    return directory + entries + blobs


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else "app/icons")
    folder.mkdir(parents=True, exist_ok=True)
    images = []
    for size in SIZES:
        rows = draw(size)
        picture = png(rows)
        (folder / f"velkoria-{size}.png").write_bytes(picture)
        images.append((size, picture if size == 256 else dib(rows)))
    (folder / "velkoria.ico").write_bytes(ico(images))


if __name__ == "__main__":
    main()
