// SPDX-License-Identifier: MIT
#include "surface/plot_frame.h"

#include <gtest/gtest.h>

#include "state/plot_state.h"
#include "support/gif_picture.h"
#include "surface/sizing.h"

namespace norvane {
namespace {

testing::Picture frame_picture(int times = 1) {
  PlotState state;
  DrawingSurface surface;
  impostazioni_dimensioni_e_scala_del_form(state, surface);
  for (int i = 0; i < times; ++i) disegno_dello_stage(surface);
  return testing::Picture::of(surface);
}

// Border: columns 35 (x = 0) and 276 (x = 241), rows 21 (y = 191) and 190 (y = 0). The bottom
// and top borders are drawn towards column 277 (x = 242), which as the end pixel is left out.
constexpr int left = 35, right = 276, top = 21, bottom = 190;

TEST(PlotFrame, BorderLinesLieOnTheirRowsAndColumnsAndMeetAtTheCorners) {
  const auto picture = frame_picture();
  for (int row = top; row <= bottom; ++row) {
    EXPECT_EQ(picture.at(left, row), colours::border) << "left border, row " << row;
    EXPECT_EQ(picture.at(right, row), colours::border) << "right border, row " << row;
  }
  for (int column = left; column <= right; ++column) {
    EXPECT_EQ(picture.at(column, top), colours::border) << "top border, column " << column;
    EXPECT_EQ(picture.at(column, bottom), colours::border) << "bottom border, column " << column;
  }
  // Nothing of the border beyond its ends.
  EXPECT_EQ(picture.at(right + 1, bottom), colours::background);
  EXPECT_EQ(picture.at(right + 1, top), colours::background);
  EXPECT_EQ(picture.at(left, top - 1), colours::background);
  EXPECT_EQ(picture.at(left, bottom + 1), colours::background);
  EXPECT_EQ(picture.at(right + 1, bottom - 1), colours::background);
}

TEST(PlotFrame, GridLinesAreGreyInsideTheBorder) {
  const auto picture = frame_picture();
  // Vertical lines at 5, 10, 15 and 20 h run from y = 189 (row 23) down to the axis.
  for (const int column : {85, 135, 185, 235}) {
    EXPECT_EQ(picture.at(column, 22), colours::background) << column;
    for (int row = 23; row < bottom; ++row) {
      EXPECT_EQ(picture.at(column, row), colours::grid) << column << "," << row;
    }
    EXPECT_EQ(picture.at(column, bottom), colours::border) << column;
  }
  // Horizontal lines at 5, 10 and 15 MHz, from x = 1 to the right border.
  for (const int row : {146, 102, 58}) {
    for (int column = left + 1; column < right; ++column) {
      const Rgb colour = picture.at(column, row);
      EXPECT_EQ(colour, colours::grid) << column << "," << row;
    }
    EXPECT_EQ(picture.at(right, row), colours::border) << row;
  }
}

TEST(PlotFrame, HoldsOnlyFrameColoursAndTextOnlyWhereLabelsAre) {
  const auto picture = frame_picture();
  // The boxes the labels' glyphs may paint: 7 x 13 pixels a character from the text position.
  struct Box {
    int column, row, characters;
  };
  const Box labels[] = {{82, 195, 1},  {128, 195, 2}, {178, 195, 2}, {228, 195, 2},
                        {135, 208, 8}, {22, 184, 1},  {22, 142, 1},  {17, 97, 2},
                        {17, 53, 2},   {17, 18, 2},   {5, 68, 4},    {2, 80, 5}};
  const auto in_a_label = [&](int column, int row) {
    for (const Box& box : labels) {
      if (column >= box.column && column < box.column + 7 * box.characters && row >= box.row &&
          row < box.row + 13) {
        return true;
      }
    }
    return false;
  };
  int text_pixels = 0;
  for (int row = 0; row < picture.height(); ++row) {
    for (int column = 0; column < picture.width(); ++column) {
      const Rgb colour = picture.at(column, row);
      if (colour == colours::text) {
        ++text_pixels;
        EXPECT_TRUE(in_a_label(column, row)) << "text pixel at " << column << "," << row;
      } else {
        EXPECT_TRUE(colour == colours::background || colour == colours::border ||
                    colour == colours::grid)
            << column << "," << row;
      }
    }
  }
  EXPECT_GT(text_pixels, 200);
}

TEST(PlotFrame, IsTheSamePictureEveryTime) { EXPECT_EQ(frame_picture(2), frame_picture()); }

}  // namespace
}  // namespace norvane
