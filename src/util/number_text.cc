// SPDX-License-Identifier: MIT
#include "util/number_text.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace norvane {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Appends the digits that follow `text[at]` on to `out`, skipping blanks; returns how many
// digits were taken and leaves `at` on the first character that is neither.
int take_digits(std::string_view text, std::size_t& at, std::string& out) {
  int taken = 0;
  for (; at < text.size(); ++at) {
    if (is_blank(text[at])) continue;
    if (!is_digit(text[at])) break;
    out += text[at];
    ++taken;
  }
  return taken;
}

void skip_blanks(std::string_view text, std::size_t& at) {
  while (at < text.size() && is_blank(text[at])) ++at;
}

}  // namespace

std::optional<double> read_number(std::string_view text) {
  // The number is copied, blanks left out, into a plain form that strtod reads exactly.
  std::string number;
  std::size_t at = 0;
  skip_blanks(text, at);
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) number += text[at++];
  int mantissa_digits = take_digits(text, at, number);
  skip_blanks(text, at);
  if (at < text.size() && text[at] == '.') {
    number += text[at++];
    mantissa_digits += take_digits(text, at, number);
  }
  if (mantissa_digits == 0) return std::nullopt;

  skip_blanks(text, at);
  if (at < text.size() &&
      (text[at] == 'E' || text[at] == 'e' || text[at] == 'D' || text[at] == 'd')) {
    std::string exponent = "e";
    std::size_t after = at + 1;
    skip_blanks(text, after);
    if (after < text.size() && (text[after] == '+' || text[after] == '-'))
      exponent += text[after++];
    // An exponent letter without digits is not part of the number.
    if (take_digits(text, after, exponent) > 0) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

std::optional<std::int16_t> round_to_int16(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // The program never changes the rounding mode, so this is to nearest, halves to even.
  const double rounded = std::nearbyint(value);
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

}  // namespace norvane
