// SPDX-License-Identifier: MIT
#include "surface/drawing_surface.h"

#include <gtest/gtest.h>

#include <cmath>

#include "state/plot_state.h"
#include "support/gif_picture.h"
#include "support/temp_folder.h"
#include "surface/sizing.h"

namespace norvane {
namespace {

// A surface sized as every run sizes it.
DrawingSurface sized_surface() {
  PlotState state;
  DrawingSurface surface;
  impostazioni_dimensioni_e_scala_del_form(state, surface);
  return surface;
}

TEST(Sizing, GivesTheRasterAndUserScaleOfEveryFigure) {
  PlotState state;
  DrawingSurface surface;
  EXPECT_EQ(surface.width_px(), 312);
  EXPECT_EQ(surface.height_px(), 213);
  impostazioni_dimensioni_e_scala_del_form(state, surface);
  EXPECT_EQ(state.margin_top, 25);
  EXPECT_EQ(state.margin_bottom, 45);
  EXPECT_EQ(state.margin_right, 10);
  EXPECT_EQ(state.margin_left, 35);
  EXPECT_EQ(surface.width_px(), figure_width);
  EXPECT_EQ(surface.height_px(), figure_height);
  EXPECT_EQ(figure_width, 286);
  EXPECT_EQ(figure_height, 231);
  EXPECT_EQ(surface.scale_left(), -35);
  EXPECT_EQ(surface.scale_top(), 215);
  EXPECT_EQ(surface.scale_right(), 251);
  EXPECT_EQ(surface.scale_bottom(), -46);
  EXPECT_EQ(testing::Picture::of(surface).count(colours::background), 286 * 231);
}

TEST(DrawingSurface, MapsUserPointsToRasterPositions) {
  const DrawingSurface surface = sized_surface();
  EXPECT_DOUBLE_EQ(surface.column_at(0), 35);
  EXPECT_NEAR(surface.row_at(0), 190.29, 0.005);
  EXPECT_DOUBLE_EQ(surface.column_at(241), 276);
  EXPECT_NEAR(surface.row_at(191), 21.24, 0.005);
  EXPECT_DOUBLE_EQ(surface.column_at(-35), 0);
  EXPECT_DOUBLE_EQ(surface.row_at(215), 0);
  EXPECT_DOUBLE_EQ(surface.column_at(251), 286);
  EXPECT_DOUBLE_EQ(surface.row_at(-46), 231);
}

TEST(DrawingSurface, LinesLeaveOutTheirEndPixelAndAreClippedAtTheEdge) {
  DrawingSurface surface = sized_surface();
  surface.draw_line(0, 0, 10, 0, colours::border);  // row 190.29 rounds to 190
  EXPECT_EQ(surface.pixel(35, 190), colours::border);
  EXPECT_EQ(surface.pixel(44, 190), colours::border);
  EXPECT_EQ(surface.pixel(45, 190), colours::background);
  EXPECT_EQ(surface.pixel(35, 191), colours::background);

  // A line leaving the raster is drawn up to its edge; an absurd end point changes nothing.
  surface.draw_line(100, 100, 100, 1e9, colours::grid);
  EXPECT_EQ(surface.pixel(135, 0), colours::grid);
  surface.draw_line(-1e30, -1e30, 1e30, 1e30, colours::grid);
  surface.draw_line(0, std::nan(""), 1, 1, colours::grid);
  // A line of no length is a point.
  surface.draw_line(20, 20, 20, 20, colours::forecast);
  EXPECT_EQ(surface.pixel(55, static_cast<int>(surface.row_at(20) + 0.5)), colours::forecast);
}

TEST(DrawingSurface, CirclesAreRoundInPixelsAndFilledWhenSolid) {
  DrawingSurface surface = sized_surface();
  surface.set_fill_style(FillStyle::solid);
  surface.set_fill_colour(colours::forecast);
  surface.draw_circle(0, 0, 2, colours::measured);  // centre on column 35, row 190
  const char* const expected[] = {".RRR.", "RWWWR", "RWWWR", "RWWWR", ".RRR."};
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      const char want = expected[dy + 2][dx + 2];
      const Rgb colour = want == 'R'   ? colours::measured
                         : want == 'W' ? colours::forecast
                                       : colours::background;
      EXPECT_EQ(surface.pixel(35 + dx, 190 + dy), colour) << dx << "," << dy;
    }
  }
  // Without fill only the outline is painted.
  surface.set_fill_style(FillStyle::transparent);
  surface.draw_circle(100, 100, 2, colours::measured);
  const int column = 135;
  const int row = static_cast<int>(surface.row_at(100) + 0.5);
  EXPECT_EQ(surface.pixel(column, row), colours::background);
  EXPECT_EQ(surface.pixel(column + 2, row), colours::measured);
  EXPECT_EQ(surface.pixel(column, row - 2), colours::measured);
}

TEST(DrawingSurface, TextHangsFromItsPositionInTheTextColour) {
  DrawingSurface surface = sized_surface();
  surface.set_text_position(75, 210);  // 4.4 rows below the top: row 4
  surface.print_text("Date: 02/03/2024");
  const testing::Picture picture = testing::Picture::of(surface);
  int top = picture.height();
  int bottom = -1;
  int left = picture.width();
  for (int row = 0; row < picture.height(); ++row) {
    for (int column = 0; column < picture.width(); ++column) {
      const Rgb colour = picture.at(column, row);
      if (colour == colours::background) continue;
      EXPECT_EQ(colour, colours::text);
      top = std::min(top, row);
      bottom = std::max(bottom, row);
      left = std::min(left, column);
    }
  }
  EXPECT_GE(top, 4);
  EXPECT_LE(bottom, 4 + 12);  // one 13-pixel line
  EXPECT_GE(left, 110);
}

TEST(DrawingSurface, ClearLeavesBackgroundAndTheBmpHoldsExactlyTheRaster) {
  testing::TempFolder folder;
  DrawingSurface surface = sized_surface();
  surface.draw_line(0, 0, 240, 190, colours::forecast);
  surface.set_text_position(10, 10);
  ASSERT_EQ(surface.save_bmp(folder / "drawn.bmp"), std::nullopt);
  EXPECT_EQ(testing::Picture::load(folder / "drawn.bmp"), testing::Picture::of(surface));

  surface.clear();
  EXPECT_EQ(surface.text_x(), 0);
  EXPECT_EQ(surface.text_y(), 0);
  EXPECT_EQ(surface.scale_top(), 215);  // the scale stays
  ASSERT_EQ(surface.save_bmp(folder / "cleared.bmp"), std::nullopt);
  const auto cleared = testing::Picture::load(folder / "cleared.bmp");
  EXPECT_EQ(cleared.width(), 286);
  EXPECT_EQ(cleared.height(), 231);
  EXPECT_EQ(cleared.count(colours::background), 286 * 231);
}

}  // namespace
}  // namespace norvane
