// SPDX-License-Identifier: MIT
#include "util/run_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <variant>

#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;

// Whether another open file holds the record lock on byte 1 of the lock file (the turn).
bool turn_taken(const std::string& lock_file) {
  const int fd = ::open(lock_file.c_str(), O_RDONLY | O_CLOEXEC);
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_start = 1;
  probe.l_len = 1;
  const bool taken = fd >= 0 && ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  if (fd >= 0) ::close(fd);
  return taken;
}

TEST(RunLock, ARunWaitingForTheLockHasItBeforeItsHolderTakesItBack) {
  testing::TempFolder folder;
  folder.make_folder("fc");
  auto acquired = RunLock::acquire(folder / "fc/", 1s);
  ASSERT_TRUE(std::holds_alternative<RunLock>(acquired));
  RunLock& backfill = std::get<RunLock>(acquired);

  // A run starts while the backfill draws a day; it keeps the lock until told to let it go.
  std::atomic<bool> had_it{false}, let_go{false};
  std::thread run([&] {
    auto lock = RunLock::acquire(folder / "fc/", 20s);
    had_it = std::holds_alternative<RunLock>(lock);
    while (!let_go) std::this_thread::sleep_for(1ms);
  });
  const std::string lock_file = folder / ("fc/" + std::string(run_lock_file_name));
  for (int i = 0; i < 20000 && !turn_taken(lock_file); ++i) std::this_thread::sleep_for(1ms);

  // The backfill's day is drawn: going back for the lock, it finds the run's turn first.
  backfill.release();
  const auto failure = backfill.retake(300ms);
  EXPECT_TRUE(failure && failure->busy);
  let_go = true;
  run.join();
  EXPECT_TRUE(had_it);
  EXPECT_EQ(backfill.retake(1s), std::nullopt);
}

}  // namespace
}  // namespace norvane
