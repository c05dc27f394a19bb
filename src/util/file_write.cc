// SPDX-License-Identifier: MIT
#include "util/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#include "util/input_file.h"

namespace norvane {
namespace {

FileError folder_error(const std::string& path, int error_number) {
  return {FileError::Scope::folder, folder_of(path), error_text(error_number)};
}

FileError file_error(const std::string& path, int error_number) {
  return {FileError::Scope::file, path, error_text(error_number)};
}

// The writer the temporary names are made after.
std::string& temporary_writer() {
  static std::string writer = "p" + std::to_string(::getpid());
  return writer;
}

// Creates this writer's hidden temporary file in `path`'s folder; returns its descriptor or -1
// with errno. Only runs holding the same lock use that name, and never at the same time, so a
// file of that name is always what a killed run of this station left: it is removed, never
// followed or written through, since a link or a second name of another file could stand there.
int create_temporary_beside(const std::string& path, std::string& temporary) {
  temporary = temporary_path_for(path);
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Mode 0666 lets the umask decide, as for any file the program creates.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) return -1;
  }
  errno = EEXIST;
  return -1;
}

bool write_all(int fd, std::span<const unsigned char> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

// Whether `fd` reads as exactly `bytes`.
bool holds_exactly(int fd, std::span<const unsigned char> bytes) {
  constexpr std::size_t chunk_size = 16 * 1024;
  const auto chunk = std::make_unique_for_overwrite<unsigned char[]>(chunk_size);
  for (;;) {
    const ssize_t got = ::read(fd, chunk.get(), std::min(chunk_size, bytes.size() + 1));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return bytes.empty();
    const auto size = static_cast<std::size_t>(got);
    if (size > bytes.size() || !std::equal(chunk.get(), chunk.get() + size, bytes.begin())) {
      return false;
    }
    bytes = bytes.subspan(size);
  }
}

// Renews the modification time of the regular file `path` if it holds exactly `bytes`; returns
// whether it did.
bool touch_if_unchanged(const std::string& path, std::span<const unsigned char> bytes) {
  // O_NOFOLLOW: a link is replaced, never followed. O_NONBLOCK: a FIFO cannot hold up the run.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  const bool unchanged = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                         static_cast<std::uintmax_t>(info.st_size) == bytes.size() &&
                         holds_exactly(fd, bytes) && ::futimens(fd, nullptr) == 0;
  ::close(fd);
  return unchanged;
}

}  // namespace

std::string error_text(int error_number) {
  if (error_number == not_a_regular_file) return "not a regular file";
  if (error_number == too_few_lines) return "holds fewer than three lines";
  return std::generic_category().message(error_number);
}

std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

void name_temporary_files_after(const std::string& writer) { temporary_writer() = writer; }

std::string temporary_path_in(const std::string& folder, const std::string& writer) {
  return folder + ".norvane_foF2." + writer + ".tmp";
}

std::string temporary_path_for(const std::string& path) {
  const std::string folder = path.find('/') == std::string::npos ? "" : folder_of(path);
  return temporary_path_in(folder, temporary_writer());
}

std::optional<FileError> write_file_atomically(const std::string& path,
                                               std::span<const unsigned char> bytes) {
  std::string temporary;
  const int fd = create_temporary_beside(path, temporary);
  if (fd < 0) return folder_error(path, errno);

  // A failed write or close means the folder's file system is in trouble (full, gone, broken):
  // every file written there would fail alike.
  const bool written = write_all(fd, bytes);
  const int write_errno = errno;
  const bool closed = ::close(fd) == 0;
  const int close_errno = errno;
  if (!written || !closed) {
    ::unlink(temporary.c_str());
    return folder_error(path, !written ? write_errno : close_errno);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int rename_errno = errno;
    ::unlink(temporary.c_str());
    return file_error(path, rename_errno);
  }
  return std::nullopt;
}

std::optional<FileError> update_file_atomically(const std::string& path,
                                                std::span<const unsigned char> bytes, bool* kept) {
  // When the time cannot be renewed (a file of someone else's, a read-only disk), the file is
  // written anew, which tells the operator what is wrong if that fails too.
  const bool unchanged = touch_if_unchanged(path, bytes);
  if (kept != nullptr) *kept = unchanged;
  if (unchanged) return std::nullopt;
  return write_file_atomically(path, bytes);
}

std::optional<FileError> remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return file_error(path, errno);
  return std::nullopt;
}

}  // namespace norvane
