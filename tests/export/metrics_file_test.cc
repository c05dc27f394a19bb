// SPDX-License-Identifier: MIT
#include "export/metrics_file.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane {
namespace {

TEST(MetricsFile, LabelValuesAreEscapedAndValidUtf8) {
  EXPECT_EQ(label_value("tucum\xC3\xA1n \xF0\x9F\x93\xA1"), "tucum\xC3\xA1n \xF0\x9F\x93\xA1");
  EXPECT_EQ(label_value("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
  // A stray continuation byte, a cut sequence, an overlong '/', a surrogate: U+FFFD a byte.
  const std::string replaced = "\xEF\xBF\xBD";
  EXPECT_EQ(label_value("x\x80y\xE2\x82"), "x" + replaced + "y" + replaced + replaced);
  EXPECT_EQ(label_value("\xC0\xAF\xED\xA0\x80"),
            replaced + replaced + replaced + replaced + replaced);
}

}  // namespace
}  // namespace norvane
