// SPDX-License-Identifier: MIT
// Tests collect the program's messages in a string stream.
#pragma once

#include <ostream>
#include <string_view>

#include "util/diagnostics.h"

namespace norvane::testing {

// A sink that appends each message line to `out`.
inline MessageSink into(std::ostream& out) {
  return [&out](std::string_view line) { out << line; };
}

}  // namespace norvane::testing
