// SPDX-License-Identifier: MIT
#include "util/number_text.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

TEST(ReadNumber, ReadsTheLeadingNumberLikeTheStationFiles) {
  EXPECT_EQ(read_number("124"), 124.0);
  EXPECT_EQ(read_number("08"), 8.0);
  EXPECT_EQ(read_number("  53"), 53.0);
  EXPECT_EQ(read_number("1 2 3"), 123.0);  // blanks anywhere are skipped
  EXPECT_EQ(read_number("-7"), -7.0);
  EXPECT_EQ(read_number("+ 7"), 7.0);
  EXPECT_EQ(read_number("5. "), 5.0);
  EXPECT_EQ(read_number(".5"), 0.5);
  EXPECT_EQ(read_number("12x9"), 12.0);  // stops at the first character that cannot continue
  EXPECT_EQ(read_number("1E3"), 1000.0);
  EXPECT_EQ(read_number("2d-1"), 0.2);
  EXPECT_EQ(read_number("1E"), 1.0);  // a bare exponent letter is not part of the number
  EXPECT_EQ(read_number("00"), 0.0);
}

TEST(ReadNumber, TextWithoutDigitsHoldsNoNumber) {
  for (const char* text : {"", "   ", "N/A", "n/a", "-", ".", "+.", "E5", "abc"}) {
    EXPECT_EQ(read_number(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(RoundToInt16, RoundsHalvesToEvenWithinTheSixteenBitRange) {
  EXPECT_EQ(round_to_int16(2.5), 2);
  EXPECT_EQ(round_to_int16(3.5), 4);
  EXPECT_EQ(round_to_int16(-2.5), -2);
  EXPECT_EQ(round_to_int16(123.4), 123);
  EXPECT_EQ(round_to_int16(32767.0), 32767);
  EXPECT_EQ(round_to_int16(-32768.4), -32768);
  EXPECT_EQ(round_to_int16(32767.5), std::nullopt);  // rounds to 32768
  EXPECT_EQ(round_to_int16(1e9), std::nullopt);
  EXPECT_EQ(round_to_int16(-1e9), std::nullopt);
}

}  // namespace
}  // namespace norvane
