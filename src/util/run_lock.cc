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

namespace norvane {
namespace {

// Waits for the lock on `fd` until `deadline`; returns 0, EWOULDBLOCK when it stayed busy, or
// the errno of another failure. A free lock is taken at once; a busy one is tried again after
// a pause that grows from half a millisecond, since a run takes milliseconds and a stalled one
// much longer.
int lock_until(int fd, std::chrono::steady_clock::time_point deadline) {
  auto pause = std::chrono::microseconds(500);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return errno;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return EWOULDBLOCK;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(50));
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

// Opens the lock file in the folder open as `folder_fd`, creating it readable and writable by
// every user (whatever the umask of whoever creates it), so that every user's runs can lock it.
int open_lock_file(int folder_fd) {
  constexpr int flags = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
  int fd = ::openat(folder_fd, run_lock_file_name, O_RDWR | O_CREAT | O_EXCL | flags, 0666);
  if (fd >= 0) {
    ::fchmod(fd, 0666);
    return fd;
  }
  fd = ::openat(folder_fd, run_lock_file_name, O_RDWR | flags);
  if (fd < 0 && errno == EACCES) fd = ::openat(folder_fd, run_lock_file_name, O_RDONLY | flags);
  return fd;
}

}  // namespace

std::string folder_identity(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return "";
  return identity_of(info);
}

std::variant<RunLock, RunLock::Failure> RunLock::acquire(const std::string& forecast_dir,
                                                         std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  const std::string folder = folder_of(forecast_dir);
  const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (folder_fd < 0) return Failure{false, folder, error_text(errno)};
  struct stat info {};
  if (::fstat(folder_fd, &info) != 0) {
    const int error = errno;
    ::close(folder_fd);
    return Failure{false, folder, error_text(error)};
  }
  std::string identity = identity_of(info);

  int error = lock_until(folder_fd, deadline);
  if (error == 0) return RunLock(folder_fd, std::move(identity));
  if (!folder_cannot_be_locked(error)) {
    ::close(folder_fd);
    return Failure{error == EWOULDBLOCK, folder, error == EWOULDBLOCK ? "" : error_text(error)};
  }

  const std::string lock_path = folder + run_lock_file_name;
  const int fd = open_lock_file(folder_fd);
  error = errno;
  ::close(folder_fd);
  if (fd < 0) return Failure{false, lock_path, error_text(error)};
  error = lock_until(fd, deadline);
  if (error == 0) return RunLock(fd, std::move(identity));
  ::close(fd);
  return Failure{error == EWOULDBLOCK, lock_path, error == EWOULDBLOCK ? "" : error_text(error)};
}

RunLock::RunLock(RunLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), identity_(std::move(other.identity_)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    identity_ = std::move(other.identity_);
  }
  return *this;
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace norvane
