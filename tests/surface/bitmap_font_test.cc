// SPDX-License-Identifier: MIT
#include "surface/bitmap_font.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace norvane {
namespace {

// Every glyph of the table, pixel by pixel, is the glyph of the reference face (the one the
// figures have always been drawn with), and a character outside the table has none.
TEST(BitmapFont, EveryGlyphIsTheReferenceGlyph) {
  std::ifstream reference(std::string(NORVANE_TEST_DATA) + "/font/medium_bold.txt");
  ASSERT_TRUE(reference);
  std::string line;
  int compared = 0;
  while (std::getline(reference, line)) {
    if (line.empty() || line[0] == '#') continue;
    const int code = std::stoi(line);
    const GlyphRows* glyph = glyph_of(static_cast<char>(code));
    ASSERT_NE(glyph, nullptr) << code;
    for (int row = 0; row < glyph_height; ++row) {
      ASSERT_TRUE(std::getline(reference, line));
      std::string drawn;
      for (int column = 0; column < glyph_width; ++column) {
        drawn += ((*glyph)[row] & (0x80 >> column)) != 0 ? '#' : '.';
      }
      EXPECT_EQ(drawn, line) << "character " << code << ", row " << row;
    }
    ++compared;
  }
  EXPECT_EQ(compared, printable_glyphs);
  EXPECT_EQ(glyph_of('\x1F'), nullptr);
  EXPECT_EQ(glyph_of('\x7F'), nullptr);
  EXPECT_EQ(glyph_of('\xE9'), nullptr);
}

}  // namespace
}  // namespace norvane
