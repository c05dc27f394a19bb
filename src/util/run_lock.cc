// SPDX-License-Identifier: MIT
#include "util/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>
#include <utility>

#include "util/file_write.h"
#include "util/input_file.h"

namespace norvane {
namespace {

using Deadline = std::chrono::steady_clock::time_point;

// The bytes of the lock file whose record locks are the run's lock and the turn to take it.
constexpr off_t run_byte = 0;
constexpr off_t turn_byte = 1;

// Tries `attempt` (which returns 0, EWOULDBLOCK while the lock is busy, or the errno of another
// failure) until it succeeds or `deadline` passes. A busy lock is tried again after a pause that
// grows from a fifth of a millisecond to 5 ms: a run takes milliseconds, and whoever waits in
// turn must notice within a few of them that the lock has been let go.
template <typename Attempt>
int wait_for(const Attempt& attempt, Deadline deadline) {
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const int error = attempt();
    if (error != EWOULDBLOCK) return error;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return EWOULDBLOCK;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(5));
  }
}

int try_folder_lock(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EINTR ? EWOULDBLOCK : errno;
}

// Sets (F_WRLCK) or clears (F_UNLCK) the record lock on `byte`, without waiting. The lock
// belongs to the open file rather than to the process where the system can (Linux's open file
// description locks), so that closing some other descriptor of the file never lets it go.
int set_record_lock(int fd, off_t byte, short type) {
  static bool per_open_file = true;
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  for (;;) {
    if (::fcntl(fd, per_open_file ? F_OFD_SETLK : F_SETLK, &lock) == 0) return 0;
    if (errno == EINVAL && per_open_file) {
      per_open_file = false;  // a kernel without them
      continue;
    }
    return errno == EACCES || errno == EAGAIN || errno == EINTR ? EWOULDBLOCK : errno;
  }
}

