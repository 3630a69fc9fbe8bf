#!/usr/bin/env python3
"""Writes the plug-in's resources for one Windows build.

Output folder contents:
  CrispCalm.rc   the resource script windres compiles: the PIPL as 16-bit
                 words, the version resource, two cursors and four bitmaps
  pipl.bin       the PIPL's bytes, for tests that read them without Windows
  cursor128.cur, cursor129.cur, bitmap130.bmp .. bitmap133.bmp

The PIPL layout: a 10-byte header (int16 1, int32 version 0, int32 count),
then per property vendor, key, id 0 and value length (all little-endian
32-bit; four-character codes as integers, so '8BIM' is stored "MIB8"), then
the value padded with zero bytes to a multiple of 4.
"""

import argparse
import os
import struct

# The product's version comes from the build (--version); set_version fills these.
VERSION_TEXT = ""
PRODUCT_VERSION = ()
MENU_NAME = b""
CATEGORY = b"Tarvo\xae"  # 174 is the registered sign in Windows Latin-1
SCOPE = b""
ENABLE_EXPRESSION = (b"in (PSHOP_ImageMode, RGBMode, CMYKMode,RGB48Mode, Gray16Mode)"
                     b" || PSHOP_ImageDepth == 16")
ENTRY_POINT = b"PluginMain"


def four_cc(code):
    """A four-character code as the little-endian bytes of its integer."""
    assert len(code) == 4
    return code.encode("latin-1")[::-1]


def padded(data, size):
    assert len(data) <= size, (data, size)
    return data + b"\0" * (size - len(data))


def pascal_string(text):
    assert len(text) < 256
    return bytes([len(text)]) + text


def pipl_property(key, value):
    """One property: the value padded to a multiple of 4, and that length stated."""
    data = padded(value, (len(value) + 3) // 4 * 4)
    return four_cc("8BIM") + four_cc(key) + struct.pack("<ii", 0, len(data)) + data


def pipl_bytes(arch):
    entry_key = "8664" if arch == "x86_64" else "wx86"
    # Filter cases 1..7: input and output white-matted (4); flags 1: works
    # with blank data (0x02) and filters the layer mask (0x04), plus writes
    # outside the selection (0x08) for the cases with a selection.
    selection = [False, True, True, False, True, False, True]
    fici = b"".join(bytes([4, 4, 0x0E if s else 0x06, 0]) for s in selection)
    hstm = struct.pack("<i", 0) + four_cc("sdK8") + four_cc("shpE") + struct.pack("<h", 16000) + SCOPE + b"\0"
    props = [
        pipl_property("kind", four_cc("8BFM")),
        pipl_property("name", pascal_string(MENU_NAME)),
        pipl_property("catg", pascal_string(CATEGORY)),
        pipl_property("vers", struct.pack("<i", 0x00040000)),
        pipl_property(entry_key, padded(ENTRY_POINT + b"\0", 12)),
        # RGB (0x1000) and CMYK (0x0800), high byte first.
        pipl_property("mode", bytes([0x18, 0x00, 0x00, 0x00])),
        pipl_property("hstm", padded(hstm, 48)),
        pipl_property("enbl", padded(ENABLE_EXPRESSION + b"\0", 92)),
        pipl_property("fici", fici),
    ]
    return struct.pack("<hii", 1, 0, len(props)) + b"".join(props)


# ---- cursors and bitmaps ---------------------------------------------------
# '#' black, 'o' white, '.' transparent.
SAMPLING_CURSOR = [  # a pipette, tip at the bottom left (hot spot 0, 15)
    "...........###..",
    "..........#####.",
    ".........######.",
    "........#######.",
    ".......#o#####..",
    "......#ooo###...",
    ".....#ooo#.#....",
    "....#ooo#.......",
    "...#ooo#........",
    "..#ooo#.........",
    ".#ooo#..........",
    ".#oo#...........",
    "#oo#............",
    "#o#.............",
    "##..............",
    "#...............",
]
PANNING_CURSOR = [  # an arrow with a four-way mark, hot spot at the tip (0, 0)
    "#...............",
    "##..............",
    "#o#.............",
    "#oo#............",
    "#ooo#...........",
    "#oooo#..........",
    "#ooooo#.........",
    "#oooooo#........",
    "#oooo####...#...",
    "#o#oo#.....###..",
    "##.#oo#...#.#.#.",
    "#..#oo#..#######",
    "....#oo#..#.#.#.",
    "....#oo#...###..",
    ".....##.....#...",
    "................",
]


def cursor_file(rows, hot_x, hot_y):
    """A .cur file with one 16 x 16 image of 32 bits per pixel."""
    size = 16
    colours = {"#": (0, 0, 0, 255), "o": (255, 255, 255, 255), ".": (0, 0, 0, 0)}
    xor = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        bits = 0
        for x, ch in enumerate(row):
            b, g, r, a = colours[ch][2], colours[ch][1], colours[ch][0], colours[ch][3]
            xor += bytes([b, g, r, a])
            if ch == ".":
                bits |= 0x8000 >> x
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, hot_x, hot_y, len(image), 6 + 16)
    return directory + entry + image


def bitmap_file(pixels, bits):
    """A 16 x 16 .bmp; pixels are rows of (r, g, b), top row first."""
    size = 16
    palette = b""
    body = b""
    if bits == 8:
        colours = sorted({p for row in pixels for p in row})
        index = {c: i for i, c in enumerate(colours)}
        palette = b"".join(bytes([c[2], c[1], c[0], 0]) for c in colours)
        palette += b"\0" * (4 * 256 - len(palette))
        for row in reversed(pixels):
            body += bytes(index[p] for p in row)
    else:
        for row in reversed(pixels):
            body += b"".join(bytes([p[2], p[1], p[0]]) for p in row)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, bits, 0, len(body), 2835, 2835,
                       256 if bits == 8 else 0, 0)
    offset = 14 + len(info) + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    return file_header + info + palette + body


