#!/usr/bin/env python3
"""Writes the small image files the image_io tests read, into tests/data/images/.

Every file holds one of a few pictures whose pixels the tests compute themselves
(tests/image_io/image_file_test.cpp has the same formulas):

  pattern   16 x 12, red 16x+y, green 20y+x, blue 255-8x-4y
  deep      the pattern at 16 bits: each channel 257c+129 (at most 65535), which
            rounds to c+1 (255 for 255)
  grey      16 x 12, 16x+y; at 16 bits 257g+129
  palette   16 x 12, colour index (x+y) mod 16 of a 16-colour table
  mono      16 x 12, white where x xor y is odd
  alpha     16 x 12, red 200, green 16x+y, blue 100, alpha 17x
  quadrants 32 x 24 in four flat blocks, for the lossy formats
  linear    the pattern, tagged with a linear-light colour profile

Needs Pillow (python3-pil) and ImageMagick's convert; run from anywhere. The
tests need neither: the files are committed.
"""
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageOps

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "images")
W, H = 16, 12
QUADRANTS = [(220, 40, 40), (40, 200, 60), (50, 60, 210), (240, 240, 240)]  # TL, TR, BL, BR
GREY_QUADRANTS = [30, 100, 170, 240]


def pattern(x, y):
    return (16 * x + y, 20 * y + x, 255 - 8 * x - 4 * y)


def palette_colour(i):
    return (i * 17, 255 - i * 17, (i * 85) & 255)


def deep(c):
    return min(257 * c + 129, 65535)


def picture(mode, size, pixel):
    image = Image.new(mode, size)
    image.putdata([pixel(x, y) for y in range(size[1]) for x in range(size[0])])
    return image


def pattern_image():
    return picture("RGB", (W, H), pattern)


def quadrant_image(colours=QUADRANTS, mode="RGB"):
    return picture(mode, (32, 24), lambda x, y: colours[(y >= 12) * 2 + (x >= 16)])


def palette_image():
    image = picture("P", (W, H), lambda x, y: (x + y) % 16)
    image.putpalette([c for i in range(16) for c in palette_colour(i)])
    return image


def path(name):
    return os.path.join(OUT, name)


def write_ppm16(name, channels, pixel):
    """A 16-bit PPM (P6) or PGM (P5), big-endian as the format says."""
    with open(name, "wb") as f:
        f.write(b"P%d\n%d %d\n65535\n" % (6 if channels == 3 else 5, W, H))
        for y in range(H):
            for x in range(W):
                f.write(struct.pack(">%dH" % channels, *pixel(x, y)))


def convert(*arguments):
    # Without ImageMagick's own chunks (gamma, chromaticities, dates), which a
    # reader would take as colour information.
    subprocess.run(["convert", *arguments[:-1], "-define", "png:exclude-chunks=date,time,gAMA,cHRM,sRGB,bKGD,tEXt,zTXt,iTXt,vpAg",
                    "-strip", arguments[-1]], check=True)


def linear_profile():
    """An ICC v2 display profile with sRGB's primaries and a linear tone curve."""
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + struct.pack(">3i", *(round(v * 65536) for v in (x, y, z)))
    description = b"Linear sRGB primaries\0"
    tags = [
        (b"rXYZ", xyz(0.4361, 0.2225, 0.0139)),
        (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)),
        (b"bXYZ", xyz(0.1431, 0.0606, 0.7141)),
        (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
        (b"rTRC", b"curv\0\0\0\0" + struct.pack(">I", 0)),  # no entries: linear
        (b"gTRC", None),
        (b"bTRC", None),
        (b"desc", b"desc\0\0\0\0" + struct.pack(">I", len(description)) + description + bytes(12 + 67)),
        (b"cprt", b"text\0\0\0\0none\0"),
    ]
    table_size = 4 + 12 * len(tags)
    data, table, offsets = b"", b"", {}
    for signature, body in tags:
        if body is None:
            offset, size = offsets[b"rTRC"]
        else:
            while len(data) % 4:
                data += b"\0"
            offset, size = 128 + table_size + len(data), len(body)
            data += body
        offsets[signature] = (offset, size)
        table += signature + struct.pack(">2I", offset, size)
    total = 128 + table_size + len(data)
    header = struct.pack(">I4sI4s4s4s12x4s", total, b"none", 0x02100000, b"mntr", b"RGB ", b"XYZ ", b"acsp")
    header += bytes(24) + struct.pack(">I3i", 0, 0xF6D6, 0x10000, 0xD32D) + bytes(48)
    assert len(header) == 128
    return header + struct.pack(">I", len(tags)) + table + data


