// SPDX-License-Identifier: MIT
#include "export/image_converter.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "archive/gif_comment.h"
#include "surface/bmp_file.h"
#include "surface/sizing.h"
#include "util/digest.h"
#include "util/input_file.h"

namespace norvane {
namespace {

// The largest BMP file of a figure's size in the forms read here: the longest header (124
// bytes), a full palette and a byte a pixel uncompressed, rows padded to four bytes. The figure's
// own snapshot is about 8 KB.
constexpr std::size_t max_bmp_file_bytes =
    14 + 124 + 256 * 4 + (std::size_t{figure_width} + 3) / 4 * 4 * figure_height;

constexpr std::string_view not_ours = "not a BMP of this program";

// Reads the whole BMP file at `path`, refusing one larger than a figure's can be, which is not
// one of the program's; only a regular file is read.
std::optional<FileError> read_whole_file(const std::string& path, std::vector<unsigned char>& out) {
  int error = 0;
  auto file = InputFile::open(path, &error);
  if (!file) return FileError{FileError::Scope::file, path, error_text(error)};
  if (!file->read_all(out, max_bmp_file_bytes)) {
    const int read_error = file->read_error();
    return FileError{FileError::Scope::file, path,
                     read_error == EFBIG ? std::string(not_ours) : error_text(read_error)};
  }
  return std::nullopt;
}

[[noreturn]] void encoding_failed(int error) {
  throw std::runtime_error(std::string("giflib could not encode the GIF: ") +
                           GifErrorString(error));
}

// giflib's encoder of one GIF, which it writes into `bytes`; closed and freed whatever way the
// encoding ends.
class GifEncoder {
 public:
  explicit GifEncoder(std::vector<unsigned char>& bytes) {
    int error = 0;
    gif_.reset(EGifOpen(&bytes, &write_bytes, &error));
    if (!gif_) encoding_failed(error);
  }

  GifFileType* get() const { return gif_.get(); }
  void check(int result) const {
    if (result != GIF_OK) encoding_failed(gif_->Error);
  }
  // Writes the GIF's end and frees the encoder.
  void finish() {
    int error = 0;
    if (EGifCloseFile(gif_.release(), &error) != GIF_OK) encoding_failed(error);
  }

 private:
  static int write_bytes(GifFileType* gif, const GifByteType* bytes, int count) {
    auto& out = *static_cast<std::vector<unsigned char>*>(gif->UserData);
    out.insert(out.end(), bytes, bytes + count);
    return count;
  }

