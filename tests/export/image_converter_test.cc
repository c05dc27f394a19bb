#include "export/image_converter.h"

#include <gtest/gtest.h>

#include "driver/plot_state.h"
#include "support/gif_picture.h"
#include "support/temp_folder.h"
#include "surface/plot_frame.h"
#include "surface/sizing.h"

namespace norvane {
namespace {

TEST(ImageConverter, WritesTheLoadedPictureAsGifsWithExactlyItsColours) {
  testing::TempFolder folder;
  PlotState state;
  DrawingSurface surface;
  impostazioni_dimensioni_e_scala_del_form(state, surface);
  disegno_dello_stage(surface);
  surface.set_fill_style(FillStyle::solid);
  surface.set_fill_colour(colours::measured);
  surface.draw_circle(120, 95, 2, colours::measured);
  surface.draw_line(0, 1, 0, 8, colours::no_value);
  surface.draw_line(0, 50, 240, 100, colours::forecast);
  ASSERT_EQ(surface.save_bmp(folder / "figure.bmp"), std::nullopt);

  ImageConverter converter;
  ASSERT_EQ(converter.load_bmp(folder / "figure.bmp"), std::nullopt);
  ASSERT_EQ(converter.save_gif(folder / "first.gif", false), std::nullopt);
  ASSERT_EQ(converter.save_gif(folder / "second.gif", false), std::nullopt);
  converter.reset();
  EXPECT_FALSE(converter.holds_picture());

  const auto drawn = testing::Picture::of(surface);
  EXPECT_EQ(testing::Picture::load(folder / "first.gif"), drawn);
  EXPECT_EQ(testing::Picture::load(folder / "second.gif"), drawn);
  EXPECT_EQ(drawn.colours().size(), 7u);
}

TEST(ImageConverter, RefusesWhatIsNotABmpAndKeepsNoFileOpen) {
  testing::TempFolder folder;
  ImageConverter converter;
  folder.write("garbage.bmp", "BM this is not a picture");
  auto error = converter.load_bmp(folder / "garbage.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "not a BMP picture");
  error = converter.load_bmp(folder / "missing.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "No such file or directory");
  EXPECT_FALSE(converter.holds_picture());
}

TEST(ImageConverter, StillWritesAPictureOfMoreThan256Colours) {
  testing::TempFolder folder;
  DrawingSurface surface;
  for (int i = 0; i < 300; ++i) {
    const auto red = static_cast<std::uint8_t>(i % 256);
    const auto green = static_cast<std::uint8_t>(i / 256 * 100);
    surface.draw_line(i, 0, i, 10, Rgb{red, green, 7});
  }
  ASSERT_EQ(surface.save_bmp(folder / "many.bmp"), std::nullopt);
  ImageConverter converter;
  ASSERT_EQ(converter.load_bmp(folder / "many.bmp"), std::nullopt);
  ASSERT_EQ(converter.save_gif(folder / "many.gif", false), std::nullopt);
  EXPECT_EQ(testing::Picture::load(folder / "many.gif").width(), 312);
}

}  // namespace
}  // namespace norvane
