// SPDX-License-Identifier: MIT
// Schedulers start runs every few minutes, and a run on a stalled share can outlast the
// interval; an operator starts a backfill or a run by hand as root or under an account of their
// own while the service's timer goes on. Runs on one station's folders must never overlap:
// both would write the same pictures, and a run that started before midnight would meet one
// that started after it in the archive.
//
// A run therefore holds an exclusive lock for its work, and the lock must be one and the same
// for every user. It is the kernel's lock (flock) on the forecast folder itself (the folder all
// of a station's runs share, which also holds the archive): opening a folder to read it needs
// no write permission and no file that some user owns, so root, the service's user and an
// operator's account all meet on it. The lock dies with its process, so a killed run or a power
// cut leaves nothing that a later run or a person must clean up.
//
// A file system that cannot lock a folder (NFS, which emulates flock with record locks that
// need a file open for writing) is served by the file ".norvane_foF2.lock" in that folder,
// created readable and writable by all; on such a file system every run of the folder takes
// that path, so all of them still meet on one lock.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <variant>

namespace norvane {

inline constexpr const char* run_lock_file_name = ".norvane_foF2.lock";

class RunLock {
 public:
  // Why no lock was taken.
  struct Failure {
    bool busy = false;   // another process held it for the whole wait
    std::string path;    // the folder (or the lock file) waited on or tried
    std::string reason;  // the system's reason when not busy
  };

  // Takes the lock of the folder of `forecast_dir` (a prefix of file names, normally ending in
  // "/"), waiting at most `wait` for another holder to let it go.
  static std::variant<RunLock, Failure> acquire(const std::string& forecast_dir,
                                                std::chrono::milliseconds wait);

  // What tells the locked folder from every other: its device and inode, as text. Every run of
  // the folder, whoever starts it, sees the same.
  const std::string& folder_identity() const { return identity_; }

  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

 private:
  RunLock(int fd, std::string identity) : fd_(fd), identity_(std::move(identity)) {}
  int fd_ = -1;
  std::string identity_;
};

// The identity of the folder at `folder` as folder_identity() gives it, or "" when it cannot be
// looked at.
std::string folder_identity(const std::string& folder);

}  // namespace norvane
