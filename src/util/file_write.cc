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
#include <vector>

#include "util/digest.h"
#include "util/input_file.h"

namespace norvane {
namespace {

FileSystemCalls& calls() {
  static FileSystemCalls chosen{::ftruncate, ::link, std::rename};
  return chosen;
}

FileError folder_error(const std::string& path, int error_number) {
  return {FileError::Scope::folder, folder_of(path), error_text(error_number)};
}

FileError file_error(const std::string& path, int error_number) {
  return {FileError::Scope::file, path, error_text(error_number)};
}

// The writer the temporary names are made after.
std::string& temporary_writer() {
  static std::string writer = std::to_string(::getpid()).insert(0, 1, 'p');
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

// Whether `fd` reads as `size` bytes whose digest is `digest` (util/digest.h, digest_of).
bool holds_digest(int fd, std::uint64_t size, std::uint64_t digest) {
  // One byte more than expected tells a file that grew since its size was taken.
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size) + 1);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got == size && digest_of(std::span(bytes.data(), got)) == digest;
}

// Renews the modification time of the regular file `path` if it is `size` bytes long and
// `holds(fd)` says they are the bytes wanted; returns whether it did.
template <class Holds>
bool touch_if_holding(const std::string& path, std::uint64_t size, const Holds& holds) {
  // A link is replaced, never followed; a FIFO cannot hold up the run.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  const bool held = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                    static_cast<std::uint64_t>(info.st_size) == size && holds(fd) &&
                    ::futimens(fd, nullptr) == 0;
  ::close(fd);
  return held;
}

// Renews the modification time of the regular file `path` if it holds exactly `bytes`; returns
// whether it did.
bool touch_if_unchanged(const std::string& path, std::span<const unsigned char> bytes) {
  return touch_if_holding(path, bytes.size(), [&](int fd) { return holds_exactly(fd, bytes); });
}

// Whether a call failed with `error` because the file system does not do it (a FAT file system
// through FUSE refuses hard links, some refuse to truncate or to rename over a file), or may
// refuse it for a reason another way avoids.
bool refused_by_file_system(int error) {
  return error == EPERM || error == EACCES || error == EEXIST || error == EOPNOTSUPP ||
         error == ENOSYS || error == EINVAL;
}

// The name a file is moved aside to while its replacement is renamed in: a second temporary
// name of this writer's own in its folder.
std::string aside_path_for(const std::string& path) {
  const std::string folder = path.find('/') == std::string::npos ? "" : folder_of(path);
  return temporary_path_in(folder, temporary_writer() + ".old");
}

// Renames `temporary` to `path`, replacing the file there; returns 0 or the errno of the
// failure. Where the file system refuses to rename over a file, the old file is moved aside
// first and removed once the new one is in place (or moved back if it cannot be): a reader may
// then find no file for a moment, but never a part of one.
int rename_over(const std::string& temporary, const std::string& path) {
  if (calls().rename(temporary.c_str(), path.c_str()) == 0) return 0;
  const int error = errno;
  struct stat info {};
  if (!refused_by_file_system(error) || ::lstat(path.c_str(), &info) != 0 ||
      S_ISDIR(info.st_mode)) {
    return error;
  }
  const std::string aside = aside_path_for(path);
  ::unlink(aside.c_str());
  if (calls().rename(path.c_str(), aside.c_str()) != 0) return error;
  if (calls().rename(temporary.c_str(), path.c_str()) != 0) {
    const int second_error = errno;
    calls().rename(aside.c_str(), path.c_str());
    return second_error;
  }
  ::unlink(aside.c_str());
  return 0;
}

}  // namespace

void use_file_system_calls(const FileSystemCalls& chosen) { calls() = chosen; }

std::string error_text(int error_number) {
  if (error_number == not_a_regular_file) return "not a regular file";
  if (error_number == too_few_lines) return "holds fewer than three lines";
  if (error_number == link_refused_to_root) return "a link, which a run as root does not follow";
  if (error_number == larger_than_a_measurement) {
    return "larger than a measurement file can be: its first " +
           std::to_string(InputFile::page_bytes) + " bytes hold no three lines";
  }
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
  if (const int rename_errno = rename_over(temporary, path); rename_errno != 0) {
    ::unlink(temporary.c_str());
    return file_error(path, rename_errno);
  }
  return std::nullopt;
}

