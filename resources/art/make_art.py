#!/usr/bin/env python3
"""Generates the artwork of both programs into resources/.

Drawing is done by ImageMagick's `convert`; this script packs the icons
(each size in 8-bit palette and 32-bit colour) itself. Run it from anywhere:

    python3 resources/art/make_art.py

Outputs: configurator.ico (102), about_logo.bmp (111), modetool.ico (10000),
panel_logo.bmp (101), panel_product.bmp (1019), and the twice-size masters
about_logo_2x.bmp, panel_logo_2x.bmp, panel_product_2x.bmp.
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


# Small and large icons at 100, 125, 150 and 200 % (16/32, 20/40, 24/48,
# 32/64 pixels): Windows picks the entry of the size it asks for.
def write_ico(master, path, sizes=(16, 20, 24, 32, 40, 48, 64)):
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


def num(v):
    return str(int(v)) if v == int(v) else f"{v:g}"


class Scaled:
    """Drawing arguments of a 1x design at `s` times its size: positions map
    pixel edges to pixel edges, lengths and point sizes are multiplied."""

    def __init__(self, s):
        self.s = s

    def at(self, *coords):  # "x,y x,y" of pixel centres
        pos = [num((c + 0.5) * self.s - 0.5) for c in coords]
        return " ".join(f"{pos[i]},{pos[i + 1]}" for i in range(0, len(pos), 2))

    def n(self, v):
        return num(v * self.s)

    def size(self, w, h):
        return f"{w * self.s}x{h * self.s}"

    def offset(self, x, y):
        return f"{'+' if x >= 0 else '-'}{num(abs(x) * self.s)}{'+' if y >= 0 else '-'}{num(abs(y) * self.s)}"

    def frame(self, w, h):  # a one-pixel (at 1x) outline on the picture's edge
        o = (self.s - 1) / 2
        return ["-strokewidth", self.n(1), "-draw",
                f"rectangle {num(o)},{num(o)} {num(w * self.s - 1 - o)},{num(h * self.s - 1 - o)}"]


def about_logo(path, s):
    # 51 x 37 dialog units in "Ms Shell Dlg" 8 at 96 dpi.
    d = Scaled(s)
    bmp24(["-size", d.size(76, 60), "xc:white", "-fill", BLUE, "-draw",
           f"roundrectangle {d.at(2, 2, 73, 57)} {d.n(8)},{d.n(8)}", "-fill", ORANGE, "-draw",
           f"rectangle {d.at(2, 44, 73, 49)}",
           "-font", FONT, "-pointsize", d.n(30), "-fill", "white", "-gravity", "center",
           "-annotate", d.offset(0, -6), "V"], path)


def panel_logo(path, s):
    # 141 x 244 pixels at 96 dpi, the size of a list box of the tool.
    d = Scaled(s)
    bmp24(["-size", d.size(141, 244), "gradient:white-" + LIGHT, "-fill", BLUE, "-draw",
           f"circle {d.at(70, 92, 70, 40)}", "-fill", ORANGE, "-draw",
           f"rectangle {d.at(18, 150, 122, 156)}",
           "-font", FONT, "-pointsize", d.n(64), "-fill", "white", "-gravity", "north",
           "-annotate", d.offset(0, 52), "T", "-font", FONT, "-pointsize", d.n(20), "-fill", BLUE,
           "-annotate", d.offset(0, 164), "TARNEL", "-font", FONT_REGULAR, "-pointsize", d.n(10),
           "-annotate", d.offset(0, 192), "searching ...", "-stroke", BLUE, "-fill", "none",
           *d.frame(141, 244)], path)


def panel_product(path, s):
    d = Scaled(s)
    bmp24(["-size", d.size(141, 244), "gradient:" + LIGHT + "-white", "-font", FONT, "-pointsize",
           d.n(22), "-fill", BLUE, "-gravity", "north", "-annotate", d.offset(0, 22), "Varnok",
           "-fill", ORANGE, "-draw", f"rectangle {d.at(18, 54, 122, 58)}", "-font", FONT_REGULAR,
           "-pointsize", d.n(12), "-fill", "#333333", "-annotate", d.offset(0, 74), "RS232",
           "-annotate", d.offset(0, 96), "RS422", "-annotate", d.offset(0, 118), "RS485 2-wire",
           "-annotate", d.offset(0, 140), "RS485 4-wire", "-font", FONT, "-pointsize", d.n(10),
           "-fill", BLUE, "-annotate", d.offset(0, 196), "USB serial adapters", "-stroke", BLUE,
           "-fill", "none", *d.frame(141, 244)], path)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        master = os.path.join(tmp, "cfg.png")
        icon_master(master, "V", BLUE)
        write_ico(master, os.path.join(OUT, "configurator.ico"))
        master = os.path.join(tmp, "mode.png")
        icon_master(master, "M", "#2E7D32")
        write_ico(master, os.path.join(OUT, "modetool.ico"))

    # Each picture at its 96-dpi size and a master at twice that size, from
    # which the programs scale it down for 120 to 192 dpi (and up beyond).
    for s, suffix in ((1, ""), (2, "_2x")):
        about_logo(os.path.join(OUT, f"about_logo{suffix}.bmp"), s)
        panel_logo(os.path.join(OUT, f"panel_logo{suffix}.bmp"), s)
        panel_product(os.path.join(OUT, f"panel_product{suffix}.bmp"), s)


if __name__ == "__main__":
    main()
