// SPDX-License-Identifier: MIT
// Values in the forecast and measurement files are written as text and read the lenient way
// the stations' files have always been read: blanks anywhere are ignored, and the number is
// whatever decimal number the text starts with. What is new is that a text with no number at
// all is told apart from a written 0, so that a blank or garbled field is never drawn as 0 MHz.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace norvane {

// The number at the start of `text`, blanks skipped: an optional sign, digits with an optional
// decimal point, and an optional exponent (E or D, optional sign, digits). Reading stops at the
// first character that cannot continue the number. Empty when the text starts with no digit
// (after the sign and an optional decimal point).
std::optional<double> read_number(std::string_view text);

// `value` rounded to the nearest integer, halves to the even neighbour; empty when the result
// lies outside the 16-bit signed range (or `value` is not a number).
std::optional<std::int16_t> round_to_int16(double value);

}  // namespace norvane
