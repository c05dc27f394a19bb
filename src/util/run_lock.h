// SPDX-License-Identifier: MIT
// Schedulers start runs every few minutes, and a run on a stalled share can outlast the
// interval, so two runs may meet on one station's folders. They must not overlap: both would
// write the same pictures, and a run that started before midnight would meet one that started
// after it in the archive. A run therefore holds an exclusive lock for its whole work, taken on
// the file ".norvane_foF2.lock" in its forecast folder (the folder all its runs share); when
// that file cannot be made (a read-only folder), on the folder itself. The lock is the kernel's
// (flock): it dies with the process, so a killed run or a power cut leaves nothing that a later
// run or a person must clean up. The lock file itself stays, empty.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <variant>

namespace norvane {

inline constexpr const char* run_lock_file_name = ".norvane_foF2.lock";

class RunLock {
 public:
  // Why no lock was taken.
  struct Failure {
    bool busy = false;   // another process held it for the whole wait
    std::string path;    // the lock file (or the folder) waited on or tried
    std::string reason;  // the system's reason when not busy
  };

  // Takes the lock of `forecast_dir` (a prefix of file names, normally ending in "/"), waiting
  // at most `wait` for another holder to let it go.
  static std::variant<RunLock, Failure> acquire(const std::string& forecast_dir,
                                                std::chrono::milliseconds wait);

  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

 private:
  explicit RunLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace norvane
