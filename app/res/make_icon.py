# Draws the Tilepost icon (a map tile with an upward arrow) and writes tilepost.ico.
#
# This script is the icon's source; tilepost.ico is its output, kept in the
# repository so that builds need no Python. After changing the drawing, run
#     python3 app/res/make_icon.py [--preview preview.png]
# It needs nothing beyond the Python standard library. Each size is drawn from
# the same shapes with 8x8 supersampling, so the edges stay smooth at 16 pixels.
import argparse
import os
import struct
import zlib

SIZES_BMP = (16, 20, 24, 32, 40, 48, 64)  # classic 32-bit DIB entries
SIZE_PNG = 256  # large entry, stored as PNG as Windows expects
SUPERSAMPLE = 8

# Colours (r, g, b).
TILE_TOP = (0x3F, 0x93, 0xDB)
TILE_BOTTOM = (0x1D, 0x5C, 0xA6)
TILE_EDGE = (0x12, 0x3F, 0x78)
GRID = (0xFF, 0xFF, 0xFF)
ARROW = (0xFF, 0xFF, 0xFF)
ARROW_SHADOW = (0x0B, 0x2E, 0x5A)

# Shapes in unit coordinates: x to the right, y downward, the icon is [0, 1)^2.
TILE_INSET = 1 / 16
TILE_RADIUS = 3 / 16
EDGE_WIDTH = 1 / 28
ARROW_APEX = (0.5, 0.18)
ARROW_BASE_Y = 0.52
ARROW_HALF_WIDTH = 0.27
SHAFT_HALF_WIDTH = 0.095
SHAFT_BOTTOM = 0.82
SHADOW_OFFSET = 0.035


def in_rounded_square(x, y, inset, radius):
    lo, hi = inset, 1 - inset
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius**2


def in_arrow(x, y):
    if ARROW_APEX[1] <= y <= ARROW_BASE_Y:
        # The head: a triangle widening from the apex to the base.
        t = (y - ARROW_APEX[1]) / (ARROW_BASE_Y - ARROW_APEX[1])
        if abs(x - ARROW_APEX[0]) <= t * ARROW_HALF_WIDTH:
            return True
    return ARROW_BASE_Y <= y <= SHAFT_BOTTOM and abs(x - 0.5) <= SHAFT_HALF_WIDTH


def on_grid(x, y, pixel):
    # Faint lines that cut the tile into four, as a map is cut into tiles.
    return abs(x - 0.5) < pixel * 0.5 or abs(y - 0.5) < pixel * 0.5


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def sample(x, y, size):
    """Colour and alpha of one sample: the shapes painted back to front."""
    if not in_rounded_square(x, y, TILE_INSET, TILE_RADIUS):
        return (0, 0, 0), 0.0
    colour = mix(TILE_TOP, TILE_BOTTOM, (y - TILE_INSET) / (1 - 2 * TILE_INSET))
    if size >= 32 and on_grid(x, y, 1 / size):
        colour = mix(colour, GRID, 0.22)
    if not in_rounded_square(x, y, TILE_INSET + EDGE_WIDTH, TILE_RADIUS - EDGE_WIDTH):
        colour = TILE_EDGE
    if in_arrow(x - SHADOW_OFFSET * 0.5, y - SHADOW_OFFSET):
        colour = mix(colour, ARROW_SHADOW, 0.55)
    if in_arrow(x, y):
        colour = ARROW
    return colour, 1.0


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, straight (not premultiplied) alpha."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            alpha = 0.0
            for sy in range(n):
                for sx in range(n):
                    colour, a = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size, size)
                    alpha += a
                    for i in range(3):
                        acc[i] += colour[i] * a
            if alpha:
                pixel = tuple(round(c / alpha) for c in acc) + (round(255 * alpha / (n * n)),)
            else:
                pixel = (0, 0, 0, 0)
            row.append(pixel)
        rows.append(row)
    return rows


def png_bytes(rows):
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib_bytes(rows):
    """A 32-bit icon image: header, bottom-up BGRA pixels, then the 1-bit AND mask."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + bytes(mask)


def ico_bytes(images):
    """images: list of (size, bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    parser = argparse.ArgumentParser(description="Writes the Tilepost icon.")
    parser.add_argument("--output", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "tilepost.ico"))
    parser.add_argument("--preview", help="also write the 256-pixel image as a PNG file")
    args = parser.parse_args()
    images = [(size, dib_bytes(render(size))) for size in SIZES_BMP]
    large = render(SIZE_PNG)
    images.append((SIZE_PNG, png_bytes(large)))
    with open(args.output, "wb") as f:
        f.write(ico_bytes(images))
    if args.preview:
        with open(args.preview, "wb") as f:
            f.write(png_bytes(large))


if __name__ == "__main__":
    main()
