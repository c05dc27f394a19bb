// SPDX-License-Identifier: MIT
// Every file the program reads is a small file that other programs write: the settings file,
// the monthly forecasts, the stations' measurement files, and the BMP snapshot of a figure.
// This is the one way they are read. Only regular files are opened (a folder or a FIFO that happens
// to carry an expected name must neither be read nor make the run wait), lines may end in CR LF or
// LF, and a line longer than max_line_bytes is cut there, so that no input can make the program
// read without bound.
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

class InputFile {
 public:
  static constexpr std::size_t max_line_bytes = 4096;

  // Opens an existing regular file for reading. On failure returns nothing and sets `*error` to
  // the errno value that says why (ENOENT, EACCES, EISDIR, ...), or to not_a_regular_file.
  static std::optional<InputFile> open(const std::string& path, int* error);

  // Opens `name` in the folder open as `folder_fd`. When a listing of that folder has just shown
  // it as a regular file, `listed_regular` spares the check of its type: a file that changed
  // into something else meanwhile is still opened without blocking.
  static std::optional<InputFile> open_in(int folder_fd, const std::string& name,
                                          bool listed_regular, int* error);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Reads the next line into `line`, without its line end. Returns false, leaving `line` as it
  // was, when no line is left or reading failed; `read_error()` then tells which (0 at end).
  bool read_line(std::string& line);
  int read_error() const { return read_error_; }

  // Appends the rest of the file to `bytes`, up to max_whole_file_bytes. Returns false when
  // reading failed (`read_error()` says why) or the file is larger (EFBIG).
  static constexpr std::size_t max_whole_file_bytes = 64 << 20;
  bool read_all(std::vector<unsigned char>& bytes);

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
};

// Reads the whole regular file at `path` into `bytes` when it holds at most `max_bytes`, for the
// program's own small files that other programs may have written (the archive's JSON files).
// Returns false with `*error` set when it cannot be opened or read (as InputFile::open), or is
// larger (EFBIG, found before it is read).
bool read_small_file(const std::string& path, std::size_t max_bytes,
                     std::vector<unsigned char>& bytes, int* error);

}  // namespace norvane
