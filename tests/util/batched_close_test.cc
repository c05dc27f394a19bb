// SPDX-License-Identifier: MIT
#include "util/batched_close.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace norvane {
namespace {

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(BatchedClose, ClosesWhatItTookAndNothingElse) {
  std::vector<int> taken;
  std::vector<int> others;
  {
    BatchedClose batch;
    // More than it holds at a time, with descriptors it must not close between them.
    for (int i = 0; i < 150; ++i) {
      const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      if (i % 37 == 5) {
        others.push_back(fd);
      } else {
        taken.push_back(fd);
        batch.add(fd);
      }
    }
    batch.add(-1);  // nothing to take
    for (const int fd : others) EXPECT_TRUE(is_open(fd));
  }
  // A number closed early may have come back for a later file of the other kind.
  for (const int fd : taken) {
    if (std::find(others.begin(), others.end(), fd) == others.end()) {
      EXPECT_FALSE(is_open(fd)) << fd;
    }
  }
  for (const int fd : others) {
    EXPECT_TRUE(is_open(fd)) << fd;
    ::close(fd);
  }
}

}  // namespace
}  // namespace norvane
