#!/usr/bin/env python3
"""Writes the phone and web photo test files (HEIC, AVIF, JPEG XL, colour-managed
JPEG and PNG) into tests/data/images/, from pictures made here pixel by pixel
(tests/image_io/photo_formats_test.cpp has the same formulas):

  pattern    16 x 12, red 16x+y, green 20y+x, blue 255-8x-4y
  quadrants  32 x 24 in four flat blocks
  deep       the pattern at 10 bits: 4c + (x+y) mod 4 per channel
  alpha      16 x 12, red 200, green 16x+y, blue 100, alpha 17x

Each file is made by the format's own encoder (heif-enc, avifenc, cjxl) or by
ImageMagick; the CMYK photo carries Ghostscript's small CMYK profile (ps_cmyk.icc,
from libgs-common), and its expected colours are printed here through LittleCMS's
transicc. Needs python3, ImageMagick's convert, libheif-examples, libavif-bin,
libjxl-tools, liblcms2-utils and libgs-common. The tests need none of them: the
files are committed.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "images")
QUADRANTS = [(220, 40, 40), (40, 200, 60), (50, 60, 210), (240, 240, 240)]  # TL, TR, BL, BR
GREY_QUADRANTS = [30, 100, 170, 240]
CMYK_PROFILE = "/usr/share/color/icc/ghostscript/ps_cmyk.icc"
SRGB_PROFILE = "/usr/share/color/icc/ghostscript/srgb.icc"


def pattern(x, y):
    return (16 * x + y, 20 * y + x, 255 - 8 * x - 4 * y)


def quadrant(x, y, width=32, height=24):
    return QUADRANTS[(y >= height // 2) * 2 + (x >= width // 2)]


def deep(x, y):
    return tuple(min(1023, 4 * c + (x + y) % 4) for c in pattern(x, y))


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def write_png(name, width, height, pixel, channels=3, depth=8, extra=()):
    """A PNG written chunk by chunk, so that exactly the chunks asked for are in it."""
    colour_type = {1: 0, 3: 2, 4: 6}[channels]
    rows = b""
    for y in range(height):
        rows += b"\0"
        for x in range(width):
            values = pixel(x, y)
            values = values if isinstance(values, tuple) else (values,)
            rows += struct.pack(">%d%s" % (channels, "B" if depth == 8 else "H"), *values)
    with open(name, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)))
        for kind, body in extra:
            f.write(chunk(kind, body))
        f.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        f.write(chunk(b"IEND", b""))


def grey_linear_profile():
    """An ICC v2 grey display profile with a linear tone curve."""
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + struct.pack(">3i", *(round(v * 65536) for v in (x, y, z)))
    description = b"Linear grey\0"
    tags = [
        (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
        (b"kTRC", b"curv\0\0\0\0" + struct.pack(">I", 0)),
        (b"desc", b"desc\0\0\0\0" + struct.pack(">I", len(description)) + description + bytes(12 + 67)),
        (b"cprt", b"text\0\0\0\0none\0"),
    ]
    table_size = 4 + 12 * len(tags)
    data, table = b"", b""
    for signature, body in tags:
        while len(data) % 4:
            data += b"\0"
        table += signature + struct.pack(">2I", 128 + table_size + len(data), len(body))
        data += body
    total = 128 + table_size + len(data)
    header = struct.pack(">I4sI4s4s4s12x4s", total, b"none", 0x02100000, b"mntr", b"GRAY", b"XYZ ", b"acsp")
    header += bytes(24) + struct.pack(">I3i", 0, 0xF6D6, 0x10000, 0xD32D) + bytes(48)
    return header + struct.pack(">I", len(tags)) + table + data


def exif_orientation(value):
    """A little-endian Exif block with one entry: the orientation tag."""
    return b"Exif\0\0II*\0" + struct.pack("<IH", 8, 1) + struct.pack("<HHIHH", 0x0112, 3, 1, value, 0) + b"\0\0\0\0"


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def path(name):
    return os.path.join(OUT, name)


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        def scratch(name):
            return os.path.join(work, name)

        write_png(scratch("pattern.png"), 16, 12, pattern)
        write_png(scratch("quadrants.png"), 32, 24, quadrant)
        write_png(scratch("alpha.png"), 16, 12, lambda x, y: (200, 16 * x + y, 100, 17 * x), channels=4)
        # 10-bit samples as 16-bit ones that any scaling takes back to the same 10 bits.
        write_png(scratch("deep.png"), 16, 12, lambda x, y: tuple(v << 6 | v >> 4 for v in deep(x, y)), depth=16)
        # Quadrants stored turned a quarter clockwise (24 x 32), and mirrored left to right.
        write_png(scratch("turned.png"), 24, 32, lambda x, y: quadrant(y, 23 - x))
        write_png(scratch("mirrored.png"), 32, 24, lambda x, y: quadrant(31 - x, y))
        # Quadrants inside a 6-pixel black frame, cut out again by the clean aperture.
        write_png(scratch("framed.png"), 44, 36,
                  lambda x, y: quadrant(x - 6, y - 6) if 6 <= x < 38 and 6 <= y < 30 else (0, 0, 0))
        with open(scratch("orientation-6.exif"), "wb") as f:
            f.write(exif_orientation(6)[6:])

        # HEIC (HEVC through x265), lossy.
        run("heif-enc", "-q", "90", "-o", path("heic-quadrants.heic"), scratch("quadrants.png"))
        # AVIF, lossless, so that every pixel is known. The turned one also carries an
        # Exif orientation tag that must not turn it a second time.
        run("avifenc", "-l", "-s", "8", "--irot", "1", "--exif", scratch("orientation-6.exif"), scratch("turned.png"),
            path("avif-irot.avif"))
        run("avifenc", "-l", "-s", "8", "--imir", "1", scratch("mirrored.png"), path("avif-imir.avif"))
        run("avifenc", "-l", "-s", "8", "--crop", "6,6,32,24", scratch("framed.png"), path("avif-clap.avif"))
        run("avifenc", "-l", "-s", "8", "-d", "10", scratch("deep.png"), path("avif-10bit.avif"))
        run("avifenc", "-l", "-s", "8", scratch("alpha.png"), path("avif-alpha.avif"))
        # Display P3 primaries, sRGB's curve, stored as RGB.
        run("avifenc", "-l", "-s", "8", "--cicp", "12/13/0", scratch("pattern.png"), path("avif-p3.avif"))

        # JPEG XL
        run("cjxl", "-d", "0", scratch("pattern.png"), path("jxl-lossless.jxl"))
        run("cjxl", "-d", "0.3", scratch("quadrants.png"), path("jxl-lossy.jxl"))
        run("cjxl", "-d", "0", scratch("alpha.png"), path("jxl-alpha.jxl"))

        # A CMYK JPEG (Adobe's inverted layout) with its CMYK profile embedded.
        run("convert", scratch("quadrants.png"), "-profile", SRGB_PROFILE, "-profile", CMYK_PROFILE, "-quality", "95",
            path("jpeg-cmyk-profile.jpg"))
        # A grey JPEG tagged with a linear grey profile.
        with open(scratch("grey-linear.icc"), "wb") as f:
            f.write(grey_linear_profile())
        write_png(scratch("grey.png"), 32, 24, lambda x, y: GREY_QUADRANTS[(y >= 12) * 2 + (x >= 16)], channels=1)
        run("convert", scratch("grey.png"), "-quality", "95", "-profile", scratch("grey-linear.icc"),
            path("jpeg-grey-profile.jpg"))

        # PNG gamma: 1/2.2 with sRGB's chromaticities and alone (shown as sRGB), and 1.0 (linear).
        srgb_chromaticities = struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000)
        write_png(path("png-gamma-srgb.png"), 16, 12, pattern,
                  extra=[(b"gAMA", struct.pack(">I", 45455)), (b"cHRM", srgb_chromaticities)])
        write_png(path("png-gamma-only.png"), 16, 12, pattern, extra=[(b"gAMA", struct.pack(">I", 45455))])
        write_png(path("png-gamma-linear.png"), 16, 12, pattern,
                  extra=[(b"gAMA", struct.pack(">I", 100000)), (b"cHRM", srgb_chromaticities)])

        # The CMYK photo's expected sRGB colours: its stored inks at each block's
        # centre, through the profile, perceptual, by transicc.
        print("jpeg-cmyk-profile.jpg, block centres through transicc:")
        for x, y in ((8, 6), (24, 6), (8, 18), (24, 18)):
            inks = subprocess.run(["convert", path("jpeg-cmyk-profile.jpg"), "-format",
                                   "%%[fx:100*u.p{%d,%d}.c] %%[fx:100*u.p{%d,%d}.m] %%[fx:100*u.p{%d,%d}.y] "
                                   "%%[fx:100*u.p{%d,%d}.k]" % ((x, y) * 4), "info:"],
                                  check=True, capture_output=True, text=True).stdout.split()
            rgb = subprocess.run(["transicc", "-t", "0", "-i", CMYK_PROFILE, "-o", "*sRGB", "-n"],
                                 input=" ".join(inks) + "\n", check=True, capture_output=True, text=True).stdout
            print("  (%d, %d) CMYK %s -> %s" % (x, y, " ".join(inks), " ".join(rgb.split())))

    for name in sorted(os.listdir(OUT)):
        if name.split("-")[0] in ("heic", "avif", "jxl") or "profile" in name or "gamma" in name:
            print("%6d  %s" % (os.path.getsize(path(name)), name))


if __name__ == "__main__":
    sys.exit(main())