bool touch_if_digest(const std::string& path, std::uint64_t size, std::uint64_t digest) {
  return touch_if_holding(path, size, [&](int fd) { return holds_digest(fd, size, digest); });
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

namespace {

// Opens the turn at `turn` for writing, as a regular file of this writer's with no other name,
// made anew when it is something else or cannot be written; -1 with errno when it cannot.
int open_turn(const std::string& turn) {
  constexpr int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  int fd = ::open(turn.c_str(), flags | O_CREAT, 0666);
  struct stat info {};
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) {
    return fd;
  }
  if (fd >= 0) ::close(fd);
  if (::unlink(turn.c_str()) != 0 && errno != ENOENT) return -1;
  return ::open(turn.c_str(), flags | O_CREAT | O_EXCL, 0666);
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::optional<FileError> write_file_by_turns(const std::string& path,
                                             std::span<const unsigned char> bytes) {
  const std::string folder = path.find('/') == std::string::npos ? "" : folder_of(path);
  std::string turns[2];
  for (int i = 0; i < 2; ++i) {
    std::string& turn = turns[i];
    turn = folder;
    turn += '.';
    turn += std::string_view(path).substr(folder.size());
    turn += '.';
    turn += temporary_writer();
    turn += i == 0 ? ".1" : ".2";
  }
  // The turn to write is one that `path` is not: a missing one, else the one that stopped being
  // `path` longest ago (its link count, and so its change time, changed then). Where another
  // writer shares `path`, the turn it has just replaced is thus left alone for its readers.
  struct stat current {};
  const bool has_current = ::lstat(path.c_str(), &current) == 0;
  struct stat info[2]{};
  bool exists[2]{};
  for (int i = 0; i < 2; ++i) exists[i] = ::lstat(turns[i].c_str(), &info[i]) == 0;
  const auto is_current = [&](int i) {
    return exists[i] && has_current && same_file(current, info[i]);
  };
  const auto changed_before = [&](int a, int b) {
    const timespec& x = info[a].st_ctim;
    const timespec& y = info[b].st_ctim;
    return x.tv_sec < y.tv_sec || (x.tv_sec == y.tv_sec && x.tv_nsec < y.tv_nsec);
  };
  int chosen = 0;
  if (is_current(0)) {
    chosen = 1;
  } else if (!is_current(1) && exists[0] && (!exists[1] || changed_before(1, 0))) {
    chosen = 1;
  }
  const std::string& turn = turns[chosen];

  // Where the turns cannot be used (no hard links, no truncating an open file), the file is
  // written the plain way, and neither turn is left behind.
  const auto the_plain_way = [&] {
    ::unlink(turn.c_str());
    auto error = write_file_atomically(path, bytes);
    // The other turn is no longer the file either, once it is written.
    if (!error) ::unlink(turns[1 - chosen].c_str());
    return error;
  };
  const int fd = open_turn(turn);
  if (fd < 0) return refused_by_file_system(errno) ? the_plain_way() : folder_error(path, errno);
  bool written = true;
  int error = 0;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t wrote =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    written = wrote > 0;
    if (written) done += static_cast<std::size_t>(wrote);
    error = errno;
  }
  if (written && calls().ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
    written = false;
    error = errno;
  }
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) return refused_by_file_system(error) ? the_plain_way() : folder_error(path, error);

  const std::string temporary = temporary_path_for(path);
  if (calls().link(turn.c_str(), temporary.c_str()) != 0) {
    if (errno != EEXIST || ::unlink(temporary.c_str()) != 0 ||
        calls().link(turn.c_str(), temporary.c_str()) != 0) {
      return the_plain_way();
    }
  }
  if (const int rename_errno = rename_over(temporary, path); rename_errno != 0) {
    ::unlink(temporary.c_str());
    return file_error(path, rename_errno);
  }
  return std::nullopt;
}

std::optional<FileError> remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return file_error(path, errno);
  return std::nullopt;
}

void remove_temporaries_in(const std::string& folder, const std::string& writer) {
  remove_file(temporary_path_in(folder, writer));
  remove_file(temporary_path_in(folder, writer + ".old"));
}

}  // namespace norvane
