// SPDX-License-Identifier: MIT
#include "util/batched_close.h"

#include <unistd.h>

#include <algorithm>

namespace norvane {

void BatchedClose::add(int fd) {
  if (fd < 0) return;
  if (count_ == max_held) close_all();
  held_[count_++] = fd;
}

void BatchedClose::close_all() {
  std::sort(held_.begin(), held_.begin() + count_);
  std::size_t first = 0;
  while (first < count_) {
    // Every descriptor of a run of consecutive held ones is held here, so the whole range can
    // go at once without touching anyone else's.
    std::size_t last = first;
    while (last + 1 < count_ && held_[last + 1] == held_[last] + 1) ++last;
    if (last == first || ::close_range(static_cast<unsigned>(held_[first]),
                                       static_cast<unsigned>(held_[last]), 0) != 0) {
      for (std::size_t i = first; i <= last; ++i) ::close(held_[i]);
    }
    first = last + 1;
  }
  count_ = 0;
}

}  // namespace norvane
