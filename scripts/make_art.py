#!/usr/bin/env python3
"""Build the console's bitmaps, icon and cursor from the XPM text sources.

Usage: make_art.py OUTDIR [--art ARTDIR]

Writes into OUTDIR:
  toolbar.bmp  64x16, 24-bit, the four toolbar pictures (bitmap 100)
  images.bmp   208x16, 24-bit, the thirteen tree/list pictures (bitmap 105)
  nxwin.ico    icon 101, 32x32 and 16x16, 32-bit with alpha and AND mask
  hand.cur     cursor 100, 32x32 monochrome, hot spot taken from hand.xpm

The XPM files in console/res/art are the sources; they are plain text so that
changes to a picture can be reviewed in a diff. Only the standard library is
used and the output depends on nothing but the sources, so the files are
byte-identical on every machine.
"""

import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_ART = os.path.normpath(os.path.join(HERE, "..", "console", "res", "art"))

# Order is the image index the program uses; do not reorder.
TOOLBAR = [
    "tb0-find.xpm",        # 0 find packages (command 202)
    "tb1-save.xpm",        # 1 save the package list (206)
    "tb2-later.xpm",       # 2 install later (204)
    "tb3-earlier.xpm",     # 3 install earlier (203)
]
IMAGES = [
    "im00-computer.xpm",   # 0 tree root, setting "uncp"
    "im01-netdrive.xpm",   # 1 setting "ndrv"
    "im02-folder.xpm",     # 2 tree: "Packages"
    "im03-folder-grey.xpm",  # 3 tree: "Inventory" and its files
    "im04-pkg.xpm",        # 4 available
    "im05-pkg-ready.xpm",  # 5 ready to install
    "im06-pkg-excluded.xpm",  # 6 another version is checked
    "im07-pkg-listed.xpm",  # 7 listed in the device list
    "im08-pkg-installed.xpm",  # 8 installed
    "im09-user.xpm",       # 9 setting "user"
    "im10-key.xpm",        # 10 setting "pswd"
    "im11-clock.xpm",      # 11 time settings
    "im12-sheet.xpm",      # 12 "stop" setting, inventory rows
]
ICON = ["icon32.xpm", "icon16.xpm"]
CURSOR = "hand.xpm"

TILE = 16
TRANSPARENT = (0xFF, 0x00, 0xFF)   # the strips' top-left pixel: masked out


class ArtError(Exception):
    pass


def parse_xpm(path):
    """Reads an XPM3 file with one character per pixel.

    Returns (width, height, hotspot or None, rows); each row is a list of
    (r, g, b) tuples, or None for the colour "None".
    """
    try:
        with open(path, "r", encoding="ascii") as f:
            text = f.read()
    except (OSError, UnicodeDecodeError) as e:
        raise ArtError("%s: cannot read: %s" % (path, e))
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    strings = re.findall(r'"([^"]*)"', text)
    if not strings:
        raise ArtError("%s: no XPM strings" % path)
    head = strings[0].split()
    if len(head) not in (4, 6) or not all(v.isdigit() for v in head):
        raise ArtError("%s: bad values line %r" % (path, strings[0]))
    width, height, ncolors, cpp = (int(v) for v in head[:4])
    hotspot = (int(head[4]), int(head[5])) if len(head) == 6 else None
    if cpp != 1:
        raise ArtError("%s: only one character per pixel is supported" % path)
    if len(strings) != 1 + ncolors + height:
        raise ArtError("%s: expected %d colours and %d rows, found %d strings"
                       % (path, ncolors, height, len(strings) - 1))
    palette = {}
    for line in strings[1:1 + ncolors]:
        m = re.match(r"^(.)\s+c\s+(\S+)\s*$", line)
        if not m:
            raise ArtError("%s: bad colour line %r" % (path, line))
        key, value = m.group(1), m.group(2)
        if key in palette:
            raise ArtError("%s: colour %r defined twice" % (path, key))
        if value.lower() == "none":
            palette[key] = None
        elif re.match(r"^#[0-9A-Fa-f]{6}$", value):
            palette[key] = tuple(int(value[i:i + 2], 16) for i in (1, 3, 5))
        else:
            raise ArtError("%s: colour %r must be #RRGGBB or None" % (path, value))
    rows = []
    for y, line in enumerate(strings[1 + ncolors:]):
        if len(line) != width:
            raise ArtError("%s: row %d has %d pixels, expected %d"
                           % (path, y, len(line), width))
        row = []
        for x, ch in enumerate(line):
            if ch not in palette:
                raise ArtError("%s: row %d column %d: undefined colour %r"
                               % (path, y, x, ch))
            row.append(palette[ch])
        rows.append(row)
    return width, height, hotspot, rows


