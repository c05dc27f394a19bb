// SPDX-License-Identifier: MIT
// Schedulers start runs every few minutes, and a run on a stalled share can outlast the
// interval; an operator starts a backfill or a run by hand as root or under an account of their
// own while the service's timer goes on. Runs on one station's folders must never overlap:
// both would write the same pictures, and a run that started before midnight would meet one
// that started after it in the archive.
//
// A run therefore holds an exclusive lock for its work, one and the same for every user and on
// every machine that shares the forecast folder (the folder all of a station's runs share,
// which also holds the archive). It is two locks, taken in this order and both held:
//
// - a record lock on the first byte of the file ".norvane_foF2.lock" in the forecast folder.
//   Record locks are the ones a network file system carries to its server (NFS, SMB), where
//   they meet the record locks of the server's own runs and of every other client;
// - the kernel's lock (flock) on the forecast folder itself, which is what earlier versions
//   took, so that a run of this version and one of an earlier version do not overlap while a
//   machine is being upgraded. A file system that cannot lock a folder is served by the record
//   lock alone, which every run takes anyway: no run ever holds a lock that others do not see.
//
// Only the station's users may take either: the folder lock needs the folder open for reading,
// and the record lock the file open for writing, so the folder's modes decide (see
// docs/installation.md: the web server needs no more than to pass through the forecast folder).
// The lock file is made with the folder's owner and group, readable and writable by exactly the
// classes of users (owner, group, others) who may write in the folder.
//
// Waiting runs are served in turn. A backfill lets the lock go between its days and takes it
// again at once; a run that only tried the lock now and then would find it taken every time. So
// whoever wants the lock first takes a turn: a record lock on the second byte of the lock file,
// held only until the lock itself is had. A backfill going back for the lock takes a turn too,
// and so waits for the run that took one while the backfill was drawing its day.
//
// The locks die with their process, so a killed run or a power cut leaves nothing that a later
// run or a person must clean up; the lock file stays, empty, and is used again.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
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
    std::string path;    // the folder or the lock file waited on or tried
    std::string reason;  // the system's reason when not busy
  };

  // Takes the lock of the folder of `forecast_dir` (a prefix of file names, normally ending in
  // "/"), waiting at most `wait` for other holders and those whose turn comes first.
  static std::variant<RunLock, Failure> acquire(const std::string& forecast_dir,
                                                std::chrono::milliseconds wait);

  // Lets other runs have the lock; retake() takes it back in turn, waiting at most `wait`.
  void release();
  std::optional<Failure> retake(std::chrono::milliseconds wait);
  bool held() const { return held_; }

  // What tells the locked folder from every other: its device and inode, as text. Every run of
  // the folder, whoever starts it, sees the same.
  const std::string& folder_identity() const { return identity_; }

  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

 private:
  RunLock(int folder_fd, int file_fd, std::string folder, std::string identity);
  std::optional<Failure> take(std::chrono::steady_clock::time_point deadline);
  void close_all();

  int folder_fd_ = -1;
  int file_fd_ = -1;
  bool folder_locked_ = false;
  bool held_ = false;
  std::string folder_;
  std::string identity_;
};

// The identity of the folder at `folder` as folder_identity() gives it, or "" when it cannot be
// looked at.
std::string folder_identity(const std::string& folder);

// The mode of a lock file made in a folder of mode `folder_mode`: read and write for each class
// of users that may write in the folder (and so run the station), nothing for the others.
mode_t run_lock_file_mode(mode_t folder_mode);

}  // namespace norvane
