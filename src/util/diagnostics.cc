// SPDX-License-Identifier: MIT
#include "util/diagnostics.h"

#include <cstdio>

namespace norvane {

void Diagnostics::fail(const std::string& message) {
  failed_ = true;
  print_once(message);
}

void Diagnostics::warn(const std::string& message) {
  if (print_once(message)) warnings_.push_back(message);
}

bool Diagnostics::print_once(const std::string& message) {
  if (!printed_.insert(message).second) return false;
  std::string line(prefix);
  line += message;
  line += '\n';
  out_(line);
  return true;
}

std::string count_text(long count, std::string_view thing) {
  return std::to_string(count) + " " + std::string(thing) + (count == 1 ? "" : "s");
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace norvane
