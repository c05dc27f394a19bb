// SPDX-License-Identifier: MIT
// The data files of the system are fixed-column text: a value is found by its column numbers,
// counted from 1, and blanks around it are padding. These helpers cut such fields safely from
// lines of any length.
#pragma once

#include <cstddef>
#include <string_view>

namespace norvane {

// The characters of `line` in columns first .. first + count - 1 (counted from 1); columns
// beyond the end of the line contribute nothing.
inline std::string_view columns(std::string_view line, std::size_t first, std::size_t count) {
  if (first == 0 || first > line.size()) return {};
  return line.substr(first - 1, count);
}

// `text` without the blanks at both ends.
inline std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace norvane
