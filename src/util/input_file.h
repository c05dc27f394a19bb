// SPDX-License-Identifier: MIT
// Every file the program reads is a small file that other programs write: the settings file,
// the monthly forecasts, the stations' measurement files, and the BMP snapshot of a figure.
// This is the one way they are read. Only regular files are opened (a folder or a FIFO that happens
// to carry an expected name must neither be read nor make the run wait), lines may end in CR LF or
// LF, and a line longer than max_line_bytes is cut there. Each reader reads no more of a file
// than it needs from it (limit_reading, the limit of read_all), so that no input, not even a
// file of gigabytes without a line end, can make the program read without bound.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

// The error value of a file that is neither a regular file nor a folder (a FIFO, a device, a
// socket). No errno value says that; error_text gives it the text "not a regular file".
inline constexpr int not_a_regular_file = -1;
// The error value of a data file that holds fewer lines than it must (a measurement file needs
// three); error_text gives it the text "holds fewer than three lines".
inline constexpr int too_few_lines = -2;
// The error value of a measurement file whose three lines do not lie within its first page
// (InputFile::page_bytes), where a measurement always lies; error_text says so.
inline constexpr int larger_than_a_measurement = -3;
// The error value of a station's file that a run as root finds to be a link (Links below);
// error_text says so.
inline constexpr int link_refused_to_root = -4;

class InputFile {
 public:
  static constexpr std::size_t max_line_bytes = 4096;
  // What one read of a small file takes: a measurement file is read no further.
  static constexpr std::size_t page_bytes = 4096;
  // The most that reading `lines` lines of at most max_line_bytes, with their CR LF, can need.
  static constexpr std::size_t bytes_for_lines(std::size_t lines) {
    return lines * (max_line_bytes + 2);
  }

  // Whether a run as root follows a link at the file's name. The files that stations and the
  // station's account bring (measurements, forecasts) lie in folders that they write in, and a
  // link there could point at any file of the machine: a run as root opens none of them through
  // a link. The files that root or the program itself puts in place are followed.
  enum class Links { followed, not_followed_as_root };

  // Opens an existing regular file for reading. On failure returns nothing and sets `*error` to
  // the errno value that says why (ENOENT, EACCES, EISDIR, ...), to not_a_regular_file, or to
  // link_refused_to_root.
  static std::optional<InputFile> open(const std::string& path, int* error,
                                       Links links = Links::followed);

  // Opens `name` in the folder open as `folder_fd`. When a listing of that folder has just shown
  // it as a regular file, `listed_regular` spares the check of its type: a file that changed
  // into something else meanwhile is still opened without blocking, and one that changed into
  // a link is not followed (ELOOP).
  static std::optional<InputFile> open_in(int folder_fd, const std::string& name,
                                          bool listed_regular, int* error,
                                          Links links = Links::followed);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Reads the next line into `line`, without its line end. Returns false, leaving `line` as it
  // was, when no line is left or reading failed; `read_error()` then tells which (0 at end).
  bool read_line(std::string& line);
  int read_error() const { return read_error_; }

  // Reads lines from the first `bytes` of the file only, whatever its size: nothing past them
  // is ever read, and a line that runs on past them ends there, as a last line without a line
  // end ends at the end of a file. Set before the first read.
  void limit_reading(std::size_t bytes) { read_limit_ = bytes; }
  // Whether the line last read was cut at that limit: it had no line end before it, and the
  // file goes on past it.
  bool line_cut_at_limit() const;

  // Appends the rest of the file to `bytes`, up to `limit` bytes in all. Returns false when
  // reading failed (`read_error()` says why) or the file is larger (EFBIG), having read no more
  // than one byte past the limit.
  static constexpr std::size_t max_whole_file_bytes = 64 << 20;
  bool read_all(std::vector<unsigned char>& bytes, std::size_t limit = max_whole_file_bytes);

  // Gives up the open descriptor, which the caller then closes; the file reads nothing more.
  int release();

 private:
  static constexpr std::size_t buffer_size = 4096;

  explicit InputFile(int fd);
  bool fill_buffer();

  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  int read_error_ = 0;
  std::size_t read_limit_ = static_cast<std::size_t>(-1);
  std::size_t bytes_read_ = 0;
  bool line_ended_ = true;  // the line last read ended with a line end
};

// Reads the whole regular file at `path` into `bytes` when it holds at most `max_bytes`, for the
// program's own small files that other programs may have written (the archive's JSON files).
// Returns false with `*error` set when it cannot be opened or read (as InputFile::open), or is
// larger (EFBIG, found before it is read).
bool read_small_file(const std::string& path, std::size_t max_bytes,
                     std::vector<unsigned char>& bytes, int* error);

}  // namespace norvane
