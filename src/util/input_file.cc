// SPDX-License-Identifier: MIT
#include "util/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace norvane {

std::optional<InputFile> InputFile::open(const std::string& path, int* error, Links links) {
  return open_in(AT_FDCWD, path, false, error, links);
}

std::optional<InputFile> InputFile::open_in(int folder_fd, const std::string& name,
                                            bool listed_regular, int* error, Links links) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it is refused right after.
  static const bool root = ::geteuid() == 0;  // asked once: a run keeps its user
  const bool as_root = root && links == Links::not_followed_as_root;
  const int follow = listed_regular || as_root ? O_NOFOLLOW : 0;
  const int fd =
      ::openat(folder_fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | follow);
  if (fd < 0) {
    *error = errno == ELOOP && as_root && !listed_regular ? link_refused_to_root : errno;
    return std::nullopt;
  }
  if (listed_regular) return InputFile(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = S_ISDIR(info.st_mode) ? EISDIR : not_a_regular_file;
    ::close(fd);
    return std::nullopt;
  }
  return InputFile(fd);
}

InputFile::InputFile(int fd)
    : fd_(fd), buffer_(std::make_unique_for_overwrite<char[]>(buffer_size)) {}

InputFile::InputFile(InputFile&& other) noexcept { *this = std::move(other); }

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
    begin_ = other.begin_;
    end_ = other.end_;
    at_end_ = other.at_end_;
    read_error_ = other.read_error_;
    read_limit_ = other.read_limit_;
    bytes_read_ = other.bytes_read_;
    line_ended_ = other.line_ended_;
  }
  return *this;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

int InputFile::release() {
  begin_ = end_ = 0;
  at_end_ = true;
  return std::exchange(fd_, -1);
}

bool InputFile::fill_buffer() {
  if (at_end_) return false;
  const std::size_t room = std::min(buffer_size, read_limit_ - bytes_read_);
  if (room == 0) {
    at_end_ = true;
    return false;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.get(), room);
    if (got > 0) {
      begin_ = 0;
      end_ = static_cast<std::size_t>(got);
      bytes_read_ += end_;
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) read_error_ = errno;
    at_end_ = true;
    return false;
  }
}

bool InputFile::read_line(std::string& line) {
  // One byte more than the limit is kept, so that a CR that ends a line of exactly
  // max_line_bytes is still recognised as part of the line end.
  const auto finish = [&](std::string& text) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.size() > max_line_bytes) text.resize(max_line_bytes);
  };
  // A line that lies whole in what is buffered goes straight into `line`, whose room the
  // caller's next line reuses: a measurement file is three such lines.
  if (begin_ == end_) fill_buffer();
  if (begin_ != end_ && read_error_ == 0) {
    const char* start = buffer_.get() + begin_;
    if (const void* newline = std::memchr(start, '\n', end_ - begin_)) {
      const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
      line.assign(start, std::min(length, max_line_bytes + 1));
      begin_ += length + 1;
      line_ended_ = true;
      finish(line);
      return true;
    }
  }
  std::string read;
  bool found_any = false;
  bool ended = false;
  for (;;) {
    if (begin_ == end_ && !fill_buffer()) break;
    found_any = true;
    const char* start = buffer_.get() + begin_;
    const std::size_t available = end_ - begin_;
    const void* newline = std::memchr(start, '\n', available);
    const std::size_t length =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) : available;
    if (read.size() <= max_line_bytes) {
      read.append(start, std::min(length, max_line_bytes + 1 - read.size()));
    }
    begin_ += length;
    if (newline) {
      ++begin_;  // the LF itself
      ended = true;
      break;
    }
  }
  if (!found_any || read_error_ != 0) return false;
  line_ended_ = ended;
  finish(read);
  line = std::move(read);
  return true;
}

bool InputFile::line_cut_at_limit() const {
  if (line_ended_ || bytes_read_ < read_limit_) return false;
  struct stat info {};
  return fd_ < 0 || ::fstat(fd_, &info) != 0 ||
         static_cast<std::uintmax_t>(info.st_size) > read_limit_;
}

bool InputFile::read_all(std::vector<unsigned char>& bytes, std::size_t limit) {
  // What is buffered first, then the rest straight into `bytes`, sized once from the file's
  // size where it is known.
  bytes.insert(bytes.end(), buffer_.get() + begin_, buffer_.get() + end_);
  begin_ = end_;
  struct stat info {};
  std::size_t chunk = 64 * 1024;
  if (::fstat(fd_, &info) == 0 && info.st_size > 0) {
    chunk = std::min(static_cast<std::uintmax_t>(info.st_size) + 1,
                     static_cast<std::uintmax_t>(limit) + 1);
  }
  while (!at_end_) {
    const std::size_t old_size = bytes.size();
    if (old_size > limit) {
      read_error_ = EFBIG;
      return false;
    }
    const std::size_t want = std::min<std::size_t>(chunk, limit + 1 - old_size);
    bytes.resize(old_size + want);
    const ssize_t got = ::read(fd_, bytes.data() + old_size, want);
    bytes.resize(old_size + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) read_error_ = errno;
    if (got <= 0) at_end_ = true;
  }
  return read_error_ == 0;
}

bool read_small_file(const std::string& path, std::size_t max_bytes,
                     std::vector<unsigned char>& bytes, int* error) {
  auto file = InputFile::open(path, error);
  if (!file) return false;
  const int fd = file->release();
  struct stat info {};
  *error = ::fstat(fd, &info) != 0 ? errno : 0;
  if (*error == 0 && static_cast<std::uintmax_t>(info.st_size) > max_bytes) *error = EFBIG;
  if (*error == 0) {
    // One byte more than allowed tells a file that grew meanwhile.
    bytes.resize(std::min<std::uintmax_t>(info.st_size, max_bytes) + 1);
    std::size_t size = 0;
    while (*error == 0 && size < bytes.size()) {
      const ssize_t got = ::read(fd, bytes.data() + size, bytes.size() - size);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) *error = errno;
      if (got <= 0) break;
      size += static_cast<std::size_t>(got);
      if (size == bytes.size() && size <= max_bytes)
        bytes.resize(std::min(size * 2, max_bytes + 1));
    }
    if (*error == 0 && size > max_bytes) *error = EFBIG;
    bytes.resize(size);
  }
  ::close(fd);
  return *error == 0;
}

}  // namespace norvane
