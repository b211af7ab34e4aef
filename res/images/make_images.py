#!/usr/bin/env python3
"""Draws the tool's bitmaps as PNG files (standard library only).

Run from this folder: python3 make_images.py
"""
import math
import struct
import zlib

MAGENTA = (255, 0, 255)


def write_png(name, width, height, pixel):
    rows = b""
    for y in range(height):
        rows += b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2 if len(pixel(0, 0)) == 3 else 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    with open(name, "wb") as f:
        f.write(png)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# The button skin: five 55 x 22 slices (normal, pressed, disabled, focus, spare)
# with rounded corners keyed out in magenta.
SLICE_W, SLICE_H = 55, 22
FACES = [
    ((250, 252, 255), (196, 212, 236), (96, 120, 160)),   # normal: light gradient
    ((150, 172, 210), (206, 220, 240), (60, 84, 128)),    # pressed: darker, inverted
    ((226, 226, 226), (200, 200, 200), (150, 150, 150)),  # disabled: grey
    ((236, 244, 255), (170, 200, 245), (20, 90, 210)),    # focus: blue ring
    ((255, 250, 230), (240, 220, 160), (160, 130, 60)),   # spare
]


def skin(x, y):
    face = x // SLICE_W
    sx, sy = x % SLICE_W, y
    top, bottom, border = FACES[face]
    # Corners: a radius of 3 pixels outside the rounded border is transparent.
    r = 3
    cx = r if sx < r else (SLICE_W - 1 - r if sx > SLICE_W - 1 - r else sx)
    cy = r if sy < r else (SLICE_H - 1 - r if sy > SLICE_H - 1 - r else sy)
    dist = math.hypot(sx - cx, sy - cy)
    if dist > r + 0.5:
        return MAGENTA
    if dist > r - 0.5 or sx == 0 or sy == 0 or sx == SLICE_W - 1 or sy == SLICE_H - 1:
        return border
    if face == 3 and (sx in (1, SLICE_W - 2) or sy in (1, SLICE_H - 2)):
        return border
    return mix(top, bottom, sy / (SLICE_H - 1))


def icon_serial(size):
    def px(x, y):
        u, v = x / size, y / size
        # A D-sub plug: trapezoid shell with two rows of pins and a cable.
        inset = 0.12 + 0.08 * (v - 0.25) / 0.4 if 0.25 <= v <= 0.65 else None
        if inset is not None and inset <= u <= 1 - inset:
            row = (0.35 <= v <= 0.42) or (0.5 <= v <= 0.57)
            if row and int(u * size) % 3 == 1 and 0.2 < u < 0.8:
                return (250, 220, 80, 255)
            return (60, 90, 150, 255)
        if 0.44 <= u <= 0.56 and v > 0.65:
            return (40, 40, 40, 255)
        return (0, 0, 0, 0)
    return px


def icon_print(size):
    def px(x, y):
        u, v = x / size, y / size
        if 0.25 <= u <= 0.75 and 0.08 <= v <= 0.4:
            return (255, 255, 255, 255) if 0.3 <= u <= 0.7 else (120, 120, 120, 255)
        if 0.08 <= u <= 0.92 and 0.4 <= v <= 0.75:
            return (90, 96, 110, 255) if not (0.78 <= u <= 0.86 and 0.48 <= v <= 0.56) else (80, 220, 80, 255)
        if 0.25 <= u <= 0.75 and 0.75 <= v <= 0.95:
            return (250, 250, 250, 255) if int(v * size) % 3 else (150, 150, 150, 255)
        return (0, 0, 0, 0)
    return px


def icon_app(size):
    def px(x, y):
        u, v = x / size, y / size
        # A platform scale: pan, column and a load cell with a signal wave.
        if 0.1 <= u <= 0.9 and 0.2 <= v <= 0.28:
            return (40, 80, 160, 255)
        if 0.45 <= u <= 0.55 and 0.28 <= v <= 0.6:
            return (70, 70, 80, 255)
        if 0.2 <= u <= 0.8 and 0.6 <= v <= 0.8:
            wave = 0.7 + 0.06 * math.sin((u - 0.2) * 6 * math.pi)
            return (255, 200, 40, 255) if abs(v - wave) < 0.03 else (30, 130, 90, 255)
        if 0.1 <= u <= 0.9 and 0.8 <= v <= 0.88:
            return (70, 70, 80, 255)
        return (0, 0, 0, 0)
    return px


def band(x, y):
    return mix((236, 240, 250), (200, 210, 232), y / 31)


if __name__ == "__main__":
    write_png("skin141.png", SLICE_W * 5, SLICE_H, skin)
    for size in (22, 19):
        write_png(f"serial{size}.png", size, size, icon_serial(size))
        write_png(f"print{size}.png", size, size, icon_print(size))
    write_png("tolvex.png", 32, 32, icon_app(32))
    write_png("band151.png", 64, 32, band)
