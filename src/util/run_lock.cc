// SPDX-License-Identifier: MIT
#include "util/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "util/file_write.h"

namespace norvane {
namespace {

// Waits for the lock on `fd` until `deadline`; returns 0, EWOULDBLOCK when it stayed busy, or
// the errno of another failure. A free lock is taken at once; a busy one is tried again after
// a pause that grows from a millisecond, since a run takes milliseconds and a stalled one much
// longer.
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

}  // namespace

std::variant<RunLock, RunLock::Failure> RunLock::acquire(const std::string& forecast_dir,
                                                         std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  const std::string lock_path = forecast_dir + run_lock_file_name;
  // O_NOFOLLOW: a link planted at the lock's name is not followed to some other file.
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
  std::string locked_path = lock_path;
  if (fd < 0) {
    // A folder the run may not write in is still locked, on the folder itself.
    const int file_error = errno;
    locked_path = folder_of(forecast_dir);
    fd = ::open(locked_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failure{false, lock_path, error_text(file_error)};
  }
  if (const int error = lock_until(fd, deadline); error != 0) {
    ::close(fd);
    return Failure{error == EWOULDBLOCK, locked_path,
                   error == EWOULDBLOCK ? std::string() : error_text(error)};
  }
  return RunLock(fd);
}

RunLock::RunLock(RunLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace norvane
