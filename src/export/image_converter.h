// SPDX-License-Identifier: MIT
// The web page shows GIF pictures, while the drawing surface writes BMP. The image converter
// bridges the two: it loads the BMP snapshot of a finished figure and writes it as GIF files,
// as often as asked, until it is reset. The snapshot is read in the program's own form only
// (surface/bmp_file.h), and its palette, which holds exactly the figure's colours, becomes the
// GIF's: no quantisation and no dithering. The GIFs are encoded by giflib, which only this
// converter sees.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/encoded_picture.h"
#include "surface/bmp_file.h"
#include "util/file_write.h"

namespace norvane {

class ImageConverter {
 public:
  // Makes the picture in the BMP file at `path` the held picture, replacing any earlier one.
  // The file is read whole and not kept open. A file that is not a BMP of the program's own
  // form, of at most a figure's size, is refused ("not a BMP of this program").
  std::optional<FileError> load_bmp(const std::string& path);

  // Makes the picture of palette indexes `picture` the held picture, replacing any earlier one.
  void load_indexed(const IndexedRows& picture);

  // Makes the GIFs of the held picture carry `text` as a comment (archive/gif_comment.h), until
  // the next picture is loaded or the converter is reset.
  void set_comment(std::string text);

  // Writes the held picture as a GIF file at `path`, replacing any file of that name (one that
  // holds this very GIF already is kept, its time renewed); the held picture stays, so that it
  // can be saved again. `interlaced` asks for an interlaced GIF. `*kept`, when given, tells
  // whether the file held this GIF already. Where the held picture is the one `expect` was
  // told of, a file of the bytes it was encoded as is kept without encoding the picture.
  std::optional<FileError> save_gif(const std::string& path, bool interlaced, bool* kept = nullptr);

  // Tells the converter how a picture was encoded before (state/encoded_picture.h), until it
  // is told again; and forgets the last save's.
  void expect(const std::optional<EncodedPicture>& known);
  // How the picture of the last save since `expect` was encoded, whether it was encoded then
  // or found in the file; nothing when none was saved.
  const std::optional<EncodedPicture>& saved() const { return saved_; }

  // Releases the held picture.
  void reset();

  bool holds_picture() const { return picture_.has_value(); }

 private:
  std::optional<IndexedPicture> picture_;  // the held picture, with its palette
  std::string comment_;                    // the comment its GIFs carry
  std::vector<unsigned char> encoded_;     // its GIF, once saved
  bool encoded_interlaced_ = false;
  std::optional<EncodedPicture> known_;  // as `expect` was told
  std::optional<EncodedPicture> saved_;  // the last save's
  EncodedPicture encoded_as_;            // what encoded_ was encoded from, and came to
  std::optional<std::uint64_t> digest_;  // of the held picture, once saved
  bool digest_interlaced_ = false;

  // Forgets the held picture's encoding and digest, when the picture or its comment changes.
  void forget_encoding();
};

// The version of giflib the program was built with, such as "5.2.1".
std::string giflib_version();

}  // namespace norvane
