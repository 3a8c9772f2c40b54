#!/usr/bin/env python3
"""Generates the artwork of both programs into resources/.

Drawing is done by ImageMagick's `convert`; this script packs the icons
(each size in 8-bit palette and 32-bit colour) itself. Run it from anywhere:

    python3 resources/art/make_art.py

Outputs: configurator.ico (102), about_logo.bmp (111), modetool.ico (10000),
panel_logo.bmp (101), panel_product.bmp (1019).
"""
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_REGULAR = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

BLUE = "#1F4E8C"
LIGHT = "#DCE8F6"
ORANGE = "#F08A24"


def convert(*args):
    subprocess.run(["convert", *args], check=True)


def raw_rgba(path, size, colors=None):
    """Pixels of `path` scaled to size x size, as rows of (r, g, b, a), top first."""
    args = [path, "-resize", f"{size}x{size}!"]
    if colors:
        args += ["-alpha", "off", "-dither", "None", "-colors", str(colors), "-alpha", "on"]
    args += ["-depth", "8", "rgba:-"]
    data = subprocess.run(["convert", *args], check=True, capture_output=True).stdout
    assert len(data) == size * size * 4
    return [[tuple(data[(y * size + x) * 4:(y * size + x) * 4 + 4]) for x in range(size)]
            for y in range(size)]


def and_mask(pixels, size):
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def dib_32(pixels, size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            body += bytes((b, g, r, a))
    return header + bytes(body) + and_mask(pixels, size)


def dib_8(pixels, size):
    palette = []
    index = {}
    for row in pixels:
        for r, g, b, a in row:
            key = (r, g, b) if a >= 128 else (0, 0, 0)
            if key not in index:
                if len(palette) == 256:
                    raise SystemExit("more than 256 colours in an 8-bit image")
                index[key] = len(palette)
                palette.append(key)
    palette += [(0, 0, 0)] * (256 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    stride = (size + 3) // 4 * 4
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray(index[(p[0], p[1], p[2]) if p[3] >= 128 else (0, 0, 0)] for p in row)
        body += line + bytes(stride - len(line))
    return header + pal + bytes(body) + and_mask(pixels, size)


def write_ico(master, path, sizes=(16, 24, 32, 48)):
    images = []
    for size in sizes:
        images.append((size, 8, dib_8(raw_rgba(master, size, colors=255), size)))
        images.append((size, 32, dib_32(raw_rgba(master, size), size)))
    offset = 6 + 16 * len(images)
    head = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    blobs = b""
    for size, bpp, blob in images:
        colours = 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp,
                               len(blob), offset + len(blobs))
        blobs += blob
    with open(path, "wb") as f:
        f.write(head + entries + blobs)


def icon_master(path, letters, background):
    convert("-size", "256x256", "xc:none", "-fill", background, "-draw",
            "roundrectangle 8,8 247,247 48,48", "-fill", ORANGE, "-draw",
            "rectangle 8,196 247,220", "-font", FONT, "-pointsize", "150", "-fill", "white",
            "-gravity", "center", "-annotate", "+0-18", letters, path)


def bmp24(args, path):
    convert(*args, "-alpha", "off", "-type", "TrueColor", "BMP3:" + path)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        master = os.path.join(tmp, "cfg.png")
        icon_master(master, "V", BLUE)
        write_ico(master, os.path.join(OUT, "configurator.ico"))
        master = os.path.join(tmp, "mode.png")
        icon_master(master, "M", "#2E7D32")
        write_ico(master, os.path.join(OUT, "modetool.ico"))

    # About logo: 51 x 37 dialog units in "Ms Shell Dlg" 8 at 96 dpi.
    bmp24(["-size", "76x60", "xc:white", "-fill", BLUE, "-draw",
           "roundrectangle 2,2 73,57 8,8", "-fill", ORANGE, "-draw", "rectangle 2,44 73,49",
           "-font", FONT, "-pointsize", "30", "-fill", "white", "-gravity", "center",
           "-annotate", "+0-6", "V"], os.path.join(OUT, "about_logo.bmp"))

    # Busy panels: 141 x 244 pixels, the size of a list box of the tool.
    bmp24(["-size", "141x244", "gradient:white-" + LIGHT, "-fill", BLUE, "-draw",
           "circle 70,92 70,40", "-fill", ORANGE, "-draw", "rectangle 18,150 122,156",
           "-font", FONT, "-pointsize", "64", "-fill", "white", "-gravity", "north",
           "-annotate", "+0+52", "T", "-font", FONT, "-pointsize", "20", "-fill", BLUE,
           "-annotate", "+0+164", "TARNEL", "-font", FONT_REGULAR, "-pointsize", "10",
           "-annotate", "+0+192", "searching ...", "-stroke", BLUE, "-fill", "none",
           "-draw", "rectangle 0,0 140,243"], os.path.join(OUT, "panel_logo.bmp"))
    bmp24(["-size", "141x244", "gradient:" + LIGHT + "-white", "-font", FONT, "-pointsize",
           "22", "-fill", BLUE, "-gravity", "north", "-annotate", "+0+22", "Varnok",
           "-fill", ORANGE, "-draw", "rectangle 18,54 122,58", "-font", FONT_REGULAR,
           "-pointsize", "12", "-fill", "#333333", "-annotate", "+0+74", "RS232",
           "-annotate", "+0+96", "RS422", "-annotate", "+0+118", "RS485 2-wire",
           "-annotate", "+0+140", "RS485 4-wire", "-font", FONT, "-pointsize", "10",
           "-fill", BLUE, "-annotate", "+0+196", "USB serial adapters", "-stroke", BLUE,
           "-fill", "none", "-draw", "rectangle 0,0 140,243"],
          os.path.join(OUT, "panel_product.bmp"))


if __name__ == "__main__":
    main()