std::string identity_of(const struct stat& info) {
  char text[64];
  std::snprintf(text, sizeof text, "%llx-%llx", static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  return text;
}

// Whether flock failed with `error` because the file system cannot lock a folder.
bool folder_cannot_be_locked(int error) {
  return error == EBADF || error == ENOLCK || error == EOPNOTSUPP || error == EINVAL;
}

// Opens the lock file in the folder open as `folder_fd`, of which `folder` is the status, for
// reading and writing, making it when it is missing. A new one gets the folder's owner (where
// root makes it) and group, and the mode run_lock_file_mode gives; a file system that keeps no
// owners or modes (FAT) refuses both, which does no harm there. Returns -1 with errno when it
// cannot be opened.
int open_lock_file(int folder_fd, const struct stat& folder) {
  constexpr int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
  for (int attempt = 0; attempt < 5; ++attempt) {
    int fd = ::openat(folder_fd, run_lock_file_name, flags);
    if (fd >= 0) {
      struct stat info {};
      if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
      ::close(fd);
      errno = S_ISDIR(info.st_mode) ? EISDIR : not_a_regular_file;
      return -1;
    }
    if (errno == EACCES) {
      // Perhaps made a moment ago by another run that has yet to give it its mode.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    if (errno != ENOENT) return -1;
    fd = ::openat(folder_fd, run_lock_file_name, flags | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
      if (::fchown(fd, ::geteuid() == 0 ? folder.st_uid : static_cast<uid_t>(-1), folder.st_gid) !=
          0) {
        // Kept as made: its owner's group.
      }
      if (::fchmod(fd, run_lock_file_mode(folder.st_mode)) != 0) {
        // Kept as made: the owner's alone.
      }
      return fd;
    }
    if (errno != EEXIST) return -1;  // else made by another run meanwhile: open it
  }
  return -1;
}

}  // namespace

mode_t run_lock_file_mode(mode_t folder_mode) {
  mode_t mode = 0;
  if ((folder_mode & (S_IWUSR | S_IXUSR)) == (S_IWUSR | S_IXUSR)) mode |= S_IRUSR | S_IWUSR;
  if ((folder_mode & (S_IWGRP | S_IXGRP)) == (S_IWGRP | S_IXGRP)) mode |= S_IRGRP | S_IWGRP;
  if ((folder_mode & (S_IWOTH | S_IXOTH)) == (S_IWOTH | S_IXOTH)) mode |= S_IROTH | S_IWOTH;
  return mode == 0 ? S_IRUSR | S_IWUSR : mode;
}

std::string folder_identity(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return "";
  return identity_of(info);
}

RunLock::RunLock(int folder_fd, int file_fd, std::string folder, std::string identity)
    : folder_fd_(folder_fd),
      file_fd_(file_fd),
      folder_(std::move(folder)),
      identity_(std::move(identity)) {}

std::variant<RunLock, RunLock::Failure> RunLock::acquire(const std::string& forecast_dir,
                                                         std::chrono::milliseconds wait) {
  const Deadline deadline = std::chrono::steady_clock::now() + wait;
  const std::string folder = folder_of(forecast_dir);
  const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (folder_fd < 0) return Failure{false, folder, error_text(errno)};
  struct stat info {};
  if (::fstat(folder_fd, &info) != 0) {
    const int error = errno;
    ::close(folder_fd);
    return Failure{false, folder, error_text(error)};
  }
  const int file_fd = open_lock_file(folder_fd, info);
  if (file_fd < 0) {
    const int error = errno;
    ::close(folder_fd);
    return Failure{false, folder + run_lock_file_name, error_text(error)};
  }
  RunLock lock(folder_fd, file_fd, folder, identity_of(info));
  if (auto failure = lock.take(deadline)) return std::move(*failure);
  return lock;
}

std::optional<RunLock::Failure> RunLock::take(Deadline deadline) {
  const std::string file_path = folder_ + run_lock_file_name;
  const auto failure = [&](int error, const std::string& path) {
    return Failure{error == EWOULDBLOCK, path, error == EWOULDBLOCK ? "" : error_text(error)};
  };
  // The turn first: while it is held, no one else goes for the lock.
  int error = wait_for([&] { return set_record_lock(file_fd_, turn_byte, F_WRLCK); }, deadline);
  if (error != 0) return failure(error, file_path);
  error = wait_for([&] { return try_folder_lock(folder_fd_); }, deadline);
  folder_locked_ = error == 0;
  if (error != 0 && !folder_cannot_be_locked(error)) {
    set_record_lock(file_fd_, turn_byte, F_UNLCK);
    return failure(error, folder_);
  }
  error = wait_for([&] { return set_record_lock(file_fd_, run_byte, F_WRLCK); }, deadline);
  set_record_lock(file_fd_, turn_byte, F_UNLCK);
  if (error != 0) {
    if (folder_locked_) ::flock(folder_fd_, LOCK_UN);
    folder_locked_ = false;
    return failure(error, file_path);
  }
  held_ = true;
  return std::nullopt;
}

void RunLock::release() {
  if (!held_) return;
  set_record_lock(file_fd_, run_byte, F_UNLCK);
  if (folder_locked_) ::flock(folder_fd_, LOCK_UN);
  folder_locked_ = held_ = false;
}

std::optional<RunLock::Failure> RunLock::retake(std::chrono::milliseconds wait) {
  if (held_) return std::nullopt;
  return take(std::chrono::steady_clock::now() + wait);
}

void RunLock::close_all() {
  // Closing the descriptors lets go of every lock they hold.
  if (file_fd_ >= 0) ::close(file_fd_);
  if (folder_fd_ >= 0) ::close(folder_fd_);
  file_fd_ = folder_fd_ = -1;
}

RunLock::RunLock(RunLock&& other) noexcept { *this = std::move(other); }

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    close_all();
    folder_fd_ = std::exchange(other.folder_fd_, -1);
    file_fd_ = std::exchange(other.file_fd_, -1);
    folder_locked_ = std::exchange(other.folder_locked_, false);
    held_ = std::exchange(other.held_, false);
    folder_ = std::move(other.folder_);
    identity_ = std::move(other.identity_);
  }
  return *this;
}

RunLock::~RunLock() { close_all(); }

}  // namespace norvane
