// SPDX-License-Identifier: MIT
#include "export/metrics_file.h"

#include <gtest/gtest.h>

#include <chrono>
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

TEST(MetricsFile, GivesTheNewestValueAndItsCurveOnlyWhereThereAreThem) {
  RunSummary summary;
  summary.station_folder = "rome";
  summary.drew = true;
  summary.newest_measurement = std::chrono::sys_seconds{std::chrono::seconds{1796909400}};
  summary.newest = NewestMeasurement{13 * 60 + 30, 7.3, 8.1, 8.25, -11.5};
  std::string text = metrics_text(summary);
  EXPECT_NE(text.find("\nnorvane_fof2_newest_measurement_mhz{station=\"rome\"} 7.3\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nnorvane_fof2_newest_curve_mhz{station=\"rome\"} 8.25\n"),
            std::string::npos)
      << text;
  // A newest measurement without a value, at a time without a curve: both are left out, not
  // taken from the file before.
  summary.newest->value_mhz.reset();
  summary.newest->curve_mhz.reset();
  text = metrics_text(summary, {.newest_measurement = 1,
                                .newest_measurement_mhz = 5.1,
                                .newest_curve_mhz = 0.0,
                                .days_without_forecast = 0});
  EXPECT_EQ(text.find("_mhz"), std::string::npos) << text;
}

}  // namespace
}  // namespace norvane
