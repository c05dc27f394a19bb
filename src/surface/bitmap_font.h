// SPDX-License-Identifier: MIT
// The figures' text is set in one bitmap face: the bold 7 x 13 fixed face of X11's misc-fixed
// fonts, which are in the public domain. Each character is a glyph in a cell 7 pixels wide and
// 13 high, and text advances one cell a character. The glyphs are a table in the program's own
// source, bitmap_font_glyphs.cc, written by tools/make_font_table.py from the font as Debian
// ships it (xfonts-base); the table holds the printable ASCII characters, which are all the
// figures print.
#pragma once

#include <array>
#include <cstdint>

namespace norvane {

inline constexpr int glyph_width = 7;
inline constexpr int glyph_height = 13;

// A glyph's rows, top first; the leftmost pixel of a row is its highest bit.
using GlyphRows = std::array<std::uint8_t, glyph_height>;

inline constexpr char first_printable = ' ';
inline constexpr char last_printable = '~';
inline constexpr int printable_glyphs = last_printable - first_printable + 1;

// The glyphs of ' ' to '~', in that order.
extern const std::array<GlyphRows, printable_glyphs> printable_ascii_glyphs;

// The glyph of `character`, or nothing for a character without one (which leaves its cell
// blank).
inline const GlyphRows* glyph_of(char character) {
  if (character < first_printable || character > last_printable) return nullptr;
  return &printable_ascii_glyphs[static_cast<std::size_t>(character - first_printable)];
}

}  // namespace norvane
