#include "export/image_converter.h"

#include <gd.h>

#include <climits>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "util/input_file.h"

namespace norvane {
namespace {

// Reads the whole file at `path`; only a regular file is read.
std::optional<FileError> read_whole_file(const std::string& path, std::vector<unsigned char>& out) {
  int error = 0;
  auto file = InputFile::open(path, &error);
  if (!file)
    return FileError{FileError::Scope::file, path, error_text(error)};
  if (!file->read_all(out)) {
    return FileError{FileError::Scope::file, path, error_text(file->read_error())};
  }
  return std::nullopt;
}

// A palette copy of a true-colour picture whose palette holds exactly the picture's colours,
// in the order they first appear; empty when the picture has more than 256 colours.
GdImage exact_palette_copy(gdImagePtr picture) {
  const int width = gdImageSX(picture);
  const int height = gdImageSY(picture);
  GdImage copy(gdImageCreate(width, height));
  if (!copy)
    throw std::bad_alloc();
  std::unordered_map<int, int> index_of_colour;
  int last_colour = -1;
  int last_index = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const int colour = gdImageGetTrueColorPixel(picture, column, row) & 0xFFFFFF;
      if (colour != last_colour) {
        auto found = index_of_colour.find(colour);
        if (found == index_of_colour.end()) {
          if (index_of_colour.size() == gdMaxColors)
            return nullptr;
          const int index = gdImageColorAllocate(copy.get(), (colour >> 16) & 0xFF,
                                                 (colour >> 8) & 0xFF, colour & 0xFF);
          found = index_of_colour.emplace(colour, index).first;
        }
        last_colour = colour;
        last_index = found->second;
      }
      gdImageSetPixel(copy.get(), column, row, last_index);
    }
  }
  return copy;
}

// The picture as a palette picture for the GIF: exact when it has at most 256 colours, else
// libgd's best 256 without dithering.
GdImage to_palette_picture(gdImagePtr picture) {
  GdImage palette_picture = exact_palette_copy(picture);
  if (!palette_picture) {
    palette_picture.reset(gdImageCreatePaletteFromTrueColor(picture, 0, gdMaxColors));
    if (!palette_picture)
      throw std::bad_alloc();
  }
  return palette_picture;
}

}  // namespace

std::optional<FileError> ImageConverter::load_bmp(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (auto error = read_whole_file(path, bytes))
    return error;
  GdImage picture;
  if (!bytes.empty() && bytes.size() <= static_cast<std::size_t>(INT_MAX)) {
    picture.reset(gdImageCreateFromBmpPtr(static_cast<int>(bytes.size()), bytes.data()));
  }
  if (!picture)
    return FileError{FileError::Scope::file, path, "not a BMP picture"};
  // A BMP of 256 colours or fewer may load as a palette picture; the GIF is made from the
  // true-colour form in every case.
  if (!gdImageTrueColor(picture.get()) && !gdImagePaletteToTrueColor(picture.get())) {
    throw std::bad_alloc();
  }
  picture_ = std::move(picture);
  palette_picture_.reset();
  return std::nullopt;
}

std::optional<FileError> ImageConverter::save_gif(const std::string& path, bool interlaced) {
  if (!picture_)
    throw std::logic_error("save_gif without a loaded picture");
  if (!palette_picture_)
    palette_picture_ = to_palette_picture(picture_.get());
  gdImageInterlace(palette_picture_.get(), interlaced ? 1 : 0);
  int size = 0;
  const std::unique_ptr<void, decltype(&gdFree)> bytes(gdImageGifPtr(palette_picture_.get(), &size),
                                                       &gdFree);
  if (!bytes || size <= 0)
    throw std::runtime_error("libgd could not encode the GIF");
  const auto* begin = static_cast<const unsigned char*>(bytes.get());
  return write_file_atomically(path, {begin, static_cast<std::size_t>(size)});
}

void ImageConverter::reset() {
  picture_.reset();
  palette_picture_.reset();
}

}  // namespace norvane