def load_tile(art, name):
    path = os.path.join(art, name)
    w, h, _, rows = parse_xpm(path)
    if (w, h) != (TILE, TILE):
        raise ArtError("%s: strip pictures must be %dx%d, not %dx%d"
                       % (path, TILE, TILE, w, h))
    return [[TRANSPARENT if p is None else p for p in row] for row in rows]


def make_strip(art, names):
    tiles = [load_tile(art, n) for n in names]
    rows = []
    for y in range(TILE):
        row = []
        for t in tiles:
            row.extend(t[y])
        rows.append(row)
    if rows[0][0] != TRANSPARENT:
        raise ArtError("%s: top-left pixel must be the transparent colour" % names[0])
    return len(names) * TILE, TILE, rows


def bmp24(width, height, rows):
    """A bottom-up 24-bit BMP with a BITMAPINFOHEADER."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + pixels


def mask_bits(width, rows, is_set):
    """1-bit rows, bottom-up, each padded to 32 bits."""
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if is_set(p):
                line[x >> 3] |= 0x80 >> (x & 7)
        out += line
    return out


def ico(images):
    """An ICO file with 32-bit images (alpha) and their AND masks."""
    blobs = []
    for width, height, rows in images:
        info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                           0, 0, 0, 0, 0)
        pixels = bytearray()
        for row in reversed(rows):
            for p in row:
                pixels += bytes((0, 0, 0, 0)) if p is None else bytes((p[2], p[1], p[0], 255))
        blobs.append(info + pixels + mask_bits(width, rows, lambda p: p is None))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (width, height, _), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", width & 0xFF, height & 0xFF, 0, 0, 1, 32,
                           len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def cur(width, height, hotspot, rows):
    """A monochrome CUR file: black, white and transparent pixels only."""
    black, white = (0, 0, 0), (255, 255, 255)
    for y, row in enumerate(rows):
        for x, p in enumerate(row):
            if p not in (None, black, white):
                raise ArtError("%s: pixel %d,%d is neither black, white nor None"
                               % (CURSOR, x, y))
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 1, 0,
                       0, 0, 0, 2, 0)
    colours = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    xor = mask_bits(width, rows, lambda p: p == white)
    andm = mask_bits(width, rows, lambda p: p is None)
    blob = info + colours + xor + andm
    # idType 2 marks a cursor; the directory entry carries the hot spot
    # where an icon would have its planes and bit count.
    out = struct.pack("<HHH", 0, 2, 1)
    out += struct.pack("<BBBBHHII", width & 0xFF, height & 0xFF, 2, 0,
                       hotspot[0], hotspot[1], len(blob), 6 + 16)
    return out + blob


def write(outdir, name, data):
    path = os.path.join(outdir, name)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv):
    args = list(argv[1:])
    art = DEFAULT_ART
    if "--art" in args:
        i = args.index("--art")
        if i + 1 >= len(args):
            raise ArtError("--art needs a folder")
        art = args[i + 1]
        del args[i:i + 2]
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    outdir = args[0]

    toolbar = make_strip(art, TOOLBAR)
    images = make_strip(art, IMAGES)
    icon = []
    for name in ICON:
        w, h, _, rows = parse_xpm(os.path.join(art, name))
        icon.append((w, h, rows))
    cw, ch, hot, crows = parse_xpm(os.path.join(art, CURSOR))
    if hot is None:
        raise ArtError("%s: the values line must give the hot spot" % CURSOR)
    if (cw, ch) != (32, 32):
        raise ArtError("%s: the cursor must be 32x32" % CURSOR)
    if crows[hot[1]][hot[0]] is None:
        raise ArtError("%s: the hot spot %d,%d lies on a transparent pixel"
                       % (CURSOR, hot[0], hot[1]))

    os.makedirs(outdir, exist_ok=True)
    write(outdir, "toolbar.bmp", bmp24(*toolbar))
    write(outdir, "images.bmp", bmp24(*images))
    write(outdir, "nxwin.ico", ico(icon))
    write(outdir, "hand.cur", cur(cw, ch, hot, crows))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (ArtError, OSError) as e:
        sys.stderr.write("make_art: %s\n" % e)
        sys.exit(1)
