// SPDX-License-Identifier: MIT
// The shared record keeps its tables with the index ranges the system is written in: the six
// days run 1 to 6, the minutes 1 to 60, the hours 0 to 24. Indexing with those numbers directly
// keeps the code next to the data it describes; an index outside the range is a programming
// error and throws std::out_of_range rather than touching memory it does not own.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace norvane {

template <typename T, int first, int last>
class BoundedArray {
  static_assert(first <= last);

 public:
  static constexpr int first_index = first;
  static constexpr int last_index = last;

  T& operator[](int index) { return items_.at(offset(index)); }
  const T& operator[](int index) const { return items_.at(offset(index)); }
  // All the items, from the first index to the last.
  std::span<const T> items() const { return items_; }

 private:
  // An index below `first` wraps to a huge offset, which at() refuses like any other.
  static constexpr std::size_t offset(int index) {
    return static_cast<std::size_t>(index) - static_cast<std::size_t>(first);
  }

  std::array<T, last - first + 1> items_{};
};

}  // namespace norvane
