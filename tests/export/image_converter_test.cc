// SPDX-License-Identifier: MIT
#include "export/image_converter.h"

#include <gtest/gtest.h>

#include "state/plot_state.h"
#include "support/gif_picture.h"
#include "support/temp_folder.h"
#include "surface/bmp_file.h"
#include "surface/plot_frame.h"
#include "surface/sizing.h"
#include "util/digest.h"

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
  ASSERT_EQ(converter.save_gif(folder / "interlaced.gif", true), std::nullopt);
  converter.reset();
  EXPECT_FALSE(converter.holds_picture());

  const auto drawn = testing::Picture::of(surface);
  EXPECT_EQ(testing::Picture::load(folder / "first.gif"), drawn);
  EXPECT_EQ(testing::Picture::load(folder / "second.gif"), drawn);
  EXPECT_EQ(testing::Picture::load(folder / "interlaced.gif"), drawn);
  EXPECT_EQ(drawn.colours().size(), 7u);
}

TEST(ImageConverter, KeepsAFileOfTheGifExpectedUnencodedAndEncodesAnyOtherPicture) {
  testing::TempFolder folder;
  PlotState state;
  DrawingSurface surface;
  impostazioni_dimensioni_e_scala_del_form(state, surface);
  disegno_dello_stage(surface);
  std::vector<Rgb> palette;
  ImageConverter converter;
  const auto load = [&](const std::string& comment) {
    converter.load_indexed(surface.indexed_rows(palette));
    converter.set_comment(comment);
  };
  load("record");
  ASSERT_EQ(converter.save_gif(folder / "drawn.gif", false), std::nullopt);
  ASSERT_TRUE(converter.saved());
  const EncodedPicture encoded = *converter.saved();
  EXPECT_EQ(encoded.gif_bytes, folder.read("drawn.gif").size());

  // The same picture, told that it came to these bytes: a file of them is kept as it is.
  const std::string stand_in = "the GIF this picture came to";
  const std::span stand_in_bytes(reinterpret_cast<const unsigned char*>(stand_in.data()),
                                 stand_in.size());
  const EncodedPicture told{encoded.picture_digest, digest_of(stand_in_bytes), stand_in.size()};
  converter.expect(told);
  load("record");
  folder.write("kept.gif", stand_in);
  std::string other = stand_in;
  other.back() = '!';
  folder.write("spoiled.gif", other);
  bool kept = false;
  ASSERT_EQ(converter.save_gif(folder / "kept.gif", false, &kept), std::nullopt);
  EXPECT_TRUE(kept);
  EXPECT_EQ(folder.read("kept.gif"), stand_in);
  EXPECT_EQ(converter.saved(), told);
  // Other bytes of that size, another comment or another picture: encoded and written.
  ASSERT_EQ(converter.save_gif(folder / "spoiled.gif", false, &kept), std::nullopt);
  EXPECT_FALSE(kept);
  EXPECT_EQ(folder.read("spoiled.gif"), folder.read("drawn.gif"));
  for (const bool other_pixel : {false, true}) {
    converter.expect(told);
    if (other_pixel) surface.draw_line(10, 10, 20, 20, colours::measured);
    load(other_pixel ? "record" : "another record");
    folder.write("kept.gif", stand_in);
    ASSERT_EQ(converter.save_gif(folder / "kept.gif", false, &kept), std::nullopt);
    EXPECT_FALSE(kept) << other_pixel;
    EXPECT_EQ(testing::Picture::load(folder / "kept.gif"), testing::Picture::of(surface));
  }
}

// A BMP of another program: the header of `header_size` bytes (12, 40 or 124), a palette of
// 2^bits grey colours for 8 bits a pixel or fewer, then `pixel_bytes` bytes of 0.
std::string foreign_bmp(std::uint32_t header_size, int bits, int compression, std::int32_t width,
                        std::int32_t height, std::size_t pixel_bytes) {
  std::string out = "BM";
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> 8 * i));
  };
  const std::uint32_t colours = bits <= 8 ? 1u << bits : 0;
  const std::uint32_t pixel_offset = 14 + header_size + colours * (header_size == 12 ? 3 : 4);
  put(static_cast<std::uint32_t>(pixel_offset + pixel_bytes), 4);
  put(0, 4);
  put(pixel_offset, 4);
  put(header_size, 4);
  const int side_bytes = header_size == 12 ? 2 : 4;
  put(static_cast<std::uint32_t>(width), side_bytes);
  put(static_cast<std::uint32_t>(height), side_bytes);
  put(1, 2);
  put(static_cast<std::uint32_t>(bits), 2);
  if (header_size > 12) put(static_cast<std::uint32_t>(compression), 4);
  out.resize(14 + header_size, 0);
  for (std::uint32_t i = 0; i < colours; ++i) {
    const auto grey = static_cast<char>(i * 255 / (colours - 1));
    out.append(3, grey);
    if (header_size != 12) out.push_back(0);
  }
  out.resize(out.size() + pixel_bytes, 0);
  return out;
}

TEST(ImageConverter, RefusesEveryBmpButItsOwnFormAndHoldsNoPicture) {
  testing::TempFolder folder;
  ImageConverter converter;
  const IndexedPicture own{286, 231, {colours::grid}, std::vector<std::uint8_t>(286 * 231, 0)};
  const auto rle8 = encode_bmp(own, BmpCompression::rle8);
  const IndexedPicture wide{287, 1, {colours::grid}, std::vector<std::uint8_t>(287, 0)};
  const auto too_wide = encode_bmp(wide, BmpCompression::rle8);
  const struct {
    std::string what;
    std::string bytes;
  } others[] = {
      {"true colour", foreign_bmp(40, 24, 0, 286, 231, 286 * 3 * 231 + 231 * 2)},
      {"4 bits a pixel", foreign_bmp(40, 4, 0, 286, 231, 144 * 231)},
      {"RLE4", foreign_bmp(40, 4, 2, 286, 231, 2)},
      {"an OS/2 header", foreign_bmp(12, 8, 0, 286, 231, 288 * 231)},
      {"bit fields", foreign_bmp(124, 32, 3, 286, 231, 286 * 4 * 231)},
      // 1,185 bytes declaring 25 x 83,886,100 pixels.
      {"too tall", foreign_bmp(40, 8, 0, 25, 83886100, 1185 - 14 - 40 - 1024)},
      {"larger than a figure", std::string(too_wide.begin(), too_wide.end())},
      {"not a picture", "BM this is not a picture"},
  };
  for (const auto& other : others) {
    SCOPED_TRACE(other.what);
    folder.write("other.bmp", std::string(rle8.begin(), rle8.end()));
    ASSERT_EQ(converter.load_bmp(folder / "other.bmp"), std::nullopt);  // one of its own first
    folder.write("other.bmp", other.bytes);
    const auto error = converter.load_bmp(folder / "other.bmp");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->path, folder / "other.bmp");
    EXPECT_EQ(error->reason, "not a BMP of this program");
    EXPECT_FALSE(converter.holds_picture());
  }
}

TEST(ImageConverter, ReportsWhatIsNotThereOrNotARegularFile) {
  testing::TempFolder folder;
  ImageConverter converter;
  auto error = converter.load_bmp(folder / "missing.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "No such file or directory");
  folder.make_folder("folder.bmp");
  error = converter.load_bmp(folder / "folder.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "Is a directory");
  error = converter.load_bmp("/dev/null");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "not a regular file");
}

}  // namespace
}  // namespace norvane
