#!/usr/bin/env python3
"""Draws Velmora's application icon and writes it as a Windows .ico file.

usage: make-icon.py OUTPUT.ico [--png-dir DIR]

The artwork is a camera on a light tile in the window's colours. Every shape
is a signed distance field, so each pixel's coverage comes from one distance
evaluation and the edges are smooth at every size. Images up to 48 pixels are
stored as 32-bit bitmaps with an AND mask (read by every Windows version),
the 256-pixel image as PNG. --png-dir also writes each size as a PNG to look at.
"""
import argparse
import math
import os
import struct
import zlib

SIZES = (16, 24, 32, 48, 256)
PNG_FROM = 256  # sizes from here on are stored as PNG inside the .ico

TILE = (223, 229, 236)
TILE_EDGE = (159, 168, 177)
BODY = (54, 99, 146)
BODY_EDGE = (37, 77, 121)
RING = (253, 254, 255)
LENS = (41, 104, 107)
PUPIL = (27, 79, 81)
FLASH = (205, 218, 231)


def rounded_box(cx, cy, hw, hh, r):
    def sdf(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return sdf


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def layers(size):
    """The shapes back to front, in unit coordinates (y down), with colours.

    Small sizes drop the tile's edge, the flash and the highlight, which would
    only blur into the camera there; the smallest drops the tile too, so the
    camera fills the whole square."""
    small = size <= 24
    if size <= 16:
        lens = (0.5, 0.6)
        body = union(rounded_box(0.5, 0.6, 0.47, 0.31, 0.1), rounded_box(0.34, 0.25, 0.16, 0.1, 0.05))
        return [(body, BODY), (circle(*lens, 0.25), RING), (circle(*lens, 0.16), LENS), (circle(*lens, 0.07), PUPIL)]
    tile = rounded_box(0.5, 0.5, 0.47, 0.47, 0.2)
    body = union(rounded_box(0.5, 0.58, 0.38 if small else 0.36, 0.25, 0.08),
                 rounded_box(0.37, 0.31, 0.12, 0.08, 0.04))
    lens = (0.5, 0.58)
    out = []
    if small:
        out.append((tile, TILE))
    else:
        inset = 1.0 / size
        out.append((tile, TILE_EDGE))
        out.append((rounded_box(0.5, 0.5, 0.47 - inset, 0.47 - inset, 0.2 - inset), TILE))
        out.append((body, BODY_EDGE))
        body = lambda x, y, b=body: b(x, y) + 1.2 / size
    out.append((body, BODY))
    if not small:
        out.append((rounded_box(0.76, 0.42, 0.055, 0.035, 0.015), FLASH))
    out.append((circle(*lens, 0.19 if small else 0.175), RING))
    out.append((circle(*lens, 0.13 if small else 0.125), LENS))
    out.append((circle(*lens, 0.06), PUPIL))
    if not small:
        out.append((circle(lens[0] - 0.045, lens[1] - 0.045, 0.028), RING))
    return out


def render(size):
    """Returns size × size RGBA pixels, rows top to bottom, as bytes."""
    shapes = layers(size)
    px = bytearray(size * size * 4)
    for row in range(size):
        y = (row + 0.5) / size
        for col in range(size):
            x = (col + 0.5) / size
            r = g = b = a = 0.0
            for sdf, colour in shapes:
                # One pixel of distance is the width of the anti-aliased edge.
                cover = min(max(0.5 - sdf(x, y) * size, 0.0), 1.0)
                if cover == 0.0:
                    continue
                keep = 1.0 - cover
                r = colour[0] * cover + r * keep
                g = colour[1] * cover + g * keep
                b = colour[2] * cover + b * keep
                a = cover + a * keep
            i = (row * size + col) * 4
            if a > 0.0:
                px[i:i + 4] = bytes(round(c / a) for c in (r, g, b)) + bytes([round(a * 255)])
    return bytes(px)


def png_bytes(size, rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    stride = size * 4
    raw = b"".join(b"\0" + rgba[row * stride:(row + 1) * stride] for row in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap_bytes(size, rgba):
    """An icon bitmap: header with doubled height, BGRA rows bottom-up, then
    the 1-bit AND mask (set where fully transparent), rows padded to 4 bytes."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    mask_stride = (size + 31) // 32 * 4
    for row in reversed(range(size)):
        line = bytearray(mask_stride)
        for col in range(size):
            r, g, b, a = rgba[(row * size + col) * 4:(row * size + col) * 4 + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                line[col // 8] |= 0x80 >> (col % 8)
        mask += line
    return header + bytes(colour) + bytes(mask)


def ico_bytes(images):
    entries = b""
    data = b""
    offset = 6 + 16 * len(images)
    for size, payload in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(payload), offset + len(data))
        data += payload
    return struct.pack("<HHH", 0, 1, len(images)) + entries + data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--png-dir")
    args = parser.parse_args()
    images = []
    for size in SIZES:
        rgba = render(size)
        png = png_bytes(size, rgba)
        images.append((size, png if size >= PNG_FROM else bitmap_bytes(size, rgba)))
        if args.png_dir:
            os.makedirs(args.png_dir, exist_ok=True)
            with open(os.path.join(args.png_dir, f"velmora-{size}.png"), "wb") as f:
                f.write(png)
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(ico_bytes(images))
    os.replace(tmp, args.output)


if __name__ == "__main__":
    main()