def slot_picture(filled):
    """The snapshot slot pictures: a framed square, empty or filled."""
    face, frame, dark = (212, 208, 200), (128, 128, 128), (64, 64, 64)
    rows = []
    for y in range(16):
        row = []
        for x in range(16):
            inside = 3 <= x <= 12 and 3 <= y <= 12
            edge = inside and (x in (3, 12) or y in (3, 12))
            if edge:
                row.append(dark if filled else frame)
            elif inside and filled:
                row.append((40 + 12 * x, 90 + 8 * y, 200))
            else:
                row.append(face)
        rows.append(row)
    return rows


def zoom_picture(plus):
    """Two spare pictures: a magnifier with a plus or a minus sign."""
    face, ink = (212, 208, 200), (0, 0, 0)
    rows = [[face] * 16 for _ in range(16)]
    for y in range(16):
        for x in range(16):
            d2 = (x - 6) ** 2 + (y - 6) ** 2
            if 16 <= d2 <= 30:
                rows[y][x] = ink
    for i in range(4):
        rows[10 + i][10 + i] = ink
        rows[11 + i][10 + i] = ink
    for x in range(4, 9):
        rows[6][x] = ink
    if plus:
        for y in range(4, 9):
            rows[y][6] = ink
    return rows


def rc_text(pipl, out_dir):
    def path(name):
        return os.path.join(out_dir, name).replace("\\", "/")

    words = [pipl[i] | (pipl[i + 1] << 8) for i in range(0, len(pipl), 2)]
    lines = []
    for i in range(0, len(words), 12):
        lines.append("  " + ", ".join("0x%04X" % w for w in words[i:i + 12]))
    version = ",".join(str(v) for v in PRODUCT_VERSION)
    return "\n".join([
        "// Generated by resources/make_resources.py; do not edit.",
        "LANGUAGE 9, 1",  # US English
        "",
        "16000 PIPL",
        "BEGIN",
        ",\n".join(lines),
        "END",
        "",
        '128 CURSOR "%s"' % path("cursor128.cur"),
        '129 CURSOR "%s"' % path("cursor129.cur"),
        '130 BITMAP "%s"' % path("bitmap130.bmp"),
        '131 BITMAP "%s"' % path("bitmap131.bmp"),
        '132 BITMAP "%s"' % path("bitmap132.bmp"),
        '133 BITMAP "%s"' % path("bitmap133.bmp"),
        "",
        "1 VERSIONINFO",
        "FILEVERSION %s" % version,
        "PRODUCTVERSION %s" % version,
        "FILEFLAGSMASK 0x3F",
        "FILEFLAGS 0",
        "FILEOS 0x40004",  # Windows NT, 32-bit interface
        "FILETYPE 2",  # a library
        "FILESUBTYPE 0",
        "BEGIN",
        '  BLOCK "StringFileInfo"',
        "  BEGIN",
        '    BLOCK "040904E4"',
        "    BEGIN",
        '      VALUE "CompanyName", "Tarvo"',
        '      VALUE "FileDescription", "Tarvo Crisp+Calm Plug-in"',
        '      VALUE "FileVersion", "%s"' % VERSION_TEXT,
        '      VALUE "InternalName", "Tarvo Crisp+Calm Plug-in"',
        '      VALUE "LegalCopyright", "Copyright (c) 1999-2004 Tarvo. All rights reserved."',
        '      VALUE "ProductName", "Tarvo Crisp+Calm"',
        '      VALUE "ProductVersion", "%s"' % VERSION_TEXT,
        "    END",
        "  END",
        '  BLOCK "VarFileInfo"',
        "  BEGIN",
        '    VALUE "Translation", 0x409, 1252',
        "  END",
        "END",
        "",
    ])


def write(path, data):
    mode = "w" if isinstance(data, str) else "wb"
    with open(path, mode) as f:
        f.write(data)


def set_version(text):
    """major.minor into the names, the PIPL scope and the version resource."""
    global VERSION_TEXT, PRODUCT_VERSION, MENU_NAME, SCOPE
    major, minor = (int(part) for part in text.split("."))
    VERSION_TEXT = "%d.%d" % (major, minor)
    PRODUCT_VERSION = (major, minor, 0, 0)
    MENU_NAME = b"Crisp+Calm " + VERSION_TEXT.encode() + b"..."
    SCOPE = b"Tarvo\xae Crisp+Calm " + VERSION_TEXT.encode()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=["i686", "x86_64"], required=True)
    parser.add_argument("--out", required=True, help="output folder")
    parser.add_argument("--version", required=True, help="major.minor")
    args = parser.parse_args()
    set_version(args.version)
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    pipl = pipl_bytes(args.arch)
    assert len(pipl) == 374 and len(pipl) % 2 == 0
    write(os.path.join(out, "pipl.bin"), pipl)
    write(os.path.join(out, "cursor128.cur"), cursor_file(SAMPLING_CURSOR, 0, 15))
    write(os.path.join(out, "cursor129.cur"), cursor_file(PANNING_CURSOR, 0, 0))
    write(os.path.join(out, "bitmap130.bmp"), bitmap_file(zoom_picture(True), 8))
    write(os.path.join(out, "bitmap131.bmp"), bitmap_file(zoom_picture(False), 24))
    write(os.path.join(out, "bitmap132.bmp"), bitmap_file(slot_picture(False), 8))
    write(os.path.join(out, "bitmap133.bmp"), bitmap_file(slot_picture(True), 24))
    write(os.path.join(out, "CrispCalm.rc"), rc_text(pipl, out))


if __name__ == "__main__":
    main()
