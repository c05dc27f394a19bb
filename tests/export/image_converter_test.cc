#include "export/image_converter.h"

#include <gd.h>
#include <gtest/gtest.h>

#include "state/plot_state.h"
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

// A true-colour BMP as other programs write them, made by libgd, with `colours` colours.
void write_true_colour_bmp(const testing::TempFolder& folder, const std::string& name,
                           int colours) {
  gdImagePtr image = gdImageCreateTrueColor(colours, 4);
  for (int i = 0; i < colours; ++i) {
    gdImageLine(image, i, 0, i, 3, gdTrueColor(i % 256, i / 256 * 100, 7));
  }
  int size = 0;
  void* bytes = gdImageBmpPtr(image, &size, 0);
  folder.write(name, std::string(static_cast<char*>(bytes), static_cast<std::size_t>(size)));
  gdFree(bytes);
  gdImageDestroy(image);
}

TEST(ImageConverter, ReadsOtherBmpsThroughLibgd) {
  testing::TempFolder folder;
  ImageConverter converter;
  write_true_colour_bmp(folder, "few.bmp", 200);
  ASSERT_EQ(converter.load_bmp(folder / "few.bmp"), std::nullopt);
  ASSERT_EQ(converter.save_gif(folder / "few.gif", false), std::nullopt);
  const auto few = testing::Picture::load(folder / "few.gif");
  EXPECT_EQ(few, testing::Picture::load(folder / "few.bmp"));  // at most 256 colours: exact
  EXPECT_EQ(few.colours().size(), 200u);

  write_true_colour_bmp(folder, "many.bmp", 300);
  ASSERT_EQ(converter.load_bmp(folder / "many.bmp"), std::nullopt);
  ASSERT_EQ(converter.save_gif(folder / "many.gif", false), std::nullopt);
  EXPECT_EQ(testing::Picture::load(folder / "many.gif").width(), 300);
}

}  // namespace
}  // namespace norvane