# How to store a picture so that a viewer that applies orientation tag o shows it
# upright: the inverse of what the tag asks for.
STORE_FOR_ORIENTATION = {
    1: None,
    2: Image.Transpose.FLIP_LEFT_RIGHT,
    3: Image.Transpose.ROTATE_180,
    4: Image.Transpose.FLIP_TOP_BOTTOM,
    5: Image.Transpose.TRANSPOSE,
    6: Image.Transpose.ROTATE_90,
    7: Image.Transpose.TRANSVERSE,
    8: Image.Transpose.ROTATE_270,
}


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        deep_ppm = os.path.join(work, "deep.ppm")
        write_ppm16(deep_ppm, 3, lambda x, y: [deep(c) for c in pattern(x, y)])
        deep_pgm = os.path.join(work, "deep.pgm")
        write_ppm16(deep_pgm, 1, lambda x, y: [deep(16 * x + y)])
        plain_ppm = os.path.join(work, "pattern.ppm")
        pattern_image().save(plain_ppm)

        # PNG
        pattern_image().save(path("png-rgb8.png"))
        convert(deep_ppm, "-define", "png:bit-depth=16", "-define", "png:color-type=2", "png:" + path("png-rgb16.png"))
        picture("L", (W, H), lambda x, y: 16 * x + y).save(path("png-grey8.png"))
        convert(deep_pgm, "-define", "png:bit-depth=16", "-define", "png:color-type=0", "png:" + path("png-grey16.png"))
        palette_image().save(path("png-palette.png"))
        picture("1", (W, H), lambda x, y: 255 * ((x ^ y) & 1)).save(path("png-mono.png"))
        picture("RGBA", (W, H), lambda x, y: (200, 16 * x + y, 100, 17 * x)).save(path("png-alpha.png"))
        convert(plain_ppm, "-interlace", "PNG", "-define", "png:color-type=2", "png:" + path("png-interlaced.png"))
        pattern_image().save(path("png-linear-profile.png"), icc_profile=linear_profile())

        # JPEG
        quadrant_image().save(path("jpeg-baseline.jpg"), quality=95)
        quadrant_image().save(path("jpeg-progressive.jpg"), quality=95, progressive=True)
        quadrant_image(GREY_QUADRANTS, "L").save(path("jpeg-grey.jpg"), quality=95)
        quadrant_png = os.path.join(work, "quadrants.png")
        quadrant_image().save(quadrant_png)
        # Photoshop's CMYK layout: an Adobe marker and inverted values.
        subprocess.run(["convert", quadrant_png, "-colorspace", "CMYK", "-quality", "95", "-strip",
                        path("jpeg-cmyk.jpg")], check=True)
        for orientation, store in STORE_FOR_ORIENTATION.items():
            stored = quadrant_image() if store is None else quadrant_image().transpose(store)
            exif = Image.Exif()
            exif[0x0112] = orientation
            name = path("jpeg-orientation-%d.jpg" % orientation)
            stored.save(name, quality=95, exif=exif.tobytes())
            shown = ImageOps.exif_transpose(Image.open(name))
            assert shown.size == (32, 24), (orientation, shown.size)

        # PNG and WebP carry the tag in an Exif chunk of their own.
        for orientation, store in STORE_FOR_ORIENTATION.items():
            stored = quadrant_image() if store is None else quadrant_image().transpose(store)
            exif = Image.Exif()
            exif[0x0112] = orientation
            stored.save(path("png-orientation-%d.png" % orientation), exif=exif.tobytes())
            if orientation == 6:
                stored.save(path("webp-orientation-6.webp"), lossless=True, exif=exif.tobytes())

        # GIF: the first frame is the palette picture, the second is black.
        second = Image.new("P", (W, H), 0)
        second.putpalette([0, 0, 0] * 16)
        palette_image().save(path("gif-animated.gif"), save_all=True, append_images=[second], duration=100, loop=0)

        # WebP
        quadrant_image().save(path("webp-lossy.webp"), quality=90)
        pattern_image().save(path("webp-lossless.webp"), lossless=True)
        picture("RGBA", (W, H), lambda x, y: (200, 16 * x + y, 100, 17 * x)).save(path("webp-alpha.webp"), lossless=True)
        pattern_image().save(path("webp-animated.webp"), save_all=True, lossless=True, duration=100, loop=0,
                             append_images=[Image.new("RGB", (W, H), (0, 0, 0))])

        # TIFF
        pattern_image().save(path("tiff-rgb8-lzw.tif"), compression="tiff_lzw")
        subprocess.run(["convert", deep_ppm, "-depth", "16", "-compress", "zip", "-strip", path("tiff-rgb16-deflate.tif")],
                       check=True)

        # PPM and PGM
        pattern_image().save(path("ppm-rgb.ppm"))
        picture("L", (W, H), lambda x, y: 16 * x + y).save(path("pgm-grey.pgm"))

    for name in sorted(os.listdir(OUT)):
        print("%6d  %s" % (os.path.getsize(path(name)), name))


if __name__ == "__main__":
    sys.exit(main())
