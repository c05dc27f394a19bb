#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes src/surface/bitmap_font_glyphs.cc, the glyph table of the figures' text face.

    tools/make_font_table.py [font] > src/surface/bitmap_font_glyphs.cc

The face is the bold 7 x 13 fixed face of X11's misc-fixed fonts, which are in the public
domain. The figures have always been drawn with the copy of it that libgd carries as its
"medium bold" font (gdfontmb.c, converted by bdftogd in 1998 from
-misc-fixed-bold-r-normal-sans-13-94-100-100-c-70-iso8859-2), and without `font` the table is
read from that copy in libgd's shared library (Debian package libgd3), through ctypes.

The face was redrawn in later X11 releases: Debian's xfonts-base ships the newer one as
/usr/share/fonts/X11/misc/7x13B.pcf.gz, whose digits and capitals stand a row taller, so 45 of
the 95 glyphs differ and the figures would change. Given as `font`, such a PCF font (read
through pcf2bdf, Debian package pcf2bdf) or a BDF font is read instead, to compare.

The table holds the printable ASCII characters, space to tilde: each glyph's 13 rows in its
7 x 13 cell, top row first, the leftmost pixel of a row in the highest of 8 bits.
"""
import ctypes
import ctypes.util
import subprocess
import sys

FIRST, LAST = 0x20, 0x7E
WIDTH, HEIGHT = 7, 13


def bdf_text(path):
    if path.endswith(".bdf"):
        with open(path, encoding="latin-1") as font:
            return font.read()
    return subprocess.run(["pcf2bdf", path], check=True, capture_output=True).stdout.decode(
        "latin-1")


def glyphs(text):
    """The cell rows of each encoding in the font, placed by the glyph's bounding box."""
    ascent = None
    found = {}
    lines = iter(text.splitlines())
    for line in lines:
        words = line.split()
        if not words:
            continue
        if words[0] == "FONT_ASCENT":
            ascent = int(words[1])
        elif words[0] == "FONTBOUNDINGBOX":
            if (int(words[1]), int(words[2])) != (WIDTH, HEIGHT):
                sys.exit("make_font_table: the font's cell is not 7 x 13 pixels")
        elif words[0] == "ENCODING":
            encoding = int(words[1])
        elif words[0] == "BBX":
            width, height, x_offset, y_offset = map(int, words[1:5])
        elif words[0] == "BITMAP":
            if ascent is None:
                sys.exit("make_font_table: the font gives no FONT_ASCENT")
            rows = [0] * HEIGHT
            top = ascent - (y_offset + height)
            for row in range(height):
                bits = next(lines).strip()
                value = int(bits, 16) >> (len(bits) * 4 - width) if bits else 0
                cell_row = top + row
                for column in range(width):
                    if value & (1 << (width - 1 - column)):
                        cell_column = x_offset + column
                        if not (0 <= cell_row < HEIGHT and 0 <= cell_column < WIDTH):
                            sys.exit(f"make_font_table: glyph {encoding} leaves its cell")
                        rows[cell_row] |= 0x80 >> cell_column
            found[encoding] = rows
    return found


class GdFont(ctypes.Structure):
    _fields_ = [("nchars", ctypes.c_int), ("offset", ctypes.c_int), ("w", ctypes.c_int),
                ("h", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char))]


def libgd_glyphs():
    """The glyphs of libgd's gdFontMediumBold: a byte a pixel, row after row, glyph after glyph."""
    name = ctypes.util.find_library("gd") or "libgd.so.3"
    font = ctypes.POINTER(GdFont).in_dll(ctypes.CDLL(name), "gdFontMediumBold").contents
    if (font.w, font.h) != (WIDTH, HEIGHT):
        sys.exit("make_font_table: libgd's medium bold font is not 7 x 13 pixels")
    found = {}
    for code in range(font.offset, font.offset + font.nchars):
        start = (code - font.offset) * WIDTH * HEIGHT
        rows = [0] * HEIGHT
        for row in range(HEIGHT):
            for column in range(WIDTH):
                if font.data[start + row * WIDTH + column] != b"\0":
                    rows[row] |= 0x80 >> column
        found[code] = rows
    return found


def main():
    source = "libgd's medium bold font, its copy of X11's misc-fixed 7x13 bold"
    if len(sys.argv) > 1:
        table = glyphs(bdf_text(sys.argv[1]))
        source = sys.argv[1]
    else:
        table = libgd_glyphs()
    missing = [code for code in range(FIRST, LAST + 1) if code not in table]
    if missing:
        sys.exit(f"make_font_table: the font lacks characters {missing}")
    out = sys.stdout
    out.write("// SPDX-License-Identifier: MIT\n")
    out.write("// Written by tools/make_font_table.py (do not edit) from\n")
    out.write(f"// {source}.\n")
    out.write("// Each glyph: its 13 rows, top first, the leftmost pixel in bit 7.\n")
    out.write('#include "surface/bitmap_font.h"\n\nnamespace norvane {\n\n')
    out.write("const std::array<GlyphRows, printable_glyphs> printable_ascii_glyphs{{\n")
    for code in range(FIRST, LAST + 1):
        # A backslash would end the comment's line with a line splice.
        shown = {0x20: "space", 0x5C: "backslash"}.get(code, chr(code))
        rows = ", ".join(f"0x{row:02X}" for row in table[code])
        out.write(f"    {{{{{rows}}}}},  // {shown}\n")
    out.write("}};\n\n}  // namespace norvane\n")


if __name__ == "__main__":
    main()
