#!/usr/bin/env python3
"""Draws the bundled sample image: a 640 x 480 evening landscape with a bright sun,
dark hills, a lit town and coloured lanterns, so that every pattern (and the LED
panels' detector in particular) has bright and dark regions to work on.
Writes resources/samples/sample.bmp (24-bit, bottom-up). Standard library only."""
import math
import os
import struct

W, H = 640, 480


def clamp(v):
    return max(0, min(255, int(v)))


def pixel(x, y):
    # Sky: deep blue at the top to orange at the horizon.
    t = y / 300
    r, g, b = 20 + 220 * t, 30 + 120 * t, 90 + 10 * (1 - t)
    # Sun with a soft halo.
    d = math.hypot(x - 470, y - 210)
    if d < 55:
        r, g, b = 255, 240, 190
    elif d < 140:
        k = (140 - d) / 85
        r, g, b = r + (255 - r) * k * 0.7, g + (200 - g) * k * 0.6, b + (120 - b) * k * 0.3
    # Stars in the upper sky.
    if y < 120 and (x * 7919 + y * 104729) % 997 == 0:
        r, g, b = 255, 255, 255
    # Two ranges of hills, the nearer one darker.
    far = 300 + 30 * math.sin(x / 70) + 15 * math.sin(x / 23)
    near = 360 + 40 * math.sin(x / 110 + 1.3) + 10 * math.sin(x / 17)
    if y > far:
        r, g, b = 60, 50, 90
    if y > near:
        r, g, b = 18, 40 - (y - 360) / 12, 25
        # Lit windows of a small town on the near hill.
        if 80 < x < 300 and (x // 12) % 2 == 0 and (y // 10) % 3 == 0 and y < near + 60:
            r, g, b = 250, 210, 90
    # Coloured lanterns along a line in the foreground.
    for i, colour in enumerate([(255, 40, 40), (40, 255, 60), (60, 90, 255), (255, 230, 40), (230, 60, 255)]):
        cx, cy = 60 + i * 130, 440
        if math.hypot(x - cx, y - cy) < 18:
            r, g, b = colour
    return clamp(b), clamp(g), clamp(r)


def main():
    stride = (3 * W + 3) // 4 * 4
    rows = []
    for y in range(H - 1, -1, -1):
        row = bytearray()
        for x in range(W):
            row += bytes(pixel(x, y))
        row += b"\0" * (stride - 3 * W)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    out = os.path.join(os.path.dirname(__file__), "..", "resources", "samples", "sample.bmp")
    with open(out, "wb") as f:
        f.write(header + info + data)


if __name__ == "__main__":
    main()