  struct Closer {
    void operator()(GifFileType* gif) const { EGifCloseFile(gif, nullptr); }
  };
  std::unique_ptr<GifFileType, Closer> gif_;
};

struct ColourMapFreer {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// The picture's palette as a GIF colour table, whose size must be a power of two: the colours
// in their order, then black up to the next power of two.
std::unique_ptr<ColorMapObject, ColourMapFreer> colour_table(const std::vector<Rgb>& palette) {
  int size = 2;
  while (size < static_cast<int>(palette.size())) size *= 2;
  std::vector<GifColorType> colours(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
  std::transform(palette.begin(), palette.end(), colours.begin(), [](const Rgb& colour) {
    return GifColorType{colour.red, colour.green, colour.blue};
  });
  std::unique_ptr<ColorMapObject, ColourMapFreer> map(GifMakeMapObject(size, colours.data()));
  if (!map) throw std::bad_alloc();
  return map;
}

// The rows of a picture `height` rows high in the order a GIF stores them: top to bottom, or
// interlaced (every eighth row from row 0, then from row 4, every fourth from row 2 and every
// second from row 1).
std::vector<int> stored_row_order(int height, bool interlaced) {
  std::vector<int> rows;
  if (!interlaced) {
    for (int row = 0; row < height; ++row) rows.push_back(row);
    return rows;
  }
  for (const auto& [first, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
    for (int row = first; row < height; row += step) rows.push_back(row);
  }
  return rows;
}

std::vector<unsigned char> encode_gif(const IndexedPicture& picture, bool interlaced) {
  std::vector<unsigned char> bytes;
  bytes.reserve(4096);
  GifEncoder encoder(bytes);
  const auto map = colour_table(picture.palette);
  encoder.check(EGifPutScreenDesc(encoder.get(), picture.width, picture.height, map->BitsPerPixel,
                                  0, map.get()));
  encoder.check(
      EGifPutImageDesc(encoder.get(), 0, 0, picture.width, picture.height, interlaced, nullptr));
  // giflib masks the indexes of the line it is given in place, so it gets a copy of each row.
  std::vector<GifPixelType> line(static_cast<std::size_t>(picture.width));
  for (const int row : stored_row_order(picture.height, interlaced)) {
    const auto start = picture.indexes.begin() + static_cast<std::ptrdiff_t>(row) * picture.width;
    std::copy(start, start + picture.width, line.begin());
    encoder.check(EGifPutLine(encoder.get(), line.data(), picture.width));
  }
  encoder.finish();
  return bytes;
}

// The digest of what a GIF is encoded from: the picture's size, palette and pixels, its comment
// and whether it is interlaced.
std::uint64_t picture_digest(const IndexedPicture& picture, std::string_view comment,
                             bool interlaced) {
  Digest digest;
  digest.add(static_cast<std::uint64_t>(picture.width) << 32 |
             static_cast<std::uint32_t>(picture.height));
  digest.add(picture.palette.size() << 1 | (interlaced ? 1 : 0));
  for (const Rgb& colour : picture.palette) {
    digest.add(std::uint64_t{colour.red} << 16 | std::uint64_t{colour.green} << 8 | colour.blue);
  }
  digest.add_bytes(picture.indexes);
  digest.add_bytes(comment);
  digest.add(comment.size());
  return digest.value();
}

}  // namespace

std::optional<FileError> ImageConverter::load_bmp(const std::string& path) {
  reset();
  std::vector<unsigned char> bytes;
  if (auto error = read_whole_file(path, bytes)) return error;
  auto picture = decode_indexed_bmp(bytes, figure_width, figure_height);
  if (!picture) return FileError{FileError::Scope::file, path, std::string(not_ours)};
  picture_ = std::move(picture);
  comment_.clear();
  forget_encoding();
  return std::nullopt;
}

void ImageConverter::load_indexed(const IndexedRows& picture) {
  IndexedPicture copy{
      picture.width, picture.height, {picture.palette.begin(), picture.palette.end()}, {}};
  copy.indexes.reserve(static_cast<std::size_t>(picture.width) * picture.height);
  for (const std::uint8_t* row : picture.rows) {
    copy.indexes.insert(copy.indexes.end(), row, row + picture.width);
  }
  picture_ = std::move(copy);
  comment_.clear();
  forget_encoding();
}

void ImageConverter::set_comment(std::string text) {
  comment_ = std::move(text);
  forget_encoding();
}

std::optional<FileError> ImageConverter::save_gif(const std::string& path, bool interlaced,
                                                  bool* kept) {
  if (!picture_) throw std::logic_error("save_gif without a loaded picture");
  // The held picture does not change, so a second save of it writes the same encoding again.
  if (encoded_.empty() || encoded_interlaced_ != interlaced) {
    // A picture saved twice (as the current and the archive picture) is digested once.
    if (!digest_ || digest_interlaced_ != interlaced) {
      digest_ = picture_digest(*picture_, comment_, interlaced);
      digest_interlaced_ = interlaced;
    }
    const std::uint64_t digest = *digest_;
    if (known_ && known_->picture_digest == digest &&
        touch_if_digest(path, known_->gif_bytes, known_->gif_digest)) {
      if (kept != nullptr) *kept = true;
      saved_ = known_;
      return std::nullopt;
    }
    encoded_ = encode_gif(*picture_, interlaced);
    encoded_interlaced_ = interlaced;
    if (!comment_.empty()) encoded_ = with_gif_comment(encoded_, comment_);
    encoded_as_ = EncodedPicture{digest, digest_of(encoded_), encoded_.size()};
  }
  auto error = update_file_atomically(path, encoded_, kept);
  if (!error) saved_ = encoded_as_;
  return error;
}

void ImageConverter::expect(const std::optional<EncodedPicture>& known) {
  known_ = known;
  saved_.reset();
}

void ImageConverter::forget_encoding() {
  encoded_.clear();
  digest_.reset();
}

void ImageConverter::reset() {
  picture_.reset();
  comment_.clear();
  forget_encoding();
}

std::string giflib_version() {
  return std::to_string(GIFLIB_MAJOR) + "." + std::to_string(GIFLIB_MINOR) + "." +
         std::to_string(GIFLIB_RELEASE);
}

}  // namespace norvane
