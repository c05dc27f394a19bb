// SPDX-License-Identifier: MIT
#include "export/image_converter.h"

#include <gd.h>
#include <gtest/gtest.h>

#include "state/plot_state.h"
#include "support/gif_picture.h"
#include "support/temp_folder.h"
#include "surface/bmp_file.h"
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

// A true-colour BMP as other programs write them, made by libgd, with `colours` colours: in
// two bands of rows, each colour a column of one of them.
void write_true_colour_bmp(const testing::TempFolder& folder, const std::string& name,
                           int colours) {
  const int width = (colours + 1) / 2;
  gdImagePtr image = gdImageCreateTrueColor(width, 4);
  for (int i = 0; i < colours; ++i) {
    const int row = i / width * 2;
    gdImageLine(image, i % width, row, i % width, row + 1, gdTrueColor(i % 256, i / 256 * 100, 7));
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
  EXPECT_EQ(testing::Picture::load(folder / "many.gif").width(), 150);
}

TEST(ImageConverter, RefusesOtherBmpsThatCannotBeAFigureBeforeLibgdReadsThem) {
  testing::TempFolder folder;
  ImageConverter converter;
  // 1,185 bytes of a BMP of 8 bits a pixel declaring 25 x 83,886,100 pixels, all 0 but the
  // headers' fields: libgd alone took more than 20 s and 4 GB for it.
  std::string tall(1185, '\0');
  for (const auto& [at, value] : {std::pair{2, 1185},
                                  {10, 14 + 40 + 256 * 4},
                                  {14, 40},
                                  {18, 25},
                                  {22, 83886100},
                                  {26, 1 | 8 << 16}}) {
    for (int i = 0; i < 4; ++i) tall[at + i] = static_cast<char>(value >> 8 * i);
  }
  tall[0] = 'B';
  tall[1] = 'M';
  folder.write("tall.bmp", tall);
  auto error = converter.load_bmp(folder / "tall.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason,
            "BMP picture of 25 x 83886100 pixels is larger than a figure's 286 x 231 pixels");
  // The program's own form is held to the figure's size too.
  const IndexedPicture wide{300, 1, {colours::grid}, std::vector<std::uint8_t>(300, 0)};
  const auto rle8 = encode_bmp(wide, BmpCompression::rle8);
  folder.write("wide.bmp", std::string(rle8.begin(), rle8.end()));
  error = converter.load_bmp(folder / "wide.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason,
            "BMP picture of 300 x 1 pixels is larger than a figure's 286 x 231 pixels");
  EXPECT_FALSE(converter.holds_picture());
}

TEST(ImageConverter, ReportsWhatIsNotARegularFile) {
  testing::TempFolder folder;
  ImageConverter converter;
  folder.make_folder("folder.bmp");
  auto error = converter.load_bmp(folder / "folder.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "Is a directory");
  error = converter.load_bmp("/dev/null");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "not a regular file");
}

}  // namespace
}  // namespace norvane
